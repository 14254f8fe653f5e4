// Saving: a picture as the exact bytes varnu wrote or as PNG, and every picture of an archive
// in one zip under varnu's names. The PNG is the browser's own encoding of the bitmap it drew.
'use strict';

const saving = (() => {
  // Long enough for the browser to have started the download.
  const URL_LIFETIME_MS = 60_000;

  function download(blob, name) {
    const url = URL.createObjectURL(blob);
    const link = Object.assign(document.createElement('a'), { href: url, download: name });
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), URL_LIFETIME_MS);
  }

  function pngName(name) {
    return name.replace(/\.BMP$/, '.png');
  }

  async function pngOf(file) {
    const bitmap = await createImageBitmap(file.blob);
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    canvas.getContext('2d').drawImage(bitmap, 0, 0);
    bitmap.close();
    return canvas.convertToBlob({ type: 'image/png' });
  }

  function saveBitmap(file) {
    download(file.blob, file.name);
  }

  async function savePng(file, status) {
    try {
      download(await pngOf(file), pngName(file.name));
    } catch {
      status.textContent =
        `The browser cannot draw ${file.name}, so it cannot be saved as PNG; save it as BMP.`;
    }
  }

  async function saveAll(archive) {
    const result = archive.shown;
    const asPng = document.getElementById('save-format').value === 'png';
    archive.saveAll.disabled = true;
    try {
      const files = [];
      for (const file of result.files) {
        if (asPng) {
          const png = await pngOf(file).catch(() => null);
          // A bitmap the browser cannot draw goes in as varnu wrote it.
          if (png) {
            files.push({ name: pngName(file.name), blob: png });
            continue;
          }
        }
        files.push({ name: file.name, blob: file.blob });
      }
      const [{ zip }, { base }] = await Promise.all([
        converter.zip(files),
        converter.baseName(archive.name),
      ]);
      download(new Blob([zip], { type: 'application/zip' }), `${base || 'varnu'}.zip`);
    } finally {
      archive.saveAll.disabled = false;
    }
  }

  return { saveBitmap, savePng, saveAll, download };
})();
