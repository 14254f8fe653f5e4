// The page's side of the worker: requests answered by id, with what a request yields on the way
// (a run's entries, a save's progress) handed to its `onMessage` before the answer. A request
// the worker cannot answer fails with its reason, so that whoever asked can say so on the page.
//
// A worker that stops (the module broke, the browser ended it, it no longer answers) fails every
// request in flight with WorkerStopped, and the next request starts a fresh one, which is given
// the archives again: the page goes on with whatever comes next. A worker whose memory grew large
// for a large entry is let go once it is idle, as its module's memory never shrinks.

import { t } from './i18n.js';

export class WorkerStopped extends Error {}

export function createConverter(workerSource) {
  const script = URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
  // A worker silent this long while requests wait is taken to have stopped: far longer than the
  // slowest step it takes (the largest entry made again, about a second).
  const SILENCE_MS = 60_000;
  const LARGE_HEAP = 256 * 1024 * 1024;
  const archives = new Map(); // id -> { name, file }: what a fresh worker is given again
  const pending = new Map();
  let worker = null;
  let given = new Set(); // the archives the worker in use has been given
  let lastId = 0;
  let heard = 0;
  let watch = 0;

  function start() {
    worker = new Worker(script);
    given = new Set();
    worker.onmessage = ({ data }) => {
      heard = Date.now();
      const request = pending.get(data.id);
      if (!request) return;
      if (data.type !== 'answer') {
        request.onMessage(data);
        return;
      }
      pending.delete(data.id);
      const { answer } = data;
      if (answer.fatal) stop(answer.error);
      // A refusal the worker names (worker-refusals.js) is said in the page's language.
      const reason = answer.problem ? t(`problem.${answer.problem}`) : answer.error;
      if (answer.error) request.reject(new (answer.fatal ? WorkerStopped : Error)(reason));
      else request.resolve(answer);
      if (pending.size === 0 && answer.heap > LARGE_HEAP) letGo();
    };
    // An error outside any answer (the worker's script broke, or the browser stopped it) would
    // leave what is in flight waiting for ever: it fails instead, and whoever asked says why.
    worker.onerror = (event) => {
      event.preventDefault();
      stop(event.message || t('stopped.worker'));
    };
    worker.onmessageerror = () => stop(t('stopped.message'));
  }

  function letGo() {
    worker?.terminate();
    worker = null;
    clearInterval(watch);
    watch = 0;
  }

  function stop(reason) {
    letGo();
    const requests = [...pending.values()];
    pending.clear();
    for (const request of requests) request.reject(new WorkerStopped(reason));
  }

  function watchSilence() {
    heard = Date.now();
    watch ||= setInterval(() => {
      if (pending.size > 0 && Date.now() - heard > SILENCE_MS) {
        stop(t('stopped.silent'));
      }
    }, SILENCE_MS / 4);
  }

  function post(message, transfer = []) {
    if (!worker) start();
    // The archives the request reads: its own, and for changedEntries the original.
    for (const archive of [message.archive, message.original]) {
      if (!archive || given.has(archive)) continue;
      given.add(archive);
      if (message.type !== 'store') worker.postMessage({ type: 'store', archive, ...archives.get(archive) });
    }
    worker.postMessage(message, transfer);
  }

  // Sends a request; `started` hears its id, for a later cancel.
  function ask(type, message, { transfer = [], onMessage = () => {}, started = () => {} } = {}) {
    const id = ++lastId;
    started(id);
    return new Promise((resolve, reject) => {
      pending.set(id, { resolve, reject, onMessage });
      const name = message.archive ? archives.get(message.archive).name : undefined;
      post({ name, ...message, id, type }, transfer);
      watchSilence();
    });
  }

  // The first worker starts with the page, so that its module is ready by the time a person has
  // chosen an archive, rather than starting then.
  start();

  return {
    // Gives the worker the archive under the name the user's file has (file: null for a folder).
    store(archive, name, file) {
      archives.set(archive, { name, file });
      return ask('store', { archive, file });
    },
    // Converts the archive; its entries' records (worker-walk.js) come to `onEntries` in batches
    // as they are read. Answers { failure }: null, or { code, kind, line } as the command line
    // ends.
    convert: (archive, halfWidth, onEntries) =>
      ask('convert', { archive, halfWidth }, { onMessage: ({ entries }) => onEntries(entries) }),
    baseName: (name) => ask('baseName', { name }),
    // Answers { status, messages: [{ file, kind, text }], picturePaths, originalPath, archive }:
    // `archive`, a blob, when packed.
    pack: (pictures, original, outputName) =>
      ask('pack', { pictures, original, outputName }, {
        transfer: [...pictures, ...(original ? [original] : [])].map((f) => f.bytes),
      }),
    // A picture's file made again, as: a small picture (PNG) within `limits`; the larger view's
    // picture with its palette; the file itself. `source` is { entry } for an entry's file, or
    // { entry, stored } for what varnu writes once a replacement is packed (`stored`, the bitmap
    // check() answered, in the mode of `entry`).
    thumbnail: (archive, source, limits) => ask('thumbnail', { archive, ...source, limits }),
    picture: (archive, source, drawn, limits) =>
      ask('picture', { archive, ...source, drawn, limits }),
    bitmap: (archive, source) => ask('bitmap', { archive, ...source }),
    // The file as PNG, made by the packer's code: { blob }.
    png: (archive, source) => ask('png', { archive, ...source }),
    // The packer's check of `file` as the replacement of `entry` (worker-edits.js): answers
    // { refusal, warnings, unchanged, plain, halfWidth, stored }.
    check: (archive, entry, file) => ask('check', { archive, entry, file }),
    // The archive of `count` entries with entry `index` of each of `replaced` ({ index, file })
    // packed from that file. Answers { status, messages, paths, archive } as pack does, `paths`
    // by index.
    saveArchive: (archive, count, replaced) => ask('saveArchive', { archive, count, replaced }),
    // The same, as the patch from the archive to that one: `archive` holds the patch.
    savePatch: (archive, count, replaced) =>
      ask('saveArchive', { archive, count, replaced, patch: true }),
    // The archive with the person's patch `patch` (a File) applied: { status, messages, patched }.
    applyPatch: (archive, patch) => ask('applyPatch', { archive, patch }),
    // Which of `pairs` ([index, offset, end, original offset, original end]) differ between the
    // archive and the archive `original`: { changed: [index...] }.
    changedEntries: (archive, original, pairs) => ask('changedEntries',
      { archive, original, originalName: archives.get(original).name, pairs }),
    // The zip of `entries`; `onProgress` hears how many files are done. { done, cancel }: done
    // answers { blob } or { cancelled: true }.
    saveAll(archive, entries, asPng, onProgress) {
      let id = 0;
      const done = ask('saveAll', { archive, entries, asPng }, {
        onMessage: (message) => onProgress(message.done),
        started: (started) => {
          id = started;
        },
      });
      return { done, cancel: () => pending.has(id) && post({ type: 'cancel', target: id }) };
    },
  };
}
