// The worker's side of saving PNG, of Pack, and of an archive with pictures replaced. All go
// through the packer's own code in the module: the PNG is what varnu-pack reads back by index,
// and an archive is what varnu-pack writes, with an original archive as `varnu-pack --like` does,
// every entry without a picture of its own copied as it stands. `worker` is { m, facts, archives,
// outputs } (worker.js); each request's files go in a folder named after its id, removed once it
// is done. What the module makes whole goes in a folder of the outputs' own file system
// (worker-outputs.js) and leaves it as a blob.

import { makeFolder, removeTree } from './worker-archives.js';
import { readyForEntry, withEntry, withRecord } from './worker-entries.js';
import { settled } from './worker-engines.js';
import { newString, takeBytes } from './worker-memory.js';
import { entryRefusal, Refusal } from './worker-refusals.js';

// The rest of an open entry's file as PNG: a palette PNG, or RGB at half width.
export function pngBytes({ m }, file, halfWidth) {
  const bytes = m._varnu_entry_png(file, halfWidth ? 1 : 0);
  if (!bytes) throw new Refusal(null, m.UTF8ToString(m._varnu_png_problem()));
  return takeBytes(m, bytes);
}

// What `make(folder)` answers, the module writing its output in `folder`, a folder of the
// outputs' own named after the request's `id`, gone once it is done. `make` answers { output,
// answer }: the output's path, or null when the module made none, and the rest of the answer,
// which is answered with the output as a blob (or null) under `key`.
async function withOutput({ m, outputs }, id, key, make) {
  const folder = `/out/${id}`;
  makeFolder(m.FS, folder);
  m.FS.mount(outputs, {}, folder);
  let made;
  try {
    const { output, answer } = make(folder);
    made = { answer, blob: output && outputs.blobOf(output) };
  } finally {
    m.FS.unmount(folder);
    m.FS.rmdir(folder);
  }
  return { ...made.answer, [key]: await settled(made.blob) };
}

// Save PNG: { blob }.
export function png(worker, request) {
  return withEntry(worker, request, (file) => ({
    blob: new Blob([pngBytes(worker, file, request.entry.halfWidth)], { type: 'image/png' }),
  }));
}

// The packer (varnu_pack) on paths of the module's file system: `pictures` in entry order, null
// for an entry of `original` as it stands; `original` null for none; with `patch`, `output` is the
// patch from `original` to that archive. Answers { status, messages } as the module words them,
// the messages in the order the packer made them.
function packInModule(m, output, original, pictures, patch = false) {
  const strings = [];
  const string = (text) => {
    if (text === null) return 0;
    strings.push(newString(m, text));
    return strings.at(-1);
  };
  const table = m._malloc(Uint32Array.BYTES_PER_ELEMENT * Math.max(pictures.length, 1));
  try {
    const pointers = pictures.map(string);
    m.HEAPU32.set(pointers, table / Uint32Array.BYTES_PER_ELEMENT);
    const answer = m._varnu_pack(string(output), string(original), pictures.length, table,
      patch ? 1 : 0);
    return JSON.parse(m.UTF8ToString(answer));
  } finally {
    for (const at of strings) m._free(at);
    m._free(table);
  }
}

// Pack: `pictures` ({ name, bytes }) into an archive called `outputName`, with the `original`
// archive ({ name, bytes }, or null) as varnu-pack --like takes it. Each picture is written under
// its own name, so the packer's messages name the user's files; a name already taken goes into a
// folder of its own. Answers { status, messages, picturePaths, originalPath, archive }, `archive`
// a blob.
export function pack(worker, { pictures, original, outputName }, { id }) {
  return withOutput(worker, id, 'archive', (out) => packPictures(worker.m, pictures, original,
    `${out}/${outputName}`, `/pack/${id}`));
}

// Pack's pictures and original written in `folder`, and packed into `output`.
function packPictures(m, pictures, original, output, folder) {
  makeFolder(m.FS, folder);
  m.FS.chdir(folder);
  try {
    const taken = new Set();
    const place = (name, bytes, k) => {
      let path = name;
      if (taken.has(path)) {
        m.FS.mkdir(`${folder}/${k}`);
        path = `${k}/${name}`;
      }
      taken.add(path);
      m.FS.writeFile(path, new Uint8Array(bytes));
      return path;
    };
    const originalPath = original ? place(original.name, original.bytes, 'original') : null;
    const picturePaths = pictures.map((p, k) => place(p.name, p.bytes, k + 1));
    const { status, messages } = packInModule(m, output, originalPath, picturePaths);
    const answer = { status, messages, picturePaths, originalPath };
    return { output: status === 0 ? output : null, answer };
  } finally {
    m.FS.chdir('/');
    removeTree(m.FS, folder);
  }
}

// Save archive: the archive with entry `index` of each of `replaced` ({ index, file }) packed from
// that file, as `count` entries; with `patch`, Save patch: the patch from the archive to that one,
// as `varnu-pack --like --patch` writes it. The archive is read where it lies and each
// replacement is read from the user's file, each in a folder of its own; only the new archive or
// the patch is made here. Answers { status, messages, paths, archive }: `archive`, a blob, holds
// what was made, and `paths` names the path each replacement was given to the packer under, by
// its index, so that the page can put its messages beside it.
export function saveArchive(worker, request, { id }) {
  return withOutput(worker, id, 'archive',
    (out) => packReplacements(worker, request, out, `/edits/${id}`));
}

// Save archive's packing into folder `out`, each replacement mounted in a folder of `run`.
function packReplacements({ m, archives }, { archive, name, count, replaced, patch }, out, run) {
  const output = `${out}/${name}${patch ? '.vcdiff' : ''}`;
  makeFolder(m.FS, run);
  const mounted = [];
  const pictures = new Array(count).fill(null);
  const paths = {};
  try {
    for (const { index, file } of replaced) {
      const folder = `${run}/${index}`;
      makeFolder(m.FS, folder);
      m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name: file.name, data: file }] }, folder);
      mounted.push(folder);
      pictures[index] = paths[index] = `${folder}/${file.name}`;
    }
    // The original under its own name, as the converter's messages name it.
    m.FS.chdir(archives.folder(archive));
    const { status, messages } = packInModule(m, output, name, pictures, patch);
    return { output: status === 0 ? output : null, answer: { status, messages, paths } };
  } finally {
    m.FS.chdir('/');
    for (const folder of mounted) m.FS.unmount(folder);
    removeTree(m.FS, run);
  }
}

// The packer's check of `file`, the person's file, as the replacement of `entry` of the archive,
// read from where it lies in a folder of its own, so that its messages name it as the person
// does. Answers what the check says (replacement_check.hpp) and, when the file is taken, `stored`:
// a blob of the bitmap the entry would hold, from which every file of the replacement is made,
// and with a mapping `moved`: one byte per pixel, bottom row first, 1 where the colour changed.
export async function check(worker, { archive, name, entry, file }, { id }) {
  const { m } = worker;
  const source = { archive, name };
  await readyForEntry(worker, source, entry);
  const folder = `/check/${id}`;
  makeFolder(m.FS, folder);
  m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name: file.name, data: file }] }, folder);
  m.FS.chdir(folder);
  const picture = newString(m, file.name);
  let checked = 0;
  try {
    checked = withRecord(worker, source, entry, null, (...record) =>
      m._varnu_check_replacement(...record, picture));
    if (!checked) throw entryRefusal(worker);
    const answer = JSON.parse(m.UTF8ToString(m._varnu_checked_json(checked)));
    const at = m._varnu_checked_stored(checked);
    const size = m._varnu_checked_stored_size(checked);
    const stored = answer.refusal ? null
      : new Blob([m.HEAPU8.slice(at, at + size)], { type: 'image/bmp' });
    const movedAt = m._varnu_checked_moved(checked);
    const moved = m.HEAPU8.slice(movedAt, movedAt + m._varnu_checked_moved_size(checked));
    return { ...answer, stored, moved: answer.mapping ? moved : null };
  } finally {
    if (checked) m._varnu_checked_free(checked);
    m._free(picture);
    m.FS.chdir('/');
    m.FS.unmount(folder);
    removeTree(m.FS, folder);
  }
}

// Apply patch…: `patch`, the person's file, applied to the archive where it lies, as
// `varnu-pack --apply` does. Answers { status, messages, patched }: a blob of the patched
// archive, or the module's refusal and nothing.
export function applyPatch(worker, request, { id }) {
  return withOutput(worker, id, 'patched',
    (out) => applyPatchFile(worker, request, out, `/apply/${id}`));
}

// Apply patch…'s patching into folder `out`, the patch mounted in folder `run`.
function applyPatchFile({ m, archives }, { archive, name, patch }, out, run) {
  const output = `${out}/${name}`;
  makeFolder(m.FS, `${run}/patch`);
  m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name: patch.name, data: patch }] },
    `${run}/patch`);
  try {
    m.FS.chdir(archives.folder(archive));
    const answer = m.ccall('varnu_apply_patch', 'string', ['string', 'string', 'string'],
      [`${run}/patch/${patch.name}`, name, output]);
    const { status, messages } = JSON.parse(answer);
    // The patch is named as the person knows it.
    const named = messages.map((message) =>
      (message.file === name ? message : { ...message, file: patch.name }));
    return { output: status === 0 ? output : null, answer: { status, messages: named } };
  } finally {
    m.FS.chdir('/');
    m.FS.unmount(`${run}/patch`);
    removeTree(m.FS, run);
  }
}

// Which entries of the patched archive differ from the original's: `pairs` are [index, the
// patched entry's offset and end, the original entry's offset and end] for the entries both
// have. Both are read a piece at a time through the block cache. Answers { changed: [index...] }.
export function changedEntries({ m, archives }, { archive, name, original, originalName, pairs }) {
  const PIECE = 1024 * 1024;
  const patched = m.FS.open(archives.path({ archive, name }), 'r');
  const before = m.FS.open(archives.path({ archive: original, name: originalName }), 'r');
  const a = new Uint8Array(PIECE);
  const b = new Uint8Array(PIECE);
  const differ = ([, from, end, originalFrom, originalEnd]) => {
    if (end - from !== originalEnd - originalFrom) return true;
    for (let at = 0; at < end - from; at += PIECE) {
      const size = Math.min(PIECE, end - from - at);
      m.FS.read(patched, a, 0, size, from + at);
      m.FS.read(before, b, 0, size, originalFrom + at);
      for (let k = 0; k < size; ++k) if (a[k] !== b[k]) return true;
    }
    return false;
  };
  try {
    return { changed: pairs.filter(differ).map(([index]) => index) };
  } finally {
    m.FS.close(patched);
    m.FS.close(before);
  }
}
