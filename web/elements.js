// How the page's parts make their elements: in one expression, with the role and label that
// assistive technology reads.

// An element with its properties, its ARIA role and label as attributes (which every browser
// reads), and its children.
export function element(tag, { role, label, ...properties } = {}, children = []) {
  const node = Object.assign(document.createElement(tag), properties);
  if (role) node.setAttribute('role', role);
  if (label) node.setAttribute('aria-label', label);
  node.append(...children);
  return node;
}
