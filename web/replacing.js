// Replace… and Save archive: a picture of an archive replaced by an edited file (bitmap or PNG),
// shown in its place and marked, and the archive saved with the replacements packed and every
// other entry as it stands, as `varnu-pack --like` writes it. The page keeps the user's files
// themselves, never their bytes; the worker reads them when the archive is saved. A message of
// the packer goes beside the picture it concerns; after a refusal nothing is saved.

import { element } from './elements.js';
import { packMessageNode } from './pack-messages.js';

export function createReplacing({ converter, saving }) {
  const edits = new Map(); // archive id -> Map(index -> { file, url })
  const figures = new Map(); // archive id -> Map(index -> { node, image }): the figures shown

  function within(map, archive) {
    if (!map.has(archive)) map.set(archive, new Map());
    return map.get(archive);
  }

  const replacementOf = (archive, index) => edits.get(archive)?.get(index);

  function clearMessages({ node }) {
    for (const message of node.querySelectorAll('.message')) message.remove();
  }

  // The figure shows the replacement instead of the converter's picture, and says so.
  function mark(archive, index) {
    const figure = figures.get(archive)?.get(index);
    const edit = replacementOf(archive, index);
    if (!figure || !edit) return;
    const { node, image } = figure;
    image.hidden = true;
    let shown = node.querySelector('img.replacement');
    if (!shown) {
      shown = element('img', { alt: '', className: `${image.className} replacement` });
      image.after(shown);
    }
    shown.src = edit.url;
    let said = node.querySelector('.replaced');
    if (!said) {
      said = element('span', { className: 'replaced' });
      node.querySelector('figcaption').append(' ', said);
    }
    said.textContent = `replaced by ${edit.file.name}`;
    clearMessages(figure);
  }

  // Each message beside the picture it names, under the name the person knows the file by;
  // those that name none of them (the archive itself) in the archive's alert, one after another.
  function showMessages(archive, entries, { messages, paths }) {
    const byPath = new Map(Object.entries(paths).map(([index, path]) => [path, Number(index)]));
    const byName = new Map(entries.map((entry, index) => [entry.name, index]));
    let unplaced = '';
    for (const message of messages) {
      const index = byPath.get(message.file) ?? byName.get(message.file);
      const figure = figures.get(archive.id)?.get(index);
      const shownName = byPath.has(message.file) ? replacementOf(archive.id, index).file.name
        : message.file;
      const node = packMessageNode(message, shownName);
      if (figure) figure.node.append(node);
      else unplaced += `${node.textContent} `;
    }
    if (unplaced) archive.sayFailure(unplaced);
  }

  async function saveArchive(archive, button, status) {
    button.disabled = true;
    archive.sayFailure('');
    status.textContent = `Packing ${archive.name}…`;
    for (const figure of figures.get(archive.id)?.values() || []) clearMessages(figure);
    try {
      const result = archive.shown();
      if (!result) throw new Error('it could not be opened');
      await result.done;
      if (result.error) throw result.error;
      const count = result.entries.length;
      const replaced = [...within(edits, archive.id)]
        .filter(([index]) => index < count)
        .map(([index, { file }]) => ({ index, file }));
      const answer = await converter.saveArchive(archive.id, count, replaced);
      showMessages(archive, result.entries, answer);
      if (answer.status !== 0) {
        status.textContent = `${archive.name} was not saved.`;
        return;
      }
      saving.download(new Blob([answer.archive]), archive.name);
      const pictures = replaced.length === 1 ? 'picture' : 'pictures';
      status.textContent = `Saved ${archive.name}: ${replaced.length} ${pictures} replaced, ` +
        'the other entries as they stand.';
    } catch (error) {
      status.textContent = '';
      archive.sayFailure(`${archive.name}: the archive was not saved (${error.message}).`);
    } finally {
      button.disabled = false;
    }
  }

  return {
    // `file` is to stand for entry `index` of the archive from now on.
    replace(archive, index, file) {
      const all = within(edits, archive);
      if (all.has(index)) URL.revokeObjectURL(all.get(index).url);
      all.set(index, { file, url: URL.createObjectURL(file) });
      mark(archive, index);
    },
    // { file, url } where entry `index` is replaced.
    replacementOf,
    // The gallery made a figure for entry `index`, with `image` for the converter's picture.
    decorate(archive, index, node, image) {
      within(figures, archive).set(index, { node, image });
      mark(archive, index);
    },
    // The Save archive button of the gallery's archive and what it says. `archive` is { id, name,
    // shown, sayFailure }: `shown()` answers the run of it in view, if any, and `sayFailure(text)`
    // puts `text` in its alert about saving, in place of what that said.
    controls(archive) {
      const status = element('span', { role: 'status' });
      const button = element('button', { type: 'button', textContent: 'Save archive' });
      button.addEventListener('click', () => saveArchive(archive, button, status));
      return [button, status];
    },
  };
}
