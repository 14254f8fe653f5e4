// How large a picture the page has the browser draw. Browsers refuse bitmaps much wider than
// 16,384 pixels (varnu's may be 65,535), and a picture at full size costs four bytes a pixel to
// draw: larger ones are shown as the worker reduces them.
const WHOLE_PICTURE = { width: 16384, height: 16384, pixels: 2 ** 24 };

export function browserDraws({ width, height }) {
  return width <= WHOLE_PICTURE.width && height <= WHOLE_PICTURE.height &&
    width * height <= WHOLE_PICTURE.pixels;
}
