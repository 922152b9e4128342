// The playground page: sends each request to the worker and shows what came
// back. The library decides what is valid; the page says it in plain words,
// with the library's own line beneath; it tells refusals apart by their kind,
// never by the line's words, and takes its limits from the library's facts.
// The worker hands over the file as a Blob and the waveform as a small
// envelope, so nothing heavy runs here.
import { LIMITS, STATUS, VOICES } from "./facts.js";
import { drawWaveform, peakDecibels, peakOf } from "./waveform.js";
import { describe, fileName, sizeText } from "./wording.js";

const EXAMPLES = [
  { label: "Piano scale", instrument: "piano", notes: "CDEFGAB", rate: "44100" },
  { label: "Violin melody", instrument: "violin", notes: "E5D5C5D5E5E5E5", rate: "44100" },
  { label: "Bell chimes", instrument: "bell", notes: "C5G4A4E4F4C4F4G4", rate: "48000" },
  { label: "Bass line", instrument: "bass", notes: "C2C2G2G2A2A2G2", rate: "22050" },
  { label: "Drum roll", instrument: "drum", notes: "C2C2C2C2G1G1", rate: "8000" },
  { label: "Refused: lower case", instrument: "oboe", notes: "CDe", rate: "44100" },
];

const $ = (id) => document.getElementById(id);
const form = $("request");
const instrument = $("instrument");
const notes = $("notes");
const notesProblem = $("notes-problem");
const hint = $("hint");
const rate = $("rate");
const button = $("render");
const status = $("status");
const result = $("result");
const report = $("report");
const output = $("output");
const player = $("player");
const download = $("download");
const waveform = $("waveform");
const waveformScale = $("waveform-scale");

const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
let latest = null; // the request whose answer the page is waiting for
let objectUrl = null;
let shown = null; // the envelope on show, redrawn when the page resizes

for (const name of VOICES) instrument.add(new Option(name, name));
// The help text's figures: the limits as the library has them.
for (const figure of document.querySelectorAll("[data-limit]")) {
  figure.textContent = String(LIMITS[figure.dataset.limit]);
}

for (const example of EXAMPLES) {
  const load = document.createElement("button");
  load.type = "button";
  load.textContent = example.label;
  load.addEventListener("click", () => {
    instrument.value = example.instrument;
    notes.value = example.notes;
    rate.value = example.rate;
    form.requestSubmit();
  });
  $("examples").append(load);
}

// The rate as typed, when it is a signed whole number of any size (render
// clamps one beyond 32 bits, so the library refuses it as out of range);
// anything else is not a number the library could take.
function parseRate(text) {
  return /^\s*[+-]?\d+\s*$/.test(text) ? Number(text) : null;
}

function markInvalid(field, problem) {
  field.setAttribute("aria-invalid", "true");
  if (problem) problem.hidden = false;
}

function clearAnswer() {
  result.hidden = true; // no empty boxes while the next answer is on its way
  for (const field of [notes, rate]) field.removeAttribute("aria-invalid");
  notesProblem.hidden = true;
  notesProblem.replaceChildren();
  hint.hidden = true;
  hint.textContent = "";
  output.hidden = true;
  waveform.hidden = true;
  waveformScale.hidden = true;
  player.removeAttribute("src");
  player.load();
  download.removeAttribute("href");
  if (objectUrl) URL.revokeObjectURL(objectUrl);
  objectUrl = null;
  shown = null;
  report.textContent = "";
  report.classList.remove("refused");
}

// The plain words in the status, the library's lines beneath.
function finish(code, words, lines) {
  status.classList.remove("busy");
  status.dataset.code = String(code);
  status.textContent = words;
  report.textContent = lines.join("\n");
  report.classList.toggle("refused", code !== STATUS.created);
  result.hidden = false;
  button.disabled = false;
}

// The offending character, shown in the notes it was typed in, and the
// library's hint on what to write instead beneath the status, where it moves
// no control whatever its length.
function showBadNote(text, { position, character, hint: words }) {
  const before = text.slice(Math.max(0, position - 12), position);
  const after = text.slice(position + character.length, position + character.length + 12);
  const mark = document.createElement("mark");
  mark.textContent = character === " " ? "␣" : character;
  const excerpt = document.createElement("code");
  excerpt.append(before, mark, after);
  notesProblem.replaceChildren(
    `Not a note: ${describe(character)}, at character ${position + 1}: `,
    excerpt,
  );
  hint.textContent = `Hint: ${words}.`;
  hint.hidden = false;
  markInvalid(notes, notesProblem);
}

function showFile(answer, request) {
  const name = fileName(request.instrument, request.notes);
  objectUrl = URL.createObjectURL(answer.file);
  download.href = objectUrl;
  download.download = name;
  download.textContent = `Download ${name} (${sizeText(answer.bytes)})`;
  output.hidden = false;
  if (answer.samples === 0) return;
  player.src = objectUrl;
  // The click on Render (or an example) is the gesture that lets it play.
  player.play().catch(() => {});
  shown = { envelope: answer.envelope, notes: noteCount(answer.samples, request.sampleRate) };
  waveform.hidden = false;
  const decibels = peakDecibels(peakOf(answer.envelope));
  waveformScale.textContent =
    decibels === null
      ? "The file is silent."
      : `Drawn to the file's peak, ${decibels.toString().replace("-", "−")} dBFS.`;
  waveformScale.hidden = false;
  redraw();
}

function redraw() {
  if (!shown) return;
  const { marks, every } = drawWaveform(waveform, shown.envelope, shown.notes);
  waveform.dataset.marks = String(marks);
  // every is 1, 2, 5, 10, 20, 50...: only 2 is not an "-th".
  const which =
    every === 1
      ? "each note starts"
      : every === 2
        ? "every other note starts"
        : `every ${every}th note starts`;
  waveform.setAttribute(
    "aria-label",
    `Waveform of ${shown.notes} notes, drawn to the file's peak; dashed lines mark where ${which}`,
  );
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  delete status.dataset.code;
  clearAnswer();
  const sampleRate = parseRate(rate.value);
  if (sampleRate === null) {
    status.classList.remove("busy");
    status.textContent = "The sample rate must be a whole number of Hz, such as 44100.";
    markInvalid(rate);
    return;
  }
  latest = {
    id: (latest?.id ?? 0) + 1,
    instrument: instrument.value,
    notes: notes.value,
    sampleRate,
  };
  status.classList.add("busy");
  status.textContent = "Rendering…";
  button.disabled = true;
  worker.postMessage({
    id: latest.id,
    instrument: latest.instrument,
    notes: latest.notes,
    sampleRate,
  });
});

notes.addEventListener("input", () => {
  notes.removeAttribute("aria-invalid");
  notesProblem.hidden = true;
  notesProblem.replaceChildren(); // a hidden description is still read out
  hint.textContent = "";
});
rate.addEventListener("input", () => rate.removeAttribute("aria-invalid"));

worker.addEventListener("message", (event) => {
  const answer = event.data;
  if (answer.id !== latest?.id) return;
  if (answer.error) {
    finish("error", "The library could not be loaded or run. Render again to retry.", [
      answer.error,
    ]);
    return;
  }
  const { code, report: lines } = answer;
  if (answer.refusal === "none") showFile(answer, latest);
  if (answer.refusal === "invalid_note") showBadNote(latest.notes, answer);
  if (answer.refusal === "bad_sample_rate") markInvalid(rate);
  finish(code, statusWords(answer, latest), lines);
});

// Every note lasts as long: floor(rate x its seconds) samples.
function noteCount(samples, sampleRate) {
  return Math.round(samples / Math.floor(sampleRate * LIMITS.noteSeconds));
}

// "a", "a or b", "a, b or c".
function either(names) {
  const quoted = names.map((name) => `“${name}”`);
  if (quoted.length < 2) return quoted.join("");
  return `${quoted.slice(0, -1).join(", ")} or ${quoted.at(-1)}`;
}

function seconds(samples, sampleRate) {
  const value = Number((samples / sampleRate).toFixed(2));
  return value === 1 ? "1 second" : `${value} seconds`;
}

// What the answer means, in plain words, by the kind of refusal.
function statusWords(answer, request) {
  switch (answer.refusal) {
    case "none":
      if (answer.samples === 0) {
        return "No notes, so the file has no samples: it is only the 44-byte WAV header.";
      }
      return (
        `Rendered ${noteCount(answer.samples, request.sampleRate)} notes with the ` +
        `${request.instrument}: ${seconds(answer.samples, request.sampleRate)} at ` +
        `${request.sampleRate} Hz.`
      );
    case "unknown_instrument": {
      const missing = `There is no voice called ${describe(request.instrument)}.`;
      return answer.suggestions.length > 0
        ? `${missing} Did you mean ${either(answer.suggestions)}?`
        : missing;
    }
    case "bad_sample_rate":
      return (
        `The sample rate must be between ${LIMITS.minSampleRate} and ` +
        `${LIMITS.maxSampleRate} Hz.`
      );
    case "invalid_note": {
      const where = `character ${answer.position + 1}`;
      return `Not rendered: ${describe(answer.character)} at ${where} does not start a note.`;
    }
    case "note_text_too_long": {
      const bytes = new TextEncoder().encode(request.notes).length;
      return (
        `Not rendered: the notes are ${bytes} bytes long; the library takes at most ` +
        `${LIMITS.maxNoteTextBytes} (a note is 1 to 4 bytes, such as C or C#4b).`
      );
    }
    case "out_of_memory":
      return "Not rendered: there is not enough memory for a file this long.";
    default:
      return "Not rendered: the library refused the request.";
  }
}

new ResizeObserver(redraw).observe(waveform);
