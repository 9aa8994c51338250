// Debian's chromium, headless, driven by playwright-core: WebGL2 through
// SwiftShader, so no graphics card is needed. KOVRA_CHROMIUM names another
// chromium build.
'use strict';
const fs = require('fs');
const path = require('path');

const root = path.resolve(__dirname, '../..');

// The browser, or null, with the reason printed, where chromium cannot start.
async function openBrowser() {
  const executable = process.env.KOVRA_CHROMIUM || '/usr/bin/chromium';
  if (!fs.existsSync(executable)) {
    console.log(`skipped: no chromium at ${executable} (sh scripts/install-deps.sh installs it)`);
    return null;
  }
  const { chromium } = require(path.join(root, 'tools/workbench/node_modules/playwright-core'));
  try {
    return await chromium.launch({
      executablePath: executable,
      headless: true,
      // Root has no sandbox to drop into; the tests open only their own pages.
      chromiumSandbox: false,
      args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--use-gl=angle'],
    });
  } catch (error) {
    console.log(`skipped: chromium cannot start here: ${String(error.message || error).split('\n')[0]}`);
    return null;
  }
}

module.exports = { openBrowser };
