// The native library's answer to a request, through the ctypes example:
// status, printed lines and file bytes. Used as the reference the
// WebAssembly module must match.
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

const root = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
export const SITE = resolve(process.env.TOLVIMO_SITE ?? join(root, "build", "wasm", "site"));
const LIBRARY = resolve(
  process.env.TOLVIMO_NATIVE_LIBRARY ??
    join(root, "build", "default", "libTolvimoWAVInstruments.so"),
);
const EXAMPLE = join(root, "examples", "render_with_ctypes.py");

// The file is written as `name` in a fresh folder, so the report names it as
// the module's report does.
export function renderNative(instrument, notes, sampleRate, name) {
  const folder = mkdtempSync(join(tmpdir(), "tolvimo-native-"));
  try {
    let stdout;
    try {
      stdout = execFileSync(
        "python3",
        [EXAMPLE, "--library", LIBRARY, instrument, notes, String(sampleRate), name],
        { cwd: folder, encoding: "utf8" },
      );
    } catch (failure) {
      stdout = failure.stdout; // a refusal exits 1 after printing
    }
    const lines = stdout.split("\n").filter((line) => line !== "");
    const code = Number(lines.pop().replace("status ", ""));
    const path = join(folder, name);
    return { code, report: lines, wav: existsSync(path) ? readFileSync(path) : null };
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}
