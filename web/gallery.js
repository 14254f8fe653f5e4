// The archives on the page: each under its own heading, its pictures as figures in archive
// order, shown as the converter writes them, and its failure said as the command line says it.
// A figure opens the larger view (`view`); Save all saves what is shown.

function createGallery({ element, converter, saving, view }) {
  // What each of the converter's messages means, by its code. The line itself is shown as well,
  // decoded from the Shift_JIS bytes the converter printed.
  const FAILURE_MEANINGS = [
    'No archive was given.',
    'The given file cannot be read.',
    'A file cannot be created.',
    'The given file cannot be converted.',
  ];
  const FAIL_CONVERT = 3;
  // The thumbnail box, about 10rem wide at 4:3.
  const SHARP_THUMBNAIL_WIDTH = 160;
  const SHARP_THUMBNAIL_HEIGHT = 120;
  const archives = [];
  const list = document.getElementById('archives');
  let halfWidth = false;
  let lastArchive = 0;

  function explainFailure(failure, written) {
    const meaning = FAILURE_MEANINGS[failure.code] || FAILURE_MEANINGS[FAIL_CONVERT];
    if (failure.code !== FAIL_CONVERT) return meaning;
    if (written === 0) {
      return `${meaning} It is not an archive: no picture entry starts it, ` +
        'or its first entry is broken.';
    }
    return `${meaning} Entry ${written + 1} is broken or cut short; ` +
      `the ${written} pictures before it are shown.`;
  }

  // The worker fails only when it cannot work at all (its module failed to start or broke).
  function cannotWork(name, reason) {
    return `${name}: this page cannot convert it here (${reason}). Reload the page to try again.`;
  }

  // The name on a line of its own, then the size; read aloud as one phrase.
  function caption(file) {
    const node = element('figcaption', {}, [
      element('span', { className: 'name', textContent: file.name }),
      ` ${file.width} × ${file.height}`,
    ]);
    if (file.flipped) {
      const mark = element('span', { className: 'flipped', textContent: '⇅ turned upside down' });
      node.append(' ', mark);
    }
    return node;
  }

  // A picture gets an address for the browser to draw only when it is about to be seen: an
  // archive of thousands costs the page no more than the pictures in view.
  function urlOf(file) {
    file.url ??= URL.createObjectURL(file.blob);
    return file.url;
  }

  const nearView = new IntersectionObserver(
    (entries) => {
      for (const { isIntersecting, target } of entries) {
        if (!isIntersecting) continue;
        nearView.unobserve(target);
        target.src = urlOf(target.file);
      }
    },
    { rootMargin: '50% 0px' },
  );

  function figure(result, index) {
    const file = result.files[index];
    const image = element('img', { alt: '', decoding: 'async' });
    // A picture smaller than its box is enlarged with sharp pixels; a larger one is shrunk
    // smoothly.
    const small = file.width <= SHARP_THUMBNAIL_WIDTH && file.height <= SHARP_THUMBNAIL_HEIGHT;
    image.classList.toggle('sharp', small);
    image.file = file;
    nearView.observe(image);
    const open = element('button', { type: 'button', label: `View ${file.name}` }, [image]);
    open.addEventListener('click', () => view(result.files, index));
    return element('li', {}, [element('figure', {}, [open, caption(file)])]);
  }

  function showProgress(archive, result) {
    const done = result.files.length;
    const pictures = `${done} ${done === 1 ? 'picture' : 'pictures'}`;
    archive.count.textContent = result.finished ? pictures : `${pictures} so far`;
    if (result.finished) archive.progress.value = archive.progress.max;
  }

  function showFailure(archive, result) {
    archive.alert.replaceChildren();
    if (result.error) archive.alert.textContent = cannotWork(archive.name, result.error);
    if (!result.failure) return;
    const line = new TextDecoder('shift_jis').decode(result.failure.line);
    archive.alert.append(
      `${archive.name}: ${explainFailure(result.failure, result.files.length)} varnu says: `,
      element('q', { lang: 'ja', textContent: line }),
    );
  }

  // Files arrive faster than frames: the figures of a frame's worth are added at once, so the
  // first pictures are drawn while the rest of the archive streams in.
  function addFile(archive, result, file) {
    result.files.push(file);
    result.position = file.archivePosition;
    if (archive.shown === result && !archive.frameRequested) {
      archive.frameRequested = true;
      requestAnimationFrame(() => showNewFiles(archive));
    }
  }

  function showNewFiles(archive) {
    archive.frameRequested = false;
    const result = archive.shown;
    const shown = archive.gallery.children.length;
    const added = result.files.slice(shown).map((_, k) => figure(result, shown + k));
    archive.gallery.append(...added);
    if (!result.finished) archive.progress.value = Math.min(result.position, archive.progress.max);
    showProgress(archive, result);
  }

  // Converts in the mode asked for, once per archive and mode; later it shows what it has.
  function resultFor(archive, wantHalfWidth) {
    const key = wantHalfWidth ? 'half' : 'plain';
    if (!archive.results[key]) {
      const result = { halfWidth: wantHalfWidth, files: [], failure: null, finished: false };
      archive.results[key] = result;
      result.done = converter
        .convert(archive.id, archive.name, wantHalfWidth, (file) => addFile(archive, result, file))
        .then(
          ({ failure }) => {
            result.failure = failure;
          },
          (error) => {
            result.error = error.message;
          },
        )
        .then(() => {
          result.finished = true;
          if (archive.shown === result) {
            showNewFiles(archive);
            showFailure(archive, result);
            archive.saveAll.disabled = false;
          }
        });
    }
    return archive.results[key];
  }

  function show(archive) {
    const result = resultFor(archive, halfWidth);
    archive.shown = result;
    archive.progress.value = result.finished ? archive.progress.max : 0;
    archive.gallery.replaceChildren(...result.files.map((_, k) => figure(result, k)));
    archive.saveAll.disabled = !result.finished;
    archive.saveFailure.textContent = '';
    showProgress(archive, result);
    showFailure(archive, result);
    return result.done;
  }

  // The zip of what is shown; a zip that cannot be made or handed over is said under the button.
  async function saveAll(archive) {
    archive.saveAll.disabled = true;
    archive.saveFailure.textContent = '';
    try {
      await saving.saveAll(archive.shown.files, archive.name);
    } catch (error) {
      archive.saveFailure.textContent = `${archive.name}: nothing was saved (${error.message}). ` +
        'The pictures are still here: try again, or save them one at a time.';
    } finally {
      archive.saveAll.disabled = !archive.shown.finished;
    }
  }

  // A file or a dropped folder (`item` has a name and, for a file, its bytes to read).
  async function open(item) {
    const id = ++lastArchive;
    const headingId = `archive-${id}`;
    const archive = {
      id,
      name: item.name,
      results: {},
      shown: null,
      progress: element('progress', {
        max: Math.max(item.size || 0, 1),
        value: 0,
        label: `Converting ${item.name}`,
      }),
      count: element('span'),
      alert: element('div', { role: 'alert' }),
      saveFailure: element('p', { role: 'alert' }),
      gallery: element('ul', { className: 'gallery' }),
      saveAll: element('button', { type: 'button', textContent: 'Save all', disabled: true }),
    };
    archive.saveAll.addEventListener('click', () => saveAll(archive));
    const section = element('section', {}, [
      element('h3', { id: headingId, textContent: item.name }),
      element('div', { className: 'controls' }, [archive.progress, archive.count, archive.saveAll]),
      archive.saveFailure,
      archive.alert,
      archive.gallery,
    ]);
    section.setAttribute('aria-labelledby', headingId);
    list.append(section);

    // Never fails: what goes wrong is said in the archive's section, and the next archive opens.
    try {
      await converter.store(id, item.name, item.isFolder ? null : item.file);
    } catch (error) {
      archive.alert.textContent = cannotWork(item.name, error.message);
      return;
    }
    archives.push(archive);
    await show(archive);
  }

  // Shows every archive in the mode asked for; what fails is said in that archive's section.
  function setHalfWidth(on) {
    halfWidth = on;
    return Promise.all(archives.map(show));
  }

  return { open, setHalfWidth };
}
