// The user's archives, read in large blocks. The module reads an archive as a program reads a
// file, a few bytes or one entry at a time; a browser answers each read of a user's file for a
// fixed cost (about 2 ms in Chromium, whatever its size) and reads fast only in large pieces. So
// reads are served from blocks of a few megabytes, fetched ahead of need without waiting, while
// the module reads on through what the last block held, and only a few blocks are kept.

import { letGo } from './worker-engines.js';

export const BLOCK_SIZE = 8 * 1024 * 1024;
const BLOCKS_KEPT = 4; // of all archives together: the one being read, the one after, and so on
const BLOCKS_AHEAD = 2;

export function createBlockCache() {
  const kept = new Map(); // `${file id}/${index}` -> bytes, least recently used first
  const fetching = new Map(); // the same keys -> promises of bytes
  const ids = new WeakMap();
  let lastId = 0;

  function keyOf(file, index) {
    if (!ids.has(file)) ids.set(file, ++lastId);
    return `${ids.get(file)}/${index}`;
  }

  function remember(key, bytes) {
    kept.delete(key);
    kept.set(key, bytes);
    for (const [old, block] of kept) {
      if (kept.size <= BLOCKS_KEPT) break;
      kept.delete(old);
      letGo(block);
    }
  }

  function range(file, index) {
    return file.slice(index * BLOCK_SIZE, Math.min(file.size, (index + 1) * BLOCK_SIZE));
  }

  // The block, read now if it is not at hand.
  function blockNow(file, index) {
    const key = keyOf(file, index);
    let bytes = kept.get(key);
    if (!bytes) bytes = new Uint8Array(new FileReaderSync().readAsArrayBuffer(range(file, index)));
    remember(key, bytes);
    return bytes;
  }

  // Starts reading the block, unless it is at hand or on its way.
  function fetchBlock(file, index) {
    const key = keyOf(file, index);
    if (index * BLOCK_SIZE >= file.size || kept.has(key)) return kept.get(key);
    if (!fetching.has(key)) {
      fetching.set(key, range(file, index).arrayBuffer()
        .then((buffer) => remember(key, new Uint8Array(buffer)))
        .catch(() => {}) // read again, and failed then, when it is needed
        .finally(() => fetching.delete(key)));
    }
    return fetching.get(key);
  }

  return {
    // Copies `length` bytes of `file` from `position` into `into` at `at`, as many as there are;
    // the blocks after them are fetched ahead.
    read(file, into, at, length, position) {
      const end = Math.min(file.size, position + length);
      let done = 0;
      while (position + done < end) {
        const index = Math.floor((position + done) / BLOCK_SIZE);
        const block = blockNow(file, index);
        const from = position + done - index * BLOCK_SIZE;
        const count = Math.min(end - position - done, block.length - from);
        into.set(block.subarray(from, from + count), at + done);
        done += count;
      }
      // No more fetched ahead while those are on their way: a read that runs on through the
      // whole archive at once (a pack, a patch applied) reads each block itself before a fetch
      // of it could come, and each fetch that came after would be the block's bytes once more.
      const last = Math.floor(Math.max(position, end - 1) / BLOCK_SIZE);
      for (let k = 1; k <= BLOCKS_AHEAD && fetching.size < BLOCKS_AHEAD; ++k) {
        fetchBlock(file, last + k);
      }
      return done;
    },

    // Resolves once the blocks holding `length` bytes from `position` are at hand, so that
    // reading them then costs nothing.
    ready(file, position, length) {
      const first = Math.floor(position / BLOCK_SIZE);
      const last = Math.floor((position + Math.max(length, 1) - 1) / BLOCK_SIZE);
      const waits = [];
      for (let index = first; index <= Math.min(last, first + BLOCKS_KEPT - 1); ++index) {
        waits.push(fetchBlock(file, index));
      }
      return Promise.all(waits);
    },
  };
}
