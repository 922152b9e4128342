// TolvimoWAVInstruments for JavaScript: the library itself, compiled to
// WebAssembly, behind one function. The loaders (wav_instruments.js for the
// site and Node, the npm package's entries for bundlers) each say where the
// module's bytes come from; everything else is here.
//
//   const { render } = makeRenderer(() => bytesOfTheModule());
//   const { code, report, wav } = await render("piano", "CDEFG", 44100);
//
// `code` is the library's status (999 when the file was written), `report`
// the lines it printed, and `wav` the file's bytes (a Uint8Array), or null
// when the request was refused; a refused bad note also says where it is. A
// string containing U+0000 is refused with a RangeError (the library's
// strings end at U+0000), an argument of the wrong type with a TypeError.
import createWavInstrumentsModule from "./wasm_module.mjs";
import { STATUS } from "./facts.js";

export { VOICES } from "./facts.js";
export const STATUS_CREATED = STATUS.created;
const INT32_MIN = -2147483648;
const INT32_MAX = 2147483647;
// At most this many UTF-16 units of an argument reach the module, so its
// memory stays flat however long the string. Each unit converts to at least
// one byte, so a longer argument still exceeds every length the library
// accepts (names under 56 bytes, note text under 1000) and is refused just as
// the whole of it would be.
const MAX_UNITS = 1024;
const INVALID_NOTE = /^Error: Invalid note at position (\d+): /;

// How many leading units of `text` go to the module: all, or MAX_UNITS
// without splitting a surrogate pair (half a pair would read as U+FFFD).
function passedUnits(text) {
  if (text.length <= MAX_UNITS) return text.length;
  const last = text.charCodeAt(MAX_UNITS - 1);
  return last >= 0xd800 && last <= 0xdbff ? MAX_UNITS - 1 : MAX_UNITS;
}

// The first `length` units of `text` as NUL-terminated UTF-16 in the module's
// memory; free it with _free.
function utf16(module, text, length) {
  const address = module._malloc((length + 1) * 2);
  if (address === 0) throw new Error("the module is out of memory");
  const units = new Uint16Array(module.HEAPU8.buffer, address, length + 1);
  for (let k = 0; k < length; k += 1) units[k] = text.charCodeAt(k);
  units[length] = 0;
  return address;
}

// The library quotes an unknown name whole at the end of its line; when only
// a prefix was passed, the rest goes back in, as the library would have
// converted it (an unpaired surrogate reads as U+FFFD).
function quotingWholeName(report, code, instrument, passed) {
  if (passed === instrument.length || code !== 222) return report;
  const text = report.join("\n");
  if (!text.endsWith("'")) return report;
  return `${text.slice(0, -1)}${instrument.slice(passed).toWellFormed()}'`.split("\n");
}

// Where the library's "Invalid note at position N" points: N counts bytes of
// the text as the library reads it (UTF-8), and every character before the
// bad one is part of a note, one byte each, so N is also the string index.
function invalidNote(report, notes) {
  const match = INVALID_NOTE.exec(report[0] ?? "");
  if (!match) return null;
  const position = Number(match[1]);
  const point = notes.codePointAt(position);
  if (point === undefined) return null;
  // An unpaired surrogate reads as U+FFFD, as the library converted it.
  const character = String.fromCodePoint(point).toWellFormed();
  return { position, character };
}

function checkText(name, text) {
  if (typeof text !== "string") throw new TypeError(`${name} must be a string`);
  if (text.includes("\u0000")) {
    throw new RangeError(`${name} contains U+0000, which the library's strings cannot carry`);
  }
}

// The render function over the module whose bytes `wasmBytes()` gives. The
// module is instantiated once and shared by every call; a load that fails
// (bytes missing, refused by the page's policy) is tried again by the next
// call rather than kept.
export function makeRenderer(wasmBytes) {
  let printed = [];
  let loading = null;

  function loadModule() {
    loading ??= Promise.resolve()
      .then(wasmBytes)
      .then((wasmBinary) =>
        createWavInstrumentsModule({
          wasmBinary,
          print: (line) => printed.push(line),
          printErr: (line) => printed.push(line),
        }),
      )
      .catch((error) => {
        loading = null;
        throw error;
      });
    return loading;
  }

  // Renders `notes` with `instrument` at `sampleRate` Hz. The library checks
  // every argument and says why it refuses; a rate beyond 32 bits, infinite
  // ones included, is clamped so that it is refused as out of range instead
  // of wrapping to another rate.
  async function render(instrument, notes, sampleRate) {
    checkText("instrument", instrument);
    checkText("notes", notes);
    if (!Number.isInteger(sampleRate) && sampleRate !== Infinity && sampleRate !== -Infinity) {
      throw new TypeError("sampleRate must be an integer");
    }
    const rate = Math.min(Math.max(sampleRate, INT32_MIN), INT32_MAX);
    // The file the request writes in the module's in-memory file system,
    // named after the voice as the report will show it; read back and
    // removed before the call returns.
    const path = /^[a-z]{1,40}$/.test(instrument) ? `${instrument}.wav` : "output.wav";
    const module = await loadModule();
    const strings = [];
    printed = [];
    const passed = passedUnits(instrument);
    let code;
    try {
      strings.push(utf16(module, instrument, passed));
      strings.push(utf16(module, notes, passedUnits(notes)));
      strings.push(utf16(module, path, path.length));
      code = module._WAVInstruments(strings[0], strings[1], rate, strings[2]);
    } finally {
      for (const address of strings) module._free(address);
    }
    const report = quotingWholeName(printed, code, instrument, passed);
    printed = [];
    let wav = null;
    if (module.FS.analyzePath(path).exists) {
      if (code === STATUS_CREATED) wav = module.FS.readFile(path);
      module.FS.unlink(path);
    }
    const where = code === 1 ? invalidNote(report, notes) : null;
    return where ? { code, report, wav, ...where } : { code, report, wav };
  }

  // Bytes of the module's memory: it grows for a longer request than any
  // before, never from one call to the next of the same size.
  async function memoryBytes() {
    return (await loadModule()).HEAPU8.buffer.byteLength;
  }

  return { render, memoryBytes };
}
