// node tests/browser/bench-page.mjs ARCHIVE [RUNS]: how long the page takes over an archive, in
// each engine (VARNU_BROWSERS, both by default), as a person meets it: from choosing the archive
// to the first picture shown and to the gallery complete, then Save all from the click to the
// zip saved, with its speed in MB of bitmaps a second; and the most memory the browser's
// processes held together. Each run's zip is checked against varnu's files before the next run.
// Prints each run, the medians, and the machine's load. Measures; asserts nothing but the bytes.
//
// Times are taken in the page where it can see them (the input's change, a picture's load, the
// Save all button coming on) and here for the save, which ends when the browser has written the
// file. A step the page never finishes is given as failed, with what the page said. Controls are
// found through the document, not the accessibility tree (support.mjs says why).
import { rmSync } from 'node:fs';
import { loadavg } from 'node:os';
import { basename } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import {
  alertTexts, completeDownload, engines, fileChoice, hashNatively, hashZipEntries, inDocument,
  launchBrowser, openPage, pagePath, removeFreshFolders, rolesInDocument, watchMemory,
} from './support.mjs';

const [archive, runsArgument] = process.argv.slice(2);
if (!archive) {
  console.error('usage: node tests/browser/bench-page.mjs ARCHIVE [RUNS]');
  process.exit(2);
}
const runs = Number(runsArgument || 1);
// The page is loaded and idle first, as it is when someone chooses a file.
const IDLE_MS = 1000;
// Longer than any step should take; a step past it has failed.
const STEP_LIMIT_MS = 10 * 60_000;
const name = basename(archive);

// Run in the page: the moments of the archive given, the first picture drawn and the gallery
// complete (its Save all button on).
function watchInPage() {
  const times = (window.benchTimes = {});
  document.addEventListener('change', () => { times.given = performance.now(); }, true);
  document.addEventListener('load', (event) => {
    if (event.target.localName === 'img' && event.target.closest('li')) {
      times.first ??= performance.now();
    }
  }, true);
  new MutationObserver((changes) => {
    for (const { target } of changes) {
      if (target.textContent === 'Save all' && !target.disabled) {
        times.complete ??= performance.now();
        times.pictures = target.closest('section').querySelectorAll('li').length;
      }
    }
  }).observe(document, { attributes: true, attributeFilter: ['disabled'], subtree: true });
}

async function run(browser, expected) {
  const session = await openPage(browser, `file://${pagePath}`);
  const { page } = session;
  page.setDefaultTimeout(STEP_LIMIT_MS);
  const said = [];
  page.on('console', (message) => {
    if (message.type() === 'error') said.push(message.text());
  });
  const memory = watchMemory(browser);
  const result = {};
  try {
    await page.evaluate(watchInPage);
    await sleep(IDLE_MS);
    const input = await fileChoice(page, 'Open archive…');
    memory.phase('converting');
    await input.uploadFile(archive);
    const saveAll = await inDocument(await inDocument(page, 'region', name), 'button', 'Save all');
    const times = await page.waitForFunction(() => window.benchTimes.complete && window.benchTimes,
      { timeout: STEP_LIMIT_MS, polling: 100 }).then((handle) => handle.jsonValue());
    Object.assign(result, {
      first: times.first - times.given,
      complete: times.complete - times.given,
      pictures: times.pictures,
    });
    memory.phase('saving');
    const clicked = performance.now();
    await saveAll.click();
    const zip = await saved(session, saveAll);
    result.save = performance.now() - clicked;
    memory.phase('checking');
    if (zip) {
      result.correct = await sameFiles(zip.path, expected);
      rmSync(zip.path);
    } else {
      const alerts = await alertTexts(page, rolesInDocument.alert);
      result.failure = [...alerts, ...said].join(' / ') || 'nothing said';
    }
  } finally {
    const phases = memory.stop();
    result.peak = Math.max(phases.get('converting').peak, phases.get('saving')?.peak || 0);
    await session.context.close();
  }
  return result;
}

// Waits for Save all's zip (answered) or for the button to come back with none (null).
async function saved(session, saveAll) {
  const deadline = performance.now() + STEP_LIMIT_MS;
  await sleep(500);
  while (performance.now() < deadline) {
    const zip = await completeDownload(session.downloads);
    if (zip) return zip;
    if (!(await saveAll.evaluate((button) => button.disabled))) {
      // The button may come back just before the browser has the file.
      await sleep(2000);
      return completeDownload(session.downloads);
    }
    await sleep(100);
  }
  return null;
}

async function sameFiles(zipPath, expected) {
  const files = await hashZipEntries(zipPath);
  const key = (list) => list.map((file) => `${file.name} ${file.hash}`).sort().join('\n');
  return key(files) === key(expected.files);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const seconds = (ms) => `${(ms / 1000).toFixed(2)} s`;
const mib = (bytes) => `${(bytes / 2 ** 20).toFixed(0)} MiB`;
const load = () => loadavg().map((value) => value.toFixed(2)).join(' ');

const expected = await hashNatively(archive, name, false);
const bitmapBytes = expected.files.reduce((sum, file) => sum + file.size, 0);
console.log(`${name}: ${expected.files.length} pictures, ${(bitmapBytes / 1e6).toFixed(0)} MB ` +
  `of bitmaps; load average ${load()}`);
for (const engine of engines) {
  const browser = await launchBrowser(engine);
  const results = [];
  try {
    for (let k = 1; k <= runs; ++k) {
      const result = await run(browser, expected);
      results.push(result);
      const save = result.failure
        ? `Save all failed after ${seconds(result.save)}: ${result.failure}`
        : `Save all ${seconds(result.save)} (${(bitmapBytes / 1e3 / result.save).toFixed(1)} ` +
          `MB/s)${result.correct ? '' : ', THE ZIP DIFFERS FROM VARNU\'S FILES'}`;
      console.log(`${engine} run ${k}: first picture ${seconds(result.first)}, gallery of ` +
        `${result.pictures} complete ${seconds(result.complete)}, ${save}, ` +
        `peak ${mib(result.peak)}; load average ${load()}`);
    }
  } finally {
    await browser.close();
  }
  const of = (key) => median(results.map((result) => result[key]));
  const saves = results.filter((result) => !result.failure).map((result) => result.save);
  const save = saves.length > 0
    ? `Save all ${seconds(median(saves))} (${(bitmapBytes / 1e3 / median(saves)).toFixed(1)} MB/s)`
    : 'Save all failed';
  console.log(`${engine} median of ${runs}: first picture ${seconds(of('first'))}, gallery ` +
    `complete ${seconds(of('complete'))}, ${save}, peak ${mib(of('peak'))}`);
}
removeFreshFolders();
