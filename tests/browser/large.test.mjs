// The largest archives there are, in each engine: as many pictures as an archive holds (3,600 of
// 640 x 480), and one entry of the largest payload that decodes to the largest bitmap, each
// plain and at half width. Each converts, shows every picture, scrolls to the end, opens the
// last picture in the larger view, and saves all; what it saves is varnu's output, compared by
// hash, and the browser's processes together stay under 1 GiB at every step. Controls are found
// by role and name as the document gives them (support.mjs says why); the small archives of
// page.test.mjs prove the same controls through the accessibility tree.
//
// The archives are made here. Saving all 3,600 pictures whole takes most of a minute with its
// check, so the test command does it in Chromium alone and cancels a save part way in both; the
// largest entry is saved whole in both. VARNU_LARGE_ARCHIVES=1 saves every row whole in both
// (Firefox, which collects the garbage of a long save late, then goes past 1 GiB).
import assert from 'node:assert/strict';
import { readdirSync, rmSync } from 'node:fs';
import { after, before, describe, test } from 'node:test';
import {
  alertSaying, alertTexts, byLabel, clickInDocument, downloaded, enabled, engines, fileChoice,
  hashFile, hashNatively, hashZipEntries, inDocument, launchBrowser, makeArchive, openPage,
  pagePath, removeFreshFolders, rolesInDocument, textsOf, until, watchMemory,
} from './support.mjs';

const saveEverything = process.env.VARNU_LARGE_ARCHIVES === '1';
const MEMORY_LIMIT = 2 ** 30;
const PICTURES = 3600;
// Long enough for the slowest step on a busy machine; the benchmark measures the time itself.
const STEP_TIMEOUT_MS = 5 * 60_000;

// cancel: Save all is cancelled once under way; savedIn: the engines where Save all then saves
// the whole zip, checked against varnu's files (all of them where not given).
const rows = [
  { archive: 'many', halfWidth: false, cancel: true, savedIn: ['chromium'] },
  { archive: 'many', halfWidth: true, savedIn: [] },
  { archive: 'largest', halfWidth: false },
  { archive: 'largest', halfWidth: true },
];
const savesAll = (row, engine) => saveEverything || !row.savedIn || row.savedIn.includes(engine);

const makers = {
  many: () => makeArchive('make-many-pictures', 'many.arc', String(PICTURES)),
  largest: () => makeArchive('make-worst-case', 'largest.arc'),
};

const archives = {};
const expectations = new Map();

// What varnu writes for a row, found once for both engines.
async function expected(row) {
  const key = `${row.archive} ${row.halfWidth}`;
  if (!expectations.has(key)) {
    archives[row.archive] ??= makers[row.archive]();
    expectations.set(key, await hashNatively(archives[row.archive], `${row.archive}.arc`,
      row.halfWidth));
  }
  return expectations.get(key);
}

after(removeFreshFolders);

// A count as the page may write it, with or without a thousands separator.
const number = (n) => `(${n}|${n.toLocaleString('en')})`;
const mib = (bytes) => `${(bytes / 2 ** 20).toFixed(0)} MiB`;

for (const engine of engines) {
  describe(`${engine}, largest archives`, () => {
    let browser;
    const enginePeaks = [];
    before(async () => { browser = await launchBrowser(engine); });
    after(async () => {
      await browser?.close();
      if (enginePeaks.length > 0) console.log(`${engine}: peak ${mib(Math.max(...enginePeaks))}`);
    });

    for (const row of rows) {
      const saves = savesAll(row, engine);
      const name = `${row.archive}.arc${row.halfWidth ? ', half width' : ''}` +
        `${saves ? '' : ', Save all not completed'}`;
      test(name, { timeout: 6 * STEP_TIMEOUT_MS }, async (t) => {
        const want = await expected(row);
        const session = await openPage(browser, `file://${pagePath}`);
        const memory = watchMemory(browser);
        let phases;
        try {
          await checkLargeArchive(session, { ...row, saves }, want, memory);
          assert.deepEqual(session.strayRequests, [], 'requests that left the page');
          assert.deepEqual(session.errors, [], 'script errors');
        } finally {
          phases = memory.stop();
          await session.context.close();
          const said = [...phases].map(([phase, { peak, ms }]) =>
            `${phase} ${mib(peak)} (${(ms / 1000).toFixed(1)} s)`);
          t.diagnostic(`${engine}, peak memory by step: ${said.join(', ')}`);
          enginePeaks.push(...[...phases.values()].map(({ peak }) => peak));
        }
        for (const [phase, { peak }] of phases) {
          assert.ok(peak < MEMORY_LIMIT, `${engine} held ${mib(peak)} while ${phase}`);
        }
      });
    }
  });
}

async function checkLargeArchive(session, row, want, memory) {
  const { page } = session;
  page.setDefaultTimeout(STEP_TIMEOUT_MS);
  const name = `${row.archive}.arc`;
  const count = want.files.length;

  memory.phase('converting');
  if (row.halfWidth) await (await byLabel(page, 'Half width')).click();
  await (await fileChoice(page, 'Open archive…')).uploadFile(archives[row.archive]);
  const region = await inDocument(page, 'region', name);
  const saveAll = await inDocument(region, 'button', 'Save all');
  await enabled(saveAll, STEP_TIMEOUT_MS);
  assert.deepEqual(await alertTexts(region, rolesInDocument.alert), [], 'no failure shown');
  // The section's words run together in its text: the count stands between the name and the
  // button.
  const noun = count === 1 ? 'picture(?!s)' : 'pictures';
  const pictures = new RegExp(`(?<![\\d,])${number(count)} ${noun}(?! so far)`);
  assert.match(await region.evaluate((node) => node.textContent), pictures);

  memory.phase('showing');
  const views = await region.evaluate((node) => [...node.querySelectorAll('li')].map((item) => {
    const button = item.querySelector('button');
    return button && (button.getAttribute('aria-label') || button.textContent.trim());
  }));
  assert.deepEqual(views, want.files.map((file) => `View ${file.name}`),
    'a picture with its View button for every file');
  await drawn(region, 0);

  memory.phase('scrolling');
  for (const k of [Math.floor(count / 2), count - 1]) {
    await region.evaluate((node, at) => node.querySelectorAll('li')[at].scrollIntoView(), k);
    await drawn(region, k);
  }

  memory.phase('viewing');
  await checkLargerView(session, region, want, row.archive === 'many');

  if (row.cancel) {
    memory.phase('cancelling');
    await saveAll.click();
    await saveUnderWay(region, saveAll, name, count);
    await clickInDocument(region, 'button', `Cancel saving ${name}`);
    await alertSaying(region, `${name}: Save all was cancelled; nothing was saved.`,
      { selector: rolesInDocument.status });
    await enabled(saveAll);
    assert.deepEqual(readdirSync(session.downloads), [], 'a cancelled save saves nothing');
  }

  if (!row.saves) return;
  memory.phase('saving');
  await saveAll.click();
  if (count > 1) await saveUnderWay(region, saveAll, name, count);
  const zip = await downloaded(session.downloads, STEP_TIMEOUT_MS);
  assert.equal(zip.name, `${row.archive}.zip`);
  await enabled(saveAll);
  memory.phase('saved');
  const saved = await hashZipEntries(zip.path);
  rmSync(zip.path);
  const byName = (a, b) => (a.name < b.name ? -1 : 1);
  assert.deepEqual(saved.sort(byName), want.files, 'the zip holds varnu\'s files');
  assert.deepEqual(await alertTexts(region, rolesInDocument.alert), [], 'no failure shown');
}

// Waits until the `k`th picture of `region` is drawn, its thumbnail loaded.
function drawn(region, k) {
  return region.frame.waitForFunction((list, at) => {
    const image = list.querySelectorAll('li')[at]?.querySelector('img');
    return image?.complete && image.naturalWidth > 0;
  }, { timeout: STEP_TIMEOUT_MS }, region, k);
}

// The last picture in the larger view: its heading, picture and place, and with `saveBmp` its
// bytes. The largest entry's file (206 MB) is left to Save all: a file saved on its own stays in
// the browser's blob store until the page's garbage is collected, which neither engine does
// promptly, and its bytes are the zip's.
async function checkLargerView(session, region, want, saveBmp) {
  const { page } = session;
  const last = want.files.at(-1);
  await clickInDocument(region, 'button', `View ${last.name}`);
  // The dialog is named by its heading.
  const dialog = await inDocument(page, 'dialog', last.name);
  await page.waitForFunction((node) => node.open, {}, dialog);
  await inDocument(dialog, 'heading', last.name);
  // Every picture of these archives has the first's size.
  const image = await inDocument(dialog, 'image', `${last.name}, ${want.width} × ${want.height}`);
  await page.waitForFunction((node) => node.complete && node.naturalWidth > 0, {}, image);
  const place = new RegExp(`^${number(want.files.length)} of ${number(want.files.length)}$`);
  await until(async () => {
    const pairs = await dialog.evaluate((node) => [...node.querySelectorAll('dt')]
      .map((term) => [term.textContent, term.nextElementSibling?.textContent]));
    return pairs.some(([term, value]) => term === 'Picture' && place.test(value));
  }, 'the picture\'s place');
  if (saveBmp) {
    await clickInDocument(dialog, 'button', 'Save BMP');
    const saved = await downloaded(session.downloads, STEP_TIMEOUT_MS);
    assert.deepEqual({ name: saved.name, ...(await hashFile(saved.path)) }, last);
    rmSync(saved.path);
  }
  await page.keyboard.press('Escape');
  await page.waitForFunction((node) => !node.open, {}, dialog);
}

// Save all, under way: its button off, its progress counting files, said in words too.
async function saveUnderWay(region, saveAll, name, count) {
  const progress = await inDocument(region, 'progressbar', `Saving ${name}`);
  const seen = await until(() => progress.evaluate((bar, button) =>
    bar.value > 0 && { value: bar.value, max: bar.max, off: button.disabled }, saveAll),
  'a file saved', STEP_TIMEOUT_MS);
  assert.ok(seen.max === count && seen.value <= count && seen.off, JSON.stringify(seen));
  const statuses = await textsOf(region, rolesInDocument.status);
  const words = statuses.find((text) => / files$/.test(text));
  assert.match(words, new RegExp(`^[\\d,]+ of ${number(count)} files$`));
}
