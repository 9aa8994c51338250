// The run's page in Debian's chromium, headless (WebGL through SwiftShader):
// the built-in car run and the motorbike ride are written with
// `kovra run --html`, and each page must load from the file system with no
// console error; on the car's, stepping to a frame puts the right hand where
// the .glb says, a click on a plot moves the timeline, and playing keeps the
// game's clock. Screenshots go into OUT.
// Exit status 77 (skipped) only where chromium cannot start.
// usage: node tests/web/run-page.test.js KOVRA OUT
'use strict';
const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const { openBrowser } = require('./browser.js');
const { Checks, run } = require('./checks.js');
const { nodePositionAt } = require('./glb.js');

const root = path.resolve(__dirname, '../..');

// The page is ready this soon on the built-in car run (1,300 frames).
const READY_MS = 3000;
// The page and its libraries, the run's data aside.
const MAX_PAGE_BYTES = 3 * 1024 * 1024;

const checks = new Checks();
const check = (name, body) => checks.check(name, body);

function writeRun(kovra, scenario, out) {
  fs.rmSync(out, { recursive: true, force: true });
  execFileSync(kovra, ['run', '--scenario', path.join(root, 'scenes', `${scenario}.scenario`), '--out', out,
                       '--html', '--no-pictures', '--quiet'], { stdio: ['ignore', 'ignore', 'inherit'] });
  return path.join(out, 'index.html');
}

// Opens a page, collecting what it says on its console, and waits until it
// calls itself ready.
async function openPage(browser, file) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  const errors = [];
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('pageerror', (error) => errors.push(String(error)));
  const url = pathToFileURL(file).href;
  const requests = [];
  page.on('request', (request) => { if (request.url() !== url) requests.push(request.url()); });
  await page.goto(url);
  await page.waitForFunction(() => window.kovra && window.kovra.ready, null, { timeout: 30000 });
  return { page, errors, requests };
}

async function main([kovra, out]) {
  if (!kovra || !out) {
    console.error('usage: node tests/web/run-page.test.js KOVRA OUT');
    return 2;
  }
  const THREE = await import(pathToFileURL(path.join(root, 'tools/workbench/node_modules/three/build/three.module.js')));
  const browser = await openBrowser();
  if (!browser) return 77;
  try {
    const carPage = writeRun(kovra, 'default-car', path.join(out, 'default-car'));
    const bikePage = writeRun(kovra, 'motorbike', path.join(out, 'motorbike'));
    const { page, errors, requests } = await openPage(browser, carPage);

    await check('the car run\'s page loads with no console error, within the time', async () => {
      const readyMs = await page.evaluate(() => window.kovra.readyMs);
      console.log(`  ready after ${readyMs.toFixed(0)} ms`);
      assert.deepStrictEqual(errors, []);
      assert.ok(readyMs < READY_MS, `ready after ${readyMs} ms`);
      assert.strictEqual(await page.evaluate(() => window.kovra.frameCount), 1300);
    });

    await check('the page and its libraries stay within their size, the run\'s data aside', async () => {
      const html = fs.readFileSync(carPage, 'utf8');
      const data = html.match(/<script type="application\/json" id="kovra-run">([\s\S]*?)<\/script>/);
      assert.ok(data, 'the page carries its run');
      const bytes = Buffer.byteLength(html) - Buffer.byteLength(data[1]);
      assert.ok(bytes < MAX_PAGE_BYTES, `${bytes} bytes`);
      assert.ok(!/<script[^>]*(type="module"|src=)/.test(html), 'no module script, no script file beside it');
      assert.deepStrictEqual(requests, [], 'nothing fetched once the page is in');
    });

    await check('stepping to a frame puts the right hand where the .glb says', async () => {
      const glb = path.join(path.dirname(carPage), 'sedan.glb');
      for (const frame of [526, 900]) {
        await page.evaluate((f) => window.kovra.setFrame(f - 1), frame);
        await page.click('#step');
        assert.strictEqual(await page.evaluate(() => window.kovra.frame), frame);
        const shown = await page.evaluate(() => {
          const hand = window.kovra.root.getObjectByName('hand_r');
          return hand.getWorldPosition(new window.kovra.THREE.Vector3()).toArray();
        });
        const expected = nodePositionAt(glb, 'hand_r', frame, THREE);
        const miss = new THREE.Vector3().fromArray(shown).distanceTo(expected);
        assert.ok(miss < 1e-4, `frame ${frame}: ${miss * 1000} mm from the .glb's hand`);
      }
      // The step back goes one frame back.
      await page.click('#step-back');
      assert.strictEqual(await page.evaluate(() => window.kovra.frame), 899);
    });

    await check('a click on a plot moves the timeline there', async () => {
      for (const fraction of [0.25, 0.75]) {
        const box = await page.locator('#plots canvas').first().boundingBox();
        await page.mouse.click(box.x + box.width * fraction, box.y + box.height / 2);
        const frame = await page.evaluate(() => window.kovra.frame);
        assert.ok(Math.abs(frame - Math.round(fraction * 1299)) <= 2, `clicked at ${fraction}: frame ${frame}`);
      }
      const mark = page.locator('#marks li', { hasText: 'hand_r turned' }).first();
      await mark.click();
      const peak = Number((await mark.textContent()).match(/^frame (\d+)/)[1]);
      assert.strictEqual(await page.evaluate(() => window.kovra.frame), peak);
    });

    await check('the timeline plays at the game\'s 50 frames a second', async () => {
      await page.evaluate(() => window.kovra.setFrame(0));
      await page.click('#play');
      const start = await page.evaluate(() => [performance.now(), window.kovra.frame]);
      await page.waitForTimeout(1000);
      const end = await page.evaluate(() => [performance.now(), window.kovra.frame]);
      await page.click('#play');
      const rate = ((end[1] - start[1]) * 1000) / (end[0] - start[0]);
      console.log(`  ${rate.toFixed(1)} frames a second`);
      assert.ok(Math.abs(rate - 50) < 8, `${rate} frames a second`);
      assert.strictEqual(await page.evaluate(() => window.kovra.playing), false);
    });

    await check('the views and the switches change the scene', async () => {
      await page.click('[data-view=side]');
      await page.uncheck('#show-lines');
      await page.uncheck('#show-axes');
      const hidden = await page.evaluate(() => {
        const r = window.kovra.root;
        const axes = [];
        r.traverse((o) => { if (o.name.startsWith('axes of ')) axes.push(o.visible); });
        return { lines: r.getObjectByName('debug lines').visible, axes };
      });
      assert.strictEqual(hidden.lines, false);
      assert.ok(hidden.axes.length >= 5 && hidden.axes.every((v) => !v), JSON.stringify(hidden.axes));
      await page.check('#show-lines');
      await page.check('#show-axes');
      await page.evaluate(() => window.kovra.setFrame(526));
      await page.screenshot({ path: path.join(out, 'run-page-car.png') });
      assert.deepStrictEqual(errors, []);
    });
    await page.close();

    await check('the motorbike ride\'s page loads with no console error', async () => {
      const bike = await openPage(browser, bikePage);
      await bike.page.click('[data-view=rear]');
      await bike.page.evaluate(() => window.kovra.setFrame(300));
      await bike.page.screenshot({ path: path.join(out, 'run-page-motorbike.png') });
      assert.deepStrictEqual(bike.errors, []);
      await bike.page.close();
    });
  } finally {
    await browser.close();
  }
  return checks.finish();
}

run(main);
