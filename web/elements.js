// How the page's parts make their elements: in one expression, with the role and label that
// assistive technology reads, and their words from the language tables (i18n.js).

import { say } from './i18n.js';

// An element with its properties, its ARIA role and label as attributes (which every browser
// reads), its words (`say`: [key, params] for its text, `sayLabel` for its aria-label), and its
// children.
export function element(tag, { role, label, say: words, sayLabel, ...properties } = {},
  children = []) {
  const node = Object.assign(document.createElement(tag), properties);
  if (role) node.setAttribute('role', role);
  if (label) node.setAttribute('aria-label', label);
  if (words) say(node, ...words);
  if (sayLabel) say(node, sayLabel[0], sayLabel[1], 'aria-label');
  node.append(...children);
  return node;
}
