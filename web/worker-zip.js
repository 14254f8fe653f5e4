// Save all: the zip of every file of a run, made as the download takes it. Each file is made
// again from the archive, a piece at a time, and goes through the zip library's streaming
// compressor; the zip's bytes become a blob as they come (which the browser may keep on disk), so
// that neither the files nor the zip are ever whole in memory. The page hears how many files
// are done, and may stop it.

// Level 1: about three times the speed of the library's default on these pictures, for a zip a
// few percent larger.
const ZIP_LEVEL = 1;
// How much of a file one step of the zip takes before the download takes the zip's bytes.
const ZIP_STEP = 4 * 1024 * 1024;
// A zip without its 64-bit extension (which the library does not write) records offsets in four
// bytes.
const MAX_ZIP_BYTES = 2 ** 32 - 1;
const CANCELLED = 'cancelled';

function pngName(name) {
  return name.replace(/\.BMP$/, '.png');
}

// { blob } of the zip of `entries` (the run's entry facts) under varnu's names; as PNG where
// `asPng` and a PNG can hold the picture (else as varnu writes it).
async function saveAll(m, { id, archive, name, entries, asPng }, post) {
  const source = { archive, name };
  const finder = new TailFinder(m, source, entries.length > 0 && entries[0].halfWidth);
  const made = [];
  let zipBytes = 0;
  let failure = null;
  const zip = new fflate.Zip((error, bytes) => {
    if (error) failure ??= error;
    else made.push(bytes);
  });
  let next = 0;
  let current = null; // the file being zipped: { file, into }

  // The picture as PNG (worker-edits.js), or null where a PNG cannot hold it.
  async function png(entry) {
    await readyForEntry(source, entry);
    const file = openEntry(m, source, entry, finder);
    try {
      return pngBytes(m, file, entry.halfWidth);
    } catch (error) {
      if (error instanceof Refusal) return null;
      throw error;
    } finally {
      m._varnu_entry_close(file);
    }
  }

  async function startFile(entry) {
    const bytes = asPng ? await png(entry) : null;
    if (bytes) {
      const into = new fflate.ZipPassThrough(pngName(entry.name));
      zip.add(into);
      into.push(bytes, true);
      post({ type: 'progress', done: next });
      return;
    }
    await readyForEntry(source, entry);
    const file = openEntry(m, source, entry, finder);
    const into = new fflate.ZipDeflate(entry.name, { level: ZIP_LEVEL });
    zip.add(into);
    current = { file, into };
  }

  function zipPiece() {
    for (let taken = 0; taken < ZIP_STEP;) {
      const bytes = readEntry(m, current.file);
      current.into.push(bytes, bytes.length === 0);
      if (bytes.length === 0) {
        closeCurrent();
        post({ type: 'progress', done: next });
        return;
      }
      taken += bytes.length;
    }
  }

  function closeCurrent() {
    if (current) m._varnu_entry_close(current.file);
    current = null;
  }

  function handOn(controller) {
    if (failure) throw failure;
    for (const bytes of made.splice(0)) {
      zipBytes += bytes.length;
      if (zipBytes > MAX_ZIP_BYTES) {
        throw new Refusal('the zip would pass 4 GiB, more than a zip of this kind holds');
      }
      controller.enqueue(bytes);
    }
  }

  let stopped = null; // why the zip stopped, as this worker says it
  const stream = new ReadableStream({
    async pull(controller) {
      try {
        if (cancelled.has(id)) throw new Refusal(CANCELLED);
        if (!current && next === entries.length) {
          zip.end();
          handOn(controller);
          controller.close();
          return;
        }
        if (!current) await startFile(entries[next++]);
        if (current) zipPiece();
        handOn(controller);
      } catch (error) {
        stopped = error;
        throw error;
      }
    },
  });
  try {
    const blob = await new Response(stream, {
      headers: { 'content-type': 'application/zip' },
    }).blob();
    return { blob };
  } catch (error) {
    if (stopped && stopped.message === CANCELLED) return { cancelled: true };
    throw stopped || error;
  } finally {
    closeCurrent();
    finder.end();
    zip.terminate();
  }
}
