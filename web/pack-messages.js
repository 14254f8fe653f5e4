// The packer's messages as the page shows them: the line varnu-pack prints, a refusal as an alert
// and a warning as plain text, put beside the file each names.

import { element } from './elements.js';

// A paragraph for `message` ({ file, kind, text }, file null when it names none), naming the file
// as `shownName` when given (the name the person knows it by, where the packer saw it under
// another path).
export function packMessageNode({ file, kind, text }, shownName = file) {
  const isWarning = kind === 'warning';
  const warning = isWarning ? 'warning: ' : '';
  const textContent = `varnu-pack: ${warning}${shownName ? `${shownName}: ` : ''}${text}`;
  const node = element('p', { className: isWarning ? 'message warning' : 'message', textContent });
  if (!isWarning) node.setAttribute('role', 'alert');
  return node;
}
