// The worker: owns the WebAssembly module and answers the page's small messages, so that a long
// archive never stalls the page. Every answer carries the request's id; what a request yields on
// the way (the entries of a walk as it reads them, the files a Save all has done) is sent before
// the answer under the same id.
//
// Nothing here runs long at once: a walk reads for a few milliseconds, then lets the requests
// that came meanwhile be answered (a picture scrolled into view, the larger view), and a zip
// takes the next piece of a file only when the download has taken the last one.
//
// Each answer is handed the worker, { m: the module, facts: the module's own facts
// (module_facts.hpp), archives: the user's archives in its file system (worker-archives.js),
// outputs: the file system the module writes what it makes whole in (worker-outputs.js) },
// the request, and { id, post, isCancelled } for the request: what it yields on the way goes
// through `post`, and `isCancelled()` says whether the page has stopped it.

import createVarnuModule from 'varnu-module';
import { createArchives } from './worker-archives.js';
import { applyPatch, changedEntries, check, png, pack, saveArchive } from './worker-edits.js';
import { bitmap, picture, thumbnail } from './worker-entries.js';
import { createOutputs } from './worker-outputs.js';
import { Refusal } from './worker-refusals.js';
import { convert } from './worker-walk.js';
import { saveAll } from './worker-zip.js';

const workerReady = createVarnuModule({ print() {}, printErr() {} }).then((m) => {
  const facts = JSON.parse(m.UTF8ToString(m._varnu_facts()));
  return { m, facts, archives: createArchives(m, facts), outputs: createOutputs(m.FS, facts) };
});

// The base name the converter gives the archive's outputs, which the zip is named after.
function baseName({ m }, { name }) {
  return { base: m.ccall('varnu_base_name', 'string', ['string'], [name]) };
}

function listen() {
  // Requests that may be stopped (a Save all), by their id.
  const cancelled = new Set();

  const answers = {
    store: ({ archives }, request) => archives.store(request),
    cancel: (worker, { target }) => {
      cancelled.add(target);
      return {};
    },
    baseName, pack, convert, thumbnail, picture, bitmap, saveAll, png, saveArchive, check,
    applyPatch, changedEntries,
  };

  self.onmessage = async ({ data }) => {
    const post = (message, transfer = []) =>
      self.postMessage({ id: data.id, ...message }, transfer);
    const isCancelled = () => cancelled.has(data.id);
    let answer;
    try {
      const worker = await workerReady;
      answer = await answers[data.type](worker, data, { id: data.id, post, isCancelled });
    } catch (error) {
      const reason = String(error && error.message ? error.message : error);
      // The module broke (a trap, or its own abort): nothing it holds can be trusted any more.
      const fatal = !(error instanceof Refusal) && !(error instanceof RangeError);
      answer = { error: reason, fatal, problem: error?.problem };
    } finally {
      cancelled.delete(data.id);
    }
    const worker = await workerReady.catch(() => null);
    answer.heap = worker ? worker.m.HEAPU8.length : 0;
    const transfer = answer.failure?.line ? [answer.failure.line.buffer] : [];
    post({ type: 'answer', answer }, transfer);
  };
}

listen();
