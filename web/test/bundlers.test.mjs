// The npm package in the web projects people make: a fresh project installs
// the packed tarball and imports it by name, unchanged and with no setting
// for it, from its page and from a module worker, under vite's dev server
// (which pre-bundles dependencies into node_modules/.vite), vite's production
// build and its preview server, and webpack 5's production build. Each must
// render the native library's bytes in Chromium and build without a warning.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import { build as viteBuild, createLogger, createServer, preview } from "vite";
import webpack from "webpack";

import { launchChromium, serveFolder } from "./browser.mjs";
import { programVoices, renderNative, SITE } from "./native.mjs";

const PACKAGE = join(SITE, "..", "npm");
// A plain request, a refused bad note, a voice at the top rate.
const REQUESTS = [
  ["piano", "CDEFG", 8000],
  ["oboe", "CDé", 8000],
  ["glockenspiel", "C8", 192000],
];

const PAGE = `<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>consumer</title>
<script type="module" src="./main.js"></script></head><body></body></html>
`;
// Renders each request on the page and in a module worker; the bytes go back
// as base64 so the test can compare them with the native library's.
const MAIN = `import { render, VOICES } from "tolvimo-wav-instruments";
import { asText } from "./as_text.js";

const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
function inWorker(request) {
  return new Promise((resolve) => {
    worker.onmessage = (event) => resolve(event.data);
    worker.postMessage(request);
  });
}
window.renderAll = async (requests) => {
  const results = [];
  for (const request of requests) {
    results.push({ page: asText(await render(...request)), worker: await inWorker(request) });
  }
  return { voices: VOICES.length, results };
};
`;
const WORKER = `import { render } from "tolvimo-wav-instruments";
import { asText } from "./as_text.js";

self.onmessage = async (event) => {
  try {
    self.postMessage(asText(await render(...event.data)));
  } catch (error) {
    self.postMessage({ thrown: String(error) });
  }
};
`;
const AS_TEXT = `export function asText(result) {
  let wav = null;
  if (result.wav) {
    let binary = "";
    for (const byte of result.wav) binary += String.fromCharCode(byte);
    wav = btoa(binary);
  }
  // A refusal's error, a RangeError, as the text a person reads.
  const error = result.error ? result.error.name + ": " + result.error.message : undefined;
  return { ...result, wav, error };
}
`;

let project;
let chromium;
const expected = REQUESTS.map(([instrument, notes, rate]) => {
  const native = renderNative(instrument, notes, rate);
  return { code: native.code, report: native.report, wav: native.wav?.toString("base64") ?? null };
});

before(async () => {
  project = mkdtempSync(join(tmpdir(), "tolvimo-bundlers-"));
  execFileSync("npm", ["pack", "--silent", "--pack-destination", project], { cwd: PACKAGE });
  const [tarball] = readdirSync(project).filter((name) => name.endsWith(".tgz"));
  writeFileSync(join(project, "package.json"), '{ "private": true, "type": "module" }\n');
  execFileSync("npm", ["install", "--offline", "--no-audit", "--no-fund", `./${tarball}`], {
    cwd: project,
    stdio: "ignore",
  });
  mkdirSync(join(project, "src"));
  for (const [name, text] of [
    ["index.html", PAGE],
    ["main.js", MAIN],
    ["worker.js", WORKER],
    ["as_text.js", AS_TEXT],
  ]) {
    writeFileSync(join(project, "src", name), text);
  }
  chromium = await launchChromium();
});

after(async () => {
  await chromium?.close();
  rmSync(project, { recursive: true, force: true });
});

// Opens `url`, renders every request there and in the worker, and checks
// the answers against the native library's.
async function checkInChromium(url, label) {
  const page = await chromium.context.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(String(error)));
  try {
    await page.goto(url);
    await page.waitForFunction(() => typeof window.renderAll === "function");
    const { voices, results } = await page.evaluate(
      (requests) => window.renderAll(requests),
      REQUESTS,
    );
    assert.equal(voices, programVoices().length, label);
    for (const [k, { page: fromPage, worker }] of results.entries()) {
      const what = `${label}: ${REQUESTS[k].join(" ")}`;
      for (const [where, result] of [
        ["page", fromPage],
        ["worker", worker],
      ]) {
        assert.equal(result.thrown, undefined, `${what} (${where})`);
        const isRefusal = expected[k].wav === null;
        assert.equal(result.error?.startsWith("RangeError: "), isRefusal || undefined, `${what} (${where})`);
        assert.equal(result.code, expected[k].code, `${what} (${where})`);
        assert.deepEqual(result.report, expected[k].report, `${what} (${where})`);
        assert.equal(result.wav, expected[k].wav, `${what} (${where}): bytes differ`);
      }
    }
    const [, refused] = results;
    assert.deepEqual(
      [refused.page.position, refused.page.character, refused.worker.character],
      [2, "é", "é"],
      label,
    );
    assert.deepEqual(errors, [], label);
  } finally {
    await page.close();
  }
}

// A logger that keeps vite's warnings and errors for the test to see.
function keptLogger(kept) {
  const logger = createLogger("warn", { allowClearScreen: false });
  return {
    ...logger,
    warn: (message) => kept.push(message),
    warnOnce: (message) => kept.push(message),
    error: (message) => kept.push(message),
  };
}

test("vite dev server: pre-bundled, renders the native bytes", async () => {
  const warnings = [];
  const server = await createServer({
    configFile: false,
    root: join(project, "src"),
    cacheDir: join(project, "node_modules", ".vite"),
    server: { host: "127.0.0.1", port: 0, strictPort: false, hmr: false },
    customLogger: keptLogger(warnings),
  });
  try {
    await server.listen();
    await checkInChromium(server.resolvedUrls.local[0], "vite dev");
    assert.deepEqual(warnings, []);
    // The package was served pre-bundled, away from its own folder.
    const deps = readdirSync(join(project, "node_modules", ".vite", "deps"));
    assert.ok(deps.includes("tolvimo-wav-instruments.js"), `pre-bundled: ${deps}`);
  } finally {
    await server.close();
  }
});

test("vite build and preview: renders the native bytes, no warning", async () => {
  const warnings = [];
  const config = {
    configFile: false,
    root: join(project, "src"),
    build: { outDir: join(project, "vite-dist"), emptyOutDir: true },
    customLogger: keptLogger(warnings),
  };
  await viteBuild({ ...config, logLevel: "warn" });
  assert.deepEqual(warnings, [], "vite build warned");
  const server = await preview({ ...config, preview: { host: "127.0.0.1", port: 0 } });
  try {
    await checkInChromium(server.resolvedUrls.local[0], "vite preview");
  } finally {
    await server.close();
  }
});

test("webpack 5 production build: renders the native bytes, no warning", async () => {
  const output = join(project, "webpack-dist");
  const stats = await new Promise((resolve, reject) => {
    webpack(
      {
        mode: "production",
        context: project,
        entry: "./src/main.js",
        output: { path: output, clean: true },
        performance: { hints: false },
      },
      (error, result) => (error ? reject(error) : resolve(result)),
    );
  });
  const { errors, warnings } = stats.toJson({ all: false, errors: true, warnings: true });
  assert.deepEqual(errors, []);
  assert.deepEqual(warnings, []);
  writeFileSync(join(output, "index.html"), PAGE); // webpack names its bundle main.js
  const { server, origin } = await serveFolder(output);
  try {
    await checkInChromium(`${origin}/`, "webpack");
  } finally {
    server.close();
  }
  const shipped = readdirSync(output);
  assert.ok(!shipped.some((name) => name.endsWith(".wasm")), `a stray .wasm in ${shipped}`);
});
