// The playground page in Debian's Chromium, driven as a person would: render
// and compare the offered file with the native library's, hear it start, let
// the browser's own decoder read it, refusals marked where they happen, the
// largest request without a stalled page, an accessibility audit in both
// colour schemes and at phone width, and no request leaving the site.
import assert from "node:assert/strict";
import { readFile } from "node:fs/promises";
import { createRequire } from "node:module";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { after, before, test } from "node:test";

import { launchChromium, serveFolder } from "./browser.mjs";
import { programLines, renderNative, SITE } from "./native.mjs";

const SCREENSHOT = process.env.TOLVIMO_SCREENSHOT ?? join(SITE, "..", "playground.png");
const { LIMITS, VOICES } = await import(pathToFileURL(join(SITE, "facts.js")));
const AXE = await readFile(createRequire(import.meta.url).resolve("axe-core/axe.min.js"), "utf8");
const DESKTOP = { width: 1000, height: 900 };
const PHONE = { width: 390, height: 844 };

let server;
let origin;
let chromium;
let page;
const outside = [];
const missing = [];

// Every message the page's worker sends, reduced to what it carries: the
// largest typed array and whether the file came as a Blob.
function watchWorkerMessages() {
  window.workerMessages = [];
  const Original = window.Worker;
  window.Worker = class extends Original {
    constructor(...args) {
      super(...args);
      this.addEventListener("message", ({ data }) => {
        const arrays = Object.values(data).filter((value) => ArrayBuffer.isView(value));
        window.workerMessages.push({
          largestArray: Math.max(0, ...arrays.map((array) => array.byteLength)),
          fileIsBlob: data.file instanceof Blob,
          at: performance.now(),
        });
      });
    }
  };
}

async function openPage() {
  const opened = await chromium.context.newPage();
  await opened.setViewportSize(DESKTOP);
  await opened.addInitScript(watchWorkerMessages);
  opened.on("request", (request) => {
    const url = request.url();
    if (!url.startsWith(origin) && !url.startsWith("blob:") && !url.startsWith("data:")) {
      outside.push(url);
    }
  });
  opened.on("response", (response) => {
    if (response.status() >= 400) missing.push(`${response.status()} ${response.url()}`);
  });
  await opened.goto(`${origin}/`);
  await opened.waitForFunction(() => document.querySelectorAll("#instrument option").length > 0);
  return opened;
}

before(async () => {
  ({ server, origin } = await serveFolder(SITE));
  chromium = await launchChromium();
  page = await openPage();
});

after(async () => {
  await chromium?.close();
  server?.close();
});

// Fills the form, renders, and waits for the status code.
async function renderOnPage(instrument, notes, rate, timeout = 30000) {
  await page.selectOption("#instrument", instrument);
  await page.fill("#notes", notes);
  await page.fill("#rate", String(rate));
  // The click clears the last answer at once, before any new one can come.
  const clearedAtOnce = await page.evaluate(() => {
    document.getElementById("render").click();
    const status = document.getElementById("status");
    return !status.hasAttribute("data-code") && document.getElementById("result").hidden;
  });
  assert.ok(clearedAtOnce, "the last answer stayed after the click");
  await page.waitForSelector("#status[data-code]", { timeout });
  return page.getAttribute("#status", "data-code");
}

// axe-core over the page as it stands, light and dark, desktop and phone.
async function audit(t, state) {
  const found = [];
  const rules = [];
  for (const colorScheme of ["light", "dark"]) {
    for (const viewport of [DESKTOP, PHONE]) {
      await page.emulateMedia({ colorScheme });
      await page.setViewportSize(viewport);
      const { violations, passed } = await page.evaluate(async (source) => {
        if (!window.axe) (0, eval)(source);
        const results = await window.axe.run(document);
        return {
          passed: results.passes.length,
          violations: results.violations.map(
            (v) => `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target).join(", ")}`,
          ),
        };
      }, AXE);
      assert.ok(passed > 10, `axe checked only ${passed} rules`);
      rules.push(passed);
      for (const violation of violations) {
        found.push(`${state}, ${colorScheme}, ${viewport.width} px: ${violation}`);
      }
    }
  }
  await page.emulateMedia({ colorScheme: "light" });
  await page.setViewportSize(DESKTOP);
  t.diagnostic(`axe, ${state}: ${found.length} violations; rules passed: ${rules.join(", ")}`);
  assert.deepEqual(found, []);
}

// Controls at least 44 px high at phone width.
async function checkTouchTargets() {
  await page.setViewportSize(PHONE);
  const small = await page.$$eval("button, input, select, a[href], audio", (elements) =>
    elements
      .filter((element) => element.getClientRects().length > 0)
      .map((element) => [element.id || element.textContent, element.getBoundingClientRect().height])
      .filter(([, height]) => height < 44),
  );
  await page.setViewportSize(DESKTOP);
  assert.deepEqual(small, []);
}

test("before the first render: the voices, no empty boxes, accessible", async (t) => {
  const voices = await page.$$eval("#instrument option", (options) => options.map((o) => o.value));
  assert.deepEqual(voices, VOICES);
  // The help text quotes the library's limits.
  const help = (await page.textContent("#notes-help")).replace(/\s+/g, " ");
  assert.ok(help.includes(`in at most ${LIMITS.maxNoteTextBytes} bytes.`), help);
  assert.ok(help.includes(`from ${LIMITS.minSampleRate} to ${LIMITS.maxSampleRate} Hz`), help);
  assert.equal(await page.inputValue("#rate"), "44100");
  for (const empty of ["#result", "#report", "#waveform", "#output", "#unserved"]) {
    assert.equal(await page.isHidden(empty), true, `${empty} shows before any render`);
  }
  assert.equal(await page.textContent("#status"), "");
  assert.equal(await page.getAttribute("link[rel=icon]", "href"), "favicon.svg");
  const icon = await page.evaluate(async () => {
    const response = await fetch(document.querySelector("link[rel=icon]").href);
    return [response.status, response.headers.get("content-type")];
  });
  assert.deepEqual(icon, [200, "image/svg+xml"]);
  await checkTouchTargets();
  await audit(t, "before a render");
});

test("offers the native library's bytes, plays them, and the browser can decode them", async (t) => {
  const notes = "C#4Bb3E5G2";
  assert.equal(await renderOnPage("violin", notes, 22050), "999");
  const native = renderNative("violin", notes, 22050);
  assert.deepEqual((await page.textContent("#report")).split("\n"), native.report);
  assert.equal(
    await page.textContent("#status"),
    "Rendered 4 notes with the violin: 2 seconds at 22050 Hz.",
  );
  assert.equal(await page.getAttribute("#download", "download"), "violin_Cs4Bb3E5G2.wav");
  assert.match(await page.textContent("#download"), /^Download violin_Cs4Bb3E5G2\.wav \(86 KiB\)$/);
  const offered = await page.evaluate(async () => {
    const href = document.getElementById("download").href;
    return Array.from(new Uint8Array(await (await fetch(href)).arrayBuffer()));
  });
  assert.ok(Buffer.from(offered).equals(native.wav), "the offered bytes differ");

  const decoded = await page.evaluate(async () => {
    const href = document.getElementById("download").href;
    const bytes = await (await fetch(href)).arrayBuffer();
    const context = new OfflineAudioContext(1, 1, 22050);
    const audio = await context.decodeAudioData(bytes);
    return { length: audio.length, channels: audio.numberOfChannels, rate: audio.sampleRate };
  });
  assert.deepEqual(decoded, { length: 4 * 11025, channels: 1, rate: 22050 });
  // The click was the gesture: the player starts on its own.
  const player = await page.$eval(
    "#player",
    (audio) =>
      new Promise((resolve) => {
        const answer = () => resolve({ duration: audio.duration, paused: audio.paused });
        if (!audio.paused && audio.readyState >= 1) answer();
        else audio.addEventListener("playing", answer, { once: true });
      }),
  );
  assert.ok(Math.abs(player.duration - 2) < 0.01, `player duration ${player.duration}`);
  assert.equal(player.paused, false);
  await page.$eval("#player", (audio) => audio.pause());
  assert.equal(await page.getAttribute("#waveform", "data-marks"), "3");
  assert.match(await page.getAttribute("#waveform", "aria-label"), /4 notes.*each note starts/);
  await page.screenshot({ path: SCREENSHOT, fullPage: true });
  await checkTouchTargets();
  await audit(t, "after a render");
});

test("a bad note is named, shown in the notes and marks the field invalid", async (t) => {
  assert.equal(await renderOnPage("oboe", "CDe", 44100), "1");
  assert.equal(await page.textContent("#report"), "Error: Invalid note at position 2: e");
  assert.equal(
    await page.textContent("#status"),
    "Not rendered: “e” at character 3 does not start a note.",
  );
  assert.equal(await page.getAttribute("#notes", "aria-invalid"), "true");
  assert.equal(await page.isVisible("#notes-problem"), true);
  assert.equal(await page.textContent("#notes-problem mark"), "e");
  // The library's hint, in the same words as the command-line program's.
  const explained = programLines("oboe", "CDe", 44100)[1];
  assert.equal(
    await page.textContent("#hint"),
    `Hint: ${explained.slice(explained.indexOf("; ") + 2)}.`,
  );
  for (const gone of ["#output", "#waveform"]) assert.equal(await page.isHidden(gone), true, gone);
  assert.equal(await page.getAttribute("#player", "src"), null);
  assert.equal(await page.getAttribute("#download", "href"), null);
  await audit(t, "after a refusal");
  await page.type("#notes", "F");
  assert.equal(await page.getAttribute("#notes", "aria-invalid"), null);
  assert.equal(await page.textContent("#notes-problem"), "");
  assert.equal(await page.textContent("#hint"), "");

  assert.equal(await renderOnPage("oboe", "C D", 44100), "1");
  assert.equal(
    await page.textContent("#status"),
    "Not rendered: a space at character 2 does not start a note.",
  );
  assert.equal(await renderOnPage("oboe", "C", 7999), "333");
  assert.equal(
    await page.textContent("#report"),
    "Error: Sample rate must be between 8000 and 192000 Hz",
  );
  assert.equal(
    await page.textContent("#status"),
    "The sample rate must be between 8000 and 192000 Hz.",
  );
  assert.equal(await page.getAttribute("#rate", "aria-invalid"), "true");
  assert.equal(await page.getAttribute("#notes", "aria-invalid"), null);
  // The limit is in bytes: fewer notes than it allows, of three bytes each,
  // are too long.
  const threeByteNotes = Math.ceil((LIMITS.maxNoteTextBytes + 1) / 3);
  assert.equal(await renderOnPage("oboe", "C#4".repeat(threeByteNotes), 44100), "1");
  assert.match(
    await page.textContent("#status"),
    new RegExp(`${3 * threeByteNotes} bytes long; .* at most ${LIMITS.maxNoteTextBytes} `),
  );
});

// Where the voice, notes, rate and Render controls are drawn.
const controlBoxes = () =>
  page.$$eval("#instrument, #notes, #rate, #render", (elements) =>
    elements.map((element) => JSON.stringify(element.getBoundingClientRect())),
  );

test("a refusal moves no control, at either width; a quiet voice fills the waveform", async () => {
  for (const viewport of [DESKTOP, PHONE]) {
    await page.setViewportSize(viewport);
    assert.equal(await renderOnPage("piano", "CE", 8000), "999");
    const drawn = await controlBoxes();
    assert.equal(await renderOnPage("piano", "CDe", 8000), "1");
    assert.deepEqual(await controlBoxes(), drawn, `${viewport.width} px`);
  }
  await page.setViewportSize(DESKTOP);
  // The piano peaks at an eighth of full scale: drawn to its peak, the
  // waveform reaches the canvas's top rows.
  assert.equal(await renderOnPage("piano", "CE", 8000), "999");
  assert.equal(await page.textContent("#waveform-scale"), "Drawn to the file's peak, −18 dBFS.");
  const topRow = await page.$eval("#waveform", (canvas) => {
    const { data, width } = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height);
    for (let index = 3; index < data.length; index += 4) {
      if (data[index] > 0) return Math.floor((index - 3) / 4 / width) / canvas.height;
    }
    return 1;
  });
  assert.ok(topRow < 0.05, `the waveform starts ${topRow} of the way down`);
});

test("empty notes say the file has no samples; names are short and safe", async () => {
  assert.equal(await renderOnPage("piano", "", 8000), "999");
  assert.match(await page.textContent("#status"), /no samples/);
  assert.equal(await page.isHidden("#waveform"), true);
  assert.equal(await page.getAttribute("#player", "src"), null);
  assert.equal(await page.textContent("#download"), "Download piano_silence.wav (44 bytes)");

  const notes = "C#4Bb3".repeat(10);
  assert.equal(await renderOnPage("epiano", notes, 8000), "999");
  const name = await page.getAttribute("#download", "download");
  assert.equal(name, "epiano_Cs4Bb3Cs4Bb3Cs4Bb3Cs4Bb3-etc.wav");
  assert.match(name, /^[A-Za-z0-9_-]{1,60}\.wav$/);
});

test("the largest request leaves the page's thread free and the waveform readable", async (t) => {
  // The most one-letter notes at the top rate: the largest file there is.
  const count = LIMITS.maxNoteTextBytes;
  const notes = "CEGBDFA".repeat(Math.ceil(count / 7)).slice(0, count);
  const fileBytes = 44 + 2 * count * LIMITS.maxSampleRate * LIMITS.noteSeconds;
  await page.selectOption("#instrument", "violin");
  await page.fill("#notes", notes);
  await page.fill("#rate", String(LIMITS.maxSampleRate));
  // Long tasks on the page's thread from the click to the drawn result.
  await page.evaluate(() => {
    window.longTasks = [];
    window.longTaskObserver = new PerformanceObserver((list) => {
      for (const entry of list.getEntries())
        window.longTasks.push([entry.startTime, entry.duration]);
    });
    window.longTaskObserver.observe({ type: "longtask" });
    window.workerMessages.length = 0;
  });
  // The observer sees a long task: one made on purpose, then forgotten.
  const made = await page.evaluate(async () => {
    await new Promise((resolve) => setTimeout(resolve, 0));
    const end = performance.now() + 120;
    while (performance.now() < end);
    await new Promise((resolve) => setTimeout(resolve, 50));
    return window.longTasks.splice(0);
  });
  assert.ok(
    made.some(([, duration]) => duration >= 100),
    `the observer saw ${made}`,
  );
  const clickedAt = await page.evaluate(() => performance.now());
  await page.click("#render");
  // While the worker renders, timers fire on time and typing reaches the input.
  const gaps = await page.evaluate(async () => {
    const status = document.getElementById("status");
    const seen = [];
    let last = performance.now();
    while (!status.dataset.code && seen.length < 10) {
      await new Promise((resolve) => setTimeout(resolve, 20));
      const now = performance.now();
      if (!status.dataset.code) seen.push(now - last);
      last = now;
    }
    return { ticks: seen.length, largest: Math.max(0, ...seen) };
  });
  assert.ok(gaps.ticks >= 3, `the request ended after ${gaps.ticks} timer ticks`);
  await page.fill("#rate", "192000 ");
  assert.equal(await page.inputValue("#rate"), "192000 ");
  await page.waitForSelector("#status[data-code]", { timeout: 180000 });
  assert.equal(await page.getAttribute("#status", "data-code"), "999");
  const { longTasks, messages, marks, width } = await page.evaluate(async () => {
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 100)));
    window.longTaskObserver.disconnect();
    const canvas = document.getElementById("waveform");
    return {
      longTasks: window.longTasks,
      messages: window.workerMessages,
      marks: Number(canvas.dataset.marks),
      width: canvas.width,
    };
  });
  // The largest file reaches the page as a Blob, the waveform as an envelope:
  // nothing in proportion to the file's length is handled on this thread.
  assert.deepEqual(
    messages.map((m) => m.fileIsBlob),
    [true],
  );
  assert.ok(messages[0].largestArray <= 4096 * 2 * 4, `${messages[0].largestArray} bytes`);
  assert.equal(
    await page.getAttribute("#download", "download"),
    `violin_${notes.slice(0, 24)}-etc.wav`,
  );
  assert.ok(
    (await page.textContent("#download")).endsWith(`(${(fileBytes / 2 ** 20).toFixed(1)} MiB)`),
  );
  // A note start for every note but the first on a canvas some hundreds of
  // pixels wide: thinned.
  assert.ok(marks > 0 && marks * 12 <= width, `${marks} marks on ${width} px`);
  assert.match(
    await page.getAttribute("#waveform", "aria-label"),
    new RegExp(`${count} notes.*every \\d+th note`),
  );
  t.diagnostic(`timer gaps up to ${gaps.largest.toFixed(0)} ms while rendering`);
  // Reported, not asserted: a task's length depends on the machine's load.
  // Each as [start, duration] in ms from the click; the answer's arrival too.
  const since = (time) => Math.round(time - clickedAt);
  const tasks = longTasks.map(([start, duration]) => [since(start), Math.round(duration)]);
  t.diagnostic(`answer arrived ${since(messages[0].at)} ms after the click`);
  t.diagnostic(`long tasks from the click to the drawn result: ${JSON.stringify(tasks)}`);
  t.diagnostic(`longest task: ${Math.max(0, ...tasks.map(([, duration]) => duration))} ms`);
  await page.$eval("#player", (audio) => audio.pause());
});

test("a module that failed to load is loaded again by the next render", async () => {
  const fresh = await openPage();
  const unreachable = (route) => route.fulfill({ status: 503, body: "" });
  await fresh.route("**/wasm_module.wasm", unreachable);
  await fresh.click("#render");
  await fresh.waitForSelector("#status[data-code]");
  assert.equal(await fresh.getAttribute("#status", "data-code"), "error");
  assert.match(await fresh.textContent("#status"), /could not be loaded/);
  await fresh.unroute("**/wasm_module.wasm", unreachable);
  await fresh.click("#render");
  await fresh.waitForSelector("#status[data-code='999']");
  await fresh.close();
  // The refused load above is the only failed response the site gave.
  assert.deepEqual(
    missing.filter((line) => !line.startsWith("503 ")),
    [],
  );
});

test("opened as a file, the page says how to serve it", async () => {
  const local = await chromium.context.newPage();
  await local.goto(pathToFileURL(join(SITE, "index.html")).href);
  await local.waitForSelector("#unserved", { state: "visible" });
  assert.match(
    await local.textContent("#unserved"),
    /python3 -m http\.server --directory build\/wasm\/site 8000/,
  );
  assert.equal(await local.isHidden("#request"), true);
  await local.close();
});

test("no request leaves the site", () => {
  assert.deepEqual(outside, []);
});
