// The Pack section: the chosen pictures, in order, go to varnu-pack's own command on the
// worker's file system; its archive is downloaded, or its refusal shown beside the file it
// names and nothing downloaded. PNG pictures are drawn by the browser and handed over as 32-bit
// bitmaps.
'use strict';

const packing = (() => {
  const section = document.getElementById('pack-section');
  const picturesInput = document.getElementById('pack-pictures');
  const originalInput = document.getElementById('pack-original');
  const originalName = document.getElementById('pack-original-name');
  const originalMessage = document.getElementById('pack-original-message');
  const list = document.getElementById('pack-list');
  const result = document.getElementById('pack-result');
  const button = document.getElementById('pack-button');
  const DEFAULT_OUTPUT = 'packed.arc';
  const PNG_SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
  const PREFIX = 'varnu-pack: ';
  const PNG_NOTE = ' (PNG: handed to varnu-pack as a 32-bit bitmap)';

  const { element } = gallery;
  let slots = new Map(); // the path the packer saw -> where its messages go

  // A PNG is said to be one, so that what the packer answers about a 32-bit bitmap makes sense.
  function showPictures() {
    list.replaceChildren(
      ...[...picturesInput.files].map((file) => {
        const png = /\.png$/i.test(file.name) || file.type === 'image/png';
        const note = png ? [element('span', { className: 'hint', textContent: PNG_NOTE })] : [];
        return element('li', {}, [element('span', { textContent: file.name }), ...note]);
      }),
    );
    result.replaceChildren();
    originalMessage.replaceChildren();
  }

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
    const FILE_HEADER = 14;
    const INFO_HEADER = 40;
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

  async function readPicture(file) {
    const bytes = await file.arrayBuffer();
    if (!isPng(bytes)) return { name: file.name, bytes };
    return { name: file.name, bytes: await trueColourBitmap(bytes) };
  }

  // Each message goes beside the file it names, as the command line prints it; what names no
  // file goes under the section.
  function showMessages(messages) {
    for (const { file, kind, text } of messages) {
      const isWarning = kind === 'warning';
      const line = `${PREFIX}${isWarning ? 'warning: ' : ''}${file ? `${file}: ` : ''}${text}`;
      const className = isWarning ? 'message warning' : 'message';
      const node = element('p', { className, textContent: line });
      if (!isWarning) node.setAttribute('role', 'alert');
      (slots.get(file) || result).append(node);
    }
  }

  async function pack() {
    showPictures();
    const files = [...picturesInput.files];
    const original = originalInput.files[0] || null;
    if (files.length === 0) {
      const textContent = 'Choose the pictures to pack first.';
      result.append(element('p', { role: 'alert', textContent }));
      return;
    }
    button.disabled = true;
    try {
      const pictures = [];
      for (const file of files) {
        try {
          pictures.push(await readPicture(file));
        } catch {
          // The browser could not draw it: the packer gets the bytes and says what they are.
          pictures.push({ name: file.name, bytes: await file.arrayBuffer() });
        }
      }
      const outputName = original ? original.name : DEFAULT_OUTPUT;
      const answer = await converter.pack(
        pictures,
        original ? { name: original.name, bytes: await original.arrayBuffer() } : null,
        outputName,
      );
      slots = new Map(answer.picturePaths.map((path, k) => [path, list.children[k]]));
      if (answer.originalPath) slots.set(answer.originalPath, originalMessage);
      showMessages(answer.messages);
      if (answer.status === 0) {
        saving.download(new Blob([answer.archive]), outputName);
        const textContent = `Packed ${files.length} pictures into ${outputName}.`;
        result.append(element('p', { role: 'status', textContent }));
      }
    } catch (error) {
      // A chosen file that cannot be read any more, or a worker that cannot work.
      const textContent = `Nothing was packed: ${error.message}`;
      result.append(element('p', { role: 'alert', textContent }));
    } finally {
      button.disabled = false;
    }
  }

  function sortedByName(files) {
    return [...files].sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  }

  // Dropped here: the pictures by name, and an archive among them as the original.
  function drop(files) {
    const archives = files.filter((f) => /\.arc$/i.test(f.name));
    const pictures = sortedByName(files.filter((f) => !archives.includes(f)));
    if (pictures.length > 0) {
      const transfer = new DataTransfer();
      pictures.forEach((f) => transfer.items.add(f));
      picturesInput.files = transfer.files;
    }
    if (archives.length > 0) {
      const transfer = new DataTransfer();
      transfer.items.add(archives[0]);
      originalInput.files = transfer.files;
    }
    showPictures();
    showOriginal();
  }

  function showOriginal() {
    const file = originalInput.files[0];
    originalName.textContent = file ? `Original archive: ${file.name}` : '';
  }

  picturesInput.addEventListener('change', showPictures);
  originalInput.addEventListener('change', () => {
    showOriginal();
    originalMessage.replaceChildren();
  });
  button.addEventListener('click', pack);

  return { section, drop };
})();
