// `kovra tune` and its page in Debian's chromium, headless: the server
// answers only its own page (token, Host, Origin), keeps the game's clock
// with a car and a motorbike and takes a key within two frames; on the page,
// typing the cheat code and keys changes the value the menu shows and moves
// the hand in 3D, "Export Config!" writes the file with the new value, and
// Ctrl-C stops the server with every file whole. Screenshots go into OUT.
// Exit status 77 (skipped) only where chromium cannot start.
// usage: node tests/web/tune-page.test.js KOVRA OUT
'use strict';
const assert = require('assert');
const { execFileSync, spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');
const { pathToFileURL } = require('url');
const { openBrowser } = require('./browser.js');
const { Checks, run } = require('./checks.js');
const { nodePositionAt } = require('./glb.js');

const root = path.resolve(__dirname, '../..');

const checks = new Checks();
const check = (name, body) => checks.check(name, body);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A sedan parked with its wheel straight: only the menu moves the driver.
function parkedScenario(dir) {
  const file = path.join(dir, 'parked.scenario');
  fs.writeFileSync(file, [
    'kovra-scenario 1', 'name sedan, parked', 'frames 200', 'time-step 1',
    `vehicle ${path.join(root, 'scenes', 'sedan.vehicle')}`,
    '  driver player', '  key 0 steer 0 gas 0 gear 1 speed 0', '',
  ].join('\n'));
  return file;
}

// Starts `kovra tune` and waits for the address it prints.
function startTune(kovra, scenario, game) {
  fs.rmSync(game, { recursive: true, force: true });
  fs.mkdirSync(path.join(game, 'modloader'), { recursive: true });
  const child = spawn(kovra, ['tune', '--scenario', scenario, '--game', game, '--port', '0'],
                      { stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal, out })));
  const address = new Promise((resolve, reject) => {
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const m = out.match(/open (http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+))/);
      if (m) resolve({ url: m[1], port: Number(m[2]), token: m[3] });
    });
    child.on('exit', () => reject(new Error(`kovra tune ended: ${out}`)));
  });
  return { child, exited, address };
}

function request(port, pathAndQuery, { method = 'GET', headers = {}, body = null } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, path: pathAndQuery, method, headers }, (res) => {
      let text = '';
      res.on('data', (c) => { text += c; });
      res.on('end', () => resolve({ status: res.statusCode, text }));
    });
    req.on('error', reject);
    if (body) req.write(body);
    req.end();
  });
}

// The frames the server streams in `ms` milliseconds, counted from its events.
function countFrames(port, token, ms) {
  return new Promise((resolve, reject) => {
    const req = http.get({ host: '127.0.0.1', port, path: `/events?token=${token}` }, (res) => {
      let frames = [];
      let buffer = '';
      res.on('data', (chunk) => {
        buffer += chunk;
        const parts = buffer.split('\n\n');
        buffer = parts.pop();
        for (const p of parts) {
          if (p.startsWith('data: {"frame"')) frames.push(JSON.parse(p.slice(6)).frame);
        }
      });
      setTimeout(() => { req.destroy(); resolve(frames); }, ms);
    });
    req.on('error', reject);
  });
}

// The texts of the menu's screen, in drawing order.
function screenTexts(svg) {
  return [...svg.matchAll(/>([^<>]*)<\/text>/g)].map((m) => m[1]);
}

// The value on the row after the first "X: " under "GrabOffset:".
function grabOffsetX(svg) {
  const texts = screenTexts(svg);
  const at = texts.indexOf('GrabOffset:');
  const x = texts.indexOf('X: ', at);
  return at < 0 || x < 0 ? null : Number(texts[x + 1]);
}

async function main([kovra, out]) {
  if (!kovra || !out) {
    console.error('usage: node tests/web/tune-page.test.js KOVRA OUT');
    return 2;
  }
  fs.mkdirSync(out, { recursive: true });
  const browser = await openBrowser();
  if (!browser) return 77;
  const game = path.join(out, 'game');
  const tune = startTune(kovra, parkedScenario(out), game);
  try {
    const { url, port, token } = await tune.address;

    await check('the server answers only requests with its token, Host and Origin', async () => {
      assert.strictEqual((await request(port, '/')).status, 403);
      assert.strictEqual((await request(port, '/?token=0123')).status, 403);
      assert.strictEqual((await request(port, `/?token=${token}`)).status, 200);
      // Another name for this machine, as a rebound DNS name would give.
      assert.strictEqual((await request(port, `/?token=${token}`, { headers: { Host: `attacker.example:${port}` } })).status, 403);
      // Another page in the browser posting keys.
      const keys = { method: 'POST', body: '{"held":[],"typed":"","seq":1}', headers: { 'Content-Type': 'application/json' } };
      assert.strictEqual((await request(port, `/keys?token=${token}`, { ...keys, headers: { ...keys.headers, Origin: 'http://attacker.example' } })).status, 403);
      assert.strictEqual((await request(port, `/keys?token=${token}`, keys)).status, 200);
      assert.strictEqual((await request(port, `/keys?token=${token}`, { ...keys, body: '{"held":[300]}' })).status, 400);
      assert.strictEqual((await request(port, `/keys?token=${token}`, { ...keys, body: 'not json' })).status, 400);
      const large = await request(port, `/keys?token=${token}`, { ...keys, body: `{"held":[],"typed":"${'k'.repeat(5000)}"}` });
      assert.ok([400, 413].includes(large.status), `a large body: ${large.status}`);
    });

    await check('the car keeps the game\'s 50 frames a second', async () => {
      const frames = await countFrames(port, token, 1000);
      console.log(`  ${frames.length} frames in a second`);
      assert.ok(Math.abs(frames.length - 50) <= 5, `${frames.length} frames`);
    });

    const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
    const errors = [];
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.goto(url);
    await page.waitForFunction(() => window.kovra && window.kovra.ready && window.kovra.live.frames > 5, null, { timeout: 20000 });
    const handAt = () => page.evaluate(() => window.kovra.root.getObjectByName('hand_r')
      .getWorldPosition(new window.kovra.THREE.Vector3()).toArray());
    const screen = () => page.evaluate(() => window.kovra.live.screenText);
    const press = async (key) => { await page.keyboard.press(key, { delay: 40 }); await sleep(150); };
    const showing = (text) => page.waitForFunction((t) => window.kovra.live.screenText.includes(t), text, { timeout: 5000 });
    // The value once it has stopped changing.
    const settled = async () => {
      let last = grabOffsetX(await screen());
      for (;;) {
        await sleep(200);
        const now = grabOffsetX(await screen());
        if (now === last) return now;
        last = now;
      }
    };

    await check('a key reaches the game within two frames', async () => {
      const frames = await page.evaluate(async () => {
        const live = window.kovra.live;
        const seq = live.seq + 1;
        const answer = await live.send();
        while (live.keySeq < seq) await new Promise((r) => setTimeout(r, 2));
        return [answer.frame, live.keyFrame];
      });
      assert.ok(frames[1] - frames[0] <= 2, `sent at frame ${frames[0]}, taken in frame ${frames[1]}`);
    });

    await check('the page shows the driver as the game poses them', async () => {
      // The parked drive is still by its last frames: its .glb's hand is
      // where the live page's must be.
      const run = path.join(out, 'parked-run');
      execFileSync(kovra, ['run', '--scenario', path.join(out, 'parked.scenario'), '--out', run, '--gltf',
                           '--no-pictures', '--quiet'], { stdio: ['ignore', 'ignore', 'inherit'] });
      const THREE = await import(pathToFileURL(path.join(root, 'tools/workbench/node_modules/three/build/three.module.js')));
      const expected = nodePositionAt(path.join(run, 'sedan.glb'), 'hand_r', 199, THREE);
      const shown = new THREE.Vector3().fromArray(await handAt());
      assert.ok(shown.distanceTo(expected) < 1e-3, `${shown.distanceTo(expected) * 1000} mm from the run's hand`);
    });

    let before;
    let after;
    await check('typing the cheat code and keys changes the menu\'s value and moves the hand', async () => {
      const handBefore = await handAt();
      await page.keyboard.type('kovra', { delay: 40 });
      await page.waitForFunction(() => window.kovra.live.screenText.includes('Kovra Config'), null, { timeout: 5000 });
      await press('Tab');
      await press('ArrowDown');
      await press('ArrowRight');
      await showing('Main &gt;&gt; SteerWheel');
      before = await settled();
      assert.ok(Number.isFinite(before), 'the steering page shows GrabOffset X');
      await page.keyboard.down('ArrowRight');
      await sleep(300);
      await page.keyboard.up('ArrowRight');
      after = await settled();
      await page.screenshot({ path: path.join(out, 'tune-page-menu.png') });
      assert.ok(after > before + 0.02, `GrabOffset X went from ${before} to ${after}`);
      const handAfter = await handAt();
      const moved = Math.hypot(...handAfter.map((v, i) => v - handBefore[i]));
      assert.ok(moved > 0.01, `the hand moved ${moved * 1000} mm`);
    });

    const exported = path.join(game, 'modloader', 'Kovra-Output', 'Kovra_sedan.ini');
    await check('"Export Config!" writes the file with the new value', async () => {
      await press('Backspace');
      await page.waitForFunction(() => !window.kovra.live.screenText.includes('&gt;&gt;'), null, { timeout: 5000 });
      await press('ArrowUp');
      await press('Space');
      await showing('Main &gt;&gt; Save-Load');
      await press('ArrowDown');
      await press('Space');
      for (let i = 0; i < 50 && !fs.existsSync(exported); ++i) await sleep(50);
      const text = fs.readFileSync(exported, 'utf8');
      const m = text.match(/\[SteerIK\][^[]*?GrabOffset = ([-\d.e]+)/);
      assert.ok(m, text);
      assert.ok(Math.abs(Number(m[1]) - after) < 0.006, `exported ${m[1]}, the menu showed ${after}`);
      await page.screenshot({ path: path.join(out, 'tune-page-exported.png') });
      assert.deepStrictEqual(errors, []);
    });
    await page.close();

    await check('Ctrl-C stops the server with every file whole', async () => {
      const written = fs.readFileSync(exported, 'utf8');
      tune.child.kill('SIGINT');
      const end = await Promise.race([tune.exited, sleep(5000).then(() => null)]);
      assert.ok(end, 'stopped within 5 s');
      assert.strictEqual(end.code, 0, end.out);
      assert.strictEqual(fs.readFileSync(exported, 'utf8'), written);
      const leftovers = fs.readdirSync(game, { recursive: true }).filter((f) => /\.tmp|~$/.test(f));
      assert.deepStrictEqual(leftovers, []);
    });

    await check('the motorbike keeps the game\'s 50 frames a second', async () => {
      const bike = startTune(kovra, path.join(root, 'scenes', 'motorbike.scenario'), path.join(out, 'bike-game'));
      try {
        const address = await bike.address;
        const frames = await countFrames(address.port, address.token, 1000);
        console.log(`  ${frames.length} frames in a second`);
        assert.ok(Math.abs(frames.length - 50) <= 5, `${frames.length} frames`);
      } finally {
        bike.child.kill('SIGINT');
        await bike.exited;
      }
    });
  } finally {
    if (tune.child.exitCode === null) tune.child.kill('SIGKILL');
    await browser.close();
  }
  return checks.finish();
}

run(main);
