// Plots over a run's frames and the timeline strip: each is drawn once onto
// a canvas; only a cursor element moves as the frame changes, so playing
// costs no redraw. A click anywhere on one asks for that frame.

const COLOURS = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#17becf', '#7f7f7f'];

export function colourOf(index) {
  return COLOURS[index % COLOURS.length];
}

// A canvas of `height` CSS pixels across its track, with a cursor; onPick
// gets the frame under a click.
class Track {
  constructor(parent, height, frames, onPick) {
    this.frames = frames;
    this.height = height;
    this.element = document.createElement('div');
    this.element.className = 'track';
    this.canvas = document.createElement('canvas');
    this.canvas.style.height = `${height}px`;
    this.cursor = document.createElement('div');
    this.cursor.className = 'cursor';
    this.element.append(this.canvas, this.cursor);
    parent.append(this.element);
    this.canvas.addEventListener('click', (event) => {
      const box = this.canvas.getBoundingClientRect();
      onPick(this.frameAt((event.clientX - box.left) / box.width));
    });
  }

  frameAt(fraction) {
    return Math.max(0, Math.min(this.frames - 1, Math.round(fraction * (this.frames - 1))));
  }

  xOf(frame, width) {
    return this.frames > 1 ? (frame / (this.frames - 1)) * width : 0;
  }

  // A 2D context at the device's pixel ratio, in CSS pixels.
  context() {
    const ratio = window.devicePixelRatio || 1;
    const width = this.canvas.clientWidth || 800;
    this.canvas.width = Math.round(width * ratio);
    this.canvas.height = Math.round(this.height * ratio);
    const g = this.canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, this.height);
    return [g, width];
  }

  setFrame(frame) {
    this.cursor.style.left = `${this.frames > 1 ? (100 * frame) / (this.frames - 1) : 0}%`;
  }
}

// The timeline strip: picture frames as blue ticks at the top, marks below
// (a missed target red, a fast turn orange).
export class TimelineStrip extends Track {
  constructor(parent, frames, pictureFrames, marks, onPick) {
    super(parent, 26, frames, onPick);
    this.pictureFrames = pictureFrames;
    this.marks = marks;
    this.canvas.title = 'blue: picture frames; red: a limb missed its target by more than 2 mm; ' +
      'orange: a bone turned more than 10 degrees in one frame';
  }

  draw() {
    const [g, width] = this.context();
    g.fillStyle = '#eef0f3';
    g.fillRect(0, 0, width, this.height);
    g.fillStyle = '#2a6fdb';
    for (const f of this.pictureFrames) g.fillRect(this.xOf(f, width) - 1, 0, 2, 9);
    for (const m of this.marks) {
      g.fillStyle = m.kind === 'reach' ? '#c0262d' : '#e08a00';
      const x = this.xOf(m.frame, width);
      const w = Math.max(2, this.xOf(m.frame + m.frames - 1, width) - x);
      g.fillRect(x - 1, m.kind === 'reach' ? 11 : 18, w, 7);
    }
  }
}

// Lines over the frames: series is [{name, values}], null values leave gaps;
// `limit` draws a dashed level (a tolerance) when given.
export class Plot extends Track {
  constructor(parent, title, series, frames, onPick, { limit = null, step = false } = {}) {
    const heading = document.createElement('div');
    heading.className = 'plot-title';
    heading.textContent = title;
    series.forEach((s, i) => {
      const key = document.createElement('span');
      const swatch = document.createElement('i');
      swatch.style.background = s.colour || colourOf(i);
      key.append(swatch, s.name);
      heading.append(key);
    });
    parent.append(heading);
    super(parent, 70, frames, onPick);
    this.series = series;
    this.limit = limit;
    this.step = step;
  }

  draw() {
    const [g, width] = this.context();
    let lo = Infinity;
    let hi = -Infinity;
    for (const s of this.series) {
      for (const v of s.values) {
        if (v === null) continue;
        lo = Math.min(lo, v);
        hi = Math.max(hi, v);
      }
    }
    if (this.limit !== null) hi = Math.max(hi, this.limit * 1.2);
    if (!(lo <= hi)) { lo = 0; hi = 1; }
    if (hi - lo < 1e-9) { lo -= 0.5; hi += 0.5; }
    const pad = 4;
    const y = (v) => pad + (1 - (v - lo) / (hi - lo)) * (this.height - 2 * pad);
    g.fillStyle = '#fafbfc';
    g.fillRect(0, 0, width, this.height);
    g.fillStyle = '#66707a';
    g.font = '10px system-ui, sans-serif';
    g.fillText(String(+hi.toPrecision(3)), 2, 10);
    g.fillText(String(+lo.toPrecision(3)), 2, this.height - 2);
    if (lo < 0 && hi > 0) {
      g.strokeStyle = '#d0d4da';
      g.beginPath();
      g.moveTo(0, y(0));
      g.lineTo(width, y(0));
      g.stroke();
    }
    if (this.limit !== null) {
      g.strokeStyle = '#c0262d';
      g.setLineDash([4, 3]);
      g.beginPath();
      g.moveTo(0, y(this.limit));
      g.lineTo(width, y(this.limit));
      g.stroke();
      g.setLineDash([]);
    }
    this.series.forEach((s, i) => {
      g.strokeStyle = s.colour || colourOf(i);
      g.lineWidth = 1.25;
      g.beginPath();
      let open = false;
      s.values.forEach((v, f) => {
        if (v === null) { open = false; return; }
        const x = this.xOf(f, width);
        if (!open) g.moveTo(x, y(v));
        else if (this.step) g.lineTo(x, y(s.values[f - 1]));
        g.lineTo(x, y(v));
        open = true;
      });
      g.stroke();
    });
  }
}
