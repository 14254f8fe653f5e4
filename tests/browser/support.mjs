// What the page's browser tests stand on: the native programs that give the expected bytes, a
// static server for the page, and Debian's Chromium and Firefox, started so that they reach
// nothing and save every download into a folder of the test's own.
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import {
  createReadStream, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync,
} from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { fileURLToPath } from 'node:url';
import { inflateRawSync } from 'node:zlib';
import { Unzip } from 'fflate';
import puppeteer from 'puppeteer-core';

const root = fileURLToPath(new URL('../..', import.meta.url));
// How long a step may wait for the page before the test calls it stuck: a hang, not a speed, so
// generous enough that a machine busy with the sanitizers' builds never fails a step.
const STEP_TIMEOUT_MS = 60_000;

export const native = resolve(root, process.env.VARNU_NATIVE_BUILD || 'build/test-plain');
export const webBuild = resolve(root, process.env.VARNU_WEB_BUILD || 'build/web');
export const pagePath = join(webBuild, 'varnu.html');
export const sampleArchive = join(root, 'examples/sample.arc');

// The engines every scenario runs in, by default both: VARNU_BROWSERS=firefox picks one.
export const engines = (process.env.VARNU_BROWSERS || 'chromium firefox').split(/[\s,]+/)
  .filter(Boolean);

const folders = [];

export function freshFolder() {
  folders.push(mkdtempSync(join(tmpdir(), 'varnu-page-')));
  return folders.at(-1);
}

export function removeFreshFolders() {
  for (const folder of folders.splice(0)) rmSync(folder, { recursive: true, force: true });
}

// `varnu name [x]` run in a folder of its own that holds the archive under `name`.
function runNatively(archive, name, halfWidth) {
  const folder = freshFolder();
  writeFileSync(join(folder, name), readFileSync(archive));
  const args = [name, ...(halfWidth ? ['x'] : [])];
  return { folder, run: spawnSync(join(native, 'varnu'), args, { cwd: folder }) };
}

// The files `varnu archive [x]` writes in a folder of its own, by name, and the line it printed.
export function convertNatively(archive, name, halfWidth) {
  const { folder, run } = runNatively(archive, name, halfWidth);
  const files = new Map();
  for (const file of readdirSync(folder).sort()) {
    if (file !== name) files.set(file, readFileSync(join(folder, file)));
  }
  return { files, printed: run.stdout, folder };
}

// What `varnu archive [x]` writes: each file's name, size and hash, in order, and the header's
// width and height of the first. With `keep`, also the `folder` that holds the files beside the
// archive, removed with the other fresh folders; else the files are not kept.
export async function hashNatively(archive, name, halfWidth, { keep = false } = {}) {
  const { folder } = runNatively(archive, name, halfWidth);
  const files = [];
  for (const file of readdirSync(folder).sort()) {
    if (file !== name) files.push({ name: file, ...(await hashFile(join(folder, file))) });
  }
  const first = headerSize(readFileSync(join(folder, files[0].name)).subarray(0, 26));
  if (!keep) {
    rmSync(folder, { recursive: true });
    return { files, ...first };
  }
  return { files, ...first, folder };
}

// `varnu-pack args` in `folder`: its archive (null when refused) and its error stream.
export function packNatively(folder, args, output) {
  const run = spawnSync(join(native, 'varnu-pack'), args, { cwd: folder });
  const archive = run.status === 0 ? readFileSync(join(folder, output)) : null;
  return { archive, messages: run.stderr.toString() };
}

// `tools/MAKER name.arc ARGS...` in a fresh folder; answers the archive's path.
export function makeArchive(maker, name, ...args) {
  const path = join(freshFolder(), name);
  execFileSync(join(native, 'tools', maker), [path, ...args]);
  return path;
}

// Serves the page alone, as any static host would.
export async function servePage() {
  const server = createServer((request, response) => {
    if (request.url !== '/varnu.html') {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
    response.end(readFileSync(pagePath));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const url = `http://127.0.0.1:${server.address().port}/varnu.html`;
  return { url, close: () => server.close() };
}

// Chromium over the DevTools protocol, Firefox over WebDriver BiDi; both as Debian ships them.
// Firefox's own defaults under automation already keep it from updating, reporting or fetching.
const launchOptions = {
  chromium: {
    browser: 'chrome',
    executablePath: process.env.VARNU_CHROMIUM || '/usr/bin/chromium',
    args: [
      '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  },
  firefox: {
    browser: 'firefox',
    executablePath: process.env.VARNU_FIREFOX || '/usr/bin/firefox-esr',
  },
};

export function launchBrowser(engine, { dark = false } = {}) {
  // Firefox is told to be dark through its preferences; Chromium's pages are told directly
  // (page.emulateMediaFeatures), which WebDriver BiDi has no command for.
  const prefs = dark && engine === 'firefox'
    ? { extraPrefsFirefox: { 'ui.systemUsesDarkTheme': 1 } } : {};
  return puppeteer.launch({ ...launchOptions[engine], ...prefs, headless: true,
    defaultViewport: null });
}

// Run in the page before its own script: every worker it starts runs a test hook first, which
// on the message 'break the worker' makes that worker throw on every later message, as a worker
// whose module broke does; on { breakAt: TYPE }, from the first request of that type on. The
// page's workers are in `window.testWorkers`.
function makeWorkersBreakable() {
  const PageWorker = window.Worker;
  const hook = `let broken = false;
    let breakAt = null;
    self.addEventListener('message', (event) => {
      const { data } = event;
      if (data === 'break the worker' || data?.breakAt) {
        event.stopImmediatePropagation();
        if (data.breakAt) breakAt = data.breakAt;
        else broken = true;
        return;
      }
      if (data?.type === breakAt) broken = true;
      if (!broken) return;
      event.stopImmediatePropagation();
      throw new Error('the worker broke');
    });\n`;
  window.testWorkers = [];
  window.Worker = function Worker(url, options) {
    const request = new XMLHttpRequest();
    request.open('GET', url, false);
    request.send();
    const source = new Blob([hook, request.responseText], { type: 'text/javascript' });
    const worker = new PageWorker(URL.createObjectURL(source), options);
    window.testWorkers.push(worker);
    return worker;
  };
}

// A page in a browser context of its own whose downloads land in `downloads`, a fresh folder.
// Every request is seen, and any that is not the page itself or made from its own memory (blob:,
// data:) is remembered, as is every script error.
// `languages`, when given, are the languages the browser says it prefers.
export async function openPage(browser, pageUrl,
  { viewport, breakableWorker = false, languages } = {}) {
  const downloads = freshFolder();
  const context = await browser.createBrowserContext({
    downloadBehavior: { policy: 'allow', downloadPath: downloads },
  });
  const page = await context.newPage();
  await page.setViewport(viewport || { width: 1280, height: 800 });
  const strayRequests = [];
  const allowed = (url) => url === pageUrl || url.startsWith('blob:') || url.startsWith('data:');
  page.on('request', (request) => {
    if (!allowed(request.url())) strayRequests.push(request.url());
  });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  if (breakableWorker) await page.evaluateOnNewDocument(makeWorkersBreakable);
  if (languages) {
    await page.evaluateOnNewDocument((list) => {
      Object.defineProperty(navigator, 'languages', { get: () => list });
    }, languages);
  }
  await page.goto(pageUrl);
  return { page, context, strayRequests, errors, downloads };
}

// A selector for what assistive technology sees: the role, and the accessible name if given.
export function byRole(role, name) {
  return `::-p-aria([role="${role}"]${name === undefined ? '' : `[name="${name}"]`})`;
}

// The file input a file-choice button opens ("Open archive…"), found by the button's role and
// name in `scope`: the page keeps each input, hidden, right after its button.
export async function fileChoice(scope, name) {
  const button = await inDocument(scope, 'button', name);
  const input = await button.evaluateHandle((node) => node.nextElementSibling);
  await button.dispose();
  return input.asElement();
}

// The axe-core audit of the page as it stands (axe-core from the lock file, run inside the page):
// its violations, each as its rule, what it says, and where.
const axeSource = readFileSync(join(root, 'node_modules/axe-core/axe.min.js'), 'utf8');
export async function accessibilityViolations(page) {
  const loaded = await page.evaluate(() => typeof window.axe === 'object');
  if (!loaded) await page.evaluate(axeSource);
  const violations = await page.evaluate(async () => {
    const { violations: found } = await window.axe.run(document, { resultTypes: ['violations'] });
    return found.map(({ id, help, nodes }) =>
      ({ id, help, at: nodes.map((node) => node.target.join(' ')) }));
  });
  return violations;
}

// Where the screenshots for people go (kept out of the assertions): build/screenshots/.
export const screenshotFolder = join(root, 'build', 'screenshots');

// The form control a label names. Both engines leave a file input out of name queries on the
// accessibility tree, so controls are found through their labels, as the browser pairs them.
export async function byLabel(page, text) {
  const handle = await page.waitForFunction((wanted) => {
    // A label's own words, without those of the control inside it (a list's options).
    const words = (label) => {
      const copy = label.cloneNode(true);
      copy.querySelectorAll('input, select, textarea').forEach((control) => control.remove());
      return copy.textContent.trim();
    };
    const label = [...document.querySelectorAll('label')].find((node) => words(node) === wanted);
    return label?.control || document.querySelector(`[aria-label="${wanted}"]`);
  }, {}, text);
  return handle.asElement();
}

// The same finding through the document, for pages too large to ask the accessibility tree
// about: over thousands of pictures the browsers take minutes to answer, and once asked they
// follow every later change. The elements of each role the page uses, named as the tree names
// them: by aria-label, aria-labelledby, a picture's alt text, or the text within.
export const rolesInDocument = {
  alert: '[role="alert"]',
  button: 'button, [role="button"]',
  dialog: 'dialog, [role="dialog"]',
  figure: 'figure, [role="figure"]',
  heading: 'h1, h2, h3, h4, h5, h6, [role="heading"]',
  image: 'img, [role="img"]',
  progressbar: 'progress, [role="progressbar"]',
  region: 'section[aria-label], section[aria-labelledby], [role="region"]',
  status: 'output, [role="status"]',
  term: 'dt, [role="term"]',
};

// Waits for the element of `role` named `name` in `scope` (a page or an element) and answers it.
export async function inDocument(scope, role, name, timeout = STEP_TIMEOUT_MS) {
  const page = scope.frame || scope.mainFrame();
  const root = scope.frame ? scope : await page.evaluateHandle(() => document);
  const found = await page.waitForFunction((within, selector, wanted) => {
    const nameOf = (node) => {
      const labelledBy = node.getAttribute('aria-labelledby');
      return node.getAttribute('aria-label') ?? (labelledBy
        ? labelledBy.split(' ').map((id) => document.getElementById(id)?.textContent).join(' ')
        : node.alt ?? node.textContent.trim());
    };
    return [...within.querySelectorAll(selector)].find((node) => nameOf(node) === wanted);
  }, { polling: 100, timeout }, root, rolesInDocument[role], name);
  return found.asElement();
}

// Clicks the element of `role` named `name` in `scope`, found right before the click. A control
// the page puts in afresh between the finding and the click is found again and clicked, rather
// than clicked where it was; one that is gone for good fails once `timeout` has passed.
export async function clickInDocument(scope, role, name, timeout = STEP_TIMEOUT_MS) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const control = await inDocument(scope, role, name, Math.max(deadline - Date.now(), 1));
    try {
      await control.click();
      return;
    } catch (error) {
      if (!/detached/i.test(error.message) || Date.now() > deadline) throw error;
    } finally {
      await control.dispose();
    }
  }
}

// Waits for `probe` to answer something truthy, and answers it.
export async function until(probe, what, timeout = STEP_TIMEOUT_MS) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const answer = await probe();
    if (answer) return answer;
    if (Date.now() > deadline) throw new Error(`waited ${timeout} ms for ${what}`);
    await sleep(50);
  }
}

// Waits until `handle`, a control, can be used.
export function enabled(handle, timeout = STEP_TIMEOUT_MS) {
  return handle.frame.waitForFunction((node) => !node.disabled, { timeout }, handle);
}

// The texts of what `selector` finds in `scope`.
export function textsOf(scope, selector) {
  return scope.$$eval(selector, (nodes) => nodes.map((node) => node.textContent));
}

// The texts of the alerts in `scope` that say something (found by `selector`).
export async function alertTexts(scope, selector = byRole('alert')) {
  return (await textsOf(scope, selector)).filter((text) => text.trim() !== '');
}

// Waits for an alert in `scope` that says `text`, and answers all it says.
export function alertSaying(scope, text, { selector, timeout } = {}) {
  return until(async () => (await alertTexts(scope, selector)).find((said) => said.includes(text)),
    `an alert saying "${text}"`, timeout);
}

// A browser writes a download under a name of its own while it lasts (Chromium's .crdownload;
// Firefox's .part beside an empty file under the final name, and for a moment a temporary name
// alone) and renames it when done.
const isPartial = (name) => name.endsWith('.crdownload') || name.endsWith('.part');

// The files in `folder` with their sizes, as one string; '' while a download is partial or a
// file is being renamed.
function completeFiles(folder) {
  try {
    const names = readdirSync(folder);
    if (names.some(isPartial)) return '';
    return names.map((name) => `${name}:${statSync(join(folder, name)).size}`).join('/');
  } catch (error) {
    if (error.code === 'ENOENT') return '';
    throw error;
  }
}

// The one download in `folder` once complete (the same on three looks over 100 ms), as its name
// and path; null while there is none, or it is partial.
export async function completeDownload(folder) {
  const first = completeFiles(folder);
  if (!first) return null;
  for (let look = 0; look < 2; ++look) {
    await sleep(50);
    if (completeFiles(folder) !== first) return null;
  }
  const names = readdirSync(folder);
  if (names.length !== 1) throw new Error(`one download expected, found ${names.join(', ')}`);
  return { name: names[0], path: join(folder, names[0]) };
}

// Waits for the one download in `folder`; the caller takes it away before the next.
export function downloaded(folder, timeout = STEP_TIMEOUT_MS) {
  return until(() => completeDownload(folder), `a download in ${folder}`, timeout);
}

// The download a click starts, as name and bytes; the file is taken out of the folder.
export async function downloadOf({ downloads }, click) {
  await click();
  const { name, path } = await downloaded(downloads);
  const bytes = readFileSync(path);
  rmSync(path);
  return { name, bytes };
}

// The bitmap with the index of its first pixel, or of the one `pixel` bytes into its rows,
// changed, as an editor's pencil would.
export function editedBitmap(bitmap, pixel = 0) {
  const edited = Buffer.from(bitmap);
  const at = edited.readUInt32LE(10) + pixel;
  edited[at] = edited[at] === 1 ? 2 : 1;
  return edited;
}

// The facts the larger view `dialog` lists, by term (each described by the element after it),
// once the entry's sizes have come.
export function factsShown(dialog) {
  return until(async () => {
    const pairs = await dialog.$$eval(rolesInDocument.term, (terms) =>
      terms.map((term) => [term.textContent, term.nextElementSibling?.textContent]));
    return pairs.some(([term]) => term === 'Packed size') && Object.fromEntries(pairs);
  }, 'the picture\'s facts');
}

// Width and height as the file's own header says, low two bytes each as varnu reads them.
export function headerSize(bytes) {
  return { width: bytes.readUInt16LE(18), height: bytes.readUInt16LE(22) };
}

// Where each entry of an archive starts and how long its payload is, read the plain way: a
// header on each 2048-byte boundary until one lacks the magic or is cut short.
export function entryFacts(path) {
  const bytes = readFileSync(path);
  const facts = [];
  for (let at = 0; at + 12 <= bytes.length && bytes.toString('latin1', at, at + 6) === 'vazmur';) {
    const packed = bytes.readUIntLE(at + 8, 3);
    facts.push({ offset: at, packed });
    at = Math.ceil((at + 12 + packed) / 2048) * 2048;
  }
  return facts;
}

// A file's size and hash, read a piece at a time.
export async function hashFile(path) {
  const hash = createHash('sha1');
  let size = 0;
  for await (const piece of createReadStream(path)) {
    hash.update(piece);
    size += piece.length;
  }
  return { size, hash: hash.digest('hex') };
}

// A deflated file of a zip, inflated by Node's zlib once it has all come: a second deflate
// implementation beside the browsers' own, several times the speed of the zip library's.
class NodeInflate {
  static compression = 8;

  pieces = [];

  push(piece, final) {
    this.pieces.push(piece);
    if (final) this.ondata(null, inflateRawSync(Buffer.concat(this.pieces)), true);
  }
}

// The files a zip holds, in order, each as name, size and hash; read a piece at a time, so that
// a zip of gigabytes needs no more memory than its largest file.
export async function hashZipEntries(path) {
  const files = [];
  const unzip = new Unzip((entry) => {
    const file = { name: entry.name, size: 0 };
    const hash = createHash('sha1');
    files.push(file);
    entry.ondata = (error, piece, final) => {
      if (error) throw error;
      hash.update(piece);
      file.size += piece.length;
      if (final) file.hash = hash.digest('hex');
    };
    entry.start();
  });
  unzip.register(NodeInflate);
  for await (const piece of createReadStream(path)) unzip.push(piece);
  unzip.push(new Uint8Array(0), true);
  return files;
}

// The processes under `root`, itself included, from each process's parent in /proc.
function processTree(root) {
  const children = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      // The parent follows the command name, which is in brackets and may hold anything.
      const stat = readFileSync(`/proc/${name}/stat`, 'latin1');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(name));
    } catch {
      // Gone since the folder was listed.
    }
  }
  const tree = [root];
  for (let k = 0; k < tree.length; ++k) tree.push(...(children.get(tree[k]) || []));
  return tree;
}

// Bytes of memory a process holds, its shared pages split among the processes that share them
// (the proportional set size), so that a sum over processes counts every page once.
function proportionalSize(pid) {
  try {
    const rollup = readFileSync(`/proc/${pid}/smaps_rollup`, 'latin1');
    return Number(/^Pss:\s+(\d+) kB$/m.exec(rollup)[1]) * 1024;
  } catch {
    return 0;
  }
}

// Watches the memory of a browser's whole process tree, every `everyMs`, by named phase:
// `phase(name)` starts one, `stop()` ends the watch and answers each phase's peak, in bytes, and
// how long it lasted, in milliseconds. (Chromium's crash handler leaves the tree on start; it
// holds a few megabytes.)
export function watchMemory(browser, everyMs = 200) {
  const root = browser.process().pid;
  const phases = new Map();
  let current;
  const sample = () => {
    const total = processTree(root).reduce((sum, pid) => sum + proportionalSize(pid), 0);
    current.peak = Math.max(current.peak, total);
  };
  const start = (name) => {
    if (current) {
      sample();
      current.ms = performance.now() - current.since;
    }
    current = { peak: 0, since: performance.now() };
    phases.set(name, current);
    sample();
  };
  start('starting');
  const timer = setInterval(sample, everyMs);
  return {
    phase: start,
    stop() {
      clearInterval(timer);
      start('stopped');
      phases.delete('stopped');
      return phases;
    },
  };
}
