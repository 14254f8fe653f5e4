// What the page's browser tests stand on: the native programs that give the expected bytes, a
// static server for the page, and Debian's Chromium, started so that it reaches nothing.
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const root = fileURLToPath(new URL('../..', import.meta.url));
export const native = resolve(root, process.env.VARNU_NATIVE_BUILD || 'build/test-plain');
export const webBuild = resolve(root, process.env.VARNU_WEB_BUILD || 'build/web');
export const pagePath = join(webBuild, 'varnu.html');
export const sampleArchive = join(root, 'examples/sample.arc');

const folders = [];

export function freshFolder() {
  folders.push(mkdtempSync(join(tmpdir(), 'varnu-page-')));
  return folders.at(-1);
}

export function removeFreshFolders() {
  for (const folder of folders.splice(0)) rmSync(folder, { recursive: true, force: true });
}

// The files `varnu archive [x]` writes in a folder of its own, by name, and the line it printed.
export function convertNatively(archive, name, halfWidth) {
  const folder = freshFolder();
  writeFileSync(join(folder, name), readFileSync(archive));
  const args = [name, ...(halfWidth ? ['x'] : [])];
  const run = spawnSync(join(native, 'varnu'), args, { cwd: folder });
  const files = new Map();
  for (const file of readdirSync(folder).sort()) {
    if (file !== name) files.set(file, readFileSync(join(folder, file)));
  }
  return { files, printed: run.stdout, folder };
}

// `varnu-pack args` in `folder`: its archive (null when refused) and its error stream.
export function packNatively(folder, args, output) {
  const run = spawnSync(join(native, 'varnu-pack'), args, { cwd: folder });
  const archive = run.status === 0 ? readFileSync(join(folder, output)) : null;
  return { archive, messages: run.stderr.toString() };
}

export function makeTestArchive() {
  const path = join(freshFolder(), 'page.arc');
  execFileSync(join(native, 'tools/make-page-archive'), [path]);
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

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.VARNU_CHROMIUM || '/usr/bin/chromium',
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
}

// A page in a context of its own in which every request is seen, and any that is not the page
// itself or made from its own memory (blob:, data:) is stopped and remembered.
export async function openPage(browser, pageUrl, viewport) {
  const context = await browser.newContext({ viewport, acceptDownloads: true });
  const strayRequests = [];
  const allowed = (url) => url === pageUrl || url.startsWith('blob:') || url.startsWith('data:');
  context.on('request', (request) => {
    if (!allowed(request.url())) strayRequests.push(request.url());
  });
  await context.route('**/*', (route) =>
    allowed(route.request().url()) ? route.continue() : route.abort());
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(pageUrl);
  return { page, context, strayRequests, errors };
}

// The download a click starts, as name and bytes.
export async function downloadOf(page, click) {
  const [download] = await Promise.all([page.waitForEvent('download'), click()]);
  return { name: download.suggestedFilename(), bytes: readFileSync(await download.path()) };
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
