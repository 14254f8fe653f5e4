// Wiring: makes each part of the page, handing each the parts it works with, and connects the
// file choices, dropping anywhere, the half-width switch and the language switch.

import { createConverter } from './converter.js';
import { createGallery } from './gallery.js';
import { initialLanguage, say, setLanguage } from './i18n.js';
import { createPacking } from './packing.js';
import { createReplacing } from './replacing.js';
import { createSaving } from './saving.js';
import { createThumbnails } from './thumbnails.js';
import { createViewer } from './viewer.js';

// The page's own words, each element by its key, in the language the browser prefers.
for (const node of document.querySelectorAll('[data-key]')) say(node, node.dataset.key);
const languageSwitch = document.getElementById('language');
languageSwitch.value = initialLanguage();
setLanguage(languageSwitch.value);
languageSwitch.addEventListener('change', () => setLanguage(languageSwitch.value));
say(document.querySelector('title'), 'title');

// Each file choice is one button that opens the browser's chooser for the input beside it.
for (const choice of document.querySelectorAll('.file-choice')) {
  const [button, input] = choice.children;
  button.addEventListener('click', () => input.click());
}

const converter = createConverter(document.getElementById('worker-source').textContent);
const saving = createSaving({ converter, format: document.getElementById('save-format') });
const thumbnails = createThumbnails({ converter });
const replacing = createReplacing({ converter, saving });
const viewer = createViewer({ converter, saving, replacing });
const gallery = createGallery({ converter, saving, thumbnails, replacing, view: viewer.open });
const packing = createPacking({ converter, saving });

const openInput = document.getElementById('open-archive');
const halfWidth = document.getElementById('half-width');

// One archive after another, each under its own heading; opening one never fails, as whatever
// goes wrong is said under its heading.
let queue = Promise.resolve();
function openAll(items) {
  for (const item of items) queue = queue.then(() => gallery.open(item));
}

openInput.addEventListener('change', () => {
  openAll([...openInput.files].map((file) => ({ name: file.name, size: file.size, file })));
  openInput.value = '';
});

halfWidth.addEventListener('change', () => gallery.setHalfWidth(halfWidth.checked));

document.addEventListener('dragover', (event) => {
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
});
// The items are only readable during the event, so folders are told apart at once.
document.addEventListener('drop', (event) => {
  event.preventDefault();
  const items = [...event.dataTransfer.items].filter((item) => item.kind === 'file');
  const dropped = items.map((item) => {
    const entry = item.webkitGetAsEntry ? item.webkitGetAsEntry() : null;
    const file = item.getAsFile();
    const isFolder = Boolean(entry && entry.isDirectory);
    return { name: file.name, size: file.size, file, isFolder };
  });
  if (packing.section.contains(event.target)) packing.drop(dropped);
  else openAll(dropped);
});
