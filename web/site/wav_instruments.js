// TolvimoWAVInstruments for JavaScript: the library itself, compiled to
// WebAssembly, behind one function. Runs in a page, a Web Worker and Node.
//
//   import { render } from "./wav_instruments.js";
//   const { code, report, wav } = await render("piano", "CDEFG", 44100);
//
// `code` is the library's status (999 when the file was written), `report`
// the lines it printed, and `wav` the file's bytes (a Uint8Array), or null
// when the request was refused.
import createWavInstrumentsModule from "./wasm_module.mjs";

export const STATUS_CREATED = 999;
const INT32_MIN = -2147483648;
const INT32_MAX = 2147483647;

const isNode = typeof process === "object" && typeof process.versions?.node === "string";

let printed = [];
let loading = null;

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

// The module, instantiated once and shared by every call. The bytes are
// handed over directly, so the loader never has to guess its environment.
function loadModule() {
  loading ??= wasmBytes().then((wasmBinary) =>
    createWavInstrumentsModule({
      wasmBinary,
      print: (line) => printed.push(line),
      printErr: (line) => printed.push(line),
    }),
  );
  return loading;
}

// `text` as NUL-terminated UTF-16 in the module's memory; free it with _free.
function utf16(module, text) {
  const address = module._malloc((text.length + 1) * 2);
  if (address === 0) throw new Error("the module is out of memory");
  const units = new Uint16Array(module.HEAPU8.buffer, address, text.length + 1);
  for (let k = 0; k < text.length; k += 1) units[k] = text.charCodeAt(k);
  units[text.length] = 0;
  return address;
}

// Renders `notes` with `instrument` at `sampleRate` Hz. The library checks
// every argument and says why it refuses; a rate beyond 32 bits is clamped so
// that it is refused as out of range instead of wrapping to another rate.
export async function render(instrument, notes, sampleRate) {
  if (typeof instrument !== "string" || typeof notes !== "string") {
    throw new TypeError("instrument and notes must be strings");
  }
  if (!Number.isInteger(sampleRate)) throw new TypeError("sampleRate must be an integer");
  const rate = Math.min(Math.max(sampleRate, INT32_MIN), INT32_MAX);
  // The file the request writes in the module's in-memory file system, named
  // after the voice as the report will show it; read back and removed before
  // the call returns.
  const path = /^[a-z]{1,40}$/.test(instrument) ? `${instrument}.wav` : "output.wav";
  const module = await loadModule();
  const strings = [];
  printed = [];
  let code;
  try {
    for (const text of [instrument, notes, path]) strings.push(utf16(module, text));
    code = module._WAVInstruments(strings[0], strings[1], rate, strings[2]);
  } finally {
    for (const address of strings) module._free(address);
  }
  const report = printed;
  printed = [];
  let wav = null;
  if (module.FS.analyzePath(path).exists) {
    if (code === STATUS_CREATED) wav = module.FS.readFile(path);
    module.FS.unlink(path);
  }
  return { code, report, wav };
}

// Bytes of the module's memory: it grows for a longer request than any
// before, never from one call to the next of the same size.
export async function memoryBytes() {
  return (await loadModule()).HEAPU8.buffer.byteLength;
}
