// The npm package as a user gets it: the tarball `npm pack` makes from
// build/wasm/npm/, installed into an empty project without a registry,
// imported by name from Node (the native library's bytes), and its typings
// checked by a strict TypeScript consumer.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import { programLines, renderNative, ROOT, SITE } from "./native.mjs";

const PACKAGE = join(SITE, "..", "npm");
// The pinned TypeScript, and the latest the registry served when the lockfile
// was last written: a fresh app gets that one.
const TSC = join(ROOT, "web", "node_modules", "typescript", "bin", "tsc");
const LATEST_TSC = join(ROOT, "web", "node_modules", "typescript-latest", "bin", "tsc");
let project;

before(() => {
  project = mkdtempSync(join(tmpdir(), "tolvimo-npm-"));
  execFileSync("npm", ["pack", "--silent", "--pack-destination", project], { cwd: PACKAGE });
  const [tarball] = readdirSync(project).filter((name) => name.endsWith(".tgz"));
  const { version } = JSON.parse(readFileSync(join(PACKAGE, "package.json"), "utf8"));
  assert.equal(tarball, `tolvimo-wav-instruments-${version}.tgz`);
  writeFileSync(join(project, "package.json"), '{ "private": true, "type": "module" }\n');
  execFileSync("npm", ["install", "--offline", "--no-audit", "--no-fund", `./${tarball}`], {
    cwd: project,
    stdio: "ignore",
  });
});

after(() => rmSync(project, { recursive: true, force: true }));

test("the version is the project's, its fourth number as a prerelease", () => {
  const cmake = readFileSync(join(ROOT, "CMakeLists.txt"), "utf8");
  const [, major, minor, patch, tweak] = cmake.match(/VERSION (\d+)\.(\d+)\.(\d+)\.(\d+)/);
  const installed = join(project, "node_modules", "tolvimo-wav-instruments", "package.json");
  const manifest = JSON.parse(readFileSync(installed, "utf8"));
  assert.equal(manifest.version, `${major}.${minor}.${patch}-${tweak}`);
  assert.deepEqual(manifest.dependencies ?? {}, {});
});

test("imported by name, it renders the native library's bytes and hints", () => {
  const requests = [
    ["piano", "CDEFG", 44100],
    ["bell", "C5G4A4E4", 48000],
    ["bass", "C2X", 22050],
    ...["cde", "C4 D4", "Cé", "C4,D4", "CH"].map((notes) => ["piano", notes, 8000]),
  ];
  const script = `
    import { render } from "tolvimo-wav-instruments";
    const results = [];
    for (const request of ${JSON.stringify(requests)}) {
      const { wav, ...result } = await render(...request);
      // The typings promise a buffer of the file's own, exactly the file.
      const own = wav && wav.buffer instanceof ArrayBuffer && wav.byteOffset === 0 &&
        wav.buffer.byteLength === wav.length;
      results.push({ ...result, own, wav: wav && Buffer.from(wav).toString("base64") });
    }
    process.stdout.write(JSON.stringify(results));
  `;
  const output = execFileSync("node", ["--input-type=module", "-e", script], {
    cwd: project,
    encoding: "utf8",
  });
  for (const [k, result] of JSON.parse(output).entries()) {
    const [instrument, notes, rate] = requests[k];
    const native = renderNative(instrument, notes, rate);
    assert.equal(result.code, native.code, instrument);
    assert.deepEqual(result.report, native.report, instrument);
    assert.equal(result.wav, native.wav && native.wav.toString("base64"), instrument);
    if (result.code === 999) assert.match(result.report[0], /^Created <memory> /);
    assert.equal(result.own, result.code === 999 ? true : null, instrument);
    if (result.refusal !== "invalid_note") continue;
    // The hint is the command-line program's, which ends its second line.
    const explained = programLines(instrument, notes, rate)[1];
    assert.ok(explained.endsWith(`; ${result.hint}`), `${notes}: ${result.hint}`);
    assert.equal(typeof result.position, "number");
  }
});

test("a module that failed to load is loaded again by the next call", () => {
  // The .wasm is missing for the first call and restored before the second,
  // in one process: the first failure must not be kept for good.
  const script = `
    import { renameSync } from "node:fs";
    import { createRequire } from "node:module";
    import { dirname, join } from "node:path";
    const manifest = createRequire(import.meta.url).resolve("tolvimo-wav-instruments/package.json");
    const folder = dirname(manifest);
    const wasm = join(folder, "wasm_module.wasm");
    renameSync(wasm, wasm + ".away");
    const { render } = await import("tolvimo-wav-instruments");
    const calls = [render("piano", "C", 8000), render("bell", "C", 8000)];
    const failed = await Promise.allSettled(calls);
    renameSync(wasm + ".away", wasm);
    const again = await render("piano", "C", 8000);
    process.stdout.write(JSON.stringify([failed.map((f) => f.status), again.code]));
  `;
  const output = execFileSync("node", ["--input-type=module", "-e", script], {
    cwd: project,
    encoding: "utf8",
  });
  assert.deepEqual(JSON.parse(output), [["rejected", "rejected"], 999]);
});

function typeCheck(name, source, { tsc = TSC, lib = "es2022" } = {}) {
  writeFileSync(join(project, name), source);
  const flags = ["--noEmit", "--strict", "--module", "node16", "--target", "es2022"];
  return spawnSync("node", [tsc, ...flags, "--lib", lib, name], {
    cwd: project,
    encoding: "utf8",
  });
}

test("a strict TypeScript consumer type-checks against index.d.ts", () => {
  const checked = typeCheck(
    "consumer.ts",
    `import { LIMITS, REFUSALS, render, STATUS_CREATED, VOICES } from "tolvimo-wav-instruments";
import type { RenderResult, Voice } from "tolvimo-wav-instruments";
const result: RenderResult = await render("piano", "CDEFG", 44100);
export const lines: string[] = result.report;
export const size: number = result.code === STATUS_CREATED ? result.wav.length : 0;
if (result.code !== 999) {
  const refused: 222 | 333 | 1 = result.code;
  const nothing: null = result.wav;
  console.assert(refused > 0 && nothing === null);
}
if (result.position !== undefined) {
  const bad: { code: 1; position: number; character: string; hint: string } = result;
  console.assert(bad.character.length > 0 && bad.hint.length > 0);
}
if (result.refusal === "unknown_instrument") {
  const meant: readonly Voice[] = result.suggestions;
  console.assert(meant.length <= 3 && REFUSALS[result.refusal] === result.code);
}
export const longest: number = LIMITS.maxNoteTextBytes;
const first: Voice = VOICES[0];
const menu: readonly Voice[] = VOICES;
const typed: string = "Piano";
export const answers = [render(first, "C", 8000), render(typed, "C", 8000), menu.length];
declare const console: { assert(condition: boolean): void };
`,
  );
  assert.equal(checked.status, 0, checked.stdout);
});

test("a page hands the file to Blob, <audio> and decodeAudioData, with either TypeScript", () => {
  const source = `import { render } from "tolvimo-wav-instruments";
const result = await render("piano", "CDEFG", 44100);
if (result.wav !== null) {
  const blob = new Blob([result.wav], { type: "audio/wav" });
  const audio = document.createElement("audio");
  audio.src = URL.createObjectURL(blob);
  const bytes: ArrayBuffer = result.wav.buffer;
  const decoded: Promise<AudioBuffer> = new AudioContext().decodeAudioData(result.wav.buffer);
  console.log(bytes.byteLength, decoded, result.report.join("\\n"));
}
`;
  for (const tsc of [TSC, LATEST_TSC]) {
    const checked = typeCheck("page.ts", source, { tsc, lib: "es2022,dom" });
    assert.equal(checked.status, 0, `${tsc}\n${checked.stdout}`);
  }
});

test("the typings reject misuse", () => {
  const checked = typeCheck(
    "misuse.ts",
    `import { render, VOICES, type Voice } from "tolvimo-wav-instruments";
const result = await render("piano", "C");
export const bytes: Uint8Array = result.wav;
export const rate = render("piano", "C", "44100");
export const where: number = result.position;
export const voice: Voice = "Piano";
VOICES.push("kazoo");
`,
  );
  assert.notEqual(checked.status, 0);
  // A missing argument, a file that may be null, a rate that is a string, a
  // position that only a bad note has, a name that is no voice, a list that
  // is the library's and cannot change.
  const errors = [
    "(2,22): error TS2554",
    "(3,14): error TS2322",
    "(4,42): error TS2345",
    "(5,14): error TS2322",
    "(6,14): error TS2820",
    "(7,8): error TS2339",
  ];
  for (const error of errors.map((where) => `misuse.ts${where}`)) {
    assert.ok(checked.stdout.includes(error), `${error} in\n${checked.stdout}`);
  }
});
