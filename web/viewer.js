// The larger view of one picture, fitted to its box (scaled up in whole steps so its pixels stay
// sharp, down smoothly when it is larger than the box, so that the box never scrolls), its
// palette, and the facts of its entry. Arrow keys move between the archive's pictures. Replace…
// has the packer check an edited file for the picture at once (replacing.js): the view says what
// the check says, and shows a file it takes as varnu would write it once packed, at its own size;
// Save BMP and Save PNG then save that, and Put back undoes it. The picture is made again by the
// worker: the file itself where the browser draws it, else a reduced picture, which the view says
// it is. A replacement whose colours were mapped onto the entry's palette is shown mapped, as it
// will be packed, with the edited file beside it, what varnu-pack --remap says of it, and on
// request where its pixels moved.

import { element } from './elements.js';
import { onLanguage, say, t } from './i18n.js';
import { packMessageNode } from './pack-messages.js';
import { browserDraws } from './pictures.js';

export function createViewer({ converter, saving, replacing }) {
  const $ = (id) => document.getElementById(id);
  const dialog = $('viewer');
  const heading = $('viewer-heading');
  const image = $('viewer-image');
  const replaced = $('viewer-replaced');
  const flipped = $('viewer-flipped');
  const note = $('viewer-note');
  const palette = $('viewer-palette');
  const facts = $('viewer-facts');
  const saves = $('viewer-saves');
  const replaceButton = $('viewer-replace-button');
  const replaceInput = $('viewer-replace');
  const replaceHint = $('viewer-replace-hint');
  const putBack = $('viewer-put-back');
  const checks = $('viewer-checks');
  const message = $('viewer-message');
  const mapping = $('viewer-mapping');
  const mapped = $('viewer-mapped');
  const edited = $('viewer-edited');
  const editedCaption = $('viewer-edited-caption');
  const moved = $('viewer-moved');
  const showMoved = $('viewer-show-moved');
  const MOVED_MARK = [255, 0, 255, 192]; // magenta, a little of the picture showing through
  const PALETTE_ENTRIES = 256;
  const PALETTE_ENTRY_SIZE = 4; // blue, green, red, unused
  // A reduced picture is at most this large, so that it stays quick to make and to draw.
  const REDUCED = { width: 8192, height: 8192, pixels: 2 ** 23 };
  // { archive, result, index }: the pictures of the archive in view; `archive` is what the
  // gallery tells of it (gallery.js's actions).
  let current = null;
  let imageUrl = null; // the address of the picture shown, given up when another is shown
  let editedUrl = null; // likewise for the edited file beside a mapped replacement
  let checking = null; // { archive, index } while a chosen file is being checked

  say($('viewer-palette-label'), 'viewer.palette', { count: PALETTE_ENTRIES });

  const isCurrent = (archive, index) =>
    current && current.archive.id === archive && current.index === index;

  // What the view shows of entry `index`: its file, or its replacement's as varnu would write it.
  function shownFile(index) {
    const { archive, result } = current;
    const entry = result.entries[index];
    const replacement = replacing.replacementOf(archive.id, index);
    if (!replacement) return { entry, facts: entry, source: { entry } };
    const shown = replacement[result.halfWidth ? 'halfWidth' : 'plain'];
    return { entry, replacement, facts: shown, source: { entry, stored: replacement.stored } };
  }

  // Rows of [term key, value key, its params].
  function showFacts(rows) {
    facts.replaceChildren(
      ...rows.flatMap(([term, value, params]) => [
        element('dt', { say: [term] }),
        element('dd', { say: [value, params] }),
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

  // The picture at the largest whole factor that fits its box, or smaller than its size where it
  // does not fit at all: the box never scrolls.
  function scale(width, height) {
    const box = image.closest('.viewer-picture');
    const roomHeight = parseFloat(getComputedStyle(box).maxHeight) || window.innerHeight / 2;
    const fit = Math.min(box.clientWidth / width, roomHeight / height);
    const factor = fit >= 1 ? Math.floor(fit) : fit;
    image.classList.toggle('sharp', factor >= 1);
    image.style.width = `${Math.max(1, Math.floor(width * factor))}px`;
    image.style.height = `${Math.max(1, Math.floor(height * factor))}px`;
  }

  function setImage(blob) {
    const previous = imageUrl;
    imageUrl = blob ? URL.createObjectURL(blob) : null;
    if (imageUrl) image.src = imageUrl;
    else image.removeAttribute('src');
    if (previous) URL.revokeObjectURL(previous);
  }

  // The picture comes from the worker; one asked for a picture no longer shown is dropped.
  async function showPicture({ entry, facts: shown, source }, index) {
    const { archive } = current;
    const drawn = browserDraws(shown);
    note.replaceChildren();
    const stillShown = () => isCurrent(archive.id, index);
    try {
      const made = await converter.picture(archive.id, source, drawn, REDUCED);
      if (!stillShown()) return;
      if (!made.blob) throw new Error(t('problem.notBitmap'));
      setImage(made.blob);
      drawPalette(made.palette);
      if (made.factor > 1) {
        say(note, 'viewer.reduced', { factor: made.factor, width: shown.width,
          height: shown.height });
        scale(Math.ceil(shown.width / made.factor), Math.ceil(shown.height / made.factor));
      }
    } catch (error) {
      if (!stillShown()) return;
      setImage(null);
      say(message, 'viewer.cannotShow', { name: entry.name, reason: error.message });
    }
  }

  // One pixel of the overlay per pixel of the picture, marked where the mapping moved it; `bytes`
  // come bottom row first.
  function drawMoved(bytes, { width, height }) {
    moved.width = width;
    moved.height = height;
    const pixels = new ImageData(width, height);
    if (bytes.length === width * height) {
      for (let row = 0; row < height; ++row) {
        const top = (height - 1 - row) * width;
        for (let x = 0; x < width; ++x) {
          if (bytes[row * width + x]) pixels.data.set(MOVED_MARK, (top + x) * 4);
        }
      }
    }
    moved.getContext('2d').putImageData(pixels, 0, 0);
  }

  function setEdited(file) {
    if (editedUrl) URL.revokeObjectURL(editedUrl);
    editedUrl = file ? URL.createObjectURL(file) : null;
    if (editedUrl) edited.src = editedUrl;
    else edited.removeAttribute('src');
  }

  const hundredths = (value) => (value / 100).toFixed(2);

  // Nothing is mapped unseen: a mapped replacement says so, with its figures, beside the file as
  // it was edited.
  function showMapping(replacement) {
    const figures = replacement?.mapping;
    mapping.hidden = !figures;
    moved.hidden = !figures || !showMoved.checked;
    if (!figures) {
      setEdited(null);
      return;
    }
    const { file } = replacement;
    say(mapped, 'viewer.mapped', { file: file.name, moved: figures.pixelsMoved,
      mean: hundredths(figures.meanError), largest: hundredths(figures.largestError) });
    say(editedCaption, 'viewer.edited', { file: file.name });
    say(edited, 'viewer.editedAlt', { file: file.name }, 'alt');
    setEdited(file);
    drawMoved(replacement.moved, replacement.plain);
  }

  function replacementFacts({ replacement, facts: shown }) {
    if (!replacement) return [];
    return [
      ['facts.replacedBy', 'facts.plain', { text: replacement.file.name }],
      ['facts.replacementSides', 'facts.sides', { width: shown.width, height: shown.height }],
      ['facts.replacementFile', 'facts.bytes', { n: shown.fileSize }],
    ];
  }

  function show(index) {
    const { archive, result } = current;
    current.index = index;
    const shown = shownFile(index);
    const { entry, replacement } = shown;
    heading.textContent = entry.name;
    say(image, 'viewer.alt', { name: entry.name, width: shown.facts.width,
      height: shown.facts.height }, 'alt');
    message.replaceChildren();
    if (replacement) {
      const sized = shown.facts.width !== entry.width || shown.facts.height !== entry.height;
      say(replaced, sized ? 'viewer.replacedSized' : 'viewer.replaced', {
        file: replacement.file.name, width: entry.width, height: entry.height,
        unchanged: replacement.unchanged,
      });
      say(saves, 'viewer.savesReplacement', { file: replacement.file.name });
    } else {
      replaced.replaceChildren();
      saves.replaceChildren();
    }
    showMapping(replacement);
    if (!replacement && entry.flip) say(flipped, 'viewer.flipped');
    else flipped.replaceChildren();
    putBack.hidden = !replacement;
    const canReplace = archive.canReplace();
    replaceButton.disabled = !canReplace || Boolean(checking);
    if (canReplace) replaceHint.replaceChildren();
    else say(replaceHint, 'viewer.replaceFailed');
    checks.replaceChildren(...replacing.notesOf(archive.id, index).map((n) => packMessageNode(n)));
    if (checking && isCurrent(checking.archive, checking.index)) {
      checks.append(element('p', { role: 'status', say: ['viewer.checking', checking] }));
    }
    scale(shown.facts.width, shown.facts.height);
    showFacts([
      ['facts.position', 'facts.of', { n: index + 1, count: result.entries.length }],
      ['facts.offset', 'facts.bytes', { n: entry.offset }],
      ['facts.packedSize', 'facts.bytes', { n: entry.packedSize }],
      ['facts.unpackedSize', 'facts.bytes', { n: entry.unpackedSize }],
      ['facts.fileSize', 'facts.bytes', { n: entry.fileSize }],
      ['facts.flipped', entry.flip ? 'facts.yes' : 'facts.no', {}],
      ...replacementFacts(shown),
    ]);
    showPicture(shown, index);
  }

  // The chosen file is checked at once; the view says what the check said when it is back.
  async function replaceShown() {
    const [file] = replaceInput.files;
    replaceInput.value = '';
    if (!file) return;
    const { archive, index } = current;
    checking = { archive: archive.id, index, file: file.name };
    show(index);
    try {
      await replacing.replace(archive.id, index, await archive.plainEntry(index), file);
    } catch (error) {
      if (isCurrent(archive.id, index)) {
        say(message, 'viewer.cannotCheck', { file: file.name, reason: error.message });
      }
    } finally {
      checking = null;
      if (isCurrent(archive.id, index)) {
        const said = [...message.childNodes];
        show(index);
        message.append(...said);
      }
    }
  }

  function move(step) {
    const count = current.result.entries.length;
    show((current.index + step + count) % count);
  }

  // Saving says what failed in the view's own alert.
  async function save(how, failure) {
    const { archive, index } = current;
    const shown = shownFile(index);
    message.replaceChildren();
    try {
      await how(archive.id, shown.source);
    } catch (error) {
      say(message, failure, { name: shown.entry.name, reason: error.message });
    }
  }

  // `result` holds the pictures shown beside each other; more may come while the view is open.
  function open(archive, result, index) {
    current = { archive, result, index };
    if (!dialog.open) dialog.showModal();
    show(index);
  }

  replacing.onChange((archive, index) => {
    if (dialog.open && isCurrent(archive, index)) show(index);
  });
  // Numbers and the picture's fit follow the language and the window.
  onLanguage(() => {
    if (dialog.open) show(current.index);
  });
  dialog.addEventListener('keydown', (event) => {
    if (event.key === 'ArrowRight') move(1);
    else if (event.key === 'ArrowLeft') move(-1);
    else return;
    event.preventDefault();
  });
  dialog.addEventListener('close', () => {
    setImage(null);
    setEdited(null);
  });
  showMoved.addEventListener('change', () => {
    moved.hidden = !showMoved.checked;
  });
  $('viewer-close').addEventListener('click', () => dialog.close());
  $('viewer-previous').addEventListener('click', () => move(-1));
  $('viewer-next').addEventListener('click', () => move(1));
  $('viewer-save-bmp').addEventListener('click', () =>
    save(saving.saveBitmap, 'viewer.cannotSave'));
  $('viewer-save-png').addEventListener('click', () =>
    save(saving.savePng, 'viewer.cannotSavePng'));
  replaceInput.addEventListener('change', replaceShown);
  putBack.addEventListener('click', () => replacing.putBack(current.archive.id, current.index));

  return { open };
}
