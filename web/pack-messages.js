// The packer's messages as the page shows them: the line varnu-pack prints, quoted as the program
// wrote it, after a few words of the page's own that say what it is; a refusal as an alert and a
// warning as a status, put beside the file each names.

import { element } from './elements.js';

// A paragraph for `message` ({ file, kind, text }, file null when it names none), naming the file
// as `shownName` when given (the name the person knows it by, where the packer saw it under
// another path).
export function packMessageNode({ file, kind, text }, shownName = file) {
  const isWarning = kind === 'warning';
  const line = packLine({ file: shownName, kind, text });
  return element('p', {
    className: isWarning ? 'message warning' : 'message',
    role: isWarning ? 'status' : 'alert',
  }, [
    element('span',
      { className: 'lead', say: [isWarning ? 'pack.warningLead' : 'pack.refusalLead'] }),
    element('span', { lang: 'en', textContent: line }),
  ]);
}

// The line varnu-pack prints for `message`.
export function packLine({ file, kind, text }) {
  const warning = kind === 'warning' ? 'warning: ' : '';
  return `varnu-pack: ${warning}${file ? `${file}: ` : ''}${text}`;
}
