// TolvimoWAVInstruments for JavaScript: the library itself, compiled to
// WebAssembly, behind one function. The loaders (wav_instruments.js for the
// site and Node, the npm package's entries for bundlers) each say where the
// module's bytes come from; everything else is here.
//
//   const { render } = makeRenderer(() => bytesOfTheModule());
//   const { code, report, wav } = await render("piano", "CDEFG", 44100);
//
// `code` is the library's status (999 when the file was written), `refusal`
// the kind of refusal ("none" when written), `report` the library's lines and
// `wav` the file's bytes (a Uint8Array), or null when the request was
// refused, and then `error` a RangeError saying why, to throw where a
// refusal should. A refused bad note also says where it is, which character it is
// and what to write instead; an unknown name, which voices were probably
// meant. The module answers with these facts as fields (web/wasm_entry.cpp):
// nothing here reads the library's wording. A string containing U+0000 is
// refused with a RangeError (the library's strings end at U+0000), an
// argument of the wrong type with a TypeError.
import createWavInstrumentsModule from "./wasm_module.mjs";
import { LIMITS, REFUSALS, STATUS } from "./facts.js";

export { LIMITS, REFUSALS, VOICES } from "./facts.js";
export const STATUS_CREATED = STATUS.created;
const INT32_MIN = -2147483648;
const INT32_MAX = 2147483647;
// At most this many UTF-16 units of an argument reach the module, so its
// memory stays flat however long the string. Each unit converts to at least
// one byte, so a longer argument, even one unit short of this where a
// surrogate pair is not split, still exceeds every length the library
// accepts and is refused just as the whole of it would be.
const MAX_UNITS = Math.max(LIMITS.maxInstrumentNameBytes, LIMITS.maxNoteTextBytes) + 2;

// The file is rendered into the module's memory, which grows to hold it and
// never shrinks. Past this size an instance is let go after its call and the
// next call starts a fresh one from the same bytes, so a page or a process
// that once rendered a long file does not keep its size for good.
const KEPT_MEMORY_BYTES = 64 * 1024 * 1024;

// The kinds of refusal in the library's order: the module answers with a
// kind's number (TOLVIMO_REFUSAL_ in the C header).
const REFUSAL_NAMES = Object.keys(REFUSALS);

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

// `text` with each unpaired surrogate as U+FFFD (String's toWellFormed,
// which Node 18 lacks).
function wellFormed(text) {
  return text.replace(/[\ud800-\udbff](?![\udc00-\udfff])|(?<![\ud800-\udbff])[\udc00-\udfff]/g, "\ufffd");
}

// The library quotes an unknown name whole in its line; when only a prefix
// was passed, the rest goes in where the module says the quoted name ends,
// as the library would have converted it (an unpaired surrogate reads as
// U+FFFD).
function quotingWholeName(facts, instrument, passed) {
  if (passed === instrument.length || facts.instrumentEnd === undefined) return facts.lines;
  const text = facts.lines.join("\n");
  const end = facts.instrumentEnd;
  const rest = wellFormed(instrument.slice(passed));
  return `${text.slice(0, end)}${rest}${text.slice(end)}`.split("\n");
}

// Text on one line: each control character written as an escape (\t, \n,
// \r, \x1B), as request/explanation.cpp's EscapeControls writes it for the
// command-line program's and the Python package's messages.
function escapeControls(text) {
  const named = { "\t": "\\t", "\n": "\\n", "\r": "\\r" };
  return text.replace(
    /[\u0000-\u001f\u007f]/g,
    (c) => named[c] ?? `\\x${c.charCodeAt(0).toString(16).toUpperCase().padStart(2, "0")}`,
  );
}

// A refusal as JavaScript says a value outside what is allowed: a RangeError
// whose message is the library's line on one line, without its "Error: ",
// with the hint where there is one.
function refusalError(report, hint) {
  const line = escapeControls(report.join("\n")).replace(/^Error: /, "");
  return new RangeError(hint === undefined ? line : `${line} (${hint})`);
}

// The module's answer (four 32-bit words: the file's address and size, the
// facts' address and size) as the result `render` gives; the answer is
// released.
function readAnswer(module, answer, instrument, passed) {
  const words = new Uint32Array(module.HEAPU8.buffer, answer, 4);
  const [wavAt, wavBytes, factsAt, factsBytes] = words;
  try {
    const facts = JSON.parse(
      new TextDecoder().decode(module.HEAPU8.subarray(factsAt, factsAt + factsBytes)),
    );
    const result = {
      code: facts.status,
      refusal: REFUSAL_NAMES[facts.refusal],
      report: quotingWholeName(facts, instrument, passed),
      wav: wavAt === 0 ? null : module.HEAPU8.slice(wavAt, wavAt + wavBytes),
    };
    // A render into memory opens nothing, so the facts' "reason" (why an
    // output could not be opened or written) never applies here.
    for (const name of ["position", "character", "hint", "suggestions"]) {
      if (facts[name] !== undefined) result[name] = facts[name];
    }
    if (result.wav === null) result.error = refusalError(result.report, result.hint);
    return result;
  } finally {
    module._tolvimo_wasm_release(answer);
  }
}

function checkText(name, text) {
  if (typeof text !== "string") throw new TypeError(`${name} must be a string`);
  if (text.includes("\u0000")) {
    throw new RangeError(`${name} contains U+0000, which the library's strings cannot carry`);
  }
}

// The render function over the module whose bytes `wasmBytes()` gives. The
// bytes are got once and an instance shared by every call, until one grew
// past KEPT_MEMORY_BYTES; a load that fails (bytes missing, refused by the
// page's policy) is tried again by the next call rather than kept.
export function makeRenderer(wasmBytes) {
  let bytes = null;
  let loading = null;

  function loadModule() {
    bytes ??= Promise.resolve()
      .then(wasmBytes)
      .catch((error) => {
        bytes = null;
        throw error;
      });
    loading ??= bytes
      .then((wasmBinary) =>
        createWavInstrumentsModule({
          wasmBinary,
          // The module prints nothing; anything it did would not belong on
          // the host's console.
          print: () => {},
          printErr: () => {},
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
    const module = await loadModule();
    const strings = [];
    const passed = passedUnits(instrument);
    let answer;
    try {
      strings.push(utf16(module, instrument, passed));
      strings.push(utf16(module, notes, passedUnits(notes)));
      answer = module._tolvimo_wasm_render(strings[0], strings[1], rate);
    } catch (error) {
      loading = null; // an instance that failed inside a call is not used again
      throw error;
    } finally {
      for (const address of strings) module._free(address);
    }
    if (module.HEAPU8.buffer.byteLength > KEPT_MEMORY_BYTES) loading = null;
    if (answer === 0) throw new Error("the module is out of memory");
    return readAnswer(module, answer, instrument, passed);
  }

  // Bytes of the module's memory: it grows for a longer request than any
  // before, never from one call to the next of the same size, and starts
  // afresh after one that grew it past KEPT_MEMORY_BYTES.
  async function memoryBytes() {
    return (await loadModule()).HEAPU8.buffer.byteLength;
  }

  return { render, memoryBytes };
}
