// What the two browsers do differently with the bytes a worker is done with, in one place. The
// large-archive browser tests watch what each holds.

// Firefox frees an ArrayBuffer's bytes as soon as it is detached, and one only dropped when its
// collector next runs, seconds later: the blocks of a whole archive read at once would pile up
// by then. Chromium's copy of bytes a FileReaderSync read outlives the detach, which would only
// hide from its collector what they still hold, so there they are only dropped.
const detachingFrees = navigator.userAgent.includes('Firefox/');

// `bytes`, which nothing else holds any more, freed now where that can be done.
export function letGo(bytes) {
  if (detachingFrees) bytes.buffer.transfer(0);
}

// `blob` (or null), kept where the browser keeps what it downloads: Firefox keeps a Blob that a
// Response makes in a temporary file, where one made in the worker stays in the page's memory
// and is copied whole into the browser's own process when it is saved; Chromium's blob store
// already holds it, and the Response answers the same bytes without a copy.
export async function settled(blob) {
  return blob && new Response(blob).blob();
}
