// The playground page: sends each request to the worker and shows what the
// library said and made. The library decides what is valid; the page only
// shows its status and its own lines.
import { VOICES } from "./voices.js";
import { drawWaveform, samplesOf } from "./waveform.js";

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
const rate = $("rate");
const button = $("render");
const status = $("status");
const report = $("report");
const output = $("output");
const player = $("player");
const download = $("download");
const waveform = $("waveform");

const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
let latest = null; // the request whose answer the page is waiting for
let objectUrl = null;
let shown = null; // the last rendered samples, redrawn when the page resizes

for (const name of VOICES) instrument.add(new Option(name, name));

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

function clearOutput() {
  output.hidden = true;
  player.removeAttribute("src");
  player.load();
  download.removeAttribute("href");
  if (objectUrl) URL.revokeObjectURL(objectUrl);
  objectUrl = null;
  shown = null;
  waveform.getContext("2d").clearRect(0, 0, waveform.width, waveform.height);
}

function finish(code, lines) {
  status.classList.remove("busy");
  status.dataset.code = String(code);
  status.textContent = code === 999 ? "Rendered" : `Refused (status ${code})`;
  report.textContent = lines.join("\n");
  report.classList.toggle("refused", code !== 999);
  button.disabled = false;
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  delete status.dataset.code;
  clearOutput();
  const sampleRate = parseRate(rate.value);
  if (sampleRate === null) {
    status.classList.remove("busy");
    status.textContent = "The sample rate must be a whole number of Hz";
    report.textContent = "";
    return;
  }
  latest = { id: (latest?.id ?? 0) + 1, instrument: instrument.value, sampleRate };
  status.classList.add("busy");
  status.textContent = "Rendering…";
  report.textContent = "";
  button.disabled = true;
  worker.postMessage({ id: latest.id, instrument: latest.instrument, notes: notes.value, sampleRate });
});

worker.addEventListener("message", (event) => {
  const { id, code, report: lines, wav, error } = event.data;
  if (id !== latest?.id) return;
  if (error) {
    finish("error", [error]);
    return;
  }
  if (wav) {
    const name = `${latest.instrument}.wav`;
    objectUrl = URL.createObjectURL(new Blob([wav], { type: "audio/wav" }));
    player.src = objectUrl;
    download.href = objectUrl;
    download.download = name;
    download.textContent = `Download ${name} (${(wav.byteLength / 1024).toFixed(0)} KiB)`;
    output.hidden = false;
    shown = { samples: samplesOf(wav), perNote: Math.floor(latest.sampleRate * 0.5) };
    drawWaveform(waveform, shown.samples, shown.perNote);
  }
  finish(code, lines);
});

new ResizeObserver(() => {
  if (shown) drawWaveform(waveform, shown.samples, shown.perNote);
}).observe(waveform);
