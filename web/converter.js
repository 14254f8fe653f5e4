// The page's side of the worker: one request at a time in flight per message, answered by id;
// files the converter writes arrive on the way, before the answer.
'use strict';

const converter = (() => {
  const source = document.getElementById('worker-source').textContent;
  const worker = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
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
    pack: (pictures, original, outputName) =>
      ask('pack', { pictures, original, outputName }, {
        transfer: [...pictures, ...(original ? [original] : [])].map((f) => f.bytes),
      }),
    zip: (files) => ask('zip', { files }),
  };
})();
