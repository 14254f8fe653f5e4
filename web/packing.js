// The Pack section: the chosen pictures, in order, go to varnu-pack's own command on the
// worker's file system as they are, bitmap or PNG alike; its archive is downloaded, or its
// refusal shown beside the file it names and nothing downloaded.

import { element } from './elements.js';
import { say } from './i18n.js';
import { packMessageNode } from './pack-messages.js';

export function createPacking({ converter, saving }) {
  const section = document.getElementById('pack-section');
  const picturesInput = document.getElementById('pack-pictures');
  const originalInput = document.getElementById('pack-original');
  const originalName = document.getElementById('pack-original-name');
  const originalMessage = document.getElementById('pack-original-message');
  const list = document.getElementById('pack-list');
  const result = document.getElementById('pack-result');
  const button = document.getElementById('pack-button');
  const DEFAULT_OUTPUT = 'packed.arc';

  function showPictures() {
    list.replaceChildren(
      ...[...picturesInput.files].map((file) =>
        element('li', {}, [element('span', { textContent: file.name })])),
    );
    result.replaceChildren();
    originalMessage.replaceChildren();
  }

  // Each message goes beside the file it names (`slots`: the path the packer saw -> where);
  // what names none of them goes under the section.
  function showMessages(messages, slots) {
    for (const message of messages) {
      (slots.get(message.file) || result).append(packMessageNode(message));
    }
  }

  async function pack() {
    showPictures();
    const files = [...picturesInput.files];
    const original = originalInput.files[0] || null;
    if (files.length === 0) {
      result.append(element('p', { role: 'alert', say: ['pack.nothingChosen'] }));
      return;
    }
    button.disabled = true;
    try {
      const pictures = [];
      for (const file of files) pictures.push({ name: file.name, bytes: await file.arrayBuffer() });
      const outputName = original ? original.name : DEFAULT_OUTPUT;
      const answer = await converter.pack(
        pictures,
        original ? { name: original.name, bytes: await original.arrayBuffer() } : null,
        outputName,
      );
      const slots = new Map(answer.picturePaths.map((path, k) => [path, list.children[k]]));
      if (answer.originalPath) slots.set(answer.originalPath, originalMessage);
      showMessages(answer.messages, slots);
      if (answer.status === 0) {
        saving.download(answer.archive, outputName);
        const params = { count: files.length, name: outputName };
        result.append(element('p', { role: 'status', say: ['pack.packed', params] }));
      }
    } catch (error) {
      // A chosen file that cannot be read any more, or a worker that cannot work.
      result.append(element('p', { role: 'alert',
        say: ['pack.failed', { reason: error.message }] }));
    } finally {
      button.disabled = false;
    }
  }

  function sortedByName(files) {
    return [...files].sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  }

  // Dropped here: the pictures by name, and an archive among them as the original. A folder is
  // not looked into, and is said so.
  function drop(items) {
    const files = items.filter((item) => !item.isFolder).map((item) => item.file);
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
    for (const { name } of items.filter((item) => item.isFolder)) {
      result.append(element('p', { role: 'alert', say: ['pack.folder', { name }] }));
    }
  }

  function showOriginal() {
    const file = originalInput.files[0];
    if (file) say(originalName, 'pack.originalChosen', { name: file.name });
    else originalName.replaceChildren();
  }

  picturesInput.addEventListener('change', showPictures);
  originalInput.addEventListener('change', () => {
    showOriginal();
    originalMessage.replaceChildren();
    result.replaceChildren();
  });
  button.addEventListener('click', pack);

  return { section, drop };
}
