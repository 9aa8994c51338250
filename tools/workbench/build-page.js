// Bundles a page's script with three.js into one classic script (no module
// scripts and no fetch: browsers refuse both from file://) and writes the
// page template with the script inside it.
// usage: node tools/workbench/build-page.js SOURCE_DIR OUT.html
'use strict';
const fs = require('fs');
const path = require('path');

// The page with its libraries may take at most this much, its run's data aside.
const MAX_PAGE_BYTES = 3 * 1024 * 1024;

function main([sourceDir, out]) {
  if (!sourceDir || !out) {
    console.error('usage: node tools/workbench/build-page.js SOURCE_DIR OUT.html');
    return 2;
  }
  let esbuild;
  try {
    esbuild = require('esbuild');
  } catch (e) {
    console.error('esbuild is not installed: run sh scripts/install-deps.sh');
    return 2;
  }
  const result = esbuild.buildSync({
    entryPoints: [path.join(sourceDir, 'main.js')],
    bundle: true,
    minify: true,
    format: 'iife',
    target: 'es2020',
    write: false,
    logLevel: 'error',
    // The page's sources sit apart from the libraries installed here.
    nodePaths: [path.join(__dirname, 'node_modules')],
  });
  // The script sits inside a <script> element: nothing in it may close it.
  const script = result.outputFiles[0].text.replace(/<\/(script)/gi, '<\\/$1');
  const template = fs.readFileSync(path.join(sourceDir, 'page.html'), 'utf8');
  const marker = '<!--KOVRA_SCRIPT-->';
  if (template.split(marker).length !== 2) {
    console.error(`${sourceDir}/page.html must hold ${marker} once`);
    return 1;
  }
  const page = template.replace(marker, () => `<script>${script}</script>`);
  const bytes = Buffer.byteLength(page);
  if (bytes > MAX_PAGE_BYTES) {
    console.error(`the page takes ${bytes} bytes, more than ${MAX_PAGE_BYTES}`);
    return 1;
  }
  fs.mkdirSync(path.dirname(out), { recursive: true });
  const temporary = `${out}.tmp`;
  fs.writeFileSync(temporary, page);
  fs.renameSync(temporary, out);
  return 0;
}

process.exitCode = main(process.argv.slice(2));
