// Runs Khronos' glTF validator on one glTF or GLB file and prints every
// message of its report, one a line:
//
//   SEVERITY CODE POINTER: MESSAGE
//
// then the tally ("errors 0  warnings 1  infos 2  hints 0") and, with
// --info FILE, writes the report's summary of the asset (counts of draw
// calls, vertices, triangles, materials, skins) to FILE as JSON.
//
//   node validate.mjs MODEL.glb [--info FILE]
//
// Exit status: 0 no errors, 1 the file has errors or cannot be read, 2 usage.

import { readFile, writeFile } from "node:fs/promises";
import { createRequire } from "node:module";
import path from "node:path";

const require = createRequire(import.meta.url);
const validator = require("gltf-validator");

const severities = ["error", "warning", "info", "hint"];

function usage() {
  console.error("usage: node validate.mjs MODEL.(glb|gltf) [--info FILE]");
  process.exit(2);
}

const args = process.argv.slice(2);
let file = null;
let infoFile = null;
for (let i = 0; i < args.length; ++i) {
  if (args[i] === "--info") {
    if (i + 1 >= args.length) usage();
    infoFile = args[++i];
  } else if (file === null) {
    file = args[i];
  } else {
    usage();
  }
}
if (file === null) usage();

let bytes;
try {
  bytes = await readFile(file);
} catch (e) {
  console.error(`validate: ${file}: ${e.message}`);
  process.exit(1);
}

let report;
try {
  report = await validator.validateBytes(new Uint8Array(bytes), {
    uri: path.basename(file),
    maxIssues: 0, // every issue
    externalResourceFunction: (uri) =>
      readFile(path.resolve(path.dirname(file), decodeURIComponent(uri))).then((data) => new Uint8Array(data)),
  });
} catch (e) {
  console.error(`validate: ${file}: the validator could not read it: ${e}`);
  process.exit(1);
}

for (const m of report.issues.messages) {
  const severity = severities[m.severity] ?? String(m.severity);
  const where = m.pointer ?? (m.offset !== undefined ? `byte ${m.offset}` : "-");
  console.log(`${severity} ${m.code} ${where}: ${m.message}`);
}
const n = report.issues;
console.log(`errors ${n.numErrors}  warnings ${n.numWarnings}  infos ${n.numInfos}  hints ${n.numHints}`);
if (infoFile !== null) await writeFile(infoFile, JSON.stringify(report.info ?? {}, null, 2) + "\n");
process.exit(n.numErrors > 0 || report.truncated ? 1 : 0);
