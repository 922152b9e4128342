// tolvimo-wav-instruments under Node: the module's bytes are read from the
// .wasm file beside this one.
import { readFile } from "node:fs/promises";

import { makeRenderer } from "./renderer.js";

export { LIMITS, REFUSALS, STATUS_CREATED, VOICES } from "./renderer.js";

export const { render, memoryBytes } = makeRenderer(() =>
  readFile(new URL("./wasm_module.wasm", import.meta.url)),
);
