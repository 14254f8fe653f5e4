// The worker's side of saving PNG and of an archive with pictures replaced. Both go through the
// packer's own code in the module: the PNG is what varnu-pack reads back by index, and the archive
// is what `varnu-pack --like` writes, every entry without a replacement copied as it stands.

let editRuns = 0;

// Bytes the module made (varnu_entry_png), copied out and freed.
function takeBytes(m, bytes) {
  try {
    const at = m._varnu_bytes_data(bytes);
    return m.HEAPU8.slice(at, at + m._varnu_bytes_size(bytes));
  } finally {
    m._varnu_bytes_free(bytes);
  }
}

// The rest of an open entry's file as PNG: a palette PNG, or RGB at half width.
function pngBytes(m, file, halfWidth) {
  const bytes = m._varnu_entry_png(file, halfWidth ? 1 : 0);
  if (!bytes) throw new Refusal(m.UTF8ToString(m._varnu_png_problem()));
  return takeBytes(m, bytes);
}

// Save PNG: { blob }.
function png(m, request) {
  return withEntry(m, request, (file) => ({
    blob: new Blob([pngBytes(m, file, request.entry.halfWidth)], { type: 'image/png' }),
  }));
}

// Save archive: the archive with entry `index` of each of `replaced` ({ index, file }) packed from
// that file, as `count` entries. The archive is read where it lies and each replacement is read
// from the user's file, each in a folder of its own; only the new archive is made here.
// Answers { status, messages, paths, archive }: `paths` names the path each replacement was
// given to the packer under, by its index, so that the page can put its messages beside it.
function saveArchive(m, { archive, name, count, replaced }) {
  const run = `/edits/${++editRuns}`;
  const output = `${run}/out/${name}`;
  makeFolder(m.FS, `${run}/out`);
  const mounted = [];
  const pictures = new Array(count).fill(null);
  const paths = {};
  try {
    for (const { index, file } of replaced) {
      const folder = `${run}/${index}`;
      makeFolder(m.FS, folder);
      m.FS.mount(m.FS.filesystems.WORKERFS, { blobs: [{ name: file.name, data: file }] }, folder);
      mounted.push(folder);
      pictures[index] = paths[index] = `${folder}/${file.name}`;
    }
    // The original under its own name, as the converter's messages name it; a null where an
    // entry keeps its own picture.
    m.FS.chdir(archiveFolder(archive));
    const given = pictures.filter(Boolean);
    const strings = argv(m, [name, output, ...given]);
    const [original, out, ...files] = strings.pointers;
    const table = m._malloc(4 * Math.max(count, 1));
    new Uint32Array(m.HEAPU8.buffer, table, count)
      .set(pictures.map((path) => (path ? files[given.indexOf(path)] : 0)));
    packMessages = [];
    const status = m._varnu_pack_replacing(original, out, count, table);
    for (const at of [...strings.pointers, strings.table, table]) m._free(at);
    const messages = packMessages;
    const bytes = status === 0 ? m.FS.readFile(output) : null;
    return { status, messages, paths, archive: bytes };
  } finally {
    m.FS.chdir('/');
    for (const folder of mounted) m.FS.unmount(folder);
    removeTree(m.FS, run);
  }
}
