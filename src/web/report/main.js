// The run's page: every vehicle of a `kovra run --html` in 3D from its .glb
// (carried in the page as base64), a timeline that plays at the game's
// clock, plots linked to it, the report's table and the frames worth a look.
// window.kovra gives the page's state to its browser tests.
import * as THREE from 'three';
import { GLTFLoader } from 'three/examples/jsm/loaders/GLTFLoader.js';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { Plot, TimelineStrip, colourOf } from './plots.js';
import { LiveSession } from './live.js';

// The game's clock: a time step of 1 lasts 20 ms.
const SECONDS_PER_TIME_STEP = 0.02;

const $ = (id) => document.getElementById(id);

function bytesOf(base64) {
  const text = atob(base64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return bytes.buffer;
}

function parseGlb(loader, buffer) {
  return new Promise((resolve, reject) => loader.parse(buffer, '', resolve, reject));
}

// One vehicle: its scene, the animation's tracks bound to their nodes, the
// control frames' axes and the debug lines.
class VehicleView {
  constructor(vehicle, gltf) {
    this.vehicle = vehicle;
    this.timeline = vehicle.timeline;
    this.root = gltf.scene;
    this.root.name = `vehicle ${vehicle.model}`;
    this.tracks = [];
    const clip = gltf.animations[0];
    for (const track of clip ? clip.tracks : []) {
      const parsed = THREE.PropertyBinding.parseTrackName(track.name);
      const node = THREE.PropertyBinding.findNode(this.root, parsed.nodeName);
      if (!node || (parsed.propertyName !== 'quaternion' && parsed.propertyName !== 'position')) continue;
      this.tracks.push({ node, property: parsed.propertyName, values: track.values, size: track.getValueSize(),
                         count: track.times.length });
    }
    this.axes = [];
    for (const name of vehicle.controlFrames) {
      const node = this.root.getObjectByName(THREE.PropertyBinding.sanitizeNodeName(name));
      if (!node) continue;
      const axes = new THREE.AxesHelper(0.12);
      axes.name = `axes of ${name}`;
      axes.material.depthTest = false;
      axes.renderOrder = 2;
      node.add(axes);
      this.axes.push(axes);
    }
    const lines = this.timeline.lines;
    let most = 0;
    for (let f = 0; f < lines.starts.length; ++f) {
      const end = f + 1 < lines.starts.length ? lines.starts[f + 1] : lines.colours.length;
      most = Math.max(most, end - lines.starts[f]);
    }
    const geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(Math.max(most, 1) * 6), 3));
    geometry.setAttribute('color', new THREE.BufferAttribute(new Float32Array(Math.max(most, 1) * 6), 3));
    this.lines = new THREE.LineSegments(geometry, new THREE.LineBasicMaterial({ vertexColors: true, depthTest: false }));
    this.lines.name = 'debug lines';
    this.lines.renderOrder = 3;
    this.lines.frustumCulled = false;
    this.root.add(this.lines);
  }

  // The pose of one frame, straight from the keys of that frame.
  pose(frame) {
    for (const t of this.tracks) {
      const i = Math.min(frame, t.count - 1) * t.size;
      if (t.property === 'quaternion') t.node.quaternion.fromArray(t.values, i);
      else t.node.position.fromArray(t.values, i);
    }
    const lines = this.timeline.lines;
    const first = lines.starts[frame] ?? 0;
    const end = frame + 1 < lines.starts.length ? lines.starts[frame + 1] : lines.colours.length;
    const position = this.lines.geometry.attributes.position;
    const colour = this.lines.geometry.attributes.color;
    for (let l = first; l < end; ++l) {
      const k = (l - first) * 6;
      for (let c = 0; c < 6; ++c) position.array[k + c] = lines.points[l * 6 + c] ?? 0;
      const abgr = lines.colours[l];
      for (const at of [k, k + 3]) {
        colour.array[at] = (abgr & 255) / 255;
        colour.array[at + 1] = ((abgr >>> 8) & 255) / 255;
        colour.array[at + 2] = ((abgr >>> 16) & 255) / 255;
      }
    }
    this.lines.geometry.setDrawRange(0, (end - first) * 2);
    position.needsUpdate = true;
    colour.needsUpdate = true;
    this.root.updateMatrixWorld(true);
  }
}

class Page {
  constructor(data) {
    this.data = data;
    this.frame = 0;
    this.playing = false;
    this.speed = 1;
    this.framesPerSecond = 1 / ((data.timeStep > 0 ? data.timeStep : 1) * SECONDS_PER_TIME_STEP);
    this.views = [];
    this.current = null;
    this.tracks = [];
  }

  async start() {
    const title = this.data.report?.scenario ?? 'kovra run';
    document.title = `${title} — kovra run`;
    $('title').textContent = title;
    this.makeScene();
    const loader = new GLTFLoader();
    for (const vehicle of this.data.vehicles) {
      const gltf = await parseGlb(loader, bytesOf(vehicle.glb));
      vehicle.glb = null;  // the bytes are no longer needed
      this.views.push(new VehicleView(vehicle, gltf));
    }
    if (this.views.length === 0) throw new Error('the run has no vehicle');
    const choice = $('vehicle');
    this.views.forEach((v, i) => choice.append(new Option(`${v.vehicle.model} (${v.vehicle.file})`, String(i))));
    choice.hidden = this.views.length < 2;
    choice.addEventListener('change', () => this.show(Number(choice.value)));
    if (this.data.live) {
      this.startLive();
    } else {
      this.wireControls();
      this.show(0);
    }
    window.addEventListener('resize', () => this.resize());
  }

  // The tune page: no timeline, the game's screen beside the 3D view, and
  // every frame's pose from the game as it plays.
  startLive() {
    document.body.classList.add('live');
    for (const b of document.querySelectorAll('[data-view]')) b.addEventListener('click', () => this.setView(b.dataset.view));
    $('show-axes').addEventListener('change', () => this.applyToggles());
    $('show-lines').closest('label').style.display = 'none';
    this.current = this.views[0];
    this.scene.add(this.current.root);
    this.current.lines.visible = false;
    const nodes = new Map();
    this.current.root.traverse((o) => nodes.set(o.name, o));
    const driver = this.current.root.getObjectByName('driver');
    const apply = (message) => {
      for (const [name, q] of Object.entries(message.nodes)) {
        nodes.get(THREE.PropertyBinding.sanitizeNodeName(name))?.quaternion.fromArray(q);
      }
      if (driver && message.seat) driver.position.fromArray(message.seat);
      this.current.root.updateMatrixWorld(true);
      $('frame-label').textContent = `game frame ${message.frame}`;
      // Frames that come faster than the screen shows them are drawn once.
      if (!this.drawPending) {
        this.drawPending = true;
        requestAnimationFrame(() => { this.drawPending = false; this.render(); });
      }
    };
    const screen = (svg) => { $('screen').src = `data:image/svg+xml;charset=utf-8,${encodeURIComponent(svg)}`; };
    this.live = new LiveSession(this.data.live.token, apply, screen);
    $('screen-zoom').addEventListener('change', () => { $('screen').style.width = `${$('screen-zoom').value}%`; });
    this.applyToggles();
    this.setView('orbit');
  }

  makeScene() {
    const view = $('view');
    this.renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    view.prepend(this.renderer.domElement);
    this.scene = new THREE.Scene();
    this.scene.background = new THREE.Color('#e9ecef');
    this.scene.add(new THREE.HemisphereLight('#ffffff', '#8a8f96', 2.2));
    const sun = new THREE.DirectionalLight('#ffffff', 1.6);
    sun.position.set(2, 4, -3);
    this.scene.add(sun);
    const grid = new THREE.GridHelper(10, 100, '#b8bec6', '#d3d7dc');
    grid.name = 'ground grid, 0.1 m';
    this.scene.add(grid);
    this.camera = new THREE.PerspectiveCamera(40, 1, 0.01, 200);
    this.controls = new OrbitControls(this.camera, this.renderer.domElement);
    this.controls.addEventListener('change', () => this.render());
    this.resize();
  }

  resize() {
    const view = $('view');
    const width = view.clientWidth || 800;
    const height = view.clientHeight || 400;
    this.renderer.setSize(width, height);
    this.camera.aspect = width / height;
    this.camera.updateProjectionMatrix();
    for (const t of this.tracks) t.draw();
    this.render();
  }

  show(index) {
    if (this.current) this.scene.remove(this.current.root);
    this.current = this.views[index];
    this.scene.add(this.current.root);
    const frames = Math.max(1, this.current.timeline.frames);
    this.frameCount = frames;
    $('scrub').max = String(frames - 1);
    this.buildReport(index);
    this.buildTracks();
    this.setFrame(Math.min(this.frame, frames - 1));
    this.applyToggles();
    this.setView('orbit');
  }

  // The driver's box (the vehicle's when it has none) is what the views frame.
  focus() {
    const driver = this.current.root.getObjectByName('driver');
    const box = new THREE.Box3().setFromObject(driver ?? this.current.root);
    const sphere = box.getBoundingSphere(new THREE.Sphere());
    return { centre: sphere.center, radius: Math.max(sphere.radius, 0.3) };
  }

  // glTF's axes: the vehicle's forward is +Z, up +Y, its right side -X.
  setView(name) {
    const { centre, radius } = this.focus();
    const d = radius * 3.2;
    const offsets = {
      side: [-d, 0, 0],          // from the right side, forward to the right
      rear: [0, 0, -d],          // from behind
      top: [0, d, -d * 0.001],   // from above, forward up the screen
      orbit: [-d * 0.75, d * 0.55, -d * 0.75],
    };
    const o = offsets[name] ?? offsets.orbit;
    this.camera.position.set(centre.x + o[0], centre.y + o[1], centre.z + o[2]);
    this.controls.target.copy(centre);
    this.controls.update();
    for (const b of document.querySelectorAll('[data-view]')) b.classList.toggle('on', b.dataset.view === name);
    this.render();
  }

  applyToggles() {
    for (const axes of this.current.axes) axes.visible = $('show-axes').checked;
    this.current.lines.visible = $('show-lines').checked && !this.live;
    this.render();
  }

  wireControls() {
    for (const b of document.querySelectorAll('[data-view]')) b.addEventListener('click', () => this.setView(b.dataset.view));
    $('show-axes').addEventListener('change', () => this.applyToggles());
    $('show-lines').addEventListener('change', () => this.applyToggles());
    $('play').addEventListener('click', () => this.setPlaying(!this.playing));
    $('step').addEventListener('click', () => { this.setPlaying(false); this.setFrame(this.frame + 1); });
    $('step-back').addEventListener('click', () => { this.setPlaying(false); this.setFrame(this.frame - 1); });
    $('speed').addEventListener('change', () => { this.speed = Number($('speed').value) || 1; });
    $('scrub').addEventListener('input', () => { this.setPlaying(false); this.setFrame(Number($('scrub').value)); });
    document.addEventListener('keydown', (event) => {
      if (event.target instanceof HTMLInputElement && event.target.type !== 'range') return;
      if (event.key === ' ') { this.setPlaying(!this.playing); event.preventDefault(); }
      if (event.key === 'ArrowRight') { this.setPlaying(false); this.setFrame(this.frame + 1); event.preventDefault(); }
      if (event.key === 'ArrowLeft') { this.setPlaying(false); this.setFrame(this.frame - 1); event.preventDefault(); }
    });
  }

  setPlaying(playing) {
    if (playing && this.frame >= this.frameCount - 1) this.setFrame(0);
    this.playing = playing;
    $('play').textContent = playing ? '❚❚' : '▶︎';
    $('play').classList.toggle('on', playing);
    if (!playing) return;
    // Frames follow the clock, not the drawing: a slow machine skips
    // frames but keeps the game's time.
    let last = performance.now();
    let owed = 0;
    const tick = (now) => {
      if (!this.playing) return;
      owed += ((now - last) / 1000) * this.framesPerSecond * this.speed;
      last = now;
      const whole = Math.floor(owed);
      if (whole > 0) {
        owed -= whole;
        this.setFrame(this.frame + whole);
        if (this.frame >= this.frameCount - 1) { this.setPlaying(false); return; }
      }
      requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
  }

  setFrame(frame) {
    this.frame = Math.max(0, Math.min(this.frameCount - 1, Math.round(frame) || 0));
    this.current.pose(this.frame);
    $('scrub').value = String(this.frame);
    const seconds = (this.frame / this.framesPerSecond).toFixed(2);
    $('frame-label').textContent = `frame ${this.frame} of ${this.frameCount - 1} · ${seconds} s`;
    for (const t of this.tracks) t.setFrame(this.frame);
    this.render();
  }

  render() {
    if (this.current) this.renderer.render(this.scene, this.camera);
  }

  buildTracks() {
    const timeline = this.current.timeline;
    const pick = (frame) => { this.setPlaying(false); this.setFrame(frame); };
    const frames = this.frameCount;
    $('timeline').replaceChildren();
    $('plots').replaceChildren();
    this.tracks = [new TimelineStrip($('timeline'), frames, this.data.pictureFrames ?? [], timeline.marks, pick)];
    const handles = timeline.handles;
    const plot = (title, series, options) => this.tracks.push(new Plot($('plots'), title, series, frames, pick, options));
    plot('Handle weight', handles.map((h) => ({ name: h.kind, values: h.weight })));
    plot('Reach error, mm (dashed: 2 mm)', handles.map((h) => ({ name: h.kind, values: h.reachErrorMm })), { limit: 2 });
    plot('Acted gear', [{ name: 'gear', values: timeline.actedGear }], { step: true });
    plot('Steer angle, degrees', [{ name: 'road wheels', values: timeline.steerAngle }]);
    plot('Pedal inputs', [
      { name: 'gas', values: timeline.gasPedal, colour: colourOf(2) },
      { name: 'brake', values: timeline.brakePedal, colour: colourOf(1) },
    ]);
    for (const t of this.tracks) t.draw();
  }

  buildReport(index) {
    const report = this.data.report?.vehicles?.[index];
    const table = document.createElement('table');
    const row = (cells, tag = 'td') => {
      const tr = table.insertRow();
      for (const c of cells) {
        const cell = document.createElement(tag);
        if (c && typeof c === 'object') { cell.textContent = c.text; if (c.bad) cell.className = 'bad'; }
        else cell.textContent = c;
        tr.append(cell);
      }
    };
    row(['handle', 'engaged', 'out of reach', 'max error mm'], 'th');
    for (const [kind, h] of Object.entries(report?.handles ?? {})) {
      const mm = h.maxReachError === null ? 'n/a' : (h.maxReachError * 1000).toFixed(3);
      row([kind, h.framesEngaged, h.framesOutOfReach, { text: mm, bad: !(h.maxReachError <= 0.002) }]);
    }
    const facts = document.createElement('div');
    const fact = (label, value) => {
      if (value === undefined || (Array.isArray(value) && value.length === 0)) return;
      const p = document.createElement('div');
      p.textContent = `${label}: ${Array.isArray(value) ? value.join(' ') : value}`;
      facts.append(p);
    };
    if (report) {
      fact('model', `${report.model} (${report.modelId}), ${report.frames} frames`);
      fact('gear stick arrived at', report.stickPositions);
      fact('acted gears', report.actedGears);
      fact('clutch strokes', report.clutchStrokes || undefined);
      fact('foot-shift strokes', report.shiftStrokes);
    }
    $('report').replaceChildren(table, facts);

    const marks = this.current.timeline.marks;
    $('mark-count').textContent = `(${marks.length})`;
    const list = $('marks');
    list.replaceChildren();
    for (const m of marks.slice(0, 500)) {
      const li = document.createElement('li');
      li.className = m.kind;
      li.textContent = m.kind === 'reach'
        ? `frame ${m.peak}: ${m.what} missed by ${m.value.toFixed(1)} mm`
        : `frame ${m.peak}: ${m.what} turned ${m.value.toFixed(0)}° in one frame`;
      if (m.frames > 1) li.textContent += ` (frames ${m.frame}–${m.frame + m.frames - 1})`;
      li.addEventListener('click', () => { this.setPlaying(false); this.setFrame(m.peak); });
      list.append(li);
    }
  }
}

async function main() {
  const data = JSON.parse($('kovra-run').textContent);
  const page = new Page(data);
  window.kovra = {
    ready: false,
    get frame() { return page.frame; },
    get frameCount() { return page.frameCount; },
    get playing() { return page.playing; },
    get root() { return page.current?.root; },
    get scene() { return page.scene; },
    get live() { return page.live; },
    setFrame: (f) => page.setFrame(f),
    THREE,
  };
  await page.start();
  window.kovra.readyMs = performance.now();  // from the start of navigation
  window.kovra.ready = true;
}

main().catch((error) => {
  const message = document.createElement('p');
  message.id = 'message';
  message.textContent = `The run could not be shown: ${error && error.message ? error.message : error}`;
  document.body.prepend(message);
  throw error;
});
