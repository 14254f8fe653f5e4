// Handing the module strings, and taking bytes it made, through its memory.

// `text` as a C string in the module's memory, to be freed with m._free.
export function newString(m, text) {
  const size = m.lengthBytesUTF8(text) + 1;
  const at = m._malloc(size);
  m.stringToUTF8(text, at, size);
  return at;
}

// Bytes the module made (varnu_entry_png), copied out and freed.
export function takeBytes(m, bytes) {
  try {
    const at = m._varnu_bytes_data(bytes);
    return m.HEAPU8.slice(at, at + m._varnu_bytes_size(bytes));
  } finally {
    m._varnu_bytes_free(bytes);
  }
}
