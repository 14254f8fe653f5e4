// Where the module writes what the page saves or opens whole (an archive packed, patched or with
// pictures replaced, a patch): a file system of the worker's own whose files are lists of Blob
// pieces, the last piece in memory until it is full. An output so leaves the module's memory as
// it is written, is never held whole twice, and its Blob (blobOf) is made from the pieces without
// a copy, which posting it to the page does not copy either. MEMFS would hold it in one array
// that doubles as it grows, then copy it out whole.
//
// It does what the packer asks of the folder it writes in (PendingFile): create a file, write on
// at its end, read back what was written, as WORKERFS reads a file, rename it and unlink it; and
// nothing more. Everything else is WORKERFS's own, as for the user's files.

// Large enough that a piece costs the browser little to keep, small enough to be nothing beside
// the page's memory.
const PIECE_SIZE = 4 * 1024 * 1024;
// A patch may say to make far more (64 GiB) than a browser keeps for a page: past this a write
// fails, as on a full disk, and the module refuses the output with its own line.
const MAX_FILE_SIZE = 2 * 1024 * 1024 * 1024;

// The file system for the module's `FS`; `facts` are the module's (module_facts.hpp). Mounted on
// a folder with FS.mount(outputs, {}, folder).
export function createOutputs(FS, facts) {
  const { WORKERFS } = FS.filesystems;
  const reader = new FileReaderSync();

  const nodeOps = { ...WORKERFS.node_ops };
  const streamOps = { llseek: WORKERFS.stream_ops.llseek };
  const outputs = {
    mount: () => createNode(null, '/', WORKERFS.DIR_MODE),
    blobOf,
  };

  // `contents` are a folder's nodes by name, or a file's pieces and the bytes after them; `size`
  // is what WORKERFS's getattr and llseek read.
  function createNode(parent, name, mode) {
    const node = FS.createNode(parent, name, mode, 0);
    node.node_ops = nodeOps;
    node.stream_ops = streamOps;
    node.timestamp = Date.now();
    node.size = 0;
    node.contents = FS.isDir(mode) ? {} : { pieces: [], tail: new Uint8Array(0), tailSize: 0 };
    if (parent) parent.contents[name] = node;
    return node;
  }

  // Files only, in the folder mounted: the packer makes no folder there.
  nodeOps.mknod = (parent, name, mode, dev) => {
    if (!FS.isFile(mode)) return WORKERFS.node_ops.mknod(parent, name, mode, dev);
    return createNode(parent, name, mode);
  };

  nodeOps.setattr = (node, attr) => {
    WORKERFS.node_ops.setattr(node, attr);
    if (attr.size === undefined || attr.size === node.size) return;
    // Only emptied, as a file opened to be written afresh is.
    if (attr.size !== 0) throw new FS.ErrnoError(facts.eio);
    node.contents = { pieces: [], tail: new Uint8Array(0), tailSize: 0 };
    node.size = 0;
  };

  nodeOps.rename = (node, folder, name) => {
    const replaced = folder.contents[name];
    if (replaced) FS.destroyNode(replaced);
    delete node.parent.contents[node.name];
    node.name = name;
    node.parent = folder;
    folder.contents[name] = node;
  };

  nodeOps.unlink = (parent, name) => {
    delete parent.contents[name];
  };

  // `length` bytes of the module's memory `heap` from `at`, as bytes.
  const bytesOf = (heap, at, length) => new Uint8Array(heap.buffer, heap.byteOffset + at, length);

  // Written on at the end only: a pack writes its output in order.
  streamOps.write = (stream, heap, at, length, position) => {
    const { node } = stream;
    if (position !== node.size || position + length > MAX_FILE_SIZE) {
      throw new FS.ErrnoError(facts.eio);
    }
    const file = node.contents;
    const bytes = bytesOf(heap, at, length);
    for (let done = 0; done < length;) {
      if (file.tail.length === 0) file.tail = new Uint8Array(PIECE_SIZE);
      const count = Math.min(length - done, PIECE_SIZE - file.tailSize);
      file.tail.set(bytes.subarray(done, done + count), file.tailSize);
      file.tailSize += count;
      done += count;
      // A Blob copies the bytes it is made from, so the tail is written over from the start.
      if (file.tailSize === PIECE_SIZE) {
        file.pieces.push(new Blob([file.tail]));
        file.tailSize = 0;
      }
    }
    node.size += length;
    node.timestamp = Date.now();
    return length;
  };

  // A piece that cannot be read back is a read error to the module, as for the user's files.
  streamOps.read = (stream, heap, at, length, position) => {
    const file = stream.node.contents;
    const end = Math.min(position + length, stream.node.size);
    const into = bytesOf(heap, at, Math.max(end - position, 0));
    for (let from = position; from < end;) {
      const index = Math.floor(from / PIECE_SIZE);
      const start = from - index * PIECE_SIZE;
      const count = Math.min(end - from, PIECE_SIZE - start);
      let bytes;
      if (index < file.pieces.length) {
        try {
          const piece = file.pieces[index].slice(start, start + count);
          bytes = new Uint8Array(reader.readAsArrayBuffer(piece));
        } catch {
          throw new FS.ErrnoError(facts.eio);
        }
      } else {
        bytes = file.tail.subarray(start, start + count);
      }
      into.set(bytes, from - position);
      from += count;
    }
    return into.length;
  };

  // The file at `path` as one Blob.
  function blobOf(path) {
    const { pieces, tail, tailSize } = FS.lookupPath(path).node.contents;
    return new Blob([...pieces, tail.subarray(0, tailSize)]);
  }

  return outputs;
}
