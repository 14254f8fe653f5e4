// The worker's walks of an archive: the one that shows it, handing the page each entry's record
// a slice at a time, and the one that finds again the bytes an entry borrows from earlier ones
// when those were not kept.
//
// A record is in the module's words (entry_record.hpp): index, offset, packedSize, unpackedSize,
// end, extent, halfWidth, flip, borrows, and the file's name, fileSize, width and height. The
// bytes an entry borrows are what making its file again takes besides the record (most entries
// borrow none, or only zeros, which need no keeping); they are kept with the record as `borrowed`
// up to a budget per walk, and past it the record says `borrowedNotKept`, and they are found again
// when needed by walking the archive up to that entry.

import { BLOCK_SIZE } from './worker-blocks.js';
import { refusal } from './worker-refusals.js';
import { nextTurn } from './worker-turns.js';

const WALK_SLICE_MS = 8; // a walk reads this long, then lets other requests be answered
const BORROWED_BUDGET = 32 * 1024 * 1024; // borrowed bytes kept per walk

// `varnu name [x]` begun in the archive's own folder, so that the outputs are named as on the
// command line. `worker` is { m, facts, archives } (worker.js).
function beginWalk({ m, archives }, source, halfWidth) {
  m.FS.chdir(archives.folder(source.archive));
  const walk = m.ccall('varnu_walk_begin', 'number', ['string', 'number'],
    [source.name, halfWidth ? 1 : 0]);
  if (!walk) throw refusal('noMemory');
  return walk;
}

// Reads the walk's next entry: { outcome } and, while the walk goes on, the entry's `record` and
// the bytes it `borrowed` (a view of the module's memory, valid until the next step).
function stepWalk({ m, facts }, walk) {
  const outcome = m._varnu_walk_step(walk);
  if (outcome !== facts.walk.goesOn) return { outcome };
  const record = JSON.parse(m.UTF8ToString(m._varnu_walk_record(walk)));
  const at = m._varnu_walk_borrowed(walk);
  const borrowed = m.HEAPU8.subarray(at, at + m._varnu_walk_borrowed_size(walk));
  return { outcome, record, borrowed };
}

// The failure a walk ended with, as the command line says it: null when it succeeded, else
// { code, kind, line, reason, nextName } with the kind the module names it, the converter's line,
// and why the walk stopped where it did (page_walk.hpp).
function failureOf({ m, facts }, code, walk) {
  if (code === facts.walk.succeeded) return null;
  const at = m._varnu_failure_message(code);
  const line = m.HEAPU8.slice(at, at + m._varnu_failure_message_size(code));
  const { reason, nextName } = JSON.parse(m.UTF8ToString(m._varnu_walk_failure(walk)));
  return { code, kind: facts.failures[code], line, reason, nextName };
}

// Shows the archive: its entries' records go to the page a slice at a time as { entries };
// answers { failure } when the walk has ended.
export async function convert(worker, { archive, name, halfWidth }, { post }) {
  const source = { archive, name };
  const walk = beginWalk(worker, source, halfWidth);
  let kept = 0;
  const keep = ({ record, borrowed }) => {
    if (borrowed.length === 0) return record;
    if (kept + borrowed.length > BORROWED_BUDGET) return { ...record, borrowedNotKept: true };
    kept += borrowed.length;
    return { ...record, borrowed: borrowed.slice() };
  };
  let end = 0;
  try {
    for (;;) {
      await worker.archives.ready(source, end, BLOCK_SIZE);
      const until = performance.now() + WALK_SLICE_MS;
      const entries = [];
      let step;
      do {
        step = stepWalk(worker, walk);
        if (step.record) entries.push(keep(step));
      } while (step.record && performance.now() < until);
      if (entries.length > 0) {
        end = entries.at(-1).end;
        post({ type: 'entries', entries });
      }
      if (!step.record) return { failure: failureOf(worker, step.outcome, walk) };
      await nextTurn();
    }
  } finally {
    worker.m._varnu_walk_end(walk);
  }
}

// Finds again the bytes entries borrow where they were not kept, by walking the archive up to
// them. Moving forward goes on from where it stands, so a Save all walks the archive at most once
// more.
export class BorrowedFinder {
  constructor(worker, source, halfWidth) {
    Object.assign(this, { worker, source, halfWidth, walk: 0, next: 0 });
  }

  // The bytes entry `index` borrows.
  find(index) {
    if (this.walk && index < this.next) this.end();
    if (!this.walk) this.walk = beginWalk(this.worker, this.source, this.halfWidth);
    for (;;) {
      const { outcome, record, borrowed } = stepWalk(this.worker, this.walk);
      // The archive no longer reaches that far, or can no longer be read.
      if (!record) {
        const unreadable = this.worker.facts.failures[outcome] === 'openInput';
        throw refusal(unreadable ? 'unreadable' : 'changed');
      }
      if (this.next++ === index) return borrowed.slice();
    }
  }

  end() {
    if (this.walk) this.worker.m._varnu_walk_end(this.walk);
    this.walk = 0;
    this.next = 0;
  }
}
