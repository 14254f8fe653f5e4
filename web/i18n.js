// The page's words in the person's language: every string lives in one table per language
// (strings-en.js, strings-ja.js), and every element that shows one remembers which, so that the
// switch puts the whole page into the other language at once. The page starts in the first of the
// browser's languages it has, else English.

import { en } from './strings-en.js';
import { ja } from './strings-ja.js';

const TABLES = { en, ja };
// node -> { property or attribute: [key, params] }
const said = new WeakMap();
const listeners = [];
let language = 'en';

export function initialLanguage(preferred = navigator.languages || [navigator.language]) {
  for (const tag of preferred) {
    const base = String(tag).toLowerCase().split('-')[0];
    if (base in TABLES) return base;
  }
  return 'en';
}

export const currentLanguage = () => language;

// The words for `key`: a table's string, or its function of `params`.
export function t(key, params = {}) {
  const entry = TABLES[language][key] ?? TABLES.en[key];
  if (entry === undefined) throw new Error(`no words for ${key}`);
  return typeof entry === 'function' ? entry(params) : entry;
}

// A whole number as the language writes it.
export function number(n) {
  return Number(n).toLocaleString(language);
}

function apply(node, where, [key, params]) {
  const text = t(key, params);
  if (where === 'text') node.textContent = text;
  else node.setAttribute(where, text);
}

// Puts the words for `key` into `node` (its text, or the attribute `where`), now and after every
// switch of language.
export function say(node, key, params = {}, where = 'text') {
  if (!said.has(node)) said.set(node, {});
  said.get(node)[where] = [key, params];
  node.dataset.said = '';
  apply(node, where, [key, params]);
  return node;
}

// Words no longer kept for `node`: it says something of its own now.
export function unsay(node) {
  said.delete(node);
  delete node.dataset.said;
}

export function setLanguage(wanted) {
  language = wanted in TABLES ? wanted : 'en';
  document.documentElement.lang = language;
  for (const node of document.querySelectorAll('[data-said]')) {
    for (const [where, saying] of Object.entries(said.get(node) || {})) apply(node, where, saying);
  }
  for (const listener of listeners) listener(language);
}

// `listener(language)` after every switch, for what is drawn rather than said (the palette's
// label is, and so are numbers in pictures' facts).
export function onLanguage(listener) {
  listeners.push(listener);
}
