// tolvimo-wav-instruments for pages, workers and bundlers. The module's bytes
// travel inside this package's JavaScript (wasm_inline.js), so no bundler or
// dev server has to find, copy or serve a separate .wasm file, and nothing
// here names a Node module.
import { makeRenderer } from "./renderer.js";
import { WASM_BASE64 } from "./wasm_inline.js";

export { LIMITS, REFUSALS, STATUS_CREATED, VOICES } from "./renderer.js";

function wasmBytes() {
  const text = atob(WASM_BASE64);
  const bytes = new Uint8Array(text.length);
  for (let k = 0; k < text.length; k += 1) bytes[k] = text.charCodeAt(k);
  return bytes;
}

export const { render, memoryBytes } = makeRenderer(wasmBytes);
