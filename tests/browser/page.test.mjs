// The page in real browsers, Chromium and Firefox, used as a person would: controls are found by
// their role and label, and whatever it saves is compared byte for byte with what the native
// programs write from the same inputs. One table of scenarios, run in each engine; every row also
// proves that no request left the page and that no script failed.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { basename, join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { unzipSync } from 'fflate';
import {
  accessibilityViolations, alertSaying, alertTexts, byLabel, byRole, clickInDocument,
  convertNatively, downloadOf, editedBitmap, enabled, engines, entryFacts, factsShown, fileChoice,
  freshFolder, headerSize, inDocument, launchBrowser, makeArchive, openPage, packNatively, pagePath,
  removeFreshFolders, rolesInDocument, sampleArchive, screenshotFolder, servePage, textsOf, until,
} from './support.mjs';
import { vcdiff } from './vcdiff.mjs';

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
    flipped: ['sample_002.BMP'], saveAllAs: ['BMP', 'PNG'] },
  { name: 'sample archive at half width, from disk, 360 px wide, saved as PNG', open: ['sample'],
    halfWidth: true, fromDisk: true, width: 360, flipped: ['sample_002.BMP'], saveAllAs: 'PNG' },
  { name: 'test archive: keyed, short and broken entries; the page works on',
    open: ['page', 'sample'], flipped: ['page_001.BMP', 'sample_002.BMP'],
    alerts: { 'page.arc': CANNOT_CONVERT } },
  { name: 'test archive, switched to half width once shown', open: ['page'], halfWidth: 'after',
    flipped: ['page_001.BMP'],
    alerts: { 'page.arc': CANNOT_CONVERT } },
  { name: 'a 0-byte, a truncated and a good archive dropped together: each failure said for what ' +
      'it is, with no save offered and no bar left full',
    drop: ['empty', 'cut', 'sample'], flipped: ['sample_002.BMP'],
    alerts: { 'empty.arc': CANNOT_CONVERT, 'cut.arc': CANNOT_CONVERT },
    says: { 'empty.arc': 'The file is empty.', 'cut.arc': 'It is cut short' } },
  { name: 'pack the sample outputs', pack: { from: 'sample' } },
  { name: 'pack the sample outputs like the original', pack: { from: 'sample', like: true } },
  { name: 'pack the sample outputs dropped in reverse: by name',
    pack: { from: 'sample', dropped: true } },
  { name: 'pack the sample outputs saved as PNG, like the original: they convert back exactly',
    pack: { from: 'sample', like: true, png: true } },
  { name: 'pack refuses a file that is no bitmap and downloads nothing',
    pack: { from: 'sample', extra: { name: 'notes.bmp', bytes: 'not a picture' } },
    refused: 'notes.bmp' },
  { name: 'replace a picture by an edited bitmap, then save the archive: varnu-pack --like\'s; ' +
      'its patch, which xdelta3 applies, applied by the page; one for another archive and ' +
      'xdelta3\'s LZMA one refused with varnu-pack\'s lines',
    replace: { from: 'sample', entry: 1, file: 'edited.bmp' }, flipped: ['sample_002.BMP'],
    patch: true },
  { name: 'replace two pictures, one by an edited palette PNG, then save the archive',
    replace: { from: 'sample', entry: 2, file: 'edited.png', also: { entry: 0, file: 'b.bmp' } },
    flipped: ['sample_002.BMP'] },
  { name: 'replace a picture whose rows a keyed entry after it takes, then save the archive: the ' +
      'keyed one comes back as it was, right way up',
    // A pixel of the 120-pixel rows that the keyed entry takes.
    replace: { from: 'borrow', entry: 0, file: 'edited.bmp', pixel: 120 * 41 },
    flipped: ['borrow_001.BMP'] },
  { name: 'replace a picture by an edit with anti-aliased text in colours its palette lacks: ' +
      'shown mapped beside the edit with varnu-pack --remap\'s figures, where pixels moved on ' +
      'request, and saved as varnu-pack --like --remap packs it',
    replace: { from: 'sample', entry: 0, file: 'annotated.png', text: true },
    flipped: ['sample_002.BMP'] },
  { name: 'a replacement of another size is shown at its own size and proportions, saved from ' +
      'its view as varnu will write it, outlives no status, and is put back',
    replace: { from: 'sample', entry: 1, file: 'small.bmp', size: [50, 40] },
    flipped: ['sample_002.BMP'] },
  { name: 'a replacement that is no picture is refused when chosen, before any save, and not kept',
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
          const replaced = row.replace && await checkReplace(session, row);
          if (row.patch) await checkPatch(session, replaced);
          if (row.width) {
            const overflow = await session.page.evaluate(() =>
              document.documentElement.scrollWidth - innerWidth);
            assert.ok(overflow <= 0, `the page is ${overflow} px wider than the window`);
          }
          assert.deepEqual(await accessibilityViolations(session.page), [], 'axe-core');
        });
      });
    }

    for (const row of failures) {
      test(row.name, { timeout: 4 * TIMEOUT_MS }, () =>
        withPage({ breakableWorker: true }, (session) => checkFailure(session, row)));
    }

    test('Apply patch… with a patch that copies from what it has made, from the first 4 MiB ' +
      'and across their end: the patched archive opens, and saves as the patch makes it',
    { timeout: 4 * TIMEOUT_MS }, () => withPage({}, (session) => checkSelfCopyingPatch(session)));

    test('a browser that prefers Japanese gets the page in Japanese, with no English left ' +
      'outside names and numbers, and the switch brings English back', { timeout: 4 * TIMEOUT_MS },
    () => withPage({ languages: ['ja-JP', 'ja', 'en'] }, (session) => checkJapanese(session)));

    test('screenshots for people: light and dark, 1280 and 360 px wide; a 640 × 480 picture ' +
      'fits the larger view, and a name is never broken', { timeout: 6 * TIMEOUT_MS }, async () => {
      mkdirSync(screenshotFolder, { recursive: true });
      const shot = (page, what, fullPage = false) =>
        page.screenshot({ path: join(screenshotFolder, `${engine}-${what}.png`), fullPage });
      await withPage({}, (session) => checkScreens(session, shot, 'light'));
      await withPage({ viewport: { width: 360, height: 800 } }, (session) =>
        checkScreens(session, shot, '360px'));
      // Dark as the person's system says: Chromium's page is told so, Firefox's preferences say so.
      if (engine === 'chromium') {
        await withPage({}, async (session) => {
          const dark = { name: 'prefers-color-scheme', value: 'dark' };
          await session.page.emulateMediaFeatures([dark]);
          await checkScreens(session, shot, 'dark');
        });
      } else {
        const dark = await launchBrowser(engine, { dark: true });
        try {
          const session = await openPage(dark, server.url);
          await checkScreens(session, shot, 'dark');
          await session.context.close();
        } finally {
          await dark.close();
        }
      }
    });
  });
}

// Every word a person reads, or hears (labels, alternative texts), outside what is marked as
// another language's (the packer's own lines, the language switch's "English").
function wordsShown(page) {
  return page.evaluate(() => {
    const words = [];
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      const parent = node.parentElement;
      if (parent.closest('script, [lang]:not([lang="ja"])')) continue;
      if (!parent.checkVisibility()) continue;
      words.push(node.textContent);
    }
    for (const node of document.querySelectorAll('[aria-label], img[alt]')) {
      words.push(node.getAttribute('aria-label') || '', node.getAttribute('alt') || '');
    }
    return words.join(' ');
  });
}

// Names and numbers: the programs', the formats', and the files'.
const NAMES = /varnu-pack|varnu|[\w-]+\.(arc|BMP|bmp|png)\b|\bBMP\b|\bPNG\b|\bZIP\b|\bGiB\b/g;
// And an option and a measure, named as the programs name them.
const TERMS = /--remap|\bCIEDE2000\b/g;

async function checkJapanese(session) {
  const { page } = session;
  assert.equal(await page.evaluate(() => document.documentElement.lang), 'ja');
  await (await fileChoice(page, 'アーカイブを開く…')).uploadFile(archives.sample);
  const region = await inDocument(page, 'region', 'sample.arc');
  await enabled(await inDocument(region, 'button', 'すべて保存'));
  // A replacement with colours its palette lacks, so that its mapping and the packer's warning
  // are shown too.
  const { folder } = convertNatively(archives.sample, 'sample.arc', false);
  const edited = join(folder, 'edited.png');
  annotate(join(folder, 'sample_000.BMP'), edited);
  await clickInDocument(region, 'button', 'sample_000.BMP を拡大表示');
  const dialog = await inDocument(page, 'dialog', 'sample_000.BMP');
  await (await fileChoice(dialog, '差し替える…')).uploadFile(edited);
  await shownAt(await inDocument(dialog, 'button', '元に戻す'));
  const english = async (where, words) => {
    const said = await wordsShown(page);
    assert.ok(words.every((word) => said.includes(word)), said);
    const left = said.replace(NAMES, '').replace(TERMS, '');
    assert.equal(left.match(/[A-Za-z]+/g), null, `English ${where}: ${said}`);
  };
  await english('in the larger view', ['edited.png に差し替えました', 'パレット: 256 色',
    'パレットの色に置き換えました', '色が変わったピクセルを表示']);
  assert.deepEqual(await accessibilityViolations(page), [], 'axe-core, the view in Japanese');
  await closeView(page);
  await english('on the page', ['すべて保存', 'edited.png に差し替え', '4 枚']);
  // The switch: every word in English at once.
  await (await page.waitForSelector(byRole('combobox', '表示言語'))).select('en');
  await inDocument(region, 'button', 'Save all');
  await inDocument(region, 'button', 'View sample_000.BMP');
  assert.equal(await page.evaluate(() => document.documentElement.lang), 'en');
}

// The page for people to look at, in one `look` (light, dark, 360px): the gallery, and the
// larger view under a heading on one line; in the light look, of a picture replaced by one of
// 640 × 480, which fits its box whole without scrolling.
async function checkScreens(session, shot, look) {
  const { page } = session;
  await (await fileChoice(page, 'Open archive…')).uploadFile(archives.sample);
  const region = await inDocument(page, 'region', 'sample.arc');
  await enabled(await inDocument(region, 'button', 'Save all'));
  await page.waitForFunction((node) => [...node.querySelectorAll('img')]
    .every((image) => image.complete && image.naturalWidth > 0), {}, region);
  await shot(page, `${look}-gallery`, true);
  await clickInDocument(region, 'button', 'View sample_000.BMP');
  const dialog = await inDocument(page, 'dialog', 'sample_000.BMP');
  const size = look === 'light' ? [640, 480] : [160, 120];
  if (look !== '360px') {
    // An edit with anti-aliased text, mapped onto the palette: in dark, where its pixels moved.
    const { folder } = convertNatively(archives.sample, 'sample.arc', false);
    const edit = join(folder, 'edit.png');
    annotate(join(folder, 'sample_000.BMP'), edit,
      look === 'light' ? ['-sample', '640x480!'] : []);
    await (await fileChoice(dialog, 'Replace…')).uploadFile(edit);
    await shownAt(await inDocument(dialog, 'button', 'Put back'));
    const toggle = await dialog.waitForSelector(byRole('checkbox', 'Show where pixels moved'));
    if (look === 'dark') await toggle.click();
  }
  await page.waitForFunction((node, width) => {
    const image = node.querySelector('.viewer-picture img');
    return image.complete && image.naturalWidth === width;
  }, {}, dialog, size[0]);
  const fit = await dialog.evaluate((node) => {
    const box = node.querySelector('.viewer-picture');
    const image = box.querySelector('img').getBoundingClientRect();
    const heading = node.querySelector('h2');
    return {
      scrolls: box.scrollHeight > box.clientHeight || box.scrollWidth > box.clientWidth,
      cut: image.bottom > box.getBoundingClientRect().bottom + 0.5,
      drawn: [image.width, image.height],
      headingLines: Math.round(heading.getBoundingClientRect().height /
        parseFloat(getComputedStyle(heading).lineHeight)),
    };
  });
  assert.equal(fit.scrolls || fit.cut, false, `the picture's box scrolls: ${JSON.stringify(fit)}`);
  assert.equal(fit.headingLines, 1, 'the heading breaks');
  assert.ok(Math.abs(fit.drawn[0] / fit.drawn[1] - 4 / 3) < 0.02, String(fit.drawn));
  if (look === 'light') assert.deepEqual(fit.drawn, size, 'the 640 × 480 picture at its size');
  await shot(page, look === 'light' ? `${look}-view-640x480` : `${look}-view`);
  await closeView(page);
}

async function checkFailure(session, row) {
  const { page } = session;
  const expected = convertNatively(archives.sample, 'sample.arc', false);
  if (row.breaks === 'thumbnail') {
    await page.evaluate(() => window.testWorkers
      .forEach((worker) => worker.postMessage({ breakAt: 'thumbnail' })));
  }
  await (await fileChoice(page, 'Open archive…')).uploadFile(archives.sample);
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
    await (await fileChoice(page, 'Open archive…')).uploadFile(archives.page);
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
    for (const key of keys) {
      await (await fileChoice(page, 'Open archive…')).uploadFile(archives[key]);
    }
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
    if (row.alerts?.[name]) await checkFailedArchive(region, expected, key, row.says?.[name]);
    if (expected.files.size > 0) {
      await checkSavedBitmaps(session, region, expected, entryFacts(archives[key]),
        Boolean(row.halfWidth));
      for (const format of [row.saveAllAs || 'BMP'].flat()) {
        await checkZip(session, region, expected, key, format, row.halfWidth);
      }
    }
  }
}

// An archive that failed offers no Save archive, shows no bar, and says why in words of its own:
// `says`, or where pictures came before the failure, the name the next would have had.
async function checkFailedArchive(region, expected, key, says) {
  const save = await inDocument(region, 'button', 'Save archive');
  assert.equal(await save.evaluate((button) => button.disabled), true, 'Save archive is off');
  const bars = await region.$$eval('progress', (all) => all.filter((bar) => !bar.hidden).length);
  assert.equal(bars, 0, 'a bar shown for a failed archive');
  const [said] = await alertTexts(region, rolesInDocument.alert);
  if (says) assert.ok(said.includes(says), said);
  const count = expected.files.size;
  if (count > 0) {
    const next = `${key}_${String(count).padStart(3, '0')}.BMP`;
    const before = count === 1 ? 'the 1 picture before it is shown' :
      `the ${count} pictures before it are shown`;
    assert.ok(said.includes(next) && said.includes(before), said);
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
    await (await fileChoice(page, 'Choose pictures…')).uploadFile(...pictures);
  }
  if (original) {
    await (await fileChoice(page, 'Original archive…')).uploadFile(archives[row.pack.from]);
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
// packer's check says at once, in the view and beside the picture, what varnu-pack --like says of
// the same files; the download is what it writes, under the archive's name, and converted back
// every picture not replaced is the original's file. A refused file is said before any save and
// not kept. A replacement of another `size` is shown at that size and its proportions, and saved
// from its view as varnu writes it from the packed archive; what was said of the save goes when
// half width is switched on; Put back undoes it.
async function checkReplace(session, row) {
  const { page } = session;
  const { from, size } = row.replace;
  const name = `${from}.arc`;
  const { files, folder } = convertNatively(archives[from], name, false);
  const names = [...files.keys()];
  const pictures = [...names];
  const edits = [row.replace, row.replace.also].filter(Boolean);
  for (const { entry, file, bytes, pixel, text } of edits) {
    const path = join(folder, file);
    if (text) {
      annotate(join(folder, names[entry]), path);
    } else if (bytes) {
      writeFileSync(path, bytes);
    } else if (size) {
      execFileSync('convert',
        [join(folder, names[entry]), '-sample', `${size.join('x')}!`, `BMP3:${path}`]);
    } else if (file.endsWith('.bmp')) {
      writeFileSync(path, editedBitmap(files.get(names[entry]), pixel));
    } else {
      // An editor's palette PNG, as ImageMagick writes one: its palette in an order of its own.
      const bitmap = join(folder, 'edited-first.bmp');
      writeFileSync(bitmap, editedBitmap(files.get(names[entry])));
      execFileSync('convert', [bitmap, `PNG8:${path}`]);
    }
    pictures[entry] = file;
  }
  // The page maps colours a palette lacks, as varnu-pack --remap does.
  const expected = packNatively(folder, ['--like', name, '--remap', 'out.arc', ...pictures],
    'out.arc');

  await (await fileChoice(page, 'Open archive…')).uploadFile(archives[from]);
  const region = await inDocument(page, 'region', name);
  await enabled(await inDocument(region, 'button', 'Save all'));
  await checkFigures(region, { files }, row);
  const save = await inDocument(region, 'button', 'Save archive');
  const figureOf = async (entry) => (await region.$$(rolesInDocument.figure))[entry];
  for (const { entry, file } of edits) {
    await clickInDocument(region, 'button', `View ${names[entry]}`);
    const dialog = await inDocument(page, 'dialog', names[entry]);
    await (await fileChoice(dialog, 'Replace…')).uploadFile(join(folder, file));
    if (row.refused) {
      // Said at once, in the view and beside the picture, as varnu-pack says it; nothing kept.
      const said = await alertSaying(dialog, row.refused);
      assert.equal(`${said}\n`, expected.messages);
      await closeView(page);
      const figure = await figureOf(entry);
      assert.equal(`${await alertSaying(figure, row.refused)}\n`, expected.messages);
      assert.ok(!(await textOf(figure)).includes('replaced by'), await textOf(figure));
      assert.equal(await save.evaluate((button) => button.disabled), true, 'a save offered');
      assert.deepEqual(readdirSync(session.downloads), [], 'a refusal downloads nothing');
      return;
    }
    await until(async () => (await factsShown(dialog))['Replaced by'] === file,
      'the replacement said in the view');
    if (size || row.replace.text) {
      const sides = size || Object.values(headerSize(files.get(names[entry])));
      await checkReplacementView(session, dialog, expected.archive, names[entry], sides);
    }
    if (row.replace.text) await checkMapped(dialog, row.replace, expected.messages);
    await closeView(page);
    const figure = await figureOf(entry);
    assert.ok((await textOf(figure)).includes(`replaced by ${file}`), await textOf(figure));
    await checkOnePicture(figure, size);
    if (size) {
      const caption = await textOf(figure);
      assert.ok(caption.startsWith(`${names[entry]} ${size[0]} × ${size[1]}`), caption);
      assert.ok(caption.includes('size changed'), caption);
    }
  }
  // Its warnings (a palette of the PNG's own order), as varnu-pack prints them, beside them
  // since they were chosen.
  const said = await textsOf(region, 'figure .message');
  assert.equal(said.map((line) => `${line}\n`).join(''), expected.messages);
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
  const count = edits.length;
  const statusSaid = `Saved ${name}: ${count} ${count === 1 ? 'picture' : 'pictures'} replaced`;
  await until(async () => (await textsOf(region, rolesInDocument.status)).some((text) =>
    text.startsWith(statusSaid)), 'the saved archive said');
  if (size) await checkAfterSave(session, region, savedPath, row.replace, names, expected);
  return { region, name, folder, expected, entries: edits.map(({ entry }) => entry), names };
}

// Save patch gives the patch that xdelta3 applies to the original to give the archive
// varnu-pack --like writes; Apply patch… with it opens the patched archive under the original,
// the changed pictures marked, and its Save archive saves that archive. The same patch applied to
// the patched archive, which is not its original, is refused with varnu-pack --apply's line, and
// nothing changes.
async function checkPatch(session, { region, name, folder, expected, entries, names }) {
  const { page } = session;
  const patch = await downloadOf(session, () => clickInDocument(region, 'button', 'Save patch'));
  assert.equal(patch.name, name.replace(/\.arc$/, '.vcdiff'));
  const said = `Saved ${patch.name}, ${patch.bytes.length.toLocaleString('en')} bytes`;
  await until(async () => (await textsOf(region, rolesInDocument.status)).some((text) =>
    text.startsWith(said)), 'the saved patch said with its size');
  const patchPath = join(folder, patch.name);
  writeFileSync(patchPath, patch.bytes);
  const applied = join(folder, 'xdelta3.arc');
  execFileSync('xdelta3', ['-d', '-f', '-s', join(folder, name), patchPath, applied]);
  assert.ok(readFileSync(applied).equals(expected.archive), 'xdelta3 -d gives another archive');

  await (await fileChoice(region, 'Apply patch…')).uploadFile(patchPath);
  const heading = `${name}, patched by ${patch.name}`;
  const patched = await inDocument(page, 'region', heading);
  const count = entries.length;
  await until(async () => (await textsOf(patched, rolesInDocument.status)).some((text) =>
    text.startsWith(`${patch.name} applied to ${name}: ${count} picture`)), 'the patch said');
  const captions = await textsOf(patched, 'figure');
  assert.equal(captions.length, names.length);
  for (const [k, caption] of captions.entries()) {
    assert.equal(caption.includes(`changed by ${patch.name}`), entries.includes(k), caption);
  }
  // The patched archive saves as it is; a patch of it waits for a picture replaced in it.
  await enabled(await inDocument(patched, 'button', 'Save archive'));
  const savePatch = await inDocument(patched, 'button', 'Save patch');
  assert.equal(await savePatch.evaluate((button) => button.disabled), true, 'an empty patch offered');
  const saved = await downloadOf(session, () => clickInDocument(patched, 'button', 'Save archive'));
  assert.equal(saved.name, name);
  assert.ok(saved.bytes.equals(expected.archive), 'the patched archive saved is another');

  // Refused as varnu-pack --apply refuses them: the patch on the patched archive, which is not its
  // original, and xdelta3's own, with its default LZMA compression.
  const lzma = join(folder, 'lzma.vcdiff');
  execFileSync('xdelta3', ['-e', '-f', '-s', join(folder, name), applied, lzma]);
  const refusals = [
    { region: patched, archive: expected.archive, patchPath },
    { region, archive: readFileSync(join(folder, name)), patchPath: lzma },
  ];
  for (const refusal of refusals) {
    const patchName = basename(refusal.patchPath);
    const other = freshFolder();
    writeFileSync(join(other, name), refusal.archive);
    writeFileSync(join(other, patchName), readFileSync(refusal.patchPath));
    const refused = packNatively(other, ['--apply', patchName, name, 'out.arc'], 'out.arc');
    assert.equal(refused.archive, null);
    await (await fileChoice(refusal.region, 'Apply patch…')).uploadFile(refusal.patchPath);
    const alert = await alertSaying(refusal.region, refused.messages.trim());
    assert.ok(alert.includes(`${patchName} was not applied to ${name}; nothing changed.`), alert);
  }
  const headings = await textsOf(page, rolesInDocument.heading);
  assert.deepEqual(headings.filter((text) => text.includes('patched by')), [heading]);
  assert.deepEqual(readdirSync(session.downloads), [], 'a refusal downloads nothing');
}

// A patch whose later windows copy from the archive it is making (VCD_TARGET, which xdelta3
// does not apply): the sample archive, 4 MiB of zeros, which end its entries, then the archive
// again and 4 KiB around the 4 MiB mark, both read back from what was made. The worker keeps
// what the module writes in pieces of 4 MiB, so both reads are of a piece it let go of, the
// second of it and of what followed. The expected bytes are put together here.
async function checkSelfCopyingPatch(session) {
  const { page } = session;
  const original = readFileSync(sampleArchive);
  const PIECE = 4 * 1024 * 1024;
  const zeros = PIECE + 4096;
  const across = { at: PIECE - 2048, size: 4096 + original.length };
  const patchPath = join(freshFolder(), 'self.vcdiff');
  writeFileSync(patchPath, vcdiff([
    { copy: { from: 'source', at: 0, size: original.length } },
    { run: { byte: 0, size: zeros } },
    { copy: { from: 'target', at: 0, size: original.length } },
    { copy: { from: 'target', ...across } },
  ]));
  const made = Buffer.concat([original, Buffer.alloc(zeros), original]);
  const expected = Buffer.concat([made, made.subarray(across.at, across.at + across.size)]);

  await (await fileChoice(page, 'Open archive…')).uploadFile(sampleArchive);
  const region = await inDocument(page, 'region', 'sample.arc');
  await enabled(await inDocument(region, 'button', 'Save all'));
  await (await fileChoice(region, 'Apply patch…')).uploadFile(patchPath);
  const patched = await inDocument(page, 'region', 'sample.arc, patched by self.vcdiff');
  await until(async () => (await textsOf(patched, rolesInDocument.status)).some((text) =>
    text.startsWith('self.vcdiff applied to sample.arc: 0 pictures changed')), 'the patch said');
  const saved = await downloadOf(session, () => clickInDocument(patched, 'button', 'Save archive'));
  assert.equal(saved.name, 'sample.arc');
  assert.ok(saved.bytes.equals(expected), 'the patched archive saved is another');
}

// `picture` with anti-aliased text drawn on it in a colour of no palette, as an editor saves it:
// RGB, with hundreds of colours its entry's palette lacks.
function annotate(picture, path, resized = []) {
  execFileSync('convert', [picture, ...resized, '-fill', '#d02020', '-font', 'DejaVu-Sans',
    '-pointsize', '28', '-annotate', '+8+60', 'Hello', `PNG24:${path}`]);
}

// A mapped replacement is said with the figures of varnu-pack's warning and shown beside the
// file as edited; the toggle lays over the picture a mark on each pixel that moved, and only then.
async function checkMapped(dialog, { file }, warning) {
  const [, moved, mean, largest] = warning.match(
    /: (\d+) pixels? moved, colour error \(CIEDE2000\) mean ([\d.]+), largest ([\d.]+)\n/);
  const figures = `${Number(moved).toLocaleString('en')} pixels moved, colour error ` +
    `(CIEDE2000) mean ${mean}, largest ${largest}.`;
  const said = await until(async () => (await textOf(dialog)).includes(figures) &&
    await textOf(dialog), 'the mapping\'s figures');
  assert.ok(said.includes(`${file} has colours this entry's palette lacks`), said);
  assert.ok(said.includes('Save archive will pack it mapped'), said);
  const edited = await inDocument(dialog, 'image', `${file}, as edited, before mapping`);
  await until(() => edited.evaluate((image) => image.complete && image.naturalWidth > 0),
    'the edited picture drawn');
  const toggle = await dialog.waitForSelector(byRole('checkbox', 'Show where pixels moved'));
  const overlay = () => dialog.$eval('.viewer-picture canvas', (canvas) => {
    if (!canvas.checkVisibility()) return null;
    const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    return data.filter((value, k) => k % 4 === 3 && value > 0).length;
  });
  assert.equal(await overlay(), null, 'where pixels moved shown before it was asked for');
  await toggle.click();
  assert.equal(await until(overlay, 'where pixels moved'), Number(moved));
  await toggle.click();
  assert.equal(await overlay(), null, 'where pixels moved still shown');
}

// Waits until `handle`, found in the document, is shown.
const shownAt = (handle) => handle.frame.waitForFunction((node) => !node.hidden, {}, handle);

const closeView = async (page) => {
  await page.keyboard.press('Escape');
  await page.waitForSelector(rolesInDocument.dialog, { hidden: true });
};

// One picture seen in the figure, and for a replacement of another size, drawn at that size.
async function checkOnePicture(figure, size) {
  const drawn = await until(() => figure.$$eval('img', (images) => {
    const seen = images.filter((image) => image.checkVisibility());
    return seen.every((image) => image.complete && image.naturalWidth > 0) &&
      seen.map((image) => [image.naturalWidth, image.naturalHeight]);
  }), 'the figure\'s picture');
  assert.equal(drawn.length, 1, 'one picture seen in the figure');
  if (size) assert.deepEqual(drawn[0], size);
}

// The larger view draws the replacement in its own proportions, and its Save BMP saves the file
// varnu writes from the archive varnu-pack --like makes.
async function checkReplacementView(session, dialog, packed, name, size) {
  const image = await dialog.waitForSelector('img');
  const [width, height] = await image.evaluate((node) =>
    [parseFloat(node.style.width), parseFloat(node.style.height)]);
  assert.ok(Math.abs(width / height - size[0] / size[1]) < 0.02, `drawn ${width} × ${height}`);
  const packedPath = join(freshFolder(), 'packed.arc');
  writeFileSync(packedPath, packed);
  const written = convertNatively(packedPath, 'packed.arc', false).files;
  const bitmap = written.get(name.replace(/^[^_]+/, 'packed'));
  const saved = await downloadOf(session, async () =>
    clickInDocument(dialog, 'button', 'Save BMP'));
  assert.equal(saved.name, name);
  assert.ok(saved.bytes.equals(bitmap), `${name} saved from the view is not varnu's`);
}

// Half width switched on: what the save said goes, the warnings stay beside their pictures, and
// the caption gives the replacement's half-width size; then Put back gives the entry back.
async function checkAfterSave(session, region, savedPath, { entry, size }, names, expected) {
  const { page } = session;
  const statuses = () => textsOf(region, rolesInDocument.status);
  await checkHalfWidth(page);
  await until(async () => !(await statuses()).some((text) => text.startsWith('Saved')),
    'the saved status gone');
  const half = convertNatively(savedPath, 'sample.arc', true).files.get(names[entry]);
  const { width, height } = headerSize(half);
  const caption = await until(async () => {
    const text = await textOf((await region.$$(rolesInDocument.figure))[entry]);
    return text.startsWith(`${names[entry]} ${width} × ${height}`) && text;
  }, 'the half-width caption');
  assert.ok(caption.includes('replaced by'), caption);
  const said = await textsOf(region, 'figure .message');
  assert.equal(said.map((line) => `${line}\n`).join(''), expected.messages);
  await checkHalfWidth(page);
  await clickInDocument(region, 'button', `View ${names[entry]}`);
  const dialog = await inDocument(page, 'dialog', names[entry]);
  await clickInDocument(dialog, 'button', 'Put back');
  await until(async () => !(await factsShown(dialog))['Replaced by'], 'put back in the view');
  await closeView(page);
  const figure = (await region.$$(rolesInDocument.figure))[entry];
  const text = await textOf(figure);
  assert.ok(!text.includes('replaced by') && !text.includes('varnu-pack'), text);
  assert.ok(!text.startsWith(`${names[entry]} ${size[0]} × ${size[1]}`), text);
  await checkOnePicture(figure);
  const save = await inDocument(region, 'button', 'Save archive');
  assert.equal(await save.evaluate((button) => button.disabled), true, 'nothing to save');
  assert.deepEqual((await statuses()).filter(Boolean), [], 'a status left from an earlier state');
}
