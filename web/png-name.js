// The name a picture saved as PNG takes: varnu's own name for its file, as PNG.
export function pngName(name) {
  return name.replace(/\.BMP$/, '.png');
}
