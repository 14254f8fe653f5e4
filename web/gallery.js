// The archives on the page: each under its own heading, its pictures as figures in archive
// order, shown as the converter reaches them, and its failure said as the command line says it.
// A figure opens the larger view (`view`); Save all saves every file, made again from the
// archive as the zip takes them; Save archive saves the archive with its replaced pictures
// (replacing.js).
//
// What the page keeps of an archive is the user's file, and for each picture the record its walk
// gave (a few numbers, and rarely the bytes it borrows from earlier entries): the pictures
// themselves are made by the worker when they are about to be seen.

import { WorkerStopped } from './converter.js';
import { element } from './elements.js';
import { browserDraws } from './pictures.js';

export function createGallery({ converter, saving, thumbnails, replacing, view }) {
  // What each of the converter's failures means, by the kind the worker names it. The line
  // itself is shown as well, decoded from the Shift_JIS bytes the converter printed.
  const FAILURE_MEANINGS = {
    usage: 'No archive was given.',
    openInput: 'The given file cannot be read.',
    createOutput: 'A file cannot be created.',
    convert: 'The given file cannot be converted.',
  };
  // The thumbnail box, about 10rem wide at 4:3.
  const SHARP_THUMBNAIL_WIDTH = 160;
  const SHARP_THUMBNAIL_HEIGHT = 120;
  const archives = [];
  const list = document.getElementById('archives');
  let halfWidth = false;
  let lastArchive = 0;

  function explainFailure(failure, written) {
    const meaning = FAILURE_MEANINGS[failure.kind] || FAILURE_MEANINGS.convert;
    if (failure.kind !== 'convert') return meaning;
    if (written === 0) {
      return `${meaning} It is not an archive: no picture entry starts it, ` +
        'or its first entry is broken.';
    }
    return `${meaning} Entry ${written + 1} is broken or cut short; ` +
      `the ${written} pictures before it are shown.`;
  }

  // The worker fails only when it cannot work at all: its module could not start or broke, or it
  // stopped altogether. A fresh one takes the next archive.
  function cannotWork(name, error) {
    if (error instanceof WorkerStopped) {
      return `${name}: the page stopped working on it (${error.message}), so this page cannot ` +
        'convert it here. Open it again to try once more; other archives are not affected.';
    }
    return `${name}: this page cannot convert it here (${error.message}).`;
  }

  // A worker that stopped while making an archive's pictures is said beside the archive, once;
  // the next picture asked for goes to a fresh worker.
  function workerStopped(archive, error) {
    if (archive.stoppedNote) return;
    const text = `${archive.name}: the page stopped working on its pictures (${error.message}). ` +
      'Pictures still to come are made afresh; open the archive again for the missing ones.';
    archive.stoppedNote = element('p', { textContent: text });
    archive.alert.append(archive.stoppedNote);
  }

  // The name on a line of its own, then the size; read aloud as one phrase.
  function caption(entry) {
    const node = element('figcaption', {}, [
      element('span', { className: 'name', textContent: entry.name }),
      ` ${entry.width} × ${entry.height}`,
    ]);
    if (entry.flip) {
      const mark = element('span', { className: 'flipped', textContent: '⇅ turned upside down' });
      node.append(' ', mark);
    }
    if (!browserDraws(entry)) {
      const note = 'too large for a browser to draw: shown reduced';
      node.append(' ', element('span', { className: 'note', textContent: note }));
    }
    return node;
  }

  function figure(archive, result, index) {
    const entry = result.entries[index];
    const image = element('img', { alt: '', decoding: 'async' });
    // A picture smaller than its box is enlarged with sharp pixels; a larger one is shrunk
    // smoothly.
    const small = entry.width <= SHARP_THUMBNAIL_WIDTH && entry.height <= SHARP_THUMBNAIL_HEIGHT;
    image.classList.toggle('sharp', small);
    const open = element('button', { type: 'button', label: `View ${entry.name}` }, [image]);
    open.addEventListener('click', () => view(archive, result, index));
    const node = element('figure', {}, [open, caption(entry)]);
    const failed = (error) => {
      const text = `No picture: ${error.message}.`;
      node.querySelector('.missing')?.remove();
      node.append(element('p', { className: 'missing', textContent: text }));
      if (error instanceof WorkerStopped) workerStopped(archive, error);
    };
    const key = `${archive.id}/${result.halfWidth ? 'half' : 'plain'}/${index}`;
    thumbnails.track(image, archive.id, entry, key, failed);
    replacing.decorate(archive.id, index, node, image);
    return element('li', {}, [node]);
  }

  function showProgress(archive, result) {
    const done = result.entries.length;
    const pictures = `${done} ${done === 1 ? 'picture' : 'pictures'}`;
    archive.count.textContent = result.finished ? pictures : `${pictures} so far`;
    if (result.finished) archive.progress.value = archive.progress.max;
  }

  function showFailure(archive, result) {
    archive.alert.replaceChildren();
    if (result.error) archive.alert.textContent = cannotWork(archive.name, result.error);
    else if (archive.stoppedNote) archive.alert.append(archive.stoppedNote);
    if (!result.failure) return;
    const line = new TextDecoder('shift_jis').decode(result.failure.line);
    archive.alert.append(
      `${archive.name}: ${explainFailure(result.failure, result.entries.length)} varnu says: `,
      element('q', { lang: 'ja', textContent: line }),
    );
  }

  // Entries arrive faster than frames: the figures of a frame's worth are added at once, so the
  // first pictures are drawn while the rest of the archive streams in.
  function addEntries(archive, result, entries) {
    result.entries.push(...entries);
    result.position = entries.at(-1).end;
    if (archive.shown === result && !archive.frameRequested) {
      archive.frameRequested = true;
      requestAnimationFrame(() => showNewEntries(archive));
    }
  }

  function showNewEntries(archive) {
    archive.frameRequested = false;
    const result = archive.shown;
    const shown = archive.gallery.children.length;
    const added = result.entries.slice(shown).map((_, k) => figure(archive, result, shown + k));
    archive.gallery.append(...added);
    if (!result.finished) archive.progress.value = Math.min(result.position, archive.progress.max);
    showProgress(archive, result);
  }

  // Converts in the mode asked for, once per archive and mode; later it shows what it has.
  function resultFor(archive, wantHalfWidth) {
    const key = wantHalfWidth ? 'half' : 'plain';
    if (!archive.results[key]) {
      const result = { halfWidth: wantHalfWidth, entries: [], failure: null, finished: false };
      archive.results[key] = result;
      result.done = converter
        .convert(archive.id, wantHalfWidth, (entries) => addEntries(archive, result, entries))
        .then(
          ({ failure }) => {
            result.failure = failure;
          },
          (error) => {
            result.error = error;
          },
        )
        .then(() => {
          result.finished = true;
          if (archive.shown === result) {
            showNewEntries(archive);
            showFailure(archive, result);
            updateSaveAll(archive);
          }
        });
    }
    return archive.results[key];
  }

  function show(archive) {
    const result = resultFor(archive, halfWidth);
    archive.shown = result;
    archive.progress.value = result.finished ? archive.progress.max : 0;
    thumbnails.forget(archive.gallery.querySelectorAll('img'));
    archive.gallery.replaceChildren(...result.entries.map((_, k) => figure(archive, result, k)));
    updateSaveAll(archive);
    showProgress(archive, result);
    showFailure(archive, result);
    return result.done;
  }

  // Save all waits for the whole archive, and has nothing to save from one without a picture.
  function updateSaveAll(archive) {
    const { shown } = archive;
    archive.saveAll.disabled = archive.saving || !shown.finished || shown.entries.length === 0;
  }

  // Every file of what is shown, in one zip; its progress, and a way to stop it, while it runs.
  async function saveAll(archive) {
    const { name } = archive;
    const count = archive.shown.entries.length;
    const progress = element('progress', { max: Math.max(count, 1), value: 0,
      label: `Saving ${name}` });
    const status = element('span', { role: 'status', textContent: `0 of ${count} files` });
    const cancel = element('button', { type: 'button', textContent: 'Cancel',
      label: `Cancel saving ${name}` });
    archive.saving = true;
    archive.saveAll.disabled = true;
    archive.saveFailure.textContent = '';
    archive.saveProgress.replaceChildren(progress, status, cancel);
    try {
      const saved = await saving.saveAll(archive.id, archive.shown, name, {
        onProgress: (done) => {
          progress.value = done;
          status.textContent = `${done} of ${count} files`;
        },
        onCancel: (stop) => cancel.addEventListener('click', stop),
      });
      if (saved.cancelled) {
        archive.saveFailure.textContent = `${name}: Save all was cancelled; nothing was saved.`;
      }
    } catch (error) {
      archive.saveFailure.textContent = `${name}: nothing was saved (${error.message}). ` +
        'The pictures are still here: try again, or save them one at a time.';
    } finally {
      archive.saving = false;
      archive.saveProgress.replaceChildren();
      updateSaveAll(archive);
    }
  }

  // A file or a dropped folder (`item` has a name and, for a file, its bytes to read).
  async function open(item) {
    const id = ++lastArchive;
    const headingId = `archive-${id}`;
    const archive = {
      id,
      name: item.name,
      results: {},
      shown: null,
      saving: false,
      progress: element('progress', {
        max: Math.max(item.size || 0, 1),
        value: 0,
        label: `Converting ${item.name}`,
      }),
      count: element('span'),
      alert: element('div', { role: 'alert' }),
      saveFailure: element('p', { role: 'alert' }),
      saveProgress: element('span', { className: 'controls' }),
      gallery: element('ul', { className: 'gallery' }),
      saveAll: element('button', { type: 'button', textContent: 'Save all', disabled: true }),
    };
    archive.saveAll.addEventListener('click', () => saveAll(archive));
    const section = element('section', {}, [
      element('h3', { id: headingId, textContent: item.name }),
      element('div', { className: 'controls' }, [
        archive.progress, archive.count, archive.saveAll, archive.saveProgress,
        ...replacing.controls({
          id,
          name: item.name,
          shown: () => archive.shown,
          sayFailure: (text) => {
            archive.saveFailure.textContent = text;
          },
        }),
      ]),
      archive.saveFailure,
      archive.alert,
      archive.gallery,
    ]);
    section.setAttribute('aria-labelledby', headingId);
    list.append(section);

    // Never fails: what goes wrong is said in the archive's section, and the next archive opens.
    try {
      await converter.store(id, item.name, item.isFolder ? null : item.file);
    } catch (error) {
      archive.alert.textContent = cannotWork(item.name, error);
      return;
    }
    archives.push(archive);
    await show(archive);
  }

  // Shows every archive in the mode asked for; what fails is said in that archive's section.
  function setHalfWidth(on) {
    halfWidth = on;
    return Promise.all(archives.map(show));
  }

  return { open, setHalfWidth };
}
