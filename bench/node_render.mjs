// The WebAssembly module under Node: renders request (b) (or the given
// voice, notes and rate) through the site's JavaScript module, as the
// playground does, and prints the median seconds of the render calls (the
// module is loaded once, before the first) and the file's SHA-256.
//
//   node bench/node_render.mjs SITE_DIR [INSTRUMENT [RATE [RUNS]]]
//
// SITE_DIR is build/wasm/site, or the site of a scalar-only build
// (cmake --preset wasm -B build/wasm-scalar -DTOLVIMO_FAST_PATH=OFF).
import { createHash } from "node:crypto";
import { readFileSync } from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [site, instrument = "bell", rate = "192000", runs = "3"] = process.argv.slice(2);
const notes = readFileSync(new URL("./heavy_notes.txt", import.meta.url), "utf8").trim();
const { render } = await import(pathToFileURL(path.resolve(site, "wav_instruments.js")).href);
await render("piano", "C", 8000);  // loads the module
const times = [];
let digest = "";
for (let run = 0; run < Number(runs); ++run) {
  const start = process.hrtime.bigint();
  const { code, wav } = await render(instrument, notes, Number(rate));
  times.push(Number(process.hrtime.bigint() - start) / 1e9);
  if (code !== 999) throw new Error(`render returned ${code}`);
  digest = createHash("sha256").update(wav).digest("hex");
}
times.sort((a, b) => a - b);
console.log(`${instrument} ${rate}: ${times[times.length >> 1].toFixed(3)} s, sha256 ${digest}`);
