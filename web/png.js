// A picture to show as PNG, encoded by the browser: `picture` is { width, height, pixels }, four
// bytes a pixel (red, green, blue, alpha), top row first. The worker's small and reduced pictures;
// a saved PNG is the packer's own (worker-edits.js).
export function encodePng({ width, height, pixels }) {
  const canvas = new OffscreenCanvas(width, height);
  const rgba = new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.length);
  canvas.getContext('2d').putImageData(new ImageData(rgba, width, height), 0, 0);
  return canvas.convertToBlob({ type: 'image/png' });
}
