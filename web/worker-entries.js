// The worker's conversions: the run that shows an archive, and each entry's file made again
// when the page needs it (a small picture for the gallery, the larger view, a saved file).
//
// The run hands on, for each entry, what making its file again takes (entry_file.hpp): where it
// lies, its sizes, how far its file reaches into the image buffer, and the bytes earlier entries
// left there that it reaches (most entries reach none). Those bytes are kept up to a budget per
// run; past it they are found again when needed by converting the archive up to that entry.

const RUN_SLICE_MS = 8; // a run converts this long, then lets other requests be answered
const TAIL_BUDGET = 32 * 1024 * 1024; // bytes of earlier entries' leftovers kept per run
const READ_CHUNK = 64 * 1024; // what a file is read in, the zip library's own block
const RUN_GOES_ON = -2;
const ENTRY_START = 12; // an entry's header and length field, before its payload
const PROBLEMS = [
  null,
  'it cannot be read any more: it was moved, changed or removed since it was opened',
  'it has changed since it was opened: open it again',
  'there is not enough memory for it',
];

// Steps `run` once, with the entries it converts handed to `hear`.
function stepRun(m, run, entries, hear) {
  onEntry = hear;
  try {
    return m._varnu_run_step(run, entries);
  } finally {
    onEntry = null;
  }
}

function beginRun(m, source, halfWidth) {
  m.FS.chdir(archiveFolder(source.archive));
  const run = m.ccall('varnu_run_begin', 'number', ['string', 'number'],
    [source.name, halfWidth ? 1 : 0]);
  if (!run) throw new Refusal(PROBLEMS[3]);
  return run;
}

function failureOf(m, code) {
  if (code < 0) return null;
  const at = m._varnu_failure_message(code);
  return { code, line: m.HEAPU8.slice(at, at + m._varnu_failure_message_size(code)) };
}

// `varnu name [x]`, in the archive's own folder so that the outputs are named as on the command
// line. Its entries go to the page a slice at a time; answers { failure } when it has ended.
async function convert(m, { archive, name, halfWidth }, post) {
  const run = beginRun(m, { archive, name }, halfWidth);
  let kept = 0;
  let converted = 0;
  let entries = [];
  const hear = ({ tail, ...facts }) => {
    const entry = { ...facts, index: converted++, halfWidth };
    if (tail === null || kept + tail.length > TAIL_BUDGET) entry.tailLost = true;
    else if (tail.length > 0) entry.tail = tail.slice();
    kept += entry.tail ? entry.tail.length : 0;
    entries.push(entry);
  };
  let position = 0;
  try {
    for (;;) {
      await archiveReady({ archive }, position, BLOCK_SIZE);
      m.FS.chdir(archiveFolder(archive));
      const until = performance.now() + RUN_SLICE_MS;
      let outcome;
      do {
        outcome = stepRun(m, run, 1, hear);
      } while (outcome === RUN_GOES_ON && performance.now() < until);
      if (entries.length > 0) {
        position = entries.at(-1).archivePosition;
        post({ type: 'entries', entries });
      }
      entries = [];
      if (outcome !== RUN_GOES_ON) return { failure: failureOf(m, outcome) };
      await nextTurn();
    }
  } finally {
    m._varnu_run_end(run);
  }
}

// Finds again what earlier entries left in the image buffer for entries whose bytes were not
// kept, by converting the archive up to them. Moving forward goes on from where it stands, so a
// Save all converts the archive at most once more.
class TailFinder {
  constructor(m, source, halfWidth) {
    Object.assign(this, { m, source, halfWidth, run: 0, next: 0 });
  }

  find(index) {
    if (this.run && index < this.next) this.end();
    if (!this.run) this.run = beginRun(this.m, this.source, this.halfWidth);
    let found = null;
    const hear = (facts) => {
      if (this.next++ === index) found = facts.tail && facts.tail.slice();
    };
    while (this.next <= index) {
      const outcome = stepRun(this.m, this.run, 1, hear);
      // The archive no longer reaches that far, or can no longer be read.
      if (outcome !== RUN_GOES_ON && this.next <= index) {
        throw new Refusal(PROBLEMS[outcome === 1 ? 1 : 2]);
      }
    }
    if (!found) throw new Refusal(PROBLEMS[3]);
    return found;
  }

  end() {
    if (this.run) this.m._varnu_run_end(this.run);
    this.run = 0;
    this.next = 0;
  }
}

// The entry's file, ready to be read from its start: a handle to close with closeEntry.
function openEntry(m, source, entry, finder) {
  let tail = entry.tail || new Uint8Array(0);
  if (entry.tailLost) {
    const own = !finder;
    finder ??= new TailFinder(m, source, entry.halfWidth);
    try {
      tail = finder.find(entry.index);
    } finally {
      if (own) finder.end();
    }
  }
  const at = m._malloc(Math.max(tail.length, 1));
  m.HEAPU8.set(tail, at);
  const file = m.ccall('varnu_entry_open', 'number',
    ['string', 'number', 'number', 'number', 'number', 'number', 'number', 'number'],
    [archivePath(source), entry.entryOffset, entry.packedSize, entry.unpackedSize,
      entry.halfWidth ? 1 : 0, entry.extent, at, tail.length]);
  m._free(at);
  if (!file) throw new Refusal(PROBLEMS[m._varnu_entry_problem()]);
  return file;
}

// The file's next bytes, up to `size`, copied out of the module's memory; empty at the end.
function readEntry(m, file, size = READ_CHUNK) {
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
async function entryBlob(m, file, type) {
  const stream = new ReadableStream({
    pull(controller) {
      const bytes = readEntry(m, file, 16 * READ_CHUNK);
      if (bytes.length > 0) controller.enqueue(bytes);
      else controller.close();
    },
  });
  return new Response(stream, { headers: { 'content-type': type } }).blob();
}

// The rest of the file as a picture within `limits`, or null when it is no bitmap the module
// draws: { width, height, factor, pixels } with four bytes a pixel, red, green, blue, alpha.
function pictureOf(m, file, limits) {
  const picture = m._varnu_entry_picture(file, limits.width, limits.height, limits.pixels);
  if (!picture) {
    if (m._varnu_entry_problem() !== 0) throw new Refusal(PROBLEMS[3]);
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

// Where an entry lies in its archive, header and payload.
function readyForEntry(source, entry) {
  return archiveReady(source, entry.entryOffset, ENTRY_START + entry.packedSize);
}

async function withEntry(m, request, use) {
  await readyForEntry(request, request.entry);
  const file = openEntry(m, request, request.entry);
  try {
    return await use(file);
  } finally {
    m._varnu_entry_close(file);
  }
}

// The gallery's small picture, as PNG: { blob }, or { blob: null } when it is no bitmap the
// module draws.
function thumbnail(m, request) {
  return withEntry(m, request, async (file) => {
    const picture = pictureOf(m, file, request.limits);
    return { blob: picture && await encodePng(picture) };
  });
}

// The larger view: the file itself where the browser draws it (`drawn`), else a picture within
// `limits` as PNG; with the entry's palette. Answers { blob, factor, palette }.
function picture(m, request) {
  return withEntry(m, request, async (file) => {
    const at = m._varnu_entry_palette(file);
    const palette = m.HEAPU8.slice(at, at + 1024);
    if (request.drawn) return { blob: await entryBlob(m, file, 'image/bmp'), factor: 1, palette };
    const shown = pictureOf(m, file, request.limits);
    return { blob: shown && await encodePng(shown), factor: shown ? shown.factor : 0, palette };
  });
}

// The file's bytes as varnu writes them: { blob }.
function bitmap(m, request) {
  return withEntry(m, request, async (file) => ({ blob: await entryBlob(m, file, 'image/bmp') }));
}

// The whole picture, for the page to encode: { width, height, pixels } or { pixels: null }.
function pixels(m, request) {
  return withEntry(m, request, async (file) => pictureOf(m, file, request.limits) ||
    { pixels: null });
}
