// Saving: a picture as the exact bytes varnu writes or as PNG, and every picture of an archive
// in one zip under varnu's names, in the format the page's "Save all as" names. Each file is made
// again by the worker from the archive, and as PNG by the packer's own code there, so that it
// packs back onto its entry unchanged. What fails is thrown, for the part of the page the person
// acted on to say.

import { pngName } from './png-name.js';

export function createSaving({ converter, format }) {
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

  // `archive` is the archive's id; `source` one of its run's files (converter.js): an entry's,
  // or what varnu would write once its replacement is packed, saved under the entry's name.
  async function saveBitmap(archive, source) {
    const { blob } = await converter.bitmap(archive, source);
    download(blob, source.entry.name);
  }

  // A palette PNG with the bitmap's own palette, or RGB at half width, made by the worker.
  async function savePng(archive, source) {
    const { blob } = await converter.png(archive, source);
    download(blob, pngName(source.entry.name));
  }

  // The zip of the run `result` of the archive called `archiveName`, downloaded as it names the
  // files; `onProgress` hears how many files are done, and `onCancel` is handed what stops it.
  // Answers { cancelled } when stopped.
  async function saveAll(archive, result, archiveName, { onProgress, onCancel }) {
    const asPng = format.value === 'png';
    const save = converter.saveAll(archive, result.entries, asPng, onProgress);
    onCancel(save.cancel);
    const [answer, { base }] = await Promise.all([save.done, converter.baseName(archiveName)]);
    if (answer.cancelled) return { cancelled: true };
    download(answer.blob, `${base || 'varnu'}.zip`);
    return { cancelled: false };
  }

  return { download, saveBitmap, savePng, saveAll };
}
