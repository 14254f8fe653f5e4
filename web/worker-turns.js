// Lets whatever came meanwhile be handled before going on (a Cancel, a picture scrolled into
// view): a message on a channel of its own is a task of its own, queued behind those, without the
// few milliseconds a timer may wait. Work that only ever awaits what is already at hand would
// otherwise keep every message waiting until it is done.
export function nextTurn() {
  return new Promise((resolve) => {
    const { port1, port2 } = new MessageChannel();
    port1.onmessage = () => {
      port1.close();
      resolve();
    };
    port2.postMessage(null);
  });
}
