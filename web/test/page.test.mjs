// The playground page in Debian's Chromium, driven as a person would: render
// and compare the offered file with the native library's, let the browser's
// own decoder read it, a refused request, a page that answers while the
// longest request renders, and no request leaving the site.
import assert from "node:assert/strict";
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize } from "node:path";
import { after, before, test } from "node:test";

import { chromium } from "playwright-core";

import { renderNative, SITE } from "./native.mjs";

const CHROMIUM = process.env.TOLVIMO_CHROMIUM ?? "/usr/bin/chromium";
const SCREENSHOT = process.env.TOLVIMO_SCREENSHOT ?? join(SITE, "..", "playground.png");
const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".mjs": "text/javascript",
  ".css": "text/css",
  ".wasm": "application/wasm",
};

let server;
let origin;
let browser;
let page;
const outside = [];

// A plain static file server for the site, on a loopback port of its own.
function serveSite() {
  return new Promise((resolve) => {
    const files = createServer(async (request, response) => {
      const path = new URL(request.url, "http://localhost").pathname;
      const file = normalize(join(SITE, path === "/" ? "index.html" : path));
      try {
        if (!file.startsWith(SITE)) throw new Error("outside the site");
        const body = await readFile(file);
        response.writeHead(200, { "content-type": TYPES[extname(file)] ?? "application/octet-stream" });
        response.end(body);
      } catch {
        response.writeHead(404).end();
      }
    });
    files.listen(0, "127.0.0.1", () => resolve(files));
  });
}

before(async () => {
  server = await serveSite();
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await chromium.launch({
    executablePath: CHROMIUM,
    args: [
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
  page = await browser.newPage({ viewport: { width: 1000, height: 900 } });
  page.on("request", (request) => {
    const url = request.url();
    if (!url.startsWith(origin) && !url.startsWith("blob:") && !url.startsWith("data:")) {
      outside.push(url);
    }
  });
  await page.goto(`${origin}/`);
});

after(async () => {
  await browser?.close();
  server?.close();
});

// Fills the form, renders, and waits for the status code.
async function renderOnPage(instrument, notes, rate, timeout = 30000) {
  await page.selectOption("#instrument", instrument);
  await page.fill("#notes", notes);
  await page.fill("#rate", String(rate));
  // The click clears the last status at once, before any answer can come.
  const clearedAtOnce = await page.evaluate(() => {
    document.getElementById("render").click();
    return !document.getElementById("status").hasAttribute("data-code");
  });
  assert.ok(clearedAtOnce, "the status kept its code after the click");
  await page.waitForSelector("#status[data-code]", { timeout });
  return page.getAttribute("#status", "data-code");
}

test("lists the fifteen voices", async () => {
  const voices = await page.$$eval("#instrument option", (options) => options.map((o) => o.value));
  assert.equal(voices.length, 15);
  assert.ok(voices.includes("glockenspiel"));
  assert.equal(await page.inputValue("#rate"), "44100");
});

test("offers the native library's bytes, which the browser can decode", async () => {
  const notes = "C#4Bb3E5G2";
  assert.equal(await renderOnPage("violin", notes, 22050), "999");
  const native = renderNative("violin", notes, 22050, "violin.wav");
  assert.deepEqual((await page.textContent("#report")).split("\n"), native.report);
  assert.equal(await page.getAttribute("#download", "download"), "violin.wav");
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
  const duration = await page.$eval("#player", (player) =>
    new Promise((resolve) => {
      if (player.readyState >= 1) resolve(player.duration);
      else player.addEventListener("loadedmetadata", () => resolve(player.duration), { once: true });
    }),
  );
  assert.ok(Math.abs(duration - 2) < 0.01, `player duration ${duration}`);
  await page.screenshot({ path: SCREENSHOT, fullPage: true });
});

test("a refusal shows the library's message and leaves no audio behind", async () => {
  assert.equal(await renderOnPage("oboe", "CDe", 44100), "1");
  assert.equal(await page.textContent("#report"), "Error: Invalid note at position 2: e");
  assert.equal(await page.isHidden("#output"), true);
  assert.equal(await page.getAttribute("#player", "src"), null);
  assert.equal(await page.getAttribute("#download", "href"), null);
  assert.equal(await renderOnPage("oboe", "C", 7999), "333");
  assert.equal(
    await page.textContent("#report"),
    "Error: Sample rate must be between 8000 and 192000 Hz",
  );
});

test("the page answers while the longest request renders", async () => {
  const heavy = (await readFile(new URL("../../bench/heavy_notes.txt", import.meta.url), "utf8")).trim();
  const notes = (heavy + "C".repeat(999)).slice(0, 999);
  // The slowest voice (vibrato) over the most samples: long enough to watch.
  await page.selectOption("#instrument", "violin");
  await page.fill("#notes", notes);
  await page.fill("#rate", "192000");
  await page.click("#render");
  // While the worker renders, the page's own thread keeps running: timers
  // fire on time and typing reaches the input.
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
  assert.ok(gaps.largest < 250, `a timer waited ${gaps.largest} ms`);
  await page.fill("#rate", "192000 ");
  assert.equal(await page.inputValue("#rate"), "192000 ");
  await page.waitForSelector("#status[data-code]", { timeout: 120000 });
  assert.equal(await page.getAttribute("#status", "data-code"), "999");
});

test("no request leaves the site", () => {
  assert.deepEqual(outside, []);
});
