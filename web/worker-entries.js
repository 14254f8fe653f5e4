// Each entry's file made again in the worker when the page needs it (a small picture for the
// gallery, the larger view, a saved file), from the record its walk gave (worker-walk.js) and the
// bytes it borrows. `worker` is { m, facts, archives } (worker.js); a source is { archive, name }.

import { encodePng } from './png.js';
import { newString } from './worker-memory.js';
import { BorrowedFinder } from './worker-walk.js';
import { entryRefusal } from './worker-refusals.js';

const READ_CHUNK = 64 * 1024; // what a file is read in, the zip library's own block

// The bytes `entry` borrows: kept with it, or found again by `finder` (else by a walk of its own).
function borrowedBy(worker, source, entry, finder) {
  if (!entry.borrowedNotKept) return entry.borrowed || new Uint8Array(0);
  if (finder) return finder.find(entry.index);
  const own = new BorrowedFinder(worker, source, entry.halfWidth);
  try {
    return own.find(entry.index);
  } finally {
    own.end();
  }
}

// `call(path, record, fields, borrowed, borrowedSize)` with the entry's record and the bytes it
// borrows in the module's memory, as the module's entry points take them: the record as the
// values of the fields it names, in its order.
export function withRecord(worker, source, entry, finder, call) {
  const { m, facts, archives } = worker;
  const borrowed = borrowedBy(worker, source, entry, finder);
  const values = facts.recordFields.map((field) => Number(entry[field]));
  const record = m._malloc(Float64Array.BYTES_PER_ELEMENT * values.length);
  const bytes = m._malloc(Math.max(borrowed.length, 1));
  const path = newString(m, archives.path(source));
  try {
    m.HEAPF64.set(values, record / Float64Array.BYTES_PER_ELEMENT);
    m.HEAPU8.set(borrowed, bytes);
    return call(path, record, values.length, bytes, borrowed.length);
  } finally {
    m._free(path);
    m._free(record);
    m._free(bytes);
  }
}

// The entry's file, ready to be read from its start: a handle to close with closeEntry.
export function openEntry(worker, source, entry, finder) {
  const file = withRecord(worker, source, entry, finder, (...record) =>
    worker.m._varnu_entry_open(...record));
  if (!file) throw entryRefusal(worker);
  return file;
}

// What varnu writes from an entry that holds `stored` (a blob of the bitmap the packer's check
// answered), in plain mode or at half width, ready to be read like an entry's file.
async function openStored(worker, stored, halfWidth) {
  const { m } = worker;
  const bytes = new Uint8Array(await stored.arrayBuffer());
  const at = m._malloc(Math.max(bytes.length, 1));
  try {
    m.HEAPU8.set(bytes, at);
    const file = m._varnu_stored_open(at, bytes.length, halfWidth ? 1 : 0);
    if (!file) throw entryRefusal(worker);
    return file;
  } finally {
    m._free(at);
  }
}

export function closeEntry({ m }, file) {
  m._varnu_entry_close(file);
}

// The file's next bytes, up to `size`, copied out of the module's memory; empty at the end.
export function readEntry({ m }, file, size = READ_CHUNK) {
  const at = m._malloc(size);
  try {
    const count = m._varnu_entry_read(file, at, size);
    return m.HEAPU8.slice(at, at + count);
  } finally {
    m._free(at);
  }
}

// The file as a blob, read a piece at a time as the blob takes it, so that even the largest
// (206 MB) never sits whole in this worker's memory; the browser may keep it on disk.
async function entryBlob(worker, file, type) {
  const stream = new ReadableStream({
    pull(controller) {
      const bytes = readEntry(worker, file, 16 * READ_CHUNK);
      if (bytes.length > 0) controller.enqueue(bytes);
      else controller.close();
    },
  });
  return new Response(stream, { headers: { 'content-type': type } }).blob();
}

// The rest of the file as a picture within `limits`, or null when it is no bitmap the module
// draws: { width, height, factor, pixels } with four bytes a pixel, red, green, blue, alpha.
function pictureOf(worker, file, limits) {
  const { m } = worker;
  const picture = m._varnu_entry_picture(file, limits.width, limits.height, limits.pixels);
  if (!picture) {
    const problem = entryRefusal(worker);
    if (problem) throw problem;
    return null;
  }
  try {
    const at = m._varnu_picture_pixels(picture);
    const width = m._varnu_picture_width(picture);
    const height = m._varnu_picture_height(picture);
    const pixels = m.HEAPU8.slice(at, at + width * height * 4);
    return { width, height, factor: m._varnu_picture_factor(picture), pixels };
  } finally {
    m._varnu_picture_free(picture);
  }
}

// Resolves once the entry's bytes, header to end, are at hand.
export function readyForEntry({ archives }, source, entry) {
  return archives.ready(source, entry.offset, entry.end - entry.offset);
}

// `use(file)` with the request's file open: its entry's, or with `stored`, its replacement's.
export async function withEntry(worker, request, use) {
  let file;
  if (request.stored) {
    file = await openStored(worker, request.stored, request.entry.halfWidth);
  } else {
    await readyForEntry(worker, request, request.entry);
    file = openEntry(worker, request, request.entry);
  }
  try {
    return await use(file);
  } finally {
    closeEntry(worker, file);
  }
}

// The gallery's small picture, as PNG: { blob }, or { blob: null } when it is no bitmap the
// module draws.
export function thumbnail(worker, request) {
  return withEntry(worker, request, async (file) => {
    const picture = pictureOf(worker, file, request.limits);
    return { blob: picture && await encodePng(picture) };
  });
}

// The larger view: the file itself where the browser draws it (`drawn`), else a picture within
// `limits` as PNG; with the entry's palette. Answers { blob, factor, palette }.
export function picture(worker, request) {
  const { m, facts } = worker;
  return withEntry(worker, request, async (file) => {
    const at = m._varnu_entry_palette(file);
    const palette = m.HEAPU8.slice(at, at + facts.paletteSize);
    if (request.drawn) {
      return { blob: await entryBlob(worker, file, 'image/bmp'), factor: 1, palette };
    }
    const shown = pictureOf(worker, file, request.limits);
    return { blob: shown && await encodePng(shown), factor: shown ? shown.factor : 0, palette };
  });
}

// The file's bytes as varnu writes them: { blob }.
export function bitmap(worker, request) {
  return withEntry(worker, request, async (file) => ({
    blob: await entryBlob(worker, file, 'image/bmp'),
  }));
}
