// The user's archives in the module's file system, each in a folder of its own under the name
// the user's file has, so that the converter names its outputs from it exactly as on the command
// line. Each is read straight from the user's file as the module asks for its bytes, through the
// block cache (worker-blocks.js), never copied whole: the page holds the user's file, and has each
// entry's file made again from it when needed. A dropped folder becomes a folder of that name,
// which the converter refuses as it does on the command line.

import { createBlockCache } from './worker-blocks.js';

export function makeFolder(FS, path) {
  let at = '';
  for (const part of path.split('/').filter(Boolean)) {
    at += `/${part}`;
    if (!FS.analyzePath(at).exists) FS.mkdir(at);
  }
}

// A folder and all in it, once the module is done with it.
export function removeTree(FS, path) {
  for (const name of FS.readdir(path)) {
    if (name === '.' || name === '..') continue;
    const inner = `${path}/${name}`;
    if (FS.isDir(FS.stat(inner).mode)) removeTree(FS, inner);
    else FS.unlink(inner);
  }
  FS.rmdir(path);
}

// The archives of module `m`, whose facts are `facts` (module_facts.hpp). An archive is named by
// the id the page gave it; a source is { archive, name }.
export function createArchives(m, facts) {
  const blocks = createBlockCache();
  const userFiles = new Map(); // archive -> the user's file, none for a folder

  // A file that cannot be read (removed or changed since it was chosen, or a folder the browser
  // handed over as a file) is a read error to the module, as a failing disk would be, rather than
  // an exception that would tear through it.
  m.FS.filesystems.WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    try {
      return blocks.read(stream.node.contents, buffer, offset, length, position);
    } catch {
      throw new m.FS.ErrnoError(facts.eio);
    }
  };

  const folder = (archive) => `/archives/${archive}`;

  return {
    folder,
    path: ({ archive, name }) => `${folder(archive)}/${name}`,

    // The page's request to keep an archive: { archive, name, file }, file null for a folder.
    store({ archive, name, file }) {
      const at = folder(archive);
      if (m.FS.analyzePath(at).exists) return {};
      userFiles.set(archive, file);
      makeFolder(m.FS, at);
      if (file) m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name, data: file }] }, at);
      else m.FS.mkdir(`${at}/${name}`);
      return {};
    },

    // Resolves once `length` bytes from `position` of the archive are at hand.
    ready({ archive }, position, length) {
      const file = userFiles.get(archive);
      return file ? blocks.ready(file, position, length) : Promise.resolve();
    },
  };
}
