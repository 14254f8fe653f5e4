// What varnu-pack is handed for a picture the person chose. It reads bitmaps but not PNG, so a
// PNG is drawn by the browser and handed over as a 32-bit bitmap; a file the browser cannot draw
// goes as it is, for the packer to say what it is.

// { name, bytes } for `file`; fails only when the file cannot be read any more.
async function readPackInput(file) {
  const PNG_SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
  const FILE_HEADER = 14;
  const INFO_HEADER = 40;

  function isPng(bytes) {
    const head = new Uint8Array(bytes, 0, Math.min(bytes.byteLength, PNG_SIGNATURE.length));
    return PNG_SIGNATURE.every((value, k) => head[k] === value);
  }

  // A 32-bit bottom-up bitmap with the 40-byte header: blue, green, red, alpha per pixel.
  async function trueColourBitmap(bytes) {
    const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }), {
      premultiplyAlpha: 'none',
      colorSpaceConversion: 'none',
    });
    const { width, height } = bitmap;
    const canvas = new OffscreenCanvas(width, height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    bitmap.close();
    const rgba = context.getImageData(0, 0, width, height).data;
    const offset = FILE_HEADER + INFO_HEADER;
    const size = offset + width * height * 4;
    const out = new Uint8Array(size);
    const view = new DataView(out.buffer);
    out.set([0x42, 0x4d]);
    view.setUint32(2, size, true);
    view.setUint32(10, offset, true);
    view.setUint32(14, INFO_HEADER, true);
    view.setInt32(18, width, true);
    view.setInt32(22, height, true);
    view.setUint16(26, 1, true); // planes
    view.setUint16(28, 32, true); // bits per pixel
    view.setUint32(34, width * height * 4, true);
    for (let y = 0; y < height; ++y) {
      const from = (height - 1 - y) * width * 4;
      let to = offset + y * width * 4;
      for (let x = 0; x < width; ++x, to += 4) {
        const at = from + x * 4;
        out.set([rgba[at + 2], rgba[at + 1], rgba[at], rgba[at + 3]], to);
      }
    }
    return out.buffer;
  }

  const bytes = await file.arrayBuffer();
  if (!isPng(bytes)) return { name: file.name, bytes };
  try {
    return { name: file.name, bytes: await trueColourBitmap(bytes) };
  } catch {
    return { name: file.name, bytes };
  }
}
