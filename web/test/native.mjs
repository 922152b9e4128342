// The native library's answer to a request, through the Python package in
// python/src: status, printed lines and file bytes. Used as the reference the
// WebAssembly module must match.
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
export const SITE = resolve(process.env.TOLVIMO_SITE ?? join(ROOT, "build", "wasm", "site"));
export const NATIVE_LIBRARY = resolve(
  process.env.TOLVIMO_NATIVE_LIBRARY ??
    join(ROOT, "build", "default", "libTolvimoWAVInstruments.so"),
);

// Reads the request as JSON from standard input, which carries any string,
// unpaired surrogates included; prints the library's lines (a refusal's line
// travels in the exception), then the status.
const SCRIPT = `
import json, sys, tolvimo_wav
instrument, notes, rate, path = json.load(sys.stdin)
try:
    tolvimo_wav.render(instrument, notes, rate, path)
    code = 999
except tolvimo_wav.TolvimoError as refusal:
    code = refusal.code
    print(refusal.line)
print("status", code)
`;

// The file is written as `name` in a fresh folder, so the report names it as
// the module's report does.
export function renderNative(instrument, notes, sampleRate, name) {
  const folder = mkdtempSync(join(tmpdir(), "tolvimo-native-"));
  try {
    const stdout = execFileSync("python3", ["-c", SCRIPT], {
      cwd: folder,
      encoding: "utf8",
      input: JSON.stringify([instrument, notes, sampleRate, name]),
      env: {
        ...process.env,
        PYTHONPATH: join(ROOT, "python", "src"),
        TOLVIMO_WAV_LIBRARY: NATIVE_LIBRARY,
      },
    });
    const lines = stdout.split("\n");
    lines.pop(); // the empty string after the last line feed
    const code = Number(lines.pop().replace("status ", ""));
    const path = join(folder, name);
    return { code, report: lines, wav: existsSync(path) ? readFileSync(path) : null };
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}
