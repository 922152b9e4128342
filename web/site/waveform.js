// The waveform: the worker reduces the samples to an envelope (the lowest and
// highest sample in each of a fixed number of columns), and the page draws
// that envelope with lines where notes start, however long the file.

const COLUMNS = 4096; // more than any canvas is wide, in device pixels
const MARK_GAP = 12; // CSS pixels: marks closer than this are thinned

// Lowest and highest sample of each column, scaled to -1..1, as
// [low0, high0, low1, high1, ...]; at most one column per sample.
export function envelopeOf(samples) {
  const columns = Math.min(COLUMNS, samples.length);
  const envelope = new Float32Array(columns * 2);
  for (let c = 0; c < columns; c += 1) {
    const start = Math.floor((c * samples.length) / columns);
    const end = Math.floor(((c + 1) * samples.length) / columns);
    let low = 0;
    let high = 0;
    for (let k = start; k < end; k += 1) {
      if (samples[k] < low) low = samples[k];
      else if (samples[k] > high) high = samples[k];
    }
    envelope[2 * c] = low / 32768;
    envelope[2 * c + 1] = high / 32768;
  }
  return envelope;
}

// The largest magnitude in `envelope`, as a fraction of full scale (0..1).
export function peakOf(envelope) {
  let peak = 0;
  for (const value of envelope) peak = Math.max(peak, Math.abs(value));
  return peak;
}

// The peak in decibels relative to full scale, rounded to whole decibels, as
// the page shows it ("-18 dBFS"); null for a silent file.
export function peakDecibels(peak) {
  return peak > 0 ? Math.round(20 * Math.log10(peak)) : null;
}

// Every how many notes a mark is drawn so that marks stay `gap` pixels apart:
// 1 while notes are wide enough, then every 2nd, 5th, 10th, 20th, 50th...
export function markEvery(notes, width, gap) {
  const perNote = width / Math.max(1, notes);
  for (let step = 1; ; step *= 10) {
    for (const every of [step, 2 * step, 5 * step]) {
      if (every * perNote >= gap || every >= notes) return every;
    }
  }
}

// Draws `envelope` across the canvas, scaled so that its peak fills the
// height (the voices peak at a tenth to a third of full scale, which would
// look flat), and a dashed line where every markEvery-th note starts;
// returns how many lines and their step.
export function drawWaveform(canvas, envelope, notes) {
  const scale = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * scale));
  const height = Math.max(1, Math.round(canvas.clientHeight * scale));
  canvas.width = width;
  canvas.height = height;
  const context = canvas.getContext("2d");
  const style = getComputedStyle(document.documentElement);
  context.clearRect(0, 0, width, height);
  const columns = envelope.length / 2;
  if (columns === 0) return { marks: 0, every: 1 };

  const middle = height / 2;
  const peak = peakOf(envelope);
  const gain = peak > 0 ? middle / peak : 0;
  context.fillStyle = style.getPropertyValue("--wave").trim() || "#2c5cc5";
  for (let x = 0; x < width; x += 1) {
    const first = Math.floor((x * columns) / width);
    const last = Math.max(first + 1, Math.floor(((x + 1) * columns) / width));
    let low = 0;
    let high = 0;
    for (let c = first; c < last; c += 1) {
      low = Math.min(low, envelope[2 * c]);
      high = Math.max(high, envelope[2 * c + 1]);
    }
    const top = middle - high * gain;
    context.fillRect(x, top, 1, Math.max(1, (high - low) * gain));
  }

  const every = markEvery(notes, width, MARK_GAP * scale);
  context.strokeStyle = style.getPropertyValue("--marks").trim() || "#c7702a";
  context.lineWidth = Math.max(1, scale);
  context.setLineDash([4 * scale, 4 * scale]);
  context.beginPath();
  let marks = 0;
  for (let note = every; note < notes; note += every) {
    const x = Math.round((note / notes) * width) + 0.5;
    context.moveTo(x, 0);
    context.lineTo(x, height);
    marks += 1;
  }
  context.stroke();
  return { marks, every };
}
