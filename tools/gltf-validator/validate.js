// Runs the Khronos glTF validator over each file named on the command line
// and prints one line per file with its counts, then every error and
// warning. Exits with 1 when a file has an error (or cannot be read), 2 when
// the validator is not installed (sh scripts/install-deps.sh installs it).
'use strict';
const fs = require('fs');
const path = require('path');

let validator;
try {
  validator = require('gltf-validator');
} catch (e) {
  console.error('gltf-validator is not installed: run sh scripts/install-deps.sh');
  process.exit(2);
}

async function main(files) {
  if (files.length === 0) {
    console.error('usage: node tools/gltf-validator/validate.js FILE.glb...');
    return 2;
  }
  let failed = false;
  for (const file of files) {
    let report;
    try {
      report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
        uri: path.basename(file),
        maxIssues: 100,
        externalResourceFunction: (uri) =>
          Promise.resolve(new Uint8Array(fs.readFileSync(path.join(path.dirname(file), decodeURIComponent(uri))))),
      });
    } catch (e) {
      console.log(`${file}: cannot be validated: ${e.message || e}`);
      failed = true;
      continue;
    }
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos, ${issues.numHints} hints`);
    for (const m of issues.messages) {
      if (m.severity <= 1) console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code} at ${m.pointer}: ${m.message}`);
    }
    if (issues.numErrors > 0) failed = true;
  }
  return failed ? 1 : 0;
}

main(process.argv.slice(2)).then((status) => process.exit(status));
