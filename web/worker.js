// The worker: owns the WebAssembly module (createVarnuModule, bundled before this script) and
// answers the page's small messages, so that a long archive never stalls the page. Every answer
// carries the request's id; the converter's files stream to the page while it runs.
'use strict';

const EIO = 29; // the module's number for an input/output error
let job = 0; // the request being answered, for the files streamed during a conversion
let packMessages = []; // the packer's messages, as it makes them during a pack

const moduleReady = createVarnuModule({
  print() {},
  printErr() {},
  // Each file becomes a blob at once, copied out of the module's memory: the page then holds
  // a handle, and the browser keeps the bytes (on disk when there are too many for memory).
  onOutput({ bytes, ...facts }) {
    const file = { ...facts, blob: new Blob([bytes], { type: 'image/bmp' }) };
    self.postMessage({ id: job, type: 'file', file }, [file.palette.buffer]);
  },
  onPackMessage(message) {
    packMessages.push(message);
  },
}).then((m) => {
  readErrorsAsErrno(m);
  return m;
});

function archiveFolder(archive) {
  return `/archives/${archive}`;
}

function makeFolder(FS, path) {
  let at = '';
  for (const part of path.split('/').filter(Boolean)) {
    at += `/${part}`;
    if (!FS.analyzePath(at).exists) FS.mkdir(at);
  }
}

// The archive keeps the name the user's file has, so the converter names its outputs from it
// exactly as on the command line. It is read straight from the user's file as the converter
// asks for its bytes, never copied whole first, so the first pictures come at once. A dropped
// folder becomes a folder of that name, which the converter refuses as it does on the command
// line.
function store(m, { archive, name, file }) {
  const folder = archiveFolder(archive);
  makeFolder(m.FS, folder);
  if (file) m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name, data: file }] }, folder);
  else m.FS.mkdir(`${folder}/${name}`);
  return {};
}

// A file that cannot be read (removed or changed since it was chosen, or a folder the browser
// handed over as a file) is a read error to the converter, as a failing disk would be, rather
// than an exception that would tear through the module.
function readErrorsAsErrno(m) {
  const { stream_ops: calls } = m.FS.filesystems.WORKERFS;
  const read = calls.read;
  calls.read = (...args) => {
    try {
      return read(...args);
    } catch (error) {
      if (error instanceof m.FS.ErrnoError) throw error;
      throw new m.FS.ErrnoError(EIO);
    }
  };
}

function convert(m, { archive, name, halfWidth }) {
  m.FS.chdir(archiveFolder(archive));
  const code = m.ccall('varnu_convert', 'number', ['string', 'number'], [name, halfWidth ? 1 : 0]);
  if (code < 0) return { failure: null };
  const at = m._varnu_failure_message(code);
  const line = m.HEAPU8.slice(at, at + m._varnu_failure_message_size(code));
  return { failure: { code, line } };
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
  return { status, messages, picturePaths, originalPath, archive };
}

function zip(m, { files }) {
  const reader = new FileReaderSync();
  const entries = {};
  for (const { name, blob } of files) {
    entries[name] = new Uint8Array(reader.readAsArrayBuffer(blob));
  }
  return { zip: fflate.zipSync(entries, { level: 6 }) };
}

const answers = { store, convert, baseName, pack, zip };

self.onmessage = async ({ data }) => {
  let answer;
  try {
    const m = await moduleReady;
    job = data.id;
    answer = answers[data.type](m, data);
  } catch (error) {
    answer = { error: String(error && error.message ? error.message : error) };
  }
  const transfer = [answer.archive, answer.zip, answer.failure && answer.failure.line]
    .filter(Boolean)
    .map((bytes) => bytes.buffer);
  self.postMessage({ id: data.id, type: 'answer', answer }, transfer);
};
