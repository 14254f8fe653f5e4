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
//
// The 3,600-picture archive is also edited, once open, as a person shares an edit: a patch that
// varnu-pack made is applied, the patched archive saved; a picture is replaced, and its patch and
// its archive saved. Each is the native programs' bytes, and holds the page's largest outputs.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  alertSaying, alertTexts, byLabel, clickInDocument, downloaded, editedBitmap, enabled, engines,
  factsShown, fileChoice, hashFile, hashNatively, hashZipEntries, inDocument, launchBrowser,
  makeArchive, native, openPage, pagePath, removeFreshFolders, rolesInDocument, textsOf, until,
  watchMemory,
} from './support.mjs';

const saveEverything = process.env.VARNU_LARGE_ARCHIVES === '1';
const MEMORY_LIMIT = 2 ** 30;
const PICTURES = 3600;
// Long enough for the slowest step on a busy machine; the benchmark measures the time itself.
const STEP_TIMEOUT_MS = 5 * 60_000;

// cancel: Save all is cancelled once under way; savedIn: the engines where Save all then saves
// the whole zip, checked against varnu's files (all of them where not given); edits: the archive
// is patched and edited (checkEdits).
const rows = [
  { archive: 'many', halfWidth: false, cancel: true, savedIn: ['chromium'] },
  { archive: 'many', halfWidth: true, edits: true, savedIn: [] },
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

// What varnu writes for a row, found once for both engines; with the row's edits, what they are
// checked against, made from varnu's files of the archive in plain mode, which are kept for them.
async function expected(row) {
  const key = `${row.archive} ${row.halfWidth}`;
  if (!expectations.has(key)) {
    archives[row.archive] ??= makers[row.archive]();
    const name = `${row.archive}.arc`;
    const keep = !row.halfWidth && rows.some((each) => each.archive === row.archive && each.edits);
    const want = await hashNatively(archives[row.archive], name, row.halfWidth, { keep });
    if (row.edits) {
      const plain = row.halfWidth ? await expected({ ...row, halfWidth: false }) : want;
      want.edits = await expectedEdits(plain.folder, name, plain.files);
    }
    expectations.set(key, want);
  }
  return expectations.get(key);
}

// The entry the patch changes, and the one the page replaces.
const PATCHED_ENTRY = 1;
const REPLACED_ENTRY = 2;

// The native side of checkEdits, in `folder`, which holds the archive `name` and varnu's `files`
// of it (answered too): `patch`, the patch varnu-pack makes with entry PATCHED_ENTRY edited, and `patched`, the
// size and hash of the archive xdelta3 makes with it; `replacement`, entry REPLACED_ENTRY edited,
// and `replaced`, the size and hash of the archive varnu-pack --like makes with it, as the page
// packs it (--remap).
async function expectedEdits(folder, name, files) {
  const edit = (entry, file) => {
    writeFileSync(join(folder, file),
      editedBitmap(readFileSync(join(folder, files[entry].name))));
    return files.map((each, k) => (k === entry ? file : each.name));
  };
  const packer = join(native, 'varnu-pack');
  const run = (program, args) => execFileSync(program, args, { cwd: folder });
  const patch = 'varnu.vcdiff';
  run(packer, ['--like', name, '--patch', patch, ...edit(PATCHED_ENTRY, 'patched.bmp')]);
  run('xdelta3', ['-d', '-f', '-s', name, patch, 'patched.arc']);
  run(packer, ['--like', name, '--remap', 'replaced.arc', ...edit(REPLACED_ENTRY, 'replaced.bmp')]);
  return {
    folder,
    patch: join(folder, patch),
    patched: await hashFile(join(folder, 'patched.arc')),
    replacement: join(folder, 'replaced.bmp'),
    replaced: await hashFile(join(folder, 'replaced.arc')),
  };
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

  if (row.edits) await checkEdits(session, region, name, want, memory);

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

// The archive `name`, shown in `region`, patched and edited as a person would: Apply patch… with
// varnu-pack's patch opens the patched archive with the one changed picture marked, and its Save
// archive saves what xdelta3 makes; a picture replaced, Save patch saves the patch that xdelta3
// applies to give varnu-pack --like's archive, and Save archive saves that archive.
async function checkEdits(session, region, name, want, memory) {
  const { page } = session;
  const { edits } = want;
  const patchName = 'varnu.vcdiff';
  // The download's name, size and hash; it is taken away.
  const save = async (scope, button) => {
    await clickInDocument(scope, 'button', button);
    const saved = await downloaded(session.downloads, STEP_TIMEOUT_MS);
    const facts = { name: saved.name, ...(await hashFile(saved.path)) };
    return { facts, path: saved.path };
  };

  memory.phase('applying a patch');
  await (await fileChoice(region, 'Apply patch…')).uploadFile(edits.patch);
  const patched = await inDocument(page, 'region', `${name}, patched by ${patchName}`,
    STEP_TIMEOUT_MS);
  memory.phase('opening the patched archive');
  await until(async () => (await textsOf(patched, rolesInDocument.status)).some((text) =>
    text.startsWith(`${patchName} applied to ${name}: 1 picture changed`)), 'the patch said',
  STEP_TIMEOUT_MS);
  const marked = await patched.evaluate((node, mark) => [...node.querySelectorAll('figure')]
    .flatMap((figure, k) => (figure.textContent.includes(mark) ? [k] : [])),
  `changed by ${patchName}`);
  assert.deepEqual(marked, [PATCHED_ENTRY], 'the pictures marked changed');

  memory.phase('saving the patched archive');
  const savedPatched = await save(patched, 'Save archive');
  rmSync(savedPatched.path);
  assert.deepEqual(savedPatched.facts, { name, ...edits.patched });

  memory.phase('replacing');
  const entryName = want.files[REPLACED_ENTRY].name;
  await clickInDocument(region, 'button', `View ${entryName}`);
  const dialog = await inDocument(page, 'dialog', entryName);
  await (await fileChoice(dialog, 'Replace…')).uploadFile(edits.replacement);
  await until(async () => (await factsShown(dialog))['Replaced by'] === 'replaced.bmp',
    'the replacement said in the view');
  await page.keyboard.press('Escape');
  await page.waitForFunction((node) => !node.open, {}, dialog);

  memory.phase('saving a patch');
  const savedPatch = await save(region, 'Save patch');
  assert.equal(savedPatch.facts.name, name.replace(/\.arc$/, '.vcdiff'));
  const applied = join(edits.folder, 'applied.arc');
  execFileSync('xdelta3', ['-d', '-f', '-s', join(edits.folder, name), savedPatch.path, applied]);
  rmSync(savedPatch.path);
  assert.deepEqual(await hashFile(applied), edits.replaced, 'xdelta3 -d gives another archive');
  rmSync(applied);

  memory.phase('saving an archive');
  const savedArchive = await save(region, 'Save archive');
  rmSync(savedArchive.path);
  assert.deepEqual(savedArchive.facts, { name, ...edits.replaced });
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
