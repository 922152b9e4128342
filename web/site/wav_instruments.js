// The library for the playground's worker and for Node:
//
//   import { render } from "./wav_instruments.js";
//   const { code, report, wav } = await render("piano", "CDEFG", 44100);
//
// The module's bytes are fetched beside this file (read from disk under
// Node). The npm package has entries of its own for bundlers.
import { makeRenderer } from "./renderer.js";

export { LIMITS, REFUSALS, STATUS_CREATED, VOICES } from "./renderer.js";

const isNode = typeof process === "object" && typeof process.versions?.node === "string";

async function wasmBytes() {
  const url = new URL("./wasm_module.wasm", import.meta.url);
  if (isNode) {
    const { readFile } = await import("node:fs/promises");
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

export const { render, memoryBytes } = makeRenderer(wasmBytes);
