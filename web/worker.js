// The worker: owns the WebAssembly module (createVarnuModule, bundled before this script) and
// answers the page's small messages, so that a long archive never stalls the page. Every answer
// carries the request's id; what a request yields on the way (the entries of a run as it
// converts them, the files a Save all has done) is sent before the answer under the same id.
//
// Nothing here runs long at once: a run converts for a few milliseconds, then lets the requests
// that came meanwhile be answered (a picture scrolled into view, the larger view), and a zip
// takes the next piece of a file only when the download has taken the last one.
'use strict';

const EIO = 29; // the module's number for an input/output error
let onEntry = null; // who hears of the entries the run being stepped converts
let packMessages = []; // the packer's messages, as it makes them during a pack

const moduleReady = createVarnuModule({
  print() {},
  printErr() {},
  onEntry(facts) {
    onEntry(facts);
  },
  onPackMessage(message) {
    packMessages.push(message);
  },
}).then((m) => {
  readInBlocks(m);
  return m;
});

// A failure to say to the person, as against a fault of the page itself.
class Refusal extends Error {}

function archiveFolder(archive) {
  return `/archives/${archive}`;
}

function archivePath({ archive, name }) {
  return `${archiveFolder(archive)}/${name}`;
}

const userFiles = new Map(); // archive -> the user's file, none for a folder

function makeFolder(FS, path) {
  let at = '';
  for (const part of path.split('/').filter(Boolean)) {
    at += `/${part}`;
    if (!FS.analyzePath(at).exists) FS.mkdir(at);
  }
}

// The archive keeps the name the user's file has, so the converter names its outputs from it
// exactly as on the command line. It is read straight from the user's file as the converter
// asks for its bytes, never copied whole: the page holds the user's file, and makes each
// entry's file again from it when needed. A dropped folder becomes a folder of that name, which
// the converter refuses as it does on the command line.
function store(m, { archive, name, file }) {
  const folder = archiveFolder(archive);
  if (m.FS.analyzePath(folder).exists) return {};
  userFiles.set(archive, file);
  makeFolder(m.FS, folder);
  if (file) m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name, data: file }] }, folder);
  else m.FS.mkdir(`${folder}/${name}`);
  return {};
}

// The user's files are read through the block cache (worker-archive.js). A file that cannot be
// read (removed or changed since it was chosen, or a folder the browser handed over as a file) is
// a read error to the converter, as a failing disk would be, rather than an exception that would
// tear through the module.
function readInBlocks(m) {
  m.FS.filesystems.WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    try {
      return blockCache.read(stream.node.contents, buffer, offset, length, position);
    } catch {
      throw new m.FS.ErrnoError(EIO);
    }
  };
}

// Resolves once `length` bytes from `position` of the archive are at hand.
function archiveReady({ archive }, position, length) {
  const file = userFiles.get(archive);
  return file ? blockCache.ready(file, position, length) : Promise.resolve();
}

function baseName(m, { name }) {
  return { base: m.ccall('varnu_base_name', 'string', ['string'], [name]) };
}

// C strings for the packer's command line, freed by the caller.
function argv(m, args) {
  const pointers = args.map((arg) => {
    const size = m.lengthBytesUTF8(arg) + 1;
    const at = m._malloc(size);
    m.stringToUTF8(arg, at, size);
    return at;
  });
  const table = m._malloc(4 * pointers.length);
  new Uint32Array(m.HEAPU8.buffer, table, pointers.length).set(pointers);
  return { table, pointers };
}

let packRuns = 0;

// Each picture is written under its own name, so the packer's messages name the user's files;
// a name already taken goes into a folder of its own.
function pack(m, { pictures, original, outputName }) {
  const folder = `/pack/${++packRuns}`;
  makeFolder(m.FS, `${folder}/out`);
  m.FS.chdir(folder);
  const taken = new Set(['out']);
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
  const args = [];
  let originalPath = null;
  if (original) {
    originalPath = place(original.name, original.bytes, 'original');
    args.push('--like', originalPath);
  }
  const output = `out/${outputName}`;
  args.push(output);
  const picturePaths = pictures.map((p, k) => place(p.name, p.bytes, k + 1));
  args.push(...picturePaths);

  const { table, pointers } = argv(m, args);
  packMessages = [];
  const status = m._varnu_pack(args.length, table);
  for (const at of pointers) m._free(at);
  m._free(table);
  const messages = packMessages;
  const archive = status === 0 ? m.FS.readFile(output) : null;
  m.FS.chdir('/');
  removeTree(m.FS, folder);
  return { status, messages, picturePaths, originalPath, archive };
}

// A pack's files, once its archive is read back: the next pack starts from nothing.
function removeTree(FS, path) {
  for (const name of FS.readdir(path)) {
    if (name === '.' || name === '..') continue;
    const inner = `${path}/${name}`;
    if (FS.isDir(FS.stat(inner).mode)) removeTree(FS, inner);
    else FS.unlink(inner);
  }
  FS.rmdir(path);
}

// Requests that may be stopped (a Save all) by their id.
const cancelled = new Set();
function cancel(m, { target }) {
  cancelled.add(target);
  return {};
}

// Lets whatever came meanwhile be handled before going on: a message on a channel of its own is
// a task of its own, without the few milliseconds a timer may wait.
const turns = new MessageChannel();
const waiting = [];
turns.port1.onmessage = () => waiting.shift()();
function nextTurn() {
  return new Promise((resolve) => {
    waiting.push(resolve);
    turns.port2.postMessage(null);
  });
}

const answers = {
  store, baseName, pack, cancel, convert, thumbnail, picture, bitmap, saveAll, png,
  saveArchive,
};

self.onmessage = async ({ data }) => {
  const post = (message, transfer = []) =>
    self.postMessage({ id: data.id, ...message }, transfer);
  let answer;
  try {
    const m = await moduleReady;
    answer = await answers[data.type](m, data, post);
  } catch (error) {
    const reason = String(error && error.message ? error.message : error);
    // The module broke (a trap, or its own abort): nothing it holds can be trusted any more.
    const fatal = !(error instanceof Refusal) && !(error instanceof RangeError);
    answer = { error: reason, fatal };
  } finally {
    cancelled.delete(data.id);
  }
  const m = await moduleReady.catch(() => null);
  answer.heap = m ? m.HEAPU8.length : 0;
  const transfer = [answer.archive, answer.failure && answer.failure.line]
    .filter(Boolean)
    .map((bytes) => bytes.buffer);
  post({ type: 'answer', answer }, transfer);
};
