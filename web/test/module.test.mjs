// The WebAssembly module under Node against the native library: the same
// bytes for every voice at several rates, the same status and lines for
// every refusal, the same hint as the command-line program's, and memory
// that does not grow from call to call.
import assert from "node:assert/strict";
import { test } from "node:test";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

import { execFileSync } from "node:child_process";

import { programLines, programVoices, renderNative, ROOT, SITE } from "./native.mjs";

const { render, memoryBytes } = await import(pathToFileURL(join(SITE, "wav_instruments.js")));
const { LIMITS, REFUSALS, VOICES } = await import(pathToFileURL(join(SITE, "facts.js")));

const PHRASE = "C#4Bb3A5Eb2G#6F0D8bB";
const RATES = [8000, 8001, 11025, 22050, 44100, 48000, 96000, 192000];
// Note text one byte too long, and the fewest three-byte notes that are.
const TOO_LONG = "C".repeat(LIMITS.maxNoteTextBytes + 1);
const THREE_BYTE_NOTES = Math.ceil((LIMITS.maxNoteTextBytes + 1) / 3);

test("every voice gives the native library's bytes and report", async () => {
  assert.deepEqual(VOICES, programVoices());
  for (const [k, voice] of VOICES.entries()) {
    const rate = RATES[k % RATES.length];
    const notes = rate > 48000 ? "CB8" : PHRASE;
    const wasm = await render(voice, notes, rate);
    const native = renderNative(voice, notes, rate);
    assert.equal(wasm.code, 999, `${voice} at ${rate}`);
    assert.equal(wasm.refusal, "none");
    // A render into memory names no file: the placeholder stands for it.
    assert.match(wasm.report[0], /^Created <memory> with /);
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
    ["p".repeat(LIMITS.maxInstrumentNameBytes + 1), "C", 44100],
    ["flute", "C", LIMITS.minSampleRate - 1],
    ["flute", "C", LIMITS.maxSampleRate + 1],
    ["flute", "C", -5],
    ["flute", "C", 2147483647],
    ["piano", "CDX", 44100],
    ["piano", " C", 44100],
    ["piano", "C9", 44100],
    ["piano", "C##", 8000],
    ["piano", "Cé", 8000],
    ["piano", "CΩ", 8000],
    ["piano", TOO_LONG, 8000],
    ["piano", "C#4".repeat(THREE_BYTE_NOTES), 8000], // fewer notes than bytes allowed
  ];
  for (const [instrument, notes, rate] of refusals) {
    const wasm = await render(instrument, notes, rate);
    const native = renderNative(instrument, notes, rate);
    const label = `${instrument.slice(0, 10)} ${notes.slice(0, 10)} ${rate}`;
    assert.notEqual(native.code, 999, label);
    assert.equal(wasm.code, native.code, label);
    assert.deepEqual(wasm.report, native.report, label);
    assert.equal(wasm.wav, null, label);
    assert.equal(REFUSALS[wasm.refusal], wasm.code, `${label}: ${wasm.refusal}`);
  }
});

test("a bad note's hint is the program's; an unknown name gets suggestions", async () => {
  // What note text cannot say (rests, lengths, chords), H for B, and the
  // arguments swapped get hints of their own.
  const notesCases = ["cde", "C4 D4", "Cé", "C4,D4", "CX", "CDE R CDE", "RCDE", "C4/4", "C4:0.25"];
  for (const notes of [...notesCases, "[CEG]", "H4", "bell"]) {
    const wasm = await render("piano", notes, 8000);
    const [line, explained] = programLines("piano", notes, 8000);
    assert.equal(wasm.refusal, "invalid_note", notes);
    assert.equal(line, wasm.report[0], notes);
    assert.ok(wasm.hint.length > 0 && explained.endsWith(`; ${wasm.hint}`), explained);
  }
  const cases = [
    ["Piano", ["piano", "epiano"]],
    ["glock", ["glockenspiel"]],
    ["kazoo", []],
  ];
  cases.push(["sine", []], ["CDE", []]);
  for (const [name, suggestions] of cases) {
    const wasm = await render(name, "C", 8000);
    assert.deepEqual([wasm.refusal, wasm.suggestions], ["unknown_instrument", suggestions]);
    // The program's hint, with the package's place for the list of names.
    const explained = programLines(name, "C", 8000)[1];
    const list = "'wavinstruments --list' prints every name";
    assert.equal(wasm.hint, explained.replace(list, "VOICES holds every name"), name);
  }
});

test("a refusal's error is a RangeError in one line, as the program words its line", async () => {
  for (const [instrument, notes, rate] of [
    ["pia\tno", "C", 8000],
    ["pia\nno", "C", 8000],
    ["piano", "C\tD", 8000],
    ["piano", "C", 7999],
    ["piano", TOO_LONG, 8000],
  ]) {
    const wasm = await render(instrument, notes, rate);
    const line = programLines(instrument, notes, rate)[0].split(" (")[0];
    assert.ok(wasm.error instanceof RangeError, instrument);
    const hint = wasm.hint === undefined ? "" : ` (${wasm.hint})`;
    assert.equal(wasm.error.message, line.replace(/^Error: /, "") + hint, JSON.stringify(notes));
  }
  assert.equal((await render("piano", "C", 8000)).error, undefined);
});

test("a bad note's refusal says where it is and which character", async () => {
  const cases = [
    ["CDX", 2, "X"],
    [" C", 0, " "],
    ["Cé", 1, "é"],
    ["C#4\u{1D11E}", 3, "\u{1D11E}"],
    ["C\ud800D", 1, "\ud800"], // an unpaired surrogate: the caller's own, as in Python
  ];
  for (const [notes, position, character] of cases) {
    const wasm = await render("piano", notes, 8000);
    assert.equal(wasm.code, 1, notes);
    assert.deepEqual([wasm.position, wasm.character], [position, character], notes);
    assert.ok(notes.startsWith(wasm.character, wasm.position), notes);
    assert.ok(wasm.report[0].startsWith(`Error: Invalid note at position ${position}: `), notes);
  }
  // Other refusals, status 1 included, carry no place.
  for (const [instrument, notes, rate] of [
    ["piano", TOO_LONG, 8000],
    ["nope", "X", 8000],
  ]) {
    const wasm = await render(instrument, notes, rate);
    assert.ok(!("position" in wasm || "character" in wasm), instrument);
    assert.equal("hint" in wasm, wasm.refusal === "unknown_instrument", instrument);
  }
});

test("VOICES is the library's list, as the command-line program has it", () => {
  const listed = execFileSync(join(ROOT, "build", "default", "wavinstruments"), ["--list"], {
    encoding: "utf8",
  });
  assert.deepEqual(VOICES, listed.trimEnd().split("\n"));
  assert.ok(Object.isFrozen(VOICES));
});

test("a rate beyond 32 bits is refused as out of range, never wrapped", async () => {
  const cases = [
    ["piano", 4294975296, 2147483647], // 8000 + 2^32
    ["piano", Infinity, 2147483647],
    ["piano", -Infinity, -2147483648],
    ["nope", Infinity, 2147483647], // the name is checked first
  ];
  for (const [instrument, rate, clamped] of cases) {
    const wasm = await render(instrument, "C", rate);
    const native = renderNative(instrument, "C", clamped);
    assert.equal(wasm.code, native.code, `${instrument} ${rate}`);
    assert.deepEqual(wasm.report, native.report, `${instrument} ${rate}`);
    assert.equal(wasm.wav, null);
  }
  for (const rate of [44100.5, NaN, "44100", "Infinity", 44100n, null]) {
    await assert.rejects(render("piano", "C", rate), TypeError, String(rate));
  }
});

test("a string containing U+0000 is refused, not cut short", async () => {
  for (const [instrument, notes] of [
    ["piano\u0000junk", "CD"],
    ["piano", "C\u0000XYZ"],
    ["piano", `${"C".repeat(2000)}\u0000`],
  ]) {
    await assert.rejects(render(instrument, notes, 8000), RangeError);
  }
  await assert.rejects(render(7, "C", 8000), TypeError);
  await assert.rejects(render("piano", ["C"], 8000), TypeError);
});

test("an over-long argument gets the whole argument's refusal", async () => {
  const cut = LIMITS.maxNoteTextBytes + 2; // the units the module is given
  const cases = [
    ["piano", "C".repeat(cut + 1)],
    ["piano", `${"C".repeat(cut - 1)}\u{1D11E}C`], // a pair across the cut
    ["piano", "é".repeat(3000)],
    [`${"é".repeat(cut - 1)}\u{1F3B9}${"x".repeat(50)}`, "C"],
    [`${"p".repeat(cut - 1)}\ud800${"q".repeat(50)}`, "C"], // an unpaired surrogate at the cut
    [`a\nb${"x".repeat(2 * cut)}`, "C"],
  ];
  for (const [instrument, notes] of cases) {
    const wasm = await render(instrument, notes, 8000);
    const native = renderNative(instrument, notes, 8000);
    const label = `${instrument.length} ${notes.length}`;
    assert.notEqual(native.code, 999, label);
    assert.equal(wasm.code, native.code, label);
    assert.deepEqual(wasm.report, native.report, label);
  }
});

test("a huge argument does not grow the module's memory", async () => {
  await render("bell", PHRASE, 192000);
  const before = await memoryBytes();
  const huge = 50_000_000;
  const notes = await render("piano", "C".repeat(huge), 8000);
  assert.equal(notes.code, 1);
  assert.deepEqual(notes.report, [
    `Error: Note text must be shorter than ${LIMITS.maxNoteTextBytes + 1} bytes`,
  ]);
  assert.equal(notes.refusal, "note_text_too_long");
  const name = "p".repeat(huge);
  const instrument = await render(name, "C", 8000);
  assert.equal(instrument.code, 222);
  assert.equal(instrument.report.length, 1);
  assert.ok(instrument.report[0] === `Error: Unknown instrument '${name}'`);
  assert.equal(await memoryBytes(), before);
});

test("memory does not grow from call to call", async () => {
  await render("bell", PHRASE, 192000);
  const before = await memoryBytes();
  for (let k = 0; k < 5; k += 1) await render("bell", PHRASE, 192000);
  await render("piano", "CDX", 44100);
  assert.equal(await memoryBytes(), before);
  // A long file grows the memory to hold it; the next call starts afresh.
  const long = await render("bell", "C".repeat(400), 192000);
  assert.equal(long.wav.length, 44 + 400 * 96000 * 2);
  assert.equal(await memoryBytes(), before);
});
