// The larger view of one picture: scaled up in whole steps so its pixels stay sharp, its
// palette, and the facts of its entry. Arrow keys move between the archive's pictures; Replace…
// takes an edited file for the picture (replacing.js). The picture is made again by the worker:
// the file itself where the browser draws it, else a reduced picture, which the view says it is.

import { element } from './elements.js';
import { browserDraws } from './pictures.js';

export function createViewer({ converter, saving, replacing }) {
  const dialog = document.getElementById('viewer');
  const heading = document.getElementById('viewer-heading');
  const image = document.getElementById('viewer-image');
  const flipped = document.getElementById('viewer-flipped');
  const note = document.getElementById('viewer-note');
  const palette = document.getElementById('viewer-palette');
  const facts = document.getElementById('viewer-facts');
  const message = document.getElementById('viewer-message');
  const PALETTE_ENTRIES = 256;
  const PALETTE_ENTRY_SIZE = 4; // blue, green, red, unused
  // A reduced picture is at most this large, so that it stays quick to make and to draw.
  const REDUCED = { width: 8192, height: 8192, pixels: 2 ** 23 };
  let current = null; // { archive, result, index }: the pictures of the archive in view
  let imageUrl = null; // the address of the picture shown, given up when another is shown

  function number(n) {
    return n.toLocaleString('en');
  }

  function showFacts(rows) {
    facts.replaceChildren(
      ...rows.flatMap(([term, value]) => [
        element('dt', { textContent: term }),
        element('dd', { textContent: value }),
      ]),
    );
  }

  function drawPalette(bytes) {
    const pixels = new ImageData(PALETTE_ENTRIES, 1);
    for (let k = 0; k < PALETTE_ENTRIES; ++k) {
      const at = k * PALETTE_ENTRY_SIZE;
      pixels.data.set([bytes[at + 2], bytes[at + 1], bytes[at], 255], at);
    }
    palette.getContext('2d').putImageData(pixels, 0, 0);
  }

  // The largest whole factor that fits the view, and never less than one; a reduced picture is
  // shown at its own size.
  function scale(width, height) {
    const room = dialog.clientWidth - 32;
    const tall = window.innerHeight * 0.55;
    const factor = Math.max(1, Math.floor(Math.min(room / width, tall / height)));
    image.style.width = `${width * factor}px`;
    image.style.height = `${height * factor}px`;
  }

  function setImage(blob) {
    const previous = imageUrl;
    imageUrl = blob ? URL.createObjectURL(blob) : null;
    if (imageUrl) image.src = imageUrl;
    else image.removeAttribute('src');
    if (previous) URL.revokeObjectURL(previous);
  }

  // The picture comes from the worker; one asked for a picture no longer shown is dropped.
  async function showPicture(archive, entry, index) {
    const drawn = browserDraws(entry);
    note.textContent = '';
    try {
      const shown = await converter.picture(archive, entry, drawn, REDUCED);
      if (current.index !== index || current.archive !== archive) return;
      if (!shown.blob) throw new Error('it is no bitmap a browser can show');
      setImage(replacing.replacementOf(archive, index)?.file || shown.blob);
      drawPalette(shown.palette);
      if (shown.factor > 1) {
        note.textContent = `Shown at 1/${shown.factor} of its size: browsers do not draw a ` +
          `picture of ${number(entry.width)} × ${number(entry.height)} pixels. Save BMP ` +
          'saves it whole.';
        scale(Math.ceil(entry.width / shown.factor), Math.ceil(entry.height / shown.factor));
      }
    } catch (error) {
      if (current.index !== index || current.archive !== archive) return;
      setImage(null);
      message.textContent = `${entry.name} cannot be shown: ${error.message}.`;
    }
  }

  function show(index) {
    const { archive, result } = current;
    current.index = index;
    const entry = result.entries[index];
    heading.textContent = entry.name;
    image.alt = `${entry.name}, ${entry.width} × ${entry.height}`;
    flipped.textContent = entry.flip
      ? '⇅ varnu turned this picture upside down (its palette entry 0 is green).'
      : '';
    message.textContent = '';
    scale(entry.width, entry.height);
    showFacts([
      ['Picture', `${index + 1} of ${result.entries.length}`],
      ['Offset in the archive', `${number(entry.offset)} bytes`],
      ['Packed size', `${number(entry.packedSize)} bytes`],
      ['Unpacked size', `${number(entry.unpackedSize)} bytes`],
      ['File written', `${number(entry.fileSize)} bytes`],
      ['Turned upside down', entry.flip ? 'yes' : 'no'],
      ...replacedFacts(current.archive, index),
    ]);
    showPicture(archive, entry, index);
  }

  // A replaced picture is shown as the file that replaces it, and said to be.
  function replacedFacts(archive, index) {
    const edit = replacing.replacementOf(archive, index);
    return edit ? [['Replaced by', `${edit.file.name} (Save archive packs it)`]] : [];
  }

  function replaceShown(input) {
    const [file] = input.files;
    input.value = '';
    if (!file) return;
    replacing.replace(current.archive, current.index, file);
    show(current.index);
  }

  function move(step) {
    const count = current.result.entries.length;
    show((current.index + step + count) % count);
  }

  // Saving says what failed in the view's own alert.
  async function save(how, failure) {
    const { archive, result, index } = current;
    const entry = result.entries[index];
    message.textContent = '';
    try {
      await how(archive, entry);
    } catch (error) {
      message.textContent = failure(entry, error);
    }
  }

  const cannotSave = (entry, error) => `${entry.name} cannot be saved: ${error.message}.`;
  const cannotSavePng = (entry, error) =>
    `${entry.name} cannot be saved as PNG: ${error.message}; Save BMP saves it.`;

  // `result` holds the pictures shown beside each other; more may come while the view is open.
  function open(archive, result, index) {
    current = { archive: archive.id, result, index };
    if (!dialog.open) dialog.showModal();
    show(index);
  }

  dialog.addEventListener('keydown', (event) => {
    if (event.key === 'ArrowRight') move(1);
    else if (event.key === 'ArrowLeft') move(-1);
    else return;
    event.preventDefault();
  });
  dialog.addEventListener('close', () => setImage(null));
  document.getElementById('viewer-close').addEventListener('click', () => dialog.close());
  document.getElementById('viewer-previous').addEventListener('click', () => move(-1));
  document.getElementById('viewer-next').addEventListener('click', () => move(1));
  document.getElementById('viewer-save-bmp').addEventListener('click', () =>
    save(saving.saveBitmap, cannotSave));
  document.getElementById('viewer-save-png').addEventListener('click', () =>
    save(saving.savePng, cannotSavePng));
  const replaceInput = document.getElementById('viewer-replace');
  replaceInput.addEventListener('change', () => replaceShown(replaceInput));

  return { open };
}
