// Replace…, Put back and Save archive: a picture of an archive replaced by an edited file (bitmap
// or PNG). The packer's own check of the file against its entry runs as soon as it is chosen
// (converter.check): a file it refuses is not kept, and what it says stays beside the picture
// until that picture is replaced again or put back. A file it takes is kept with the bitmap the
// entry would hold, from which the page shows and saves what varnu would write once it is packed.
// Save archive saves the archive with the replacements packed and every other entry as it stands,
// as `varnu-pack --like` writes it; after a refusal nothing is saved.

import { element } from './elements.js';
import { packLine } from './pack-messages.js';

export function createReplacing({ converter, saving }) {
  const edits = new Map(); // archive id -> Map(index -> replacement)
  const notes = new Map(); // archive id -> Map(index -> the messages of its last check)
  const listeners = [];
  let version = 0;

  function within(map, archive) {
    if (!map.has(archive)) map.set(archive, new Map());
    return map.get(archive);
  }

  const changed = (archive, index) => listeners.forEach((listener) => listener(archive, index));

  // { file, stored, plain, halfWidth, unchanged, mapping, moved, version } where entry `index` is
  // replaced: `plain` and `halfWidth` are the facts of the files varnu would write ({ fileSize,
  // width, height }), `stored` the bitmap the entry would hold; when colours its palette lacks
  // were mapped onto it, `mapping` is what varnu-pack --remap says of it ({ pixelsMoved,
  // meanError, largestError, text }) and `moved` which pixels changed, else both are null.
  const replacementOf = (archive, index) => edits.get(archive)?.get(index);

  // The check's refusal, or the warnings of the replacement it took: { file, kind, text }.
  const notesOf = (archive, index) => notes.get(archive)?.get(index) || [];

  // Checks `file` as the replacement of entry `index`, whose plain record is `entry`; keeps it
  // when the packer takes it. Answers the check.
  async function replace(archive, index, entry, file) {
    const answer = await converter.check(archive, entry, file);
    within(notes, archive).set(index, answer.refusal ? [answer.refusal] : answer.warnings);
    if (!answer.refusal) {
      const { stored, plain, halfWidth, unchanged, mapping, moved } = answer;
      within(edits, archive).set(index, { file, stored, plain, halfWidth, unchanged, mapping,
        moved, version: ++version });
    }
    changed(archive, index);
    return answer;
  }

  function putBack(archive, index) {
    edits.get(archive)?.delete(index);
    notes.get(archive)?.delete(index);
    changed(archive, index);
  }

  // Each refusal beside the picture it names, and said in the archive's alert with a link to it;
  // one that names none of them (the archive itself) in the alert alone.
  function showRefusal(archive, entries, { messages, paths }) {
    const byPath = new Map(Object.entries(paths).map(([index, path]) => [path, Number(index)]));
    const byName = new Map(entries.map((entry, index) => [entry.name, index]));
    const said = [];
    for (const message of messages) {
      const index = byPath.get(message.file) ?? byName.get(message.file);
      if (index === undefined) {
        said.push(element('span', { lang: 'en', textContent: packLine(message) }));
        continue;
      }
      const shown = byPath.has(message.file) ? replacementOf(archive.id, index).file.name
        : message.file;
      within(notes, archive.id).set(index, [{ ...message, file: shown }]);
      changed(archive.id, index);
      const link = { href: `#${archive.figureId(index)}`, textContent: entries[index].name };
      said.push(element('a', link));
    }
    archive.sayFailure('replace.notSaved', { name: archive.name }, said);
  }

  // The archive's name with its last extension, if any, replaced by `.vcdiff`.
  const patchName = (name) => `${name.replace(/\.[^.]*$/, '')}.vcdiff`;

  // Save archive, or with `patch` Save patch: the patch from the archive to what Save archive
  // would save, as `varnu-pack --like --patch` writes it.
  async function saveEdits(archive, patch = false) {
    archive.busy(true);
    archive.sayStatus(patch ? 'patch.making' : 'replace.packing', { name: archive.name });
    try {
      const result = archive.ready();
      const count = result.entries.length;
      const replaced = [...within(edits, archive.id)]
        .filter(([index]) => index < count)
        .map(([index, { file }]) => ({ index, file }));
      const answer = await converter[patch ? 'savePatch' : 'saveArchive'](archive.id, count,
        replaced);
      if (answer.status !== 0) {
        archive.sayStatus(null);
        showRefusal(archive, result.entries, answer);
        return;
      }
      if (patch) {
        const name = patchName(archive.name);
        saving.download(answer.archive, name);
        archive.sayStatus('patch.saved', { name, size: answer.archive.size,
          count: replaced.length });
      } else {
        saving.download(answer.archive, archive.name);
        archive.sayStatus('replace.saved', { name: archive.name, count: replaced.length });
      }
    } catch (error) {
      archive.sayStatus(null);
      archive.sayFailure('replace.failed', { name: archive.name, reason: error.message });
    } finally {
      archive.busy(false);
    }
  }

  return {
    replace,
    putBack,
    replacementOf,
    notesOf,
    // How many pictures of the archive are replaced.
    count: (archive) => edits.get(archive)?.size || 0,
    // `listener(archive, index)` whenever what entry `index` shows changes.
    onChange: (listener) => listeners.push(listener),
    // Save archive for the gallery's archive, which is { id, name, ready(), busy(on),
    // sayStatus(key, params), sayFailure(key, params, nodes), figureId(index) }: `ready()`
    // answers its run, whole and without failure.
    saveArchive: (archive) => saveEdits(archive),
    // Save patch, for the same.
    savePatch: (archive) => saveEdits(archive, true),
  };
}
