// The gallery's small pictures, made by the worker from the archive as they come near the view
// (a few at a time, the ones still wanted first) and kept as small PNG files up to a budget; the
// least recently seen are let go beyond it and made again if they come back into view. However
// many pictures an archive holds, the page holds the ones in view and a budget's worth more.

import { t } from './i18n.js';

export function createThumbnails({ converter }) {
  const IN_FLIGHT = 2; // requests the worker has at once: one being made, one waiting
  const BUDGET = 48 * 1024 * 1024;
  // The gallery's box (10rem at 4:3), in device pixels, for sharp pictures on dense screens.
  const ratio = Math.min(2, Math.max(1, window.devicePixelRatio || 1));
  const limits = { width: 160 * ratio, height: 120 * ratio, pixels: 160 * 120 * ratio * ratio };
  const made = new Map(); // key -> { url, size, image }, least recently shown first
  const wanted = new Set(); // images near the view still without a picture, in the order seen
  let madeBytes = 0;
  let inFlight = 0;

  const nearView = new IntersectionObserver(
    (entries) => {
      for (const { isIntersecting, target } of entries) {
        if (isIntersecting) want(target);
        else wanted.delete(target);
      }
      ask();
    },
    { rootMargin: '50% 0px' },
  );

  // `image.picture` is { archive, source, key, failed(error) }.
  function want(image) {
    const known = made.get(image.picture.key);
    if (!known) {
      wanted.add(image);
      return;
    }
    made.delete(image.picture.key); // seen again: now the most recent
    made.set(image.picture.key, known);
    known.image = image;
    if (image.getAttribute('src') !== known.url) image.src = known.url;
  }

  function ask() {
    while (inFlight < IN_FLIGHT && wanted.size > 0) {
      const [image] = wanted;
      wanted.delete(image);
      const { archive, source, key } = image.picture;
      ++inFlight;
      converter.thumbnail(archive, source, limits)
        .then(({ blob }) => {
          if (!blob) throw new Error(t('problem.notBitmap'));
          keep(key, blob, image);
        })
        .catch((error) => image.picture.failed(error))
        .finally(() => {
          --inFlight;
          ask();
        });
    }
  }

  function keep(key, blob, image) {
    const url = URL.createObjectURL(blob);
    made.set(key, { url, size: blob.size, image });
    madeBytes += blob.size;
    image.src = url;
    for (const [oldKey, old] of made) {
      if (madeBytes <= BUDGET) break;
      made.delete(oldKey);
      madeBytes -= old.size;
      URL.revokeObjectURL(old.url);
      if (old.image.getAttribute('src') !== old.url) continue;
      old.image.removeAttribute('src');
      // Observed afresh, it is wanted again at once should it still be in view.
      nearView.unobserve(old.image);
      nearView.observe(old.image);
    }
  }

  return {
    // Shows the picture of `source` (converter.js) in `image` whenever it is near the view.
    track(image, archive, source, key, failed) {
      image.picture = { archive, source, key, failed };
      nearView.observe(image);
    },
    forget(images) {
      for (const image of images) {
        nearView.unobserve(image);
        wanted.delete(image);
      }
    },
  };
}
