// node tests/browser/first-thumbnails.mjs ARCHIVE [RUNS]: how long after an archive is given to
// the page its first thumbnail is drawn, the last of those in view, and when the whole archive is
// converted, in Debian's Chromium; prints each run and the medians. The page is loaded and idle
// first, as it is when someone drops a file on it.
import { launchBrowser, openPage, pagePath } from './support.mjs';

const [archive, runsArgument] = process.argv.slice(2);
const runs = Number(runsArgument || 5);
const IDLE_MS = 1000;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

const browser = await launchBrowser();
const results = [];
for (let run = 0; run < runs; ++run) {
  const viewport = { width: 1280, height: 800 };
  const { page, context } = await openPage(browser, `file://${pagePath}`, viewport);
  await page.waitForTimeout(IDLE_MS);
  // Times taken in the page: from the input's change event to the load of the first and the
  // last figure's picture.
  await page.evaluate(() => {
    const times = (window.measured = { loads: 0 });
    const given = () => { times.given = performance.now(); };
    document.addEventListener('change', given, { capture: true });
    new MutationObserver((changes) => {
      for (const change of changes) {
        for (const node of change.addedNodes) {
          const image = node.querySelector?.('figure img');
          image?.addEventListener('load', () => {
            times.first ??= performance.now();
            times.last = performance.now();
            ++times.loads;
          });
        }
      }
    }).observe(document.body, { childList: true, subtree: true });
  });
  await page.getByLabel('Open archive').setInputFiles(archive);
  const saveAll = page.getByRole('button', { name: 'Save all', disabled: false });
  await saveAll.waitFor({ timeout: 120_000 });
  const finished = await page.evaluate(() => performance.now());
  await page.waitForTimeout(300);
  const times = await page.evaluate(() => window.measured);
  const figures = await page.getByRole('figure').count();
  const first = times.first - times.given;
  const inView = times.last - times.given;
  const all = finished - times.given;
  results.push({ first, inView, all });
  console.log(`run ${run + 1}: ${figures} figures, first thumbnail ${first.toFixed(0)} ms, ` +
    `last thumbnail in view ${inView.toFixed(0)} ms (${times.loads} drawn), ` +
    `all converted ${all.toFixed(0)} ms`);
  await context.close();
}
await browser.close();
const medianOf = (key) => median(results.map((r) => r[key])).toFixed(0);
console.log(`median: first thumbnail ${medianOf('first')} ms, last in view ${medianOf('inView')} ms, ` +
  `all converted ${medianOf('all')} ms`);
