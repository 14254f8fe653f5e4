// The page in a real browser, used as a person would: controls are found by their role and
// label, and whatever it saves is compared byte for byte with what the native programs write
// from the same inputs. One row per scenario; every row also proves that no request left the
// page and that no script failed.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { unzipSync } from 'fflate';
import {
  convertNatively, downloadOf, entryFacts, freshFolder, headerSize, launchBrowser, makeTestArchive,
  openPage, packNatively, pagePath, removeFreshFolders, sampleArchive, servePage, webBuild,
} from './support.mjs';

const TIMEOUT_MS = 20_000;
const PNG_SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
// What the page says for the converter's messages 1 and 3 (the line itself is checked against
// what the native program printed).
const CANNOT_CONVERT = 'The given file cannot be converted.';
const CANNOT_READ = 'The given file cannot be read.';

let browser;
let server;
let archives;

before(async () => {
  archives = { sample: sampleArchive, page: makeTestArchive() };
  const empty = join(freshFolder(), 'empty.arc');
  writeFileSync(empty, '');
  const truncated = join(freshFolder(), 'cut.arc');
  writeFileSync(truncated, readFileSync(sampleArchive).subarray(0, 3000));
  Object.assign(archives, { empty, cut: truncated });
  browser = await launchBrowser();
  server = await servePage();
});
after(async () => {
  await browser?.close();
  server?.close();
  removeFreshFolders();
});

// open: archives given to "Open archive", drop: archives dropped on the page; halfWidth: switched
// on before they are opened, or 'after' they are shown. Expected figures,
// bytes and failure lines come from the native varnu on the same file. pack: pictures (the
// native outputs of an archive, and a file of the row's own) chosen or dropped, packed with or
// without the original, against varnu-pack on the same files in name order; or, as PNG files
// (which varnu-pack does not read), by converting the page's archive back with the native varnu.
const scenarios = [
  { name: 'sample archive, from a static server', open: ['sample'], flipped: ['sample_002.BMP'],
    screenshot: 'gallery.png' },
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
];

for (const row of scenarios) {
  test(row.name, { timeout: 4 * TIMEOUT_MS }, async () => {
    const pageUrl = row.fromDisk ? `file://${pagePath}` : server.url;
    const viewport = { width: row.width || 1280, height: 800 };
    const { page, context, strayRequests, errors } = await openPage(browser, pageUrl, viewport);
    page.setDefaultTimeout(TIMEOUT_MS);
    try {
      if (row.open || row.drop) await checkArchives(page, row);
      if (row.pack) await checkPack(page, row);
      if (row.width) {
        const overflow =
          await page.evaluate(() => document.documentElement.scrollWidth - innerWidth);
        assert.ok(overflow <= 0, `the page is ${overflow} px wider than the window`);
      }
      assert.deepEqual(strayRequests, [], 'requests that left the page');
      assert.deepEqual(errors, [], 'script errors');
    } finally {
      await context.close();
    }
  });
}

// Failures a person can meet (the browser short of memory, the worker gone), each said in an
// alert where the person acted, and the page works on. Each row breaks one thing in the page, and
// mends it where it can.
const failures = [
  { name: 'a Save all whose zip the browser cannot take is said; once it can, Save all saves',
    breaks: 'zip', says: 'nothing was saved (no room for the zip)' },
  { name: 'a Save PNG the browser cannot encode is said; Save BMP and a later Save PNG save',
    breaks: 'png', says: 'cannot be saved as PNG' },
  { name: 'a worker that stops is said when half width is switched on; nothing waits for it',
    breaks: 'worker', says: 'this page cannot convert it here' },
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
    const { prototype } = OffscreenCanvas;
    const encode = prototype.convertToBlob;
    prototype.convertToBlob = () => Promise.reject(new RangeError('no room for the PNG'));
    window.mend = () => { prototype.convertToBlob = encode; };
  },
};

for (const row of failures) {
  test(row.name, { timeout: 4 * TIMEOUT_MS }, async () => {
    const viewport = { width: 1280, height: 800 };
    const { page, context, strayRequests, errors } = await openPage(browser, server.url, viewport);
    page.setDefaultTimeout(TIMEOUT_MS);
    try {
      const expected = convertNatively(archives.sample, 'sample.arc', false);
      await page.getByLabel('Open archive').setInputFiles(archives.sample);
      const region = page.getByRole('region', { name: 'sample.arc' });
      const saveAll = region.getByRole('button', { name: 'Save all', disabled: false });
      await saveAll.waitFor();
      if (row.breaks === 'worker') {
        await page.workers()[0].evaluate(() => {
          self.onmessage = () => { throw new Error('the worker broke'); };
        });
        await page.getByLabel('Half width').check();
        await region.getByRole('alert').filter({ hasText: row.says }).waitFor();
        await saveAll.waitFor();
      } else if (row.breaks === 'zip') {
        await page.evaluate(breakIn.zip);
        await saveAll.click();
        await region.getByRole('alert').filter({ hasText: row.says }).waitFor();
        await page.evaluate(() => window.mend());
        await checkZip(page, region, expected, 'sample');
        await checkAlert(region, expected, undefined);
      } else {
        const [name, bytes] = [...expected.files][0];
        await region.getByRole('button', { name: `View ${name}` }).click();
        const dialog = page.getByRole('dialog');
        await page.evaluate(breakIn.png);
        await dialog.getByRole('button', { name: 'Save PNG' }).click();
        await dialog.getByRole('alert').filter({ hasText: row.says }).waitFor();
        const click = (label) => () => dialog.getByRole('button', { name: label }).click();
        const saved = await downloadOf(page, click('Save BMP'));
        assert.ok(saved.bytes.equals(bytes), `${name} differs from varnu's`);
        await page.evaluate(() => window.mend());
        const png = await downloadOf(page, click('Save PNG'));
        assert.ok(png.bytes.subarray(0, 8).equals(PNG_SIGNATURE), 'a PNG file');
      }
      assert.deepEqual(strayRequests, [], 'requests that left the page');
      assert.deepEqual(errors, [], 'script errors');
    } finally {
      await context.close();
    }
  });
}

// Drops the files at `paths` on `target`, under the names given, as a file manager would.
async function dropFiles(target, paths, names) {
  const files = paths.map((path, k) => ({ name: names[k], bytes: [...readFileSync(path)] }));
  const transfer = await target.page().evaluateHandle((list) => {
    const data = new DataTransfer();
    for (const { name, bytes } of list) data.items.add(new File([new Uint8Array(bytes)], name));
    return data;
  }, files);
  await target.dispatchEvent('drop', { dataTransfer: transfer });
}

async function checkArchives(page, row) {
  const keys = row.open || row.drop;
  if (row.halfWidth === true) await page.getByLabel('Half width').check();
  if (row.open) {
    for (const key of keys) await page.getByLabel('Open archive').setInputFiles(archives[key]);
  } else {
    const paths = keys.map((key) => archives[key]);
    await dropFiles(page.getByRole('main'), paths, keys.map((key) => `${key}.arc`));
  }
  if (row.halfWidth === 'after') {
    await page.getByRole('button', { name: 'Save all', disabled: false }).waitFor();
    await page.getByLabel('Half width').check();
  }
  for (const key of keys) {
    const name = `${key === 'sample' ? 'sample' : key}.arc`;
    const expected = convertNatively(archives[key], name, row.halfWidth);
    const region = page.getByRole('region', { name });
    // Done converting: the button comes on once the run has ended.
    await region.getByRole('button', { name: 'Save all', disabled: false }).waitFor();
    await checkFigures(page, region, expected, row);
    await checkAlert(region, expected, row.alerts?.[name]);
    if (expected.files.size > 0) {
      await checkSavedBitmaps(page, region, expected, entryFacts(archives[key]));
      await checkZip(page, region, expected, key, row.saveAllAs);
    }
  }
  if (row.screenshot) {
    mkdirSync(webBuild, { recursive: true });
    await page.screenshot({ path: join(webBuild, row.screenshot), fullPage: true });
  }
}

async function checkFigures(page, region, expected, row) {
  const captions = await region.getByRole('figure').allTextContents();
  const names = [...expected.files.keys()];
  assert.equal(captions.length, names.length, 'one figure per file varnu writes');
  names.forEach((name, k) => {
    const { width, height } = headerSize(expected.files.get(name));
    assert.ok(captions[k].startsWith(`${name} ${width} × ${height}`), captions[k]);
    assert.equal(captions[k].includes('upside down'), row.flipped.includes(name), captions[k]);
  });
}

async function checkAlert(region, expected, meaning) {
  const alert = region.getByRole('alert');
  if (!meaning) {
    assert.equal(await alert.count(), 0, 'no failure shown');
    return;
  }
  const text = await alert.textContent();
  assert.ok(text.includes(meaning), text);
  const line = new TextDecoder('shift_jis').decode(expected.printed).trimEnd();
  assert.ok(text.includes(line), `${text} does not show ${line}`);
}

// The facts the larger view lists, by term, once the entry's sizes have come.
async function factsShown(dialog) {
  await dialog.getByRole('term').filter({ hasText: /^Packed size$/ }).waitFor();
  const terms = await dialog.getByRole('term').allTextContents();
  const values = await dialog.getByRole('definition').allTextContents();
  return Object.fromEntries(terms.map((term, k) => [term, values[k]]));
}

const inBytes = (n) => `${n.toLocaleString('en')} bytes`;

// Through the larger view: the first picture by its button, the rest with the arrow key.
async function checkSavedBitmaps(page, region, expected, entries) {
  const names = [...expected.files.keys()];
  await region.getByRole('button', { name: `View ${names[0]}` }).click();
  const dialog = page.getByRole('dialog');
  for (const [k, name] of names.entries()) {
    if (k > 0) await page.keyboard.press('ArrowRight');
    await dialog.getByRole('heading', { name }).waitFor();
    const facts = await factsShown(dialog);
    assert.equal(facts['Offset in the archive'], inBytes(entries[k].offset), name);
    assert.equal(facts['Packed size'], inBytes(entries[k].packed), name);
    const saveBmp = dialog.getByRole('button', { name: 'Save BMP' });
    const saved = await downloadOf(page, () => saveBmp.click());
    assert.equal(saved.name, name);
    assert.ok(saved.bytes.equals(expected.files.get(name)), `${name} differs from varnu's`);
  }
  await dialog.getByRole('img', { name: 'Palette: 256 colours' }).waitFor();
  const savePng = dialog.getByRole('button', { name: 'Save PNG' });
  const png = await downloadOf(page, () => savePng.click());
  assert.equal(png.name, names.at(-1).replace('.BMP', '.png'));
  assert.ok(png.bytes.subarray(0, 8).equals(PNG_SIGNATURE), 'a PNG file');
  await page.keyboard.press('Escape');
  await dialog.waitFor({ state: 'hidden' });
}

// As BMP, varnu's files byte for byte; as PNG, one picture for each under the same name.
async function checkZip(page, region, expected, key, format = 'BMP') {
  await page.getByLabel('Save all as').selectOption(format);
  const saveAll = region.getByRole('button', { name: 'Save all' });
  const zip = await downloadOf(page, () => saveAll.click());
  assert.equal(zip.name, `${key}.zip`);
  const files = unzipSync(new Uint8Array(zip.bytes));
  const names = [...expected.files.keys()];
  if (format === 'PNG') {
    assert.deepEqual(Object.keys(files).sort(), names.map((name) => name.replace('.BMP', '.png')));
    for (const bytes of Object.values(files)) {
      assert.ok(Buffer.from(bytes.subarray(0, 8)).equals(PNG_SIGNATURE), 'a PNG file');
    }
    return;
  }
  assert.deepEqual(Object.keys(files).sort(), names);
  for (const [name, bytes] of expected.files) {
    assert.ok(Buffer.from(files[name]).equals(bytes), `${name} in the zip differs`);
  }
}

async function checkPack(page, row) {
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
  const expected = row.pack.png ? null : packNatively(folder, args, archivePath);
  if (expected && expected.archive === null && !row.refused) assert.fail(expected.messages);

  if (row.pack.dropped) {
    const reversed = [...pictures].reverse();
    const names = [...pictureNames].reverse();
    await dropFiles(page.getByRole('region', { name: 'Pack' }), reversed, names);
  } else {
    await page.getByLabel('Pictures').setInputFiles(pictures);
  }
  if (original) await page.getByLabel('Original archive').setInputFiles(archives[row.pack.from]);
  const pack = page.getByRole('button', { name: 'Pack' });
  if (!row.refused) {
    const packed = await downloadOf(page, () => pack.click());
    assert.equal(packed.name, output);
    if (row.pack.png) {
      const packedPath = join(freshFolder(), output);
      writeFileSync(packedPath, packed.bytes);
      const back = convertNatively(packedPath, output, false).files;
      assert.deepEqual([...back.keys()], [...files.keys()]);
      for (const [name, bytes] of files) assert.ok(back.get(name).equals(bytes), `${name} differs`);
      return;
    }
    assert.ok(packed.bytes.equals(expected.archive), 'the archive differs from varnu-pack\'s');
    return;
  }
  let downloads = 0;
  page.on('download', () => ++downloads);
  await pack.click();
  const item = page.getByRole('listitem').filter({ hasText: row.refused });
  const alert = item.getByRole('alert');
  await alert.waitFor();
  assert.equal(`${await alert.textContent()}\n`, expected.messages);
  await page.getByRole('button', { name: 'Pack', disabled: false }).waitFor();
  assert.equal(downloads, 0, 'a refusal downloads nothing');
}
