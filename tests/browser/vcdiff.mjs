// A VCDIFF writer of the browser tests' own (RFC 3284, its default code table, no secondary
// compression), for patches varnu-pack never makes: windows that copy from what the patch has
// already made (VCD_TARGET).

// An integer as VCDIFF writes it: seven bits a byte, most significant first, every byte but the
// last with its top bit set.
function integer(n) {
  const bytes = [n % 128];
  for (let rest = Math.floor(n / 128); rest > 0; rest = Math.floor(rest / 128)) {
    bytes.unshift(128 + (rest % 128));
  }
  return bytes;
}

const VCD_SOURCE = 1;
const VCD_TARGET = 2;
// Default code table: RUN and COPY in VCD_SELF mode, each with its size after it.
const RUN = 0;
const COPY = 19;

// A window of one instruction: `copy` { from: 'source' or 'target', at, size }, the segment
// copied whole; or `run` { byte, size }.
function window({ copy, run }) {
  const indicator = copy ? (copy.from === 'source' ? VCD_SOURCE : VCD_TARGET) : 0;
  const segment = copy ? [...integer(copy.size), ...integer(copy.at)] : [];
  const size = copy ? copy.size : run.size;
  const data = run ? [run.byte] : [];
  const instructions = copy ? [COPY, ...integer(copy.size)] : [RUN, ...integer(run.size)];
  const addresses = copy ? integer(0) : [];
  const delta = [...integer(size), 0, ...integer(data.length), ...integer(instructions.length),
    ...integer(addresses.length), ...data, ...instructions, ...addresses];
  return [indicator, ...segment, ...integer(delta.length), ...delta];
}

// The patch of `windows` (see window()), in order.
export function vcdiff(windows) {
  return Buffer.from([0xd6, 0xc3, 0xc4, 0, 0, ...windows.flatMap(window)]);
}
