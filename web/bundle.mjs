// Puts the page together: page.html with its style, its scripts, and the worker (the
// WebAssembly module, the zip library and worker.js) inside, as one file that fetches nothing.
// Usage: node bundle.mjs OUT.html MODULE.js FFLATE.js
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const MAX_PAGE_BYTES = 1024 * 1024;
const here = dirname(fileURLToPath(import.meta.url));
const [output, modulePath, fflatePath] = process.argv.slice(2);
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

// The zip library's licence travels with its code.
const fflateLicence = read(join(dirname(fflatePath), '..', 'LICENSE')).replaceAll('*/', '* /');
const fflate = `/* fflate, ${fflateLicence} */\n${read(fflatePath)}`;
const worker = [read(modulePath), fflate, ...['png.js', 'worker.js', 'worker-archive.js',
  'worker-entries.js', 'worker-zip.js', 'worker-edits.js'].map(own)].join('\n;\n');
// Each script declares what it provides and takes what it uses as arguments; main.js, last,
// makes the parts and hands each the others it uses. One strict scope keeps their names off the
// window.
const scripts = ['elements.js', 'pictures.js', 'converter.js', 'saving.js',
  'thumbnails.js', 'pack-messages.js', 'replacing.js', 'viewer.js', 'gallery.js', 'packing.js', 'main.js'];
const script = `'use strict';\n(() => {\n${scripts.map(own).join('\n')}\n})();`;
// Replacement functions, so that "$" in the inserted text stays as it is.
const page = own('page.html')
  .replace('/*STYLE*/', () => own('page.css'))
  .replace('/*WORKER*/', () => inline(worker, 'the worker'))
  .replace('/*SCRIPT*/', () => inline(script, 'the page script'));

const size = Buffer.byteLength(page);
if (size > MAX_PAGE_BYTES) throw new Error(`the page is ${size} bytes, over ${MAX_PAGE_BYTES}`);
writeFileSync(output, page);
console.log(`${output}: ${size} bytes`);
