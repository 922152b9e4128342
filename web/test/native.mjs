// The native library's answer to a request, the reference the WebAssembly
// module must match: status, printed lines and file bytes from the shared
// library's WAVInstruments, called through Python's ctypes; and the command-line
// program's lines on standard error for a refusal.
import { execFileSync, spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
export const SITE = resolve(process.env.TOLVIMO_SITE ?? join(ROOT, "build", "wasm", "site"));
const NATIVE = join(ROOT, "build", "default");
export const NATIVE_LIBRARY = resolve(
  process.env.TOLVIMO_NATIVE_LIBRARY ?? join(NATIVE, "libTolvimoWAVInstruments.so"),
);
const PROGRAM = resolve(process.env.TOLVIMO_PROGRAM ?? join(NATIVE, "wavinstruments"));

// Reads the request as JSON from standard input, which carries any string,
// unpaired surrogates included; the library prints its lines on standard
// output, then the script the status.
const SCRIPT = `
import ctypes, json, sys
library = ctypes.CDLL(sys.argv[1])
library.WAVInstruments.restype = ctypes.c_int32
library.WAVInstruments.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p]
utf16 = lambda text: text.encode("utf-16-le", "surrogatepass") + b"\\0\\0"
instrument, notes, rate, path = json.load(sys.stdin)
code = library.WAVInstruments(utf16(instrument), utf16(notes), rate, utf16(path))
ctypes.CDLL(None).fflush(None)
print("status", code)
`;

// The module renders into memory, which its lines call "<memory>": the
// native file gets that name in a fresh folder, so the lines are the same.
const MEMORY = "<memory>";

export function renderNative(instrument, notes, sampleRate) {
  const folder = mkdtempSync(join(tmpdir(), "tolvimo-native-"));
  try {
    const stdout = execFileSync("python3", ["-c", SCRIPT, NATIVE_LIBRARY], {
      cwd: folder,
      encoding: "utf8",
      input: JSON.stringify([instrument, notes, sampleRate, MEMORY]),
    });
    const lines = stdout.split("\n");
    lines.pop(); // the empty string after the last line feed
    const code = Number(lines.pop().replace("status ", ""));
    const path = join(folder, MEMORY);
    return { code, report: lines, wav: existsSync(path) ? readFileSync(path) : null };
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

// The voices the command-line program lists, in its order.
export function programVoices() {
  return execFileSync(PROGRAM, ["--list"], { encoding: "utf8" }).split("\n").slice(0, -1);
}

// What the command-line program prints on standard error for the request,
// line by line, without its "wavinstruments: " prefix.
export function programLines(instrument, notes, sampleRate) {
  const folder = mkdtempSync(join(tmpdir(), "tolvimo-program-"));
  try {
    const run = spawnSync(PROGRAM, ["--", instrument, notes, String(sampleRate), "out.wav"], {
      cwd: folder,
      encoding: "utf8",
    });
    return run.stderr
      .split("\n")
      .filter((line) => line !== "")
      .map((line) => line.replace(/^wavinstruments: /, ""));
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}
