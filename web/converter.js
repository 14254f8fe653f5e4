// The page's side of the worker: one request at a time in flight per message, answered by id;
// files the converter writes arrive on the way, before the answer. Each file comes with its
// entry's packed and unpacked sizes. A request the worker cannot answer fails with its reason,
// so that whoever asked can say so on the page.

function createConverter(workerSource) {
  const script = new Blob([workerSource], { type: 'text/javascript' });
  const worker = new Worker(URL.createObjectURL(script));
  const pending = new Map();
  let lastId = 0;

  worker.onmessage = ({ data }) => {
    const request = pending.get(data.id);
    if (!request) return;
    if (data.type === 'file') {
      request.onFile(data.file);
      return;
    }
    pending.delete(data.id);
    if (data.answer.error) request.reject(new Error(data.answer.error));
    else request.resolve(data.answer);
  };

  // An error outside any answer (the worker's script broke, or the browser stopped it) would
  // leave what is in flight waiting for ever: it fails instead, and whoever asked says why.
  worker.onerror = (event) => {
    event.preventDefault();
    const reason = event.message || 'the worker stopped';
    for (const request of pending.values()) request.reject(new Error(reason));
    pending.clear();
  };

  function ask(type, message, { transfer = [], onFile = () => {} } = {}) {
    const id = ++lastId;
    return new Promise((resolve, reject) => {
      pending.set(id, { resolve, reject, onFile });
      worker.postMessage({ ...message, id, type }, transfer);
    });
  }

  return {
    // Gives the worker the archive under the name the user's file has (file: null for a folder).
    store: (archive, name, file) => ask('store', { archive, name, file }),
    convert: (archive, name, halfWidth, onFile) =>
      ask('convert', { archive, name, halfWidth }, { onFile }),
    baseName: (name) => ask('baseName', { name }),
    // Answers { status, messages: [{ file, kind, text }], picturePaths, originalPath, archive }.
    pack: (pictures, original, outputName) =>
      ask('pack', { pictures, original, outputName }, {
        transfer: [...pictures, ...(original ? [original] : [])].map((f) => f.bytes),
      }),
    zip: (files) => ask('zip', { files }),
  };
}
