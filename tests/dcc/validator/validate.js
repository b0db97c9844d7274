// Validates each glTF/GLB file given and prints one JSON line per file with its issue counts.
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');
(async () => {
  let failed = 0;
  for (const file of process.argv.slice(2)) {
    const data = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(data, {
      uri: file, maxIssues: 50,
      externalResourceFunction: (uri) => new Promise((resolve, reject) => {
        fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (err, bytes) => err ? reject(err.toString()) : resolve(new Uint8Array(bytes)));
      }),
    });
    const errors = report.issues.messages.filter(m => m.severity === 0);
    if (errors.length) failed++;
    console.log(JSON.stringify({file, errors: report.issues.numErrors, warnings: report.issues.numWarnings,
      messages: errors.slice(0, 8).map(m => `${m.code} ${m.pointer || ''}: ${m.message}`)}));
  }
  process.exit(failed ? 1 : 0);
})();
