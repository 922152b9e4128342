// The WebAssembly module under Node against the native library: the same
// bytes for every voice at several rates, the same status and lines for
// every refusal, and memory that does not grow from call to call.
import assert from "node:assert/strict";
import { test } from "node:test";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

import { renderNative, SITE } from "./native.mjs";

const { render, memoryBytes } = await import(pathToFileURL(join(SITE, "wav_instruments.js")));
const { VOICES } = await import(pathToFileURL(join(SITE, "voices.js")));

const PHRASE = "C#4Bb3A5Eb2G#6F0D8bB";
const RATES = [8000, 8001, 11025, 22050, 44100, 48000, 96000, 192000];

test("every voice gives the native library's bytes and report", async () => {
  assert.equal(VOICES.length, 15);
  for (const [k, voice] of VOICES.entries()) {
    const rate = RATES[k % RATES.length];
    const notes = rate > 48000 ? "CB8" : PHRASE;
    const wasm = await render(voice, notes, rate);
    const native = renderNative(voice, notes, rate, `${voice}.wav`);
    assert.equal(wasm.code, 999, `${voice} at ${rate}`);
    assert.deepEqual(wasm.report, native.report, `${voice} at ${rate}`);
    assert.ok(native.wav && wasm.wav, `${voice} at ${rate}: a file`);
    assert.ok(Buffer.from(wasm.wav).equals(native.wav), `${voice} at ${rate}: bytes differ`);
  }
});

test("every refusal gives the native status and message", async () => {
  const refusals = [
    ["nope", "C", 8000],
    ["Piano", "CDEFG", 44100],
    ["", "C", 44100],
    ["p".repeat(56), "C", 44100],
    ["flute", "C", 7999],
    ["flute", "C", 192001],
    ["flute", "C", -5],
    ["flute", "C", 2147483647],
    ["piano", "CDX", 44100],
    ["piano", " C", 44100],
    ["piano", "C9", 44100],
    ["piano", "C##", 8000],
    ["piano", "Cé", 8000],
    ["piano", "CΩ", 8000],
    ["piano", "C".repeat(1000), 8000],
  ];
  for (const [instrument, notes, rate] of refusals) {
    const wasm = await render(instrument, notes, rate);
    const native = renderNative(instrument, notes, rate, "out.wav");
    const label = `${instrument.slice(0, 10)} ${notes.slice(0, 10)} ${rate}`;
    assert.notEqual(native.code, 999, label);
    assert.equal(wasm.code, native.code, label);
    assert.deepEqual(wasm.report, native.report, label);
    assert.equal(wasm.wav, null, label);
  }
});

test("a rate beyond 32 bits is refused as out of range, never wrapped", async () => {
  const wrapped = await render("piano", "C", 4294975296); // 8000 + 2^32
  assert.equal(wrapped.code, 333);
  assert.equal(wrapped.wav, null);
  await assert.rejects(render("piano", "C", 44100.5), TypeError);
});

test("memory does not grow from call to call", async () => {
  await render("bell", PHRASE, 192000);
  const before = await memoryBytes();
  for (let k = 0; k < 5; k += 1) await render("bell", PHRASE, 192000);
  await render("piano", "CDX", 44100);
  assert.equal(await memoryBytes(), before);
});
