// For the export tests: each .glb named on the command line through the Khronos glTF validator and read back
// with glTF-Transform, printed as one JSON object per file (a list) for the Python side to compare.
import { readFile } from 'node:fs/promises';
import { NodeIO } from '@gltf-transform/core';
import validator from 'gltf-validator';

const io = new NodeIO();

function array(accessor) {
  return accessor ? Array.from(accessor.getArray()) : null;
}

async function check(path) {
  const bytes = new Uint8Array(await readFile(path));
  const report = await validator.validateBytes(bytes, { uri: path, maxIssues: 100 });
  const document = await io.readBinary(bytes);
  const root = document.getRoot();
  const meshes = root.listMeshes().map((mesh) => ({
    name: mesh.getName(),
    weights: mesh.getWeights(),
    targetNames: (mesh.getExtras() || {}).targetNames || null,
    primitives: mesh.listPrimitives().map((primitive) => ({
      mode: primitive.getMode(),
      indices: array(primitive.getIndices()),
      position: array(primitive.getAttribute('POSITION')),
      normal: array(primitive.getAttribute('NORMAL')),
      texcoord: array(primitive.getAttribute('TEXCOORD_0')),
      targets: primitive.listTargets().map((target) => ({
        position: array(target.getAttribute('POSITION')),
        normal: array(target.getAttribute('NORMAL')),
      })),
      baseColorTexture: (() => {
        const material = primitive.getMaterial();
        const texture = material && material.getBaseColorTexture();
        return texture ? { mimeType: texture.getMimeType(), size: texture.getSize() } : null;
      })(),
    })),
  }));
  const animations = root.listAnimations().map((animation) => ({
    name: animation.getName(),
    channels: animation.listChannels().map((channel) => ({
      path: channel.getTargetPath(),
      node: channel.getTargetNode() ? channel.getTargetNode().getName() : null,
      interpolation: channel.getSampler().getInterpolation(),
      input: array(channel.getSampler().getInput()),
      output: array(channel.getSampler().getOutput()),
    })),
  }));
  return {
    path,
    validator: {
      errors: report.issues.numErrors,
      warnings: report.issues.numWarnings,
      messages: report.issues.messages.filter((m) => m.severity <= 1),
    },
    meshes,
    animations,
  };
}

const results = [];
for (const path of process.argv.slice(2)) {
  results.push(await check(path));
}
process.stdout.write(JSON.stringify(results));
