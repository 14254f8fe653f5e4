// Saving: a picture as the exact bytes varnu wrote or as PNG, and every picture of an archive
// in one zip under varnu's names, in the format the page's "Save all as" names. The PNG is the
// browser's own encoding of the bitmap it drew. What fails is thrown, for the part of the page
// the person acted on to say.

function createSaving({ converter, format }) {
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

  async function savePng(file) {
    download(await pngOf(file), pngName(file.name));
  }

  // `files` as the converter wrote them from the archive called `archiveName`.
  async function saveAll(files, archiveName) {
    const asPng = format.value === 'png';
    const entries = [];
    for (const file of files) {
      if (asPng) {
        const png = await pngOf(file).catch(() => null);
        // A bitmap the browser cannot draw goes in as varnu wrote it.
        if (png) {
          entries.push({ name: pngName(file.name), blob: png });
          continue;
        }
      }
      entries.push({ name: file.name, blob: file.blob });
    }
    const [{ zip }, { base }] = await Promise.all([
      converter.zip(entries),
      converter.baseName(archiveName),
    ]);
    download(new Blob([zip], { type: 'application/zip' }), `${base || 'varnu'}.zip`);
  }

  return { download, saveBitmap, savePng, saveAll };
}
