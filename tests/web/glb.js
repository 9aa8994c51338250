// Reads a .glb on its own, apart from the page and its loader, for the
// browser tests to hold the page against: a node's position in the scene at
// one frame of the file's animation (one key per frame).
'use strict';
const fs = require('fs');

function readGlb(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.readUInt32LE(0) !== 0x46546c67) throw new Error(`${file} is not a .glb`);
  const jsonLength = bytes.readUInt32LE(12);
  const json = JSON.parse(bytes.subarray(20, 20 + jsonLength).toString('utf8'));
  const binStart = 20 + jsonLength + 8;
  const bin = bytes.subarray(binStart, binStart + bytes.readUInt32LE(20 + jsonLength));
  return { json, bin };
}

// The accessor's floats, `width` to an element.
function floats({ json, bin }, index) {
  const accessor = json.accessors[index];
  const view = json.bufferViews[accessor.bufferView];
  const start = (view.byteOffset || 0) + (accessor.byteOffset || 0);
  const width = { SCALAR: 1, VEC3: 3, VEC4: 4 }[accessor.type];
  const values = new Float32Array(accessor.count * width);
  for (let i = 0; i < values.length; ++i) values[i] = bin.readFloatLE(start + 4 * i);
  return { values, width };
}

// The world position of the node named `name` at frame `frame`, in the
// file's own axes, worked out with three's matrices (three runs in node).
function nodePositionAt(file, name, frame, THREE) {
  const glb = readGlb(file);
  const { json } = glb;
  const local = json.nodes.map((n) => ({
    t: new THREE.Vector3().fromArray(n.translation || [0, 0, 0]),
    r: new THREE.Quaternion().fromArray(n.rotation || [0, 0, 0, 1]),
    s: new THREE.Vector3().fromArray(n.scale || [1, 1, 1]),
  }));
  for (const animation of json.animations || []) {
    for (const channel of animation.channels) {
      const { values, width } = floats(glb, animation.samplers[channel.sampler].output);
      const at = Math.min(frame, values.length / width - 1) * width;
      const node = local[channel.target.node];
      if (channel.target.path === 'rotation') node.r.fromArray(values, at);
      if (channel.target.path === 'translation') node.t.fromArray(values, at);
    }
  }
  const parent = new Map();
  json.nodes.forEach((n, i) => (n.children || []).forEach((c) => parent.set(c, i)));
  const target = json.nodes.findIndex((n) => n.name === name);
  if (target < 0) throw new Error(`${file} has no node ${name}`);
  const world = new THREE.Matrix4();
  for (let i = target; i !== undefined; i = parent.get(i)) {
    const m = new THREE.Matrix4().compose(local[i].t, local[i].r, local[i].s);
    world.premultiply(m);
  }
  return new THREE.Vector3().setFromMatrixPosition(world);
}

module.exports = { nodePositionAt };
