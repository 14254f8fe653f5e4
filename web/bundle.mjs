// Puts the page together: page.html with its style, its script and its worker inside, as one
// file that fetches nothing. The script and the worker are the page's own ES modules, each joined
// into one classic script by esbuild (from the lock file): main.js with all it imports, and
// worker.js with all it imports, the WebAssembly module and the zip library among them.
// Usage: node bundle.mjs OUT.html MODULE.js
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { build } from 'esbuild';

const MAX_PAGE_BYTES = 1024 * 1024;
const here = dirname(fileURLToPath(import.meta.url));
const [output, modulePath] = process.argv.slice(2);
const read = (path) => readFileSync(path, 'utf8');
const own = (name) => read(join(here, name));

// A script's text may not close the element that holds it.
function inline(text, what) {
  const safe = text.replace(/<\/(script)/gi, '<\\/$1');
  if (/<!--/.test(safe)) {
    throw new Error(`${what} holds "<!--", which would confuse the page's parser`);
  }
  return safe;
}

// The worker imports the module that Emscripten built as 'varnu-module'.
const theModule = {
  name: 'varnu-module',
  setup(bundler) {
    bundler.onResolve({ filter: /^varnu-module$/ }, () => ({ path: resolve(modulePath) }));
  },
};

// One script of `entry` and everything it imports, its names kept off the global scope; its
// text kept as written, non-ASCII characters included, and the same from any build folder.
async function bundle(entry, { banner, minifyWhitespace = false }) {
  const { outputFiles } = await build({
    absWorkingDir: here,
    entryPoints: [join(here, entry)],
    bundle: true,
    write: false,
    format: 'iife',
    platform: 'browser',
    charset: 'utf8',
    banner: { js: banner },
    minifyWhitespace,
    plugins: [theModule],
    logLevel: 'warning',
  });
  return outputFiles[0].text;
}

// The zip library's licence travels with its code.
const fflateLicence = read(join(here, '..', 'node_modules', 'fflate', 'LICENSE'))
  .replaceAll('*/', '* /');
// The module is Emscripten's own compact output, which would otherwise come out again at a tenth
// more; the worker's names stay as written.
const worker = await bundle('worker.js', {
  banner: `/* fflate, ${fflateLicence} */`,
  minifyWhitespace: true,
});
// The page's modules are strict, as modules are; the worker keeps the module's code in the mode
// Emscripten wrote it for, a classic script.
const script = await bundle('main.js', { banner: "'use strict';" });
// Replacement functions, so that "$" in the inserted text stays as it is.
const page = own('page.html')
  .replace('/*STYLE*/', () => own('page.css'))
  .replace('/*WORKER*/', () => inline(worker, 'the worker'))
  .replace('/*SCRIPT*/', () => inline(script, 'the page script'));

const size = Buffer.byteLength(page);
if (size > MAX_PAGE_BYTES) throw new Error(`the page is ${size} bytes, over ${MAX_PAGE_BYTES}`);
writeFileSync(output, page);
console.log(`${output}: ${size} bytes`);
