// The page in real browsers, Chromium and Firefox, used as a person would: controls are found by
// their role and label, and whatever it saves is compared byte for byte with what the native
// programs write from the same inputs. One table of scenarios, run in each engine; every row also
// proves that no request left the page and that no script failed.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { unzipSync } from 'fflate';
import {
  alertSaying, alertTexts, byLabel, byRole, convertNatively, downloadOf, enabled, engines,
  entryFacts, freshFolder, headerSize, launchBrowser, makeArchive, openPage, packNatively,
  pagePath, removeFreshFolders, sampleArchive, servePage, textsOf, until, webBuild,
} from './support.mjs';

const TIMEOUT_MS = 20_000;
const PNG_SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
// What the page says for the converter's message 3 (the line itself is checked against what the
// native program printed).
const CANNOT_CONVERT = 'The given file cannot be converted.';

let server;
let archives;

before(async () => {
  archives = { sample: sampleArchive, page: makeArchive('make-page-archive', 'page.arc') };
  const empty = join(freshFolder(), 'empty.arc');
  writeFileSync(empty, '');
  const truncated = join(freshFolder(), 'cut.arc');
  writeFileSync(truncated, readFileSync(sampleArchive).subarray(0, 3000));
  Object.assign(archives, { empty, cut: truncated, borrow: borrowingArchive() });
  server = await servePage();
});

after(() => {
  server?.close();
  removeFreshFolders();
});

// Two entries, their streams all literals: the test archive's first picture, then its
// green-keyed one, which the converter turns over, whose file-size field claims 400 bytes more
// than the entry holds; the converter writes those from the first picture's rows.
function borrowingArchive() {
  const { files } = convertNatively(archives.page, 'page.arc', false);
  const keyed = Buffer.from(files.get('page_001.BMP'));
  keyed.writeUInt32LE(keyed.length + 400, 2);
  const parts = [];
  for (const bitmap of [files.get('page_000.BMP'), keyed]) {
    const stream = [];
    bitmap.forEach((byte, k) => stream.push(...(k % 8 === 0 ? [0xff, byte] : [byte])));
    const header = Buffer.from('vazmur\0\0\0\0\0\0', 'latin1');
    header.writeUIntLE(stream.length, 8, 3);
    const entry = Buffer.concat([header, Buffer.from(stream)]);
    parts.push(entry, Buffer.alloc((2048 - (entry.length % 2048)) % 2048));
  }
  const path = join(freshFolder(), 'borrow.arc');
  writeFileSync(path, Buffer.concat(parts));
  return path;
}

// open: archives given to "Open archive", drop: archives dropped on the page; halfWidth: switched
// on before they are opened, or 'after' they are shown. Expected figures,
// bytes and failure lines come from the native varnu on the same file. pack: pictures (the
// native outputs of an archive, and a file of the row's own) chosen or dropped, packed with or
// without the original, against varnu-pack on the same files in name order (as PNG files, also by
// converting the page's archive back with the native varnu).
const scenarios = [
  { name: 'sample archive, from a static server, saved as BMP and as PNG', open: ['sample'],
    flipped: ['sample_002.BMP'], saveAllAs: ['BMP', 'PNG'], screenshot: 'gallery.png' },
  { name: 'sample archive at half width, from disk, 360 px wide, saved as PNG', open: ['sample'],
    halfWidth: true, fromDisk: true, width: 360, flipped: ['sample_002.BMP'], saveAllAs: 'PNG' },
  { name: 'test archive: keyed, short and broken entries; the page works on',
    open: ['page', 'sample'], flipped: ['page_001.BMP', 'sample_002.BMP'],
    alerts: { 'page.arc': CANNOT_CONVERT } },
  { name: 'test archive, switched to half width once shown', open: ['page'], halfWidth: 'after',
    flipped: ['page_001.BMP'],
    alerts: { 'page.arc': CANNOT_CONVERT } },
  { name: 'a 0-byte, a truncated and a good archive dropped together',
    drop: ['empty', 'cut', 'sample'], flipped: ['sample_002.BMP'],
    alerts: { 'empty.arc': CANNOT_CONVERT, 'cut.arc': CANNOT_CONVERT } },
  { name: 'pack the sample outputs', pack: { from: 'sample' } },
  { name: 'pack the sample outputs like the original', pack: { from: 'sample', like: true } },
  { name: 'pack the sample outputs dropped in reverse: by name',
    pack: { from: 'sample', dropped: true } },
  { name: 'pack the sample outputs saved as PNG, like the original: they convert back exactly',
    pack: { from: 'sample', like: true, png: true } },
  { name: 'pack refuses a file that is no bitmap and downloads nothing',
    pack: { from: 'sample', extra: { name: 'notes.bmp', bytes: 'not a picture' } },
    refused: 'notes.bmp' },
  { name: 'replace a picture by an edited bitmap, then save the archive: varnu-pack --like\'s',
    replace: { from: 'sample', entry: 1, file: 'edited.bmp' }, flipped: ['sample_002.BMP'] },
  { name: 'replace two pictures, one by an edited palette PNG, then save the archive',
    replace: { from: 'sample', entry: 2, file: 'edited.png', also: { entry: 0, file: 'b.bmp' } },
    flipped: ['sample_002.BMP'] },
  { name: 'replace a picture whose rows a keyed entry after it takes, then save the archive: the ' +
      'keyed one comes back as it was, right way up',
    // A pixel of the 120-pixel rows that the keyed entry takes.
    replace: { from: 'borrow', entry: 0, file: 'edited.bmp', pixel: 120 * 41 },
    flipped: ['borrow_001.BMP'] },
  { name: 'a replacement that is no picture is refused beside it and nothing is saved',
    replace: { from: 'sample', entry: 1, file: 'notes.png', bytes: 'not a picture' },
    flipped: ['sample_002.BMP'], refused: 'notes.png' },
];

// Failures a person can meet (the browser short of memory, the worker gone), each said in an
// alert where the person acted, and the page works on. Each row breaks one thing in the page, and
// mends it where it can.
const failures = [
  { name: 'a Save all whose zip the browser cannot take is said; once it can, Save all saves',
    breaks: 'zip', says: 'nothing was saved (no room for the zip)' },
  { name: 'a Save PNG the browser cannot take is said; Save BMP and a later Save PNG save',
    breaks: 'png', says: 'cannot be saved as PNG' },
  { name: 'a worker that stops is said when half width is switched on; nothing waits for it',
    breaks: 'worker', says: 'this page cannot convert it here' },
  { name: 'a worker that stops making small pictures is said beside its archive; the next opens',
    breaks: 'thumbnail', says: 'the page stopped working on it' },
];

// Run in the page: the failure as the browser would give it, and `mend` to take it back.
const breakIn = {
  zip: () => {
    const make = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      if (blob.type === 'application/zip') throw new RangeError('no room for the zip');
      return make(blob);
    };
    window.mend = () => { URL.createObjectURL = make; };
  },
  png: () => {
    const make = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      if (blob.type === 'image/png') throw new RangeError('no room for the PNG');
      return make(blob);
    };
    window.mend = () => { URL.createObjectURL = make; };
  },
  worker: () => window.testWorkers.forEach((worker) => worker.postMessage('break the worker')),
};

for (const engine of engines) {
  describe(engine, () => {
    let browser;
    before(async () => { browser = await launchBrowser(engine); });
    after(() => browser?.close());

    // A page for one test: `body` uses it, then the page must have sent no request and thrown
    // no script error.
    async function withPage(options, body) {
      const session = await openPage(browser, options.url || server.url, options);
      session.page.setDefaultTimeout(TIMEOUT_MS);
      try {
        await body(session);
        assert.deepEqual(session.strayRequests, [], 'requests that left the page');
        assert.deepEqual(session.errors, [], 'script errors');
      } finally {
        await session.context.close();
      }
    }

    for (const row of scenarios) {
      test(row.name, { timeout: 4 * TIMEOUT_MS }, () => {
        const url = row.fromDisk ? `file://${pagePath}` : server.url;
        const viewport = { width: row.width || 1280, height: 800 };
        return withPage({ url, viewport }, async (session) => {
          if (row.open || row.drop) await checkArchives(session, row, engine);
          if (row.pack) await checkPack(session, row);
          if (row.replace) await checkReplace(session, row);
          if (row.width) {
            const overflow = await session.page.evaluate(() =>
              document.documentElement.scrollWidth - innerWidth);
            assert.ok(overflow <= 0, `the page is ${overflow} px wider than the window`);
          }
        });
      });
    }

    for (const row of failures) {
      test(row.name, { timeout: 4 * TIMEOUT_MS }, () =>
        withPage({ breakableWorker: true }, (session) => checkFailure(session, row)));
    }
  });
}

async function checkFailure(session, row) {
  const { page } = session;
  const expected = convertNatively(archives.sample, 'sample.arc', false);
  if (row.breaks === 'thumbnail') {
    await page.evaluate(() => window.testWorkers
      .forEach((worker) => worker.postMessage({ breakAt: 'thumbnail' })));
  }
  await (await byLabel(page, 'Open archive')).uploadFile(archives.sample);
  const region = await page.waitForSelector(byRole('region', 'sample.arc'));
  const saveAll = await region.waitForSelector(byRole('button', 'Save all'));
  await enabled(saveAll);
  if (row.breaks === 'worker') {
    // The small pictures drawn first: one asked for later would meet the broken worker instead,
    // and the half-width run would go to the fresh worker that follows it.
    await page.waitForFunction((node) => [...node.querySelectorAll('img')]
      .every((image) => image.complete && image.naturalWidth > 0), {}, region);
    await page.evaluate(breakIn.worker);
    const halfWidth = await page.waitForSelector(byRole('checkbox', 'Half width'));
    await halfWidth.click();
    await alertSaying(region, row.says);
    // The half-width run ended with no picture to save; switched back, the plain ones save.
    assert.equal(await saveAll.evaluate((button) => button.disabled), true);
    await halfWidth.click();
    await enabled(saveAll);
  } else if (row.breaks === 'thumbnail') {
    await alertSaying(region, row.says);
    // A fresh worker converts the next archive and draws its pictures.
    await (await byLabel(page, 'Open archive')).uploadFile(archives.page);
    const next = await page.waitForSelector(byRole('region', 'page.arc'));
    await enabled(await next.waitForSelector(byRole('button', 'Save all')));
    await page.waitForFunction((node) => [...node.querySelectorAll('img')]
      .some((image) => image.complete && image.naturalWidth > 0), {}, next);
  } else if (row.breaks === 'zip') {
    await page.evaluate(breakIn.zip);
    await saveAll.click();
    await alertSaying(region, row.says);
    await page.evaluate(() => window.mend());
    await checkZip(session, region, expected, 'sample');
    await checkAlert(region, expected, undefined);
  } else {
    const [name, bytes] = [...expected.files][0];
    await (await region.waitForSelector(byRole('button', `View ${name}`))).click();
    const dialog = await page.waitForSelector(byRole('dialog'));
    await page.evaluate(breakIn.png);
    const button = (label) => dialog.waitForSelector(byRole('button', label));
    await (await button('Save PNG')).click();
    await alertSaying(dialog, row.says);
    const saved = await downloadOf(session, async () => (await button('Save BMP')).click());
    assert.ok(saved.bytes.equals(bytes), `${name} differs from varnu's`);
    await page.evaluate(() => window.mend());
    const png = await downloadOf(session, async () => (await button('Save PNG')).click());
    checkSavedPng(png.bytes, bytes, name);
  }
}

// Drops the files at `paths` on `target`, under the names given, as a file manager would.
async function dropFiles(target, paths, names) {
  const files = paths.map((path, k) => ({ name: names[k], bytes: [...readFileSync(path)] }));
  await target.evaluate((node, list) => {
    const data = new DataTransfer();
    for (const { name, bytes } of list) data.items.add(new File([new Uint8Array(bytes)], name));
    const drop = new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true });
    node.dispatchEvent(drop);
  }, files);
}

async function checkHalfWidth(page) {
  await (await page.waitForSelector(byRole('checkbox', 'Half width'))).click();
}

async function checkArchives(session, row) {
  const { page } = session;
  const keys = row.open || row.drop;
  if (row.halfWidth === true) await checkHalfWidth(page);
  if (row.open) {
    for (const key of keys) await (await byLabel(page, 'Open archive')).uploadFile(archives[key]);
  } else {
    const paths = keys.map((key) => archives[key]);
    await dropFiles(await page.waitForSelector(byRole('main')), paths,
      keys.map((key) => `${key}.arc`));
  }
  if (row.halfWidth === 'after') {
    const region = await page.waitForSelector(byRole('region', `${keys[0]}.arc`));
    await enabled(await region.waitForSelector(byRole('button', 'Save all')));
    await checkHalfWidth(page);
  }
  for (const key of keys) {
    const name = `${key}.arc`;
    const expected = convertNatively(archives[key], name, row.halfWidth);
    const region = await page.waitForSelector(byRole('region', name));
    // Done converting: a failed run says so once it has ended, and Save all comes on then where
    // there is a picture to save.
    const saveAll = await region.waitForSelector(byRole('button', 'Save all'));
    if (row.alerts?.[name]) await region.waitForSelector(byRole('alert'));
    else await enabled(saveAll);
    await checkFigures(region, expected, row);
    await checkAlert(region, expected, row.alerts?.[name]);
    assert.equal(await saveAll.evaluate((button) => button.disabled), expected.files.size === 0,
      'Save all is on where there is a picture');
    if (expected.files.size > 0) {
      await checkSavedBitmaps(session, region, expected, entryFacts(archives[key]),
        Boolean(row.halfWidth));
      for (const format of [row.saveAllAs || 'BMP'].flat()) {
        await checkZip(session, region, expected, key, format, row.halfWidth);
      }
    }
  }
  if (row.screenshot) {
    mkdirSync(webBuild, { recursive: true });
    await page.screenshot({ path: join(webBuild, row.screenshot), fullPage: true });
  }
}

const textOf = (handle) => handle.evaluate((node) => node.textContent);

async function checkFigures(region, expected, row) {
  const captions = await textsOf(region, byRole('figure'));
  const names = [...expected.files.keys()];
  assert.equal(captions.length, names.length, 'one figure per file varnu writes');
  names.forEach((name, k) => {
    const { width, height } = headerSize(expected.files.get(name));
    assert.ok(captions[k].startsWith(`${name} ${width} × ${height}`), captions[k]);
    assert.equal(captions[k].includes('upside down'), (row.flipped || []).includes(name),
      captions[k]);
  });
}

async function checkAlert(region, expected, meaning) {
  const texts = await alertTexts(region);
  if (!meaning) {
    assert.deepEqual(texts, [], 'no failure shown');
    return;
  }
  assert.equal(texts.length, 1, texts.join('\n'));
  assert.ok(texts[0].includes(meaning), texts[0]);
  const line = new TextDecoder('shift_jis').decode(expected.printed).trimEnd();
  assert.ok(texts[0].includes(line), `${texts[0]} does not show ${line}`);
}

// The facts the larger view lists, by term (each described by the element after it), once the
// entry's sizes have come.
function factsShown(dialog) {
  return until(async () => {
    const pairs = await dialog.$$eval(byRole('term'), (terms) =>
      terms.map((term) => [term.textContent, term.nextElementSibling?.textContent]));
    return pairs.some(([term]) => term === 'Packed size') && Object.fromEntries(pairs);
  }, 'the picture\'s facts');
}

const inBytes = (n) => `${n.toLocaleString('en')} bytes`;

// Through the larger view: the first picture by its button, the rest with the arrow key.
async function checkSavedBitmaps(session, region, expected, entries, halfWidth) {
  const { page } = session;
  const names = [...expected.files.keys()];
  await (await region.waitForSelector(byRole('button', `View ${names[0]}`))).click();
  const dialog = await page.waitForSelector(byRole('dialog'));
  const saveBmp = await dialog.waitForSelector(byRole('button', 'Save BMP'));
  for (const [k, name] of names.entries()) {
    if (k > 0) await page.keyboard.press('ArrowRight');
    await dialog.waitForSelector(byRole('heading', name));
    const facts = await factsShown(dialog);
    assert.equal(facts['Offset in the archive'], inBytes(entries[k].offset), name);
    assert.equal(facts['Packed size'], inBytes(entries[k].packed), name);
    const saved = await downloadOf(session, () => saveBmp.click());
    assert.equal(saved.name, name);
    assert.ok(saved.bytes.equals(expected.files.get(name)), `${name} differs from varnu's`);
  }
  await dialog.waitForSelector(byRole('image', 'Palette: 256 colours'));
  const savePng = await dialog.waitForSelector(byRole('button', 'Save PNG'));
  const png = await downloadOf(session, () => savePng.click());
  assert.equal(png.name, names.at(-1).replace('.BMP', '.png'));
  checkSavedPng(png.bytes, expected.files.get(names.at(-1)), names.at(-1), halfWidth);
  await page.keyboard.press('Escape');
  await page.waitForSelector(byRole('dialog'), { hidden: true });
}

// Picks the option whose text is `label`, as a person does.
async function chooseOption(select, label) {
  const value = await select.evaluate((node, wanted) =>
    [...node.options].find((option) => option.text === wanted).value, label);
  await select.select(value);
}

// As BMP, varnu's files byte for byte; as PNG, one picture for each under the same name, which
// varnu-pack --like packs back into the original archive, byte for byte.
async function checkZip(session, region, expected, key, format = 'BMP', halfWidth = false) {
  await chooseOption(await byLabel(session.page, 'Save all as'), format);
  const saveAll = await region.waitForSelector(byRole('button', 'Save all'));
  const zip = await downloadOf(session, () => saveAll.click());
  assert.equal(zip.name, `${key}.zip`);
  const files = unzipSync(new Uint8Array(zip.bytes));
  const names = [...expected.files.keys()];
  if (format === 'PNG') {
    const pngNames = names.map((name) => name.replace('.BMP', '.png'));
    assert.deepEqual(Object.keys(files).sort(), pngNames);
    for (const [k, name] of names.entries()) {
      checkSavedPng(Buffer.from(files[pngNames[k]]), expected.files.get(name), name, halfWidth);
    }
    if (!halfWidth) {
      const folder = freshFolder();
      for (const name of pngNames) writeFileSync(join(folder, name), files[name]);
      writeFileSync(join(folder, `${key}.arc`), readFileSync(archives[key]));
      const args = ['--like', `${key}.arc`, 'packed.arc', ...pngNames];
      const { archive, messages } = packNatively(folder, args, 'packed.arc');
      assert.ok(archive, messages);
      assert.ok(archive.equals(readFileSync(archives[key])), 'packed back, not the original');
    }
    return;
  }
  assert.deepEqual(Object.keys(files).sort(), names);
  for (const [name, bytes] of expected.files) {
    assert.ok(Buffer.from(files[name]).equals(bytes), `${name} in the zip differs`);
  }
}

async function checkPack(session, row) {
  const { page } = session;
  const { files, folder } = convertNatively(archives[row.pack.from], `${row.pack.from}.arc`, false);
  const pictures = [...files.keys()].map((name) => join(folder, name));
  if (row.pack.png) {
    for (const [k, picture] of pictures.entries()) {
      pictures[k] = picture.replace(/\.BMP$/, '.png');
      execFileSync('convert', [picture, pictures[k]]);
    }
  }
  if (row.pack.extra) {
    writeFileSync(join(folder, row.pack.extra.name), row.pack.extra.bytes);
    pictures.splice(1, 0, join(folder, row.pack.extra.name));
  }
  const pictureNames = pictures.map((path) => path.slice(folder.length + 1));
  const original = row.pack.like ? `${row.pack.from}.arc` : null;
  const output = original || 'packed.arc';
  // varnu-pack runs beside the pictures (and the original, which the folder holds), writing into
  // a folder of its own as the page's run does, so that both name the same paths.
  mkdirSync(join(folder, 'out'));
  const archivePath = join('out', output);
  const args = [...(original ? ['--like', original] : []), archivePath, ...pictureNames];
  const expected = packNatively(folder, args, archivePath);
  if (expected && expected.archive === null && !row.refused) assert.fail(expected.messages);

  if (row.pack.dropped) {
    const reversed = [...pictures].reverse();
    const names = [...pictureNames].reverse();
    await dropFiles(await page.waitForSelector(byRole('region', 'Pack')), reversed, names);
  } else {
    await (await byLabel(page, 'Pictures')).uploadFile(...pictures);
  }
  if (original) {
    await (await byLabel(page, 'Original archive')).uploadFile(archives[row.pack.from]);
  }
  const pack = await page.waitForSelector(byRole('button', 'Pack'));
  if (!row.refused) {
    const packed = await downloadOf(session, () => pack.click());
    assert.equal(packed.name, output);
    if (row.pack.png) {
      const packedPath = join(freshFolder(), output);
      writeFileSync(packedPath, packed.bytes);
      const back = convertNatively(packedPath, output, false).files;
      assert.deepEqual([...back.keys()], [...files.keys()]);
      for (const [name, bytes] of files) assert.ok(back.get(name).equals(bytes), `${name} differs`);
    }
    assert.ok(packed.bytes.equals(expected.archive), 'the archive differs from varnu-pack\'s');
    return;
  }
  await pack.click();
  const item = await until(async () => {
    for (const candidate of await page.$$(byRole('listitem'))) {
      if ((await textOf(candidate)).includes(row.refused)) return candidate;
    }
    return null;
  }, `the list item of ${row.refused}`);
  const [said] = await until(async () => {
    const texts = await alertTexts(item);
    return texts.length > 0 && texts;
  }, 'the refusal');
  assert.equal(`${said}\n`, expected.messages);
  await enabled(pack);
  assert.deepEqual(readdirSync(session.downloads), [], 'a refusal downloads nothing');
}

// The chunks of a PNG, in order, each as { type, data }; the file must be whole, with no bytes
// after its end.
function pngChunks(png) {
  assert.ok(png.subarray(0, 8).equals(PNG_SIGNATURE), 'a PNG file');
  const chunks = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    chunks.push({ type: png.toString('latin1', at + 4, at + 8),
      data: png.subarray(at + 8, at + 8 + length) });
    at += 12 + length;
  }
  assert.equal(chunks.at(-1).type, 'IEND');
  return chunks;
}

// A saved PNG against the bitmap varnu writes: the same sides; at half width RGB, else a palette
// PNG of 8 bits holding the bitmap's palette in its order and at its length (the colours its
// header says it uses, all 256 when it says 0, as far as the pixels begin), with no transparency.
function checkSavedPng(png, bitmap, name, halfWidth = false) {
  const chunks = pngChunks(png);
  const header = chunks[0].data;
  assert.equal(chunks[0].type, 'IHDR', name);
  assert.equal(header.readUInt32BE(0), bitmap.readUInt32LE(18), `${name}: width`);
  assert.equal(header.readUInt32BE(4), bitmap.readUInt32LE(22), `${name}: height`);
  assert.deepEqual([header[8], header[9]], [8, halfWidth ? 2 : 3], `${name}: bits and colour type`);
  const types = chunks.map((chunk) => chunk.type);
  assert.ok(!types.includes('tRNS'), `${name}: no transparency`);
  if (halfWidth) return;
  const said = bitmap.readUInt32LE(46);
  const room = (bitmap.readUInt32LE(10) - 54) / 4;
  const colours = Math.min(said === 0 || said > 256 ? 256 : said, room);
  const palette = [];
  for (let k = 0; k < colours; ++k) {
    const at = 54 + 4 * k;
    palette.push(bitmap[at + 2], bitmap[at + 1], bitmap[at]);
  }
  const plte = chunks.find((chunk) => chunk.type === 'PLTE');
  assert.deepEqual([...plte.data], palette, `${name}: the palette`);
}

// Replace… in the larger view of an entry (and of another with `also`), then Save archive: the
// download is what varnu-pack --like writes from the same files, under the archive's name, and
// its warnings are beside their pictures, and converted back every picture not replaced is the
// original's file; or the refusal of a replacement is beside its picture, as varnu-pack says it,
// and nothing is downloaded.
async function checkReplace(session, row) {
  const { page } = session;
  const { from } = row.replace;
  const name = `${from}.arc`;
  const { files, folder } = convertNatively(archives[from], name, false);
  const names = [...files.keys()];
  const pictures = [...names];
  for (const { entry, file, bytes, pixel } of [row.replace, row.replace.also].filter(Boolean)) {
    if (bytes) writeFileSync(join(folder, file), bytes);
    else if (file.endsWith('.bmp')) {
      writeFileSync(join(folder, file), editedBitmap(files.get(names[entry]), pixel));
    } else {
      // An editor's palette PNG, as ImageMagick writes one: its palette in an order of its own.
      const bitmap = join(folder, 'edited-first.bmp');
      writeFileSync(bitmap, editedBitmap(files.get(names[entry])));
      execFileSync('convert', [bitmap, `PNG8:${join(folder, file)}`]);
    }
    pictures[entry] = file;
  }
  const expected = packNatively(folder, ['--like', name, 'out.arc', ...pictures], 'out.arc');

  await (await byLabel(page, 'Open archive')).uploadFile(archives[from]);
  const region = await page.waitForSelector(byRole('region', name));
  await enabled(await region.waitForSelector(byRole('button', 'Save all')));
  await checkFigures(region, { files }, row);
  for (const { entry, file } of [row.replace, row.replace.also].filter(Boolean)) {
    await (await region.waitForSelector(byRole('button', `View ${names[entry]}`))).click();
    const dialog = await page.waitForSelector(byRole('dialog'));
    await (await byLabel(page, 'Replace…')).uploadFile(join(folder, file));
    await until(async () => (await factsShown(dialog))['Replaced by']?.startsWith(file),
      'the replacement said in the view');
    await page.keyboard.press('Escape');
    await page.waitForSelector(byRole('dialog'), { hidden: true });
    const figure = (await region.$$(byRole('figure')))[entry];
    assert.ok((await textOf(figure)).includes(`replaced by ${file}`), await textOf(figure));
  }
  const save = await region.waitForSelector(byRole('button', 'Save archive'));
  if (!row.refused) {
    const saved = await downloadOf(session, () => save.click());
    assert.equal(saved.name, name);
    assert.ok(expected.archive, expected.messages);
    const savedPath = join(freshFolder(), name);
    writeFileSync(savedPath, saved.bytes);
    const back = convertNatively(savedPath, name, false).files;
    for (const [k, picture] of names.entries()) {
      if (pictures[k] !== picture) continue;
      assert.ok(back.get(picture)?.equals(files.get(picture)), `${picture} differs converted back`);
    }
    assert.ok(saved.bytes.equals(expected.archive), 'not the archive varnu-pack --like writes');
    // Its warnings (a palette of the PNG's own order), as varnu-pack prints them, beside them.
    const said = await textsOf(region, 'figure .message');
    assert.equal(said.map((line) => `${line}\n`).join(''), expected.messages);
    return;
  }
  await save.click();
  const figure = (await region.$$(byRole('figure')))[row.replace.entry];
  const said = await alertSaying(figure, row.refused);
  assert.equal(`${said}\n`, expected.messages);
  const statuses = () => textsOf(region, byRole('status'));
  await until(async () => (await statuses()).includes(`${name} was not saved.`), 'not saved');
  assert.deepEqual(readdirSync(session.downloads), [], 'a refusal downloads nothing');
}

// The bitmap with the index of its first pixel, or of the one `pixel` bytes into its rows,
// changed, as an editor's pencil would.
function editedBitmap(bitmap, pixel = 0) {
  const edited = Buffer.from(bitmap);
  const at = edited.readUInt32LE(10) + pixel;
  edited[at] = edited[at] === 1 ? 2 : 1;
  return edited;
}
