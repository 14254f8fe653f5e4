// Save all: the zip of every file of a run, made as the download takes it. Each file is made
// again from the archive, a piece at a time, and deflated as it comes; the zip's bytes become a
// blob as they come (which the browser may keep on disk), so that neither the files nor the zip
// are ever whole in memory. The page hears how many files are done, and may stop it.
//
// The deflating is the browser's own (CompressionStream, native code): deflating in script took
// most of a Save all's time, several times longer than remaking the files. The zip library writes
// the zip around it: headers, checksums, sizes and the central directory.

import { Zip, ZipDeflate, ZipPassThrough } from 'fflate';
import { pngName } from './png-name.js';
import { closeEntry, openEntry, readEntry, readyForEntry } from './worker-entries.js';
import { pngBytes } from './worker-edits.js';
import { Refusal } from './worker-refusals.js';
import { nextTurn } from './worker-turns.js';
import { BorrowedFinder } from './worker-walk.js';

// How much of a file one step of the zip takes before the download takes the zip's bytes.
const ZIP_STEP = 4 * 1024 * 1024;
// What a file is read in: large enough that each piece's cost of crossing into the module and of
// the compressor's promise is small beside its bytes.
const ZIP_PIECE = 1024 * 1024;
// The zip is made this long at a time, then lets other requests (a Cancel, a picture asked for)
// be answered.
const TURN_MS = 8;
// A zip without its 64-bit extension (which the library does not write) records offsets in four
// bytes.
const MAX_ZIP_BYTES = 2 ** 32 - 1;
const DEFLATED = 8; // the zip's number for the deflate method
// Level 1 where the browser cannot deflate: about three times the speed of the library's default
// on these pictures, for a zip a few percent larger.
const SCRIPT_ZIP_LEVEL = 1;

function browserDeflates() {
  try {
    return typeof CompressionStream === 'function' && !!new CompressionStream('deflate-raw');
  } catch {
    return false;
  }
}

// A file of the zip deflated by the browser's compressor: `push` as the zip library's own
// files take bytes (the library keeps the checksum and size); `ready()` waits while the
// compressor is full, and `finished` resolves once the deflated bytes have all gone to the zip.
class BrowserDeflate extends ZipPassThrough {
  constructor(name) {
    super(name);
    this.compression = DEFLATED;
    const deflate = new CompressionStream('deflate-raw');
    this.writer = deflate.writable.getWriter();
    const reader = deflate.readable.getReader();
    this.finished = (async () => {
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        this.ondata(null, value, false);
      }
      this.ondata(null, new Uint8Array(0), true);
    })();
    // A failure shows where the save waits for the file; until then it is not unhandled.
    this.finished.catch(() => {});
  }

  ready() {
    return this.writer.ready;
  }

  process(chunk, final) {
    if (chunk.length > 0) this.writer.write(chunk).catch(() => {});
    if (final) this.writer.close().catch(() => {});
  }

  terminate() {
    this.writer.abort().catch(() => {});
  }
}

// The same, deflated here in script, for a browser without a compressor of its own.
class ScriptDeflate extends ZipDeflate {
  constructor(name) {
    super(name, { level: SCRIPT_ZIP_LEVEL });
    this.finished = Promise.resolve();
  }

  ready() {
    return Promise.resolve();
  }
}

const ZipFile = browserDeflates() ? BrowserDeflate : ScriptDeflate;

// The pieces as one: the blob is built from few large parts rather than many small ones.
function joined(pieces) {
  if (pieces.length === 1) return pieces[0];
  const all = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0));
  let at = 0;
  for (const piece of pieces) {
    all.set(piece, at);
    at += piece.length;
  }
  return all;
}

// { blob } of the zip of `entries` (the records of a walk) under varnu's names; as PNG where
// `asPng` and a PNG can hold the picture (else as varnu writes it). { cancelled: true } when the
// page stopped it (`isCancelled()`).
export async function saveAll(worker, { archive, name, entries, asPng }, { post, isCancelled }) {
  const source = { archive, name };
  const finder = new BorrowedFinder(worker, source, entries.length > 0 && entries[0].halfWidth);
  const made = [];
  let zipBytes = 0;
  let failure = null;
  const zip = new Zip((error, bytes) => {
    if (error) failure ??= error;
    else made.push(bytes);
  });
  let next = 0;
  let current = null; // the file being zipped: { file, into }

  // The picture as PNG (worker-edits.js), or null where a PNG cannot hold it.
  async function png(entry) {
    await readyForEntry(worker, source, entry);
    const file = openEntry(worker, source, entry, finder);
    try {
      return pngBytes(worker, file, entry.halfWidth);
    } catch (error) {
      if (error instanceof Refusal) return null;
      throw error;
    } finally {
      closeEntry(worker, file);
    }
  }

  async function startFile(entry) {
    const bytes = asPng ? await png(entry) : null;
    if (bytes) {
      const into = new ZipPassThrough(pngName(entry.name));
      zip.add(into);
      into.push(bytes, true);
      post({ type: 'progress', done: next });
      return;
    }
    await readyForEntry(worker, source, entry);
    const file = openEntry(worker, source, entry, finder);
    const into = new ZipFile(entry.name);
    zip.add(into);
    current = { file, into };
  }

  async function zipPiece() {
    for (let taken = 0; taken < ZIP_STEP;) {
      await current.into.ready();
      const bytes = readEntry(worker, current.file, ZIP_PIECE);
      current.into.push(bytes, bytes.length === 0);
      if (bytes.length === 0) {
        const { finished } = current.into;
        closeCurrent();
        await finished;
        post({ type: 'progress', done: next });
        return;
      }
      taken += bytes.length;
    }
  }

  function closeCurrent() {
    if (current) closeEntry(worker, current.file);
    current = null;
  }

  function handOn(controller) {
    if (failure) throw failure;
    if (made.length === 0) return;
    const bytes = joined(made.splice(0));
    zipBytes += bytes.length;
    if (zipBytes > MAX_ZIP_BYTES) {
      throw new Refusal('zipTooLarge');
    }
    controller.enqueue(bytes);
  }

  // The stream always ends as a stream: what stopped it is kept here and said once the blob is
  // made, rather than as a broken stream, which a browser may also report as a script error.
  let stopped = null;
  let wasCancelled = false;
  let turnDue = 0; // when the zip next lets other requests be answered
  const stream = new ReadableStream({
    async pull(controller) {
      try {
        if (performance.now() >= turnDue) {
          await nextTurn();
          turnDue = performance.now() + TURN_MS;
        }
        if (isCancelled()) {
          wasCancelled = true;
          controller.close();
          return;
        }
        if (!current && next === entries.length) {
          zip.end();
          handOn(controller);
          controller.close();
          return;
        }
        if (!current) await startFile(entries[next++]);
        if (current) await zipPiece();
        handOn(controller);
      } catch (error) {
        stopped = error;
        controller.close();
      }
    },
  });
  try {
    const blob = await new Response(stream, {
      headers: { 'content-type': 'application/zip' },
    }).blob();
    if (stopped) throw stopped;
    return wasCancelled ? { cancelled: true } : { blob };
  } finally {
    current?.into.terminate?.();
    closeCurrent();
    finder.end();
    zip.terminate();
  }
}
