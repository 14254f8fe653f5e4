// The archives on the page: each under its own heading, its pictures as figures in archive
// order, shown as the converter reaches them, and its failure said as the command line says it.
// A figure opens the larger view (`view`); Save all saves every file, made again from the
// archive as the zip takes them; Save archive saves the archive with its replaced pictures
// (replacing.js), whose figures show what varnu would write once they are packed.
//
// What the page keeps of an archive is the user's file, and for each picture the record its walk
// gave (a few numbers, and rarely the bytes it borrows from earlier entries): the pictures
// themselves are made by the worker when they are about to be seen.
//
// Every line an archive's section says belongs to one state of it: its status and the alert of
// its last action go as soon as anything changes (a picture replaced or put back, half width
// switched, another action begun).

import { WorkerStopped } from './converter.js';
import { element } from './elements.js';
import { say } from './i18n.js';
import { packLine, packMessageNode } from './pack-messages.js';
import { browserDraws } from './pictures.js';

export function createGallery({ converter, saving, thumbnails, replacing, view }) {
  // The thumbnail box, about 10rem wide at 4:3.
  const SHARP_THUMBNAIL_WIDTH = 160;
  const SHARP_THUMBNAIL_HEIGHT = 120;
  const archives = new Map(); // id -> archive
  const list = document.getElementById('archives');
  let halfWidth = false;
  let lastArchive = 0;

  // What a failure means, by the kind the worker names it, and for a conversion why the walk
  // stopped where it did: the keys of its words and their values.
  function failureWords(archive, result) {
    const { failure } = result;
    if (failure.kind !== 'convert') return [`failure.${failure.kind}`, {}];
    const count = result.entries.length;
    if (count > 0) {
      return ['failure.later', { reason: failure.reason, next: failure.nextName, count }];
    }
    if (archive.size === 0) return ['failure.empty', {}];
    return ['failure.first', { reason: failure.reason }];
  }

  // The worker fails only when it cannot work at all: its module could not start or broke, or it
  // stopped altogether. A fresh one takes the next archive.
  function cannotWork(name, error) {
    const key = error instanceof WorkerStopped ? 'gallery.workerStopped' : 'gallery.cannotWork';
    return element('span', { say: [key, { name, reason: error.message }] });
  }

  // A worker that stopped while making an archive's pictures is said beside the archive, once;
  // the next picture asked for goes to a fresh worker.
  function workerStopped(archive, error) {
    if (archive.stoppedNote) return;
    archive.stoppedNote = element('p', {
      say: ['gallery.picturesStopped', { name: archive.name, reason: error.message }],
    });
    archive.alert.append(archive.stoppedNote);
  }

  // What a figure shows: the entry's file, or what varnu would write once its replacement is
  // packed, in the run's mode.
  function shownFile(archive, result, index) {
    const entry = result.entries[index];
    const replacement = replacing.replacementOf(archive.id, index);
    if (!replacement) return { entry, facts: entry, source: { entry } };
    const facts = replacement[result.halfWidth ? 'halfWidth' : 'plain'];
    return { entry, replacement, facts, source: { entry, stored: replacement.stored } };
  }

  // The name on a line of its own, then the size of what is shown; read aloud as one phrase.
  function caption({ entry, replacement, facts }, patched) {
    const node = element('figcaption', {}, [
      element('span', { className: 'name', textContent: entry.name }),
      ` ${facts.width} × ${facts.height}`,
    ]);
    const mark = (className, key, params) =>
      node.append(' ', element('span', { className, say: [key, params] }));
    if (replacement) {
      mark('replaced', 'card.replaced', { file: replacement.file.name });
      if (facts.width !== entry.width || facts.height !== entry.height) {
        mark('note', 'card.sizeChanged', { width: entry.width, height: entry.height });
      }
      if (replacement.unchanged) mark('note', 'card.unchanged', {});
    } else if (entry.flip) {
      mark('flipped', 'card.flipped', {});
    }
    if (patched) mark('replaced', 'card.patched', { patch: patched });
    if (!browserDraws(facts)) mark('note', 'card.reduced', {});
    return node;
  }

  const figureId = (archive, index) => `archive-${archive.id}-entry-${index}`;

  function figure(archive, result, index) {
    const shown = shownFile(archive, result, index);
    const { entry, facts } = shown;
    const image = element('img', { alt: '', decoding: 'async' });
    // A picture smaller than its box is enlarged with sharp pixels; a larger one is shrunk
    // smoothly.
    const small = facts.width <= SHARP_THUMBNAIL_WIDTH && facts.height <= SHARP_THUMBNAIL_HEIGHT;
    image.classList.toggle('sharp', small);
    const open = element('button',
      { type: 'button', sayLabel: ['card.view', { name: entry.name }] }, [image]);
    open.addEventListener('click', () => view(archive.view, result, index));
    const notes = replacing.notesOf(archive.id, index).map((note) => packMessageNode(note));
    const patched = archive.changed?.has(index) ? archive.patched.patch : null;
    const node = element('figure', { id: figureId(archive, index), tabIndex: -1 },
      [open, caption(shown, patched), ...notes]);
    const failed = (error) => {
      node.querySelector('.missing')?.remove();
      node.append(element('p', { className: 'missing',
        say: ['card.noPicture', { reason: error.message }] }));
      if (error instanceof WorkerStopped) workerStopped(archive, error);
    };
    const mode = result.halfWidth ? 'half' : 'plain';
    const version = shown.replacement ? `/${shown.replacement.version}` : '';
    thumbnails.track(image, archive.id, shown.source, `${archive.id}/${mode}/${index}${version}`,
      failed);
    return element('li', {}, [node]);
  }

  function showCount(archive, result) {
    const count = result.entries.length;
    say(archive.count, result.finished ? 'gallery.pictures' : 'gallery.picturesSoFar', { count });
    // A bar only while converting: an archive that stopped short has nothing to complete.
    archive.progress.hidden = result.finished;
  }

  function showFailure(archive, result) {
    archive.alert.replaceChildren();
    if (result.error) archive.alert.append(cannotWork(archive.name, result.error));
    else if (archive.stoppedNote) archive.alert.append(archive.stoppedNote);
    if (!result.failure) return;
    const line = new TextDecoder('shift_jis').decode(result.failure.line);
    const [key, params] = failureWords(archive, result);
    const gap = () => element('span', { say: ['gap'] });
    archive.alert.append(
      element('span',
        { say: ['failure.meaning', { name: archive.name, kind: result.failure.kind }] }),
      gap(),
      element('span', { say: [key, params] }),
      gap(),
      element('span', { say: ['failure.varnuSays'] }),
      ' ',
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
    showCount(archive, result);
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
            updateActions(archive);
          }
        });
    }
    return archive.results[key];
  }

  function show(archive) {
    const result = resultFor(archive, halfWidth);
    archive.shown = result;
    archive.progress.value = 0;
    clearSaid(archive);
    thumbnails.forget(archive.gallery.querySelectorAll('img'));
    archive.gallery.replaceChildren(...result.entries.map((_, k) => figure(archive, result, k)));
    updateActions(archive);
    showCount(archive, result);
    showFailure(archive, result);
    return result.done;
  }

  // The run whole and without failure, which Replace… and Save archive need; else null.
  function whole(archive) {
    const { shown } = archive;
    return shown?.finished && !shown.failure && !shown.error ? shown : null;
  }

  // Save all waits for the whole archive, and has nothing to save from one without a picture;
  // Save archive wants the archive whole and a picture replaced.
  function updateActions(archive) {
    const { shown } = archive;
    archive.saveAll.disabled = archive.busy || !shown.finished || shown.entries.length === 0;
    // A patched archive has something to save as it is; a patch is of the pictures replaced in
    // the archive shown, and of nothing else.
    const replaced = replacing.count(archive.id);
    const edited = replaced > 0 || Boolean(archive.patched);
    archive.saveArchive.disabled = archive.busy || !whole(archive) || !edited;
    archive.savePatch.disabled = archive.busy || !whole(archive) || replaced === 0;
    archive.applyPatchButton.disabled = archive.busy || !whole(archive);
    let hint = null;
    if (shown.finished && !whole(archive)) hint = 'replace.hintFailed';
    else if (shown.finished && !edited) hint = 'replace.hint';
    if (hint) say(archive.saveArchiveHint, hint);
    else archive.saveArchiveHint.replaceChildren();
    archive.saveArchiveHint.hidden = !hint;
  }

  // The lines that belong to the state that just changed.
  function clearSaid(archive) {
    archive.status.replaceChildren();
    archive.saveFailure.replaceChildren();
  }

  function sayStatus(archive, key, params) {
    if (key) say(archive.status, key, params);
    else archive.status.replaceChildren();
  }

  function sayFailure(archive, key, params, nodes = []) {
    archive.saveFailure.replaceChildren(element('span', { say: [key, params] }), ' ', ...nodes);
  }

  function setBusy(archive, on) {
    archive.busy = on;
    updateActions(archive);
  }

  // Every file of what is shown, in one zip; its progress, and a way to stop it, while it runs.
  async function saveAll(archive) {
    const { name } = archive;
    const count = archive.shown.entries.length;
    const progress = element('progress', { max: Math.max(count, 1), value: 0,
      sayLabel: ['saveAll.saving', { name }] });
    const status = element('span',
      { role: 'status', say: ['saveAll.progress', { done: 0, count }] });
    const cancel = element('button', { type: 'button', say: ['saveAll.cancel'],
      sayLabel: ['saveAll.cancelLabel', { name }] });
    setBusy(archive, true);
    clearSaid(archive);
    archive.saveProgress.replaceChildren(progress, status, cancel);
    try {
      const saved = await saving.saveAll(archive.id, archive.shown, name, {
        onProgress: (done) => {
          progress.value = done;
          say(status, 'saveAll.progress', { done, count });
        },
        onCancel: (stop) => cancel.addEventListener('click', stop),
      });
      if (saved.cancelled) sayStatus(archive, 'saveAll.cancelled', { name });
      else sayStatus(archive, 'saveAll.saved', { name, count });
    } catch (error) {
      sayFailure(archive, 'saveAll.failed', { name, reason: error.message });
    } finally {
      archive.saveProgress.replaceChildren();
      setBusy(archive, false);
    }
  }

  // The plain record of entry `index`, as the packer reads the archive: the one shown, or at half
  // width the plain run's, which is made for it.
  async function plainEntry(archive, index) {
    const plain = resultFor(archive, false);
    if (plain.entries.length <= index) await plain.done;
    return plain.entries[index];
  }

  // Apply patch…: the person's patch applied to the archive in the worker. The patched archive
  // opens in a section of its own under the original's, with the pictures the patch changed
  // marked; a patch the module refuses is said in the archive's alert, and nothing changes.
  async function applyPatch(archive, patch) {
    setBusy(archive, true);
    clearSaid(archive);
    sayStatus(archive, 'patch.applying', { name: archive.name, patch: patch.name });
    let answer;
    try {
      answer = await converter.applyPatch(archive.id, patch);
    } catch (error) {
      sayStatus(archive, null);
      sayFailure(archive, 'patch.failed', { name: archive.name, reason: error.message });
      return;
    } finally {
      setBusy(archive, false);
    }
    sayStatus(archive, null);
    if (answer.status !== 0) {
      const lines = answer.messages.map((message) =>
        element('span', { lang: 'en', textContent: packLine(message) }));
      sayFailure(archive, 'patch.refused', { name: archive.name, patch: patch.name }, lines);
      return;
    }
    const file = new File([answer.patched], archive.name);
    await open({ name: archive.name, file, size: file.size },
      { from: archive, patch: patch.name, section: archive.section });
  }

  // Marks the pictures of the patched archive that differ from the original's.
  async function markChanged(archive) {
    const { from } = archive.patched;
    const [patched, original] = await Promise.all(
      [archive, from].map((each) => resultFor(each, false).done.then(() => each.results.plain)));
    if (patched.failure || patched.error || original.failure || original.error) return;
    const pairs = patched.entries.slice(0, original.entries.length).map((entry, k) =>
      [k, entry.offset, entry.end, original.entries[k].offset, original.entries[k].end]);
    const { changed } = await converter.changedEntries(archive.id, from.id, pairs);
    for (let k = original.entries.length; k < patched.entries.length; ++k) changed.push(k);
    archive.changed = new Set(changed);
    for (const index of changed) {
      const item = archive.gallery.children[index];
      if (!item) continue;
      thumbnails.forget(item.querySelectorAll('img'));
      item.replaceWith(figure(archive, archive.shown, index));
    }
    sayStatus(archive, 'patch.applied',
      { name: archive.name, patch: archive.patched.patch, count: changed.length });
  }

  // Save archive: a patched archive with nothing replaced is saved as the patch made it.
  function saveArchive(archive) {
    if (archive.patched && replacing.count(archive.id) === 0) {
      saving.download(archive.file, archive.name);
      sayStatus(archive, 'patch.savedPatched', { name: archive.name });
      return;
    }
    replacing.saveArchive(actions(archive));
  }

  // What the larger view and Save archive know of an archive.
  function actions(archive) {
    return {
      id: archive.id,
      name: archive.name,
      canReplace: () => Boolean(whole(archive)),
      plainEntry: (index) => plainEntry(archive, index),
      ready: () => whole(archive),
      busy: (on) => setBusy(archive, on),
      sayStatus: (key, params) => sayStatus(archive, key, params),
      sayFailure: (key, params, nodes) => sayFailure(archive, key, params, nodes),
      figureId: (index) => figureId(archive, index),
    };
  }

  // A replacement made or put back: its figure shows it, and what was said before goes.
  replacing.onChange((id, index) => {
    const archive = archives.get(id);
    if (!archive?.shown) return;
    clearSaid(archive);
    const item = archive.gallery.children[index];
    if (item) {
      thumbnails.forget(item.querySelectorAll('img'));
      item.replaceWith(figure(archive, archive.shown, index));
    }
    updateActions(archive);
  });

  // A file or a dropped folder (`item` has a name and, for a file, its bytes to read).
  // `patched`, for an archive a patch made: { from: the original's archive, patch: the patch's
  // name, section: the original's section, which it goes after }.
  async function open(item, patched = null) {
    const id = ++lastArchive;
    const headingId = `archive-${id}`;
    const applyInput = element('input', { type: 'file', hidden: true });
    const archive = {
      id,
      name: item.name,
      file: item.file,
      patched,
      size: item.isFolder ? null : item.size,
      results: {},
      shown: null,
      busy: false,
      progress: element('progress', {
        max: Math.max(item.size || 0, 1),
        value: 0,
        sayLabel: ['gallery.converting', { name: item.name }],
      }),
      count: element('span'),
      alert: element('div', { role: 'alert' }),
      status: element('p', { role: 'status', className: 'archive-status' }),
      saveFailure: element('p', { role: 'alert' }),
      saveProgress: element('div', { className: 'saving' }),
      gallery: element('ul', { className: 'gallery' }),
      saveAll: element('button', { type: 'button', say: ['saveAll.button'], disabled: true }),
      saveArchive: element('button', { type: 'button', say: ['replace.save'], disabled: true }),
      savePatch: element('button', { type: 'button', say: ['patch.save'], disabled: true }),
      applyPatchButton: element('button', { type: 'button', say: ['patch.apply'], disabled: true }),
      saveArchiveHint: element('span', { className: 'hint', id: `${headingId}-save-hint`,
        hidden: true }),
    };
    archive.saveArchive.setAttribute('aria-describedby', archive.saveArchiveHint.id);
    archive.savePatch.setAttribute('aria-describedby', archive.saveArchiveHint.id);
    archive.saveAll.addEventListener('click', () => saveAll(archive));
    archive.saveArchive.addEventListener('click', () => saveArchive(archive));
    archive.savePatch.addEventListener('click', () => replacing.savePatch(actions(archive)));
    archive.applyPatchButton.addEventListener('click', () => applyInput.click());
    applyInput.addEventListener('change', () => {
      const [patch] = applyInput.files;
      applyInput.value = '';
      if (patch) applyPatch(archive, patch);
    });
    const heading = patched
      ? element('h3',
        { id: headingId, say: ['patch.heading', { name: item.name, patch: patched.patch }] })
      : element('h3', { id: headingId, textContent: item.name });
    const section = element('section', {}, [
      heading,
      element('div', { className: 'controls' }, [archive.progress, archive.count]),
      element('div', { className: 'archive-actions' },
        [archive.saveAll, archive.saveArchive, archive.savePatch,
          element('span', { className: 'file-choice' }, [archive.applyPatchButton, applyInput]),
          archive.saveArchiveHint]),
      archive.saveProgress,
      archive.status,
      archive.saveFailure,
      archive.alert,
      archive.gallery,
    ]);
    section.setAttribute('aria-labelledby', headingId);
    archive.section = section;
    if (patched) patched.section.after(section);
    else list.append(section);

    // Never fails: what goes wrong is said in the archive's section, and the next archive opens.
    try {
      await converter.store(id, item.name, item.isFolder ? null : item.file);
    } catch (error) {
      archive.progress.hidden = true;
      archive.alert.append(cannotWork(item.name, error));
      return;
    }
    archives.set(id, archive);
    archive.view = actions(archive);
    const shown = show(archive);
    if (patched) await markChanged(archive).catch(() => {});
    await shown;
  }

  // Shows every archive in the mode asked for; what fails is said in that archive's section.
  function setHalfWidth(on) {
    halfWidth = on;
    return Promise.all([...archives.values()].map(show));
  }

  return { open, setHalfWidth };
}
