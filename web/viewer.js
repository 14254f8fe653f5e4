// The larger view of one picture: scaled up in whole steps so its pixels stay sharp, its
// palette, and the facts of its entry. Arrow keys move between the archive's pictures.
'use strict';

const viewer = (() => {
  const dialog = document.getElementById('viewer');
  const heading = document.getElementById('viewer-heading');
  const image = document.getElementById('viewer-image');
  const flipped = document.getElementById('viewer-flipped');
  const palette = document.getElementById('viewer-palette');
  const facts = document.getElementById('viewer-facts');
  const message = document.getElementById('viewer-message');
  const PALETTE_ENTRIES = 256;
  const PALETTE_ENTRY_SIZE = 4; // blue, green, red, unused
  let current = null; // { result, index }

  function number(n) {
    return n.toLocaleString('en');
  }

  function showFacts(rows) {
    facts.replaceChildren(
      ...rows.flatMap(([term, value]) => [
        gallery.element('dt', { textContent: term }),
        gallery.element('dd', { textContent: value }),
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

  // The largest whole factor that fits the view, and never less than one.
  function scale(file) {
    const room = dialog.clientWidth - 32;
    const height = window.innerHeight * 0.55;
    const factor = Math.max(1, Math.floor(Math.min(room / file.width, height / file.height)));
    image.style.width = `${file.width * factor}px`;
    image.style.height = `${file.height * factor}px`;
  }

  function show(index) {
    const { result } = current;
    current.index = index;
    const file = result.files[index];
    heading.textContent = file.name;
    image.src = gallery.urlOf(file);
    image.alt = `${file.name}, ${file.width} × ${file.height}`;
    flipped.textContent = file.flipped
      ? '⇅ varnu turned this picture upside down (its palette entry 0 is green).'
      : '';
    message.textContent = '';
    drawPalette(file.palette);
    scale(file);
    showFacts([
      ['Picture', `${index + 1} of ${result.files.length}`],
      ['Offset in the archive', `${number(file.entryOffset)} bytes`],
      ['Packed size', `${number(file.packedSize)} bytes`],
      ['Unpacked size', `${number(file.unpackedSize)} bytes`],
      ['File written', `${number(file.blob.size)} bytes`],
      ['Turned upside down', file.flipped ? 'yes' : 'no'],
    ]);
  }

  function move(step) {
    const count = current.result.files.length;
    show((current.index + step + count) % count);
  }

  function open(archive, result, index) {
    current = { result, index };
    if (!dialog.open) dialog.showModal();
    show(index);
  }

  dialog.addEventListener('keydown', (event) => {
    if (event.key === 'ArrowRight') move(1);
    else if (event.key === 'ArrowLeft') move(-1);
    else return;
    event.preventDefault();
  });
  document.getElementById('viewer-close').addEventListener('click', () => dialog.close());
  document.getElementById('viewer-previous').addEventListener('click', () => move(-1));
  document.getElementById('viewer-next').addEventListener('click', () => move(1));
  document.getElementById('viewer-save-bmp').addEventListener('click', () =>
    saving.saveBitmap(current.result.files[current.index]));
  document.getElementById('viewer-save-png').addEventListener('click', () =>
    saving.savePng(current.result.files[current.index], message));

  return { open };
})();
