// Every word the page shows in English, by key (i18n.js). A function takes the values it names.

const n = (value) => Number(value).toLocaleString('en');
const pictures = (count) => `${n(count)} ${count === 1 ? 'picture' : 'pictures'}`;
const files = (count) => `${n(count)} ${count === 1 ? 'file' : 'files'}`;
const before = (count) =>
  `the ${pictures(count)} before it ${count === 1 ? 'is' : 'are'} shown`;

const replacedBy = (file) =>
  `Replaced by ${file}: shown as varnu will write it once Save archive packs it.`;

const FAILURE_MEANINGS = {
  usage: 'No archive was given.',
  openInput: 'The given file cannot be read.',
  createOutput: 'A file cannot be created.',
  convert: 'The given file cannot be converted.',
};

const FIRST_ENTRY = {
  noEntry: 'It is not an archive: it does not begin with an entry.',
  cutShort: 'It is cut short: the file ends inside its first entry.',
  notConvertible: 'Its first entry holds no bitmap varnu can convert.',
  unreadable: 'Reading it failed.',
  noMemory: 'There was not enough memory for its first entry.',
  tooManyEntries: 'It holds more entries than varnu names files for.',
};

const LATER_ENTRY = {
  cutShort: (next) => `The archive is cut short inside the entry that would be ${next}`,
  notConvertible: (next) => `The entry that would be ${next} holds no bitmap varnu can convert`,
  unreadable: (next) => `Reading failed at the entry that would be ${next}`,
  noMemory: (next) => `There was not enough memory for the entry that would be ${next}`,
  tooManyEntries: () => 'The archive holds more entries than varnu names files for',
  noEntry: (next) => `The entry that would be ${next} is broken`,
};

export const en = {
  title: 'varnu: see and save the pictures of a packed image archive',
  language: 'Language',
  intro: 'Open a packed image archive to see every picture in it, save them as the varnu command ' +
    'line writes them, and pack edited pictures back. Nothing leaves this computer.',
  'archives.heading': 'Archives',
  'archives.open': 'Open archive…',
  'archives.drop': 'or drop archives anywhere on this page',
  halfWidth: 'Half width',
  'halfWidth.hint': 'Shows and saves every picture at half its width in full colour, as ' +
    '“varnu archive x” writes it.',
  saveAllAs: 'Save all as',
  'saveAllAs.hint': 'The format of the files in the zip that Save all makes.',

  'gallery.converting': ({ name }) => `Converting ${name}`,
  'gallery.pictures': ({ count }) => pictures(count),
  'gallery.picturesSoFar': ({ count }) => `${pictures(count)} so far`,
  'gallery.cannotWork': ({ name, reason }) =>
    `${name}: this page cannot convert it here (${reason}).`,
  'gallery.workerStopped': ({ name, reason }) => `${name}: the page stopped working on it ` +
    `(${reason}), so this page cannot convert it here. Open it again to try once more; other ` +
    'archives are not affected.',
  'gallery.picturesStopped': ({ name, reason }) => `${name}: the page stopped working on its ` +
    `pictures (${reason}). Pictures still to come are made afresh; open the archive again for ` +
    'the missing ones.',
  'failure.meaning': ({ name, kind }) =>
    `${name}: ${FAILURE_MEANINGS[kind] || FAILURE_MEANINGS.convert}`,
  'failure.empty': 'The file is empty.',
  'failure.first': ({ reason }) => FIRST_ENTRY[reason] || FIRST_ENTRY.noEntry,
  'failure.later': ({ reason, next, count }) =>
    `${(LATER_ENTRY[reason] || LATER_ENTRY.noEntry)(next)}; ${before(count)}.`,
  // Between two sentences.
  gap: ' ',
  'failure.varnuSays': 'varnu says:',

  'card.view': ({ name }) => `View ${name}`,
  'card.flipped': '⇅ turned upside down',
  'card.reduced': 'too large for a browser to draw: shown reduced',
  'card.replaced': ({ file }) => `replaced by ${file}`,
  'card.sizeChanged': ({ width, height }) =>
    `size changed: the entry's picture is ${n(width)} × ${n(height)}`,
  'card.unchanged': 'the same as the entry, which is kept as it stands',
  'card.patched': ({ patch }) => `changed by ${patch}`,
  'card.noPicture': ({ reason }) => `No picture: ${reason}.`,

  'saveAll.button': 'Save all',
  'saveAll.saving': ({ name }) => `Saving ${name}`,
  'saveAll.progress': ({ done, count }) => `${n(done)} of ${files(count)}`,
  'saveAll.cancel': 'Cancel',
  'saveAll.cancelLabel': ({ name }) => `Cancel saving ${name}`,
  'saveAll.cancelled': ({ name }) => `${name}: Save all was cancelled; nothing was saved.`,
  'saveAll.saved': ({ name, count }) => `Saved the ${files(count)} of ${name} in one zip.`,
  'saveAll.failed': ({ name, reason }) => `${name}: nothing was saved (${reason}). The pictures ` +
    'are still here: try again, or save them one at a time.',

  'replace.save': 'Save archive',
  'replace.hint': 'To save this archive with edited pictures, open a picture and use Replace… ' +
    'there.',
  'replace.hintFailed': 'This archive did not open whole, so it cannot be saved with pictures ' +
    'replaced.',
  'replace.packing': ({ name }) => `Packing ${name}…`,
  'replace.saved': ({ name, count }) =>
    `Saved ${name}: ${pictures(count)} replaced, the other entries as they stand.`,
  'replace.notSaved': ({ name }) => `${name} was not saved. varnu-pack refused:`,
  'replace.failed': ({ name, reason }) => `${name}: the archive was not saved (${reason}).`,

  'patch.save': 'Save patch',
  'patch.apply': 'Apply patch…',
  'patch.making': ({ name }) => `Making the patch for ${name}…`,
  'patch.saved': ({ name, size, count }) => `Saved ${name}, ${n(size)} ` +
    `${size === 1 ? 'byte' : 'bytes'}: the patch for ${pictures(count)} replaced, which any ` +
    'VCDIFF patcher (xdelta3 -d) applies to the original archive.',
  'patch.applying': ({ name, patch }) => `Applying ${patch} to ${name}…`,
  'patch.refused': ({ name, patch }) => `${patch} was not applied to ${name}; nothing changed. ` +
    'varnu-pack refused:',
  'patch.failed': ({ name, reason }) => `${name}: the patch was not applied (${reason}).`,
  'patch.heading': ({ name, patch }) => `${name}, patched by ${patch}`,
  'patch.applied': ({ name, patch, count }) =>
    `${patch} applied to ${name}: ${pictures(count)} changed, marked below.`,
  'patch.savedPatched': ({ name }) => `Saved ${name} as the patch made it.`,

  'viewer.close': 'Close',
  'viewer.previous': 'Previous',
  'viewer.next': 'Next',
  'viewer.saveBmp': 'Save BMP',
  'viewer.savePng': 'Save PNG',
  'viewer.replace': 'Replace…',
  'viewer.putBack': 'Put back',
  'viewer.palette': ({ count }) => `Palette: ${n(count)} colours`,
  'viewer.alt': ({ name, width, height }) => `${name}, ${width} × ${height}`,
  'viewer.flipped': '⇅ varnu turned this picture upside down (its palette entry 0 is green).',
  'viewer.reduced': ({ factor, width, height }) => `Shown at 1/${factor} of its size: browsers ` +
    `do not draw a picture of ${n(width)} × ${n(height)} pixels. Save BMP saves it whole.`,
  'viewer.replaced': ({ file }) => replacedBy(file),
  'viewer.replacedSized': ({ file, width, height }) => `${replacedBy(file)} Its size differs ` +
    `from the entry's picture, ${n(width)} × ${n(height)}.`,
  'viewer.savesReplacement': () =>
    'Save BMP and Save PNG save the replacement, as varnu will write it from the packed entry.',
  'viewer.mapped': ({ file, moved, mean, largest }) => `${file} has colours this entry's ` +
    'palette lacks, so they were mapped onto it as varnu-pack --remap maps them: ' +
    `${n(moved)} ${moved === 1 ? 'pixel' : 'pixels'} moved, colour error (CIEDE2000) mean ` +
    `${mean}, largest ${largest}. The picture shown is the mapped one: Save archive will pack ` +
    'it mapped, as shown.',
  'viewer.edited': ({ file }) => `As edited: ${file}`,
  'viewer.editedAlt': ({ file }) => `${file}, as edited, before mapping`,
  'viewer.showMoved': 'Show where pixels moved',
  'viewer.replaceFailed': 'Replace… needs an archive that opened whole.',
  'viewer.checking': ({ file }) => `Checking ${file} against this entry…`,
  'viewer.cannotCheck': ({ file, reason }) => `${file} could not be checked: ${reason}.`,
  'viewer.cannotShow': ({ name, reason }) => `${name} cannot be shown: ${reason}.`,
  'viewer.cannotSave': ({ name, reason }) => `${name} cannot be saved: ${reason}.`,
  'viewer.cannotSavePng': ({ name, reason }) =>
    `${name} cannot be saved as PNG: ${reason}; Save BMP saves it.`,

  'facts.position': 'Picture',
  'facts.of': ({ n: k, count }) => `${n(k)} of ${n(count)}`,
  'facts.offset': 'Offset in the archive',
  'facts.packedSize': 'Packed size',
  'facts.unpackedSize': 'Unpacked size',
  'facts.fileSize': 'Size of varnu\'s file',
  'facts.flipped': 'Turned upside down',
  'facts.yes': 'yes',
  'facts.no': 'no',
  'facts.bytes': ({ n: count }) => `${n(count)} ${count === 1 ? 'byte' : 'bytes'}`,
  'facts.replacedBy': 'Replaced by',
  'facts.plain': ({ text }) => text,
  'facts.replacementSides': 'Size once packed',
  'facts.sides': ({ width, height }) => `${n(width)} × ${n(height)}`,
  'facts.replacementFile': 'Size of varnu\'s file once packed',

  'pack.heading': 'Pack',
  'pack.intro': 'Pack bitmaps or PNG pictures into a new archive, one entry each, in the order ' +
    'chosen (by name when dropped here). With the original archive, each picture takes its ' +
    'entry\'s header bytes, resolution and orientation, and an unchanged picture keeps its entry ' +
    'as it stands. To change a few pictures of an archive, use Replace… in a picture\'s larger ' +
    'view and then Save archive.',
  'pack.pictures': 'Choose pictures…',
  'pack.original': 'Original archive…',
  'pack.pack': 'Pack',
  'pack.originalChosen': ({ name }) => `Original archive: ${name}`,
  'pack.nothingChosen': 'Choose the pictures to pack first.',
  'pack.packed': ({ count, name }) => `Packed ${pictures(count)} into ${name}.`,
  'pack.failed': ({ reason }) => `Nothing was packed: ${reason}`,
  'pack.folder': ({ name }) => `${name} is a folder: choose or drop the pictures in it instead.`,
  // Before the packer's own line, which is quoted as it prints it.
  'pack.refusalLead': '',
  'pack.warningLead': '',

  'problem.unreadable': 'it cannot be read any more: it was moved, changed or removed since it ' +
    'was opened',
  'problem.changed': 'it has changed since it was opened: open it again',
  'problem.noMemory': 'there is not enough memory for it',
  'problem.zipTooLarge': 'the zip would pass 4 GiB, more than a zip of this kind holds',
  'problem.notBitmap': 'it is no bitmap a browser can show',
  'stopped.worker': 'the worker stopped',
  'stopped.message': 'a message from the worker could not be read',
  'stopped.silent': 'the page\'s worker stopped answering',
};
