// Draws a WAV's samples on a canvas: the envelope of the waveform (the lowest
// and highest sample under each pixel column) with a line where each note
// starts.

// The samples of a mono 16-bit WAV file as the library writes it (44-byte
// header).
export function samplesOf(wav) {
  const count = Math.floor((wav.byteLength - 44) / 2);
  return new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + 44 + count * 2));
}

export function drawWaveform(canvas, samples, samplesPerNote) {
  const scale = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * scale));
  const height = Math.max(1, Math.round(canvas.clientHeight * scale));
  canvas.width = width;
  canvas.height = height;
  const context = canvas.getContext("2d");
  const style = getComputedStyle(document.documentElement);
  context.clearRect(0, 0, width, height);
  if (samples.length === 0) return;

  const middle = height / 2;
  const perColumn = samples.length / width;
  context.fillStyle = style.getPropertyValue("--wave").trim() || "#2c5cc5";
  for (let x = 0; x < width; x += 1) {
    const start = Math.floor(x * perColumn);
    const end = Math.max(start + 1, Math.floor((x + 1) * perColumn));
    let low = 0;
    let high = 0;
    for (let k = start; k < end && k < samples.length; k += 1) {
      if (samples[k] < low) low = samples[k];
      if (samples[k] > high) high = samples[k];
    }
    const top = middle - (high / 32768) * middle;
    const bottom = middle - (low / 32768) * middle;
    context.fillRect(x, top, 1, Math.max(1, bottom - top));
  }

  context.strokeStyle = style.getPropertyValue("--marks").trim() || "#c7702a";
  context.lineWidth = Math.max(1, scale);
  context.setLineDash([4 * scale, 4 * scale]);
  context.beginPath();
  for (let at = samplesPerNote; samplesPerNote > 0 && at < samples.length; at += samplesPerNote) {
    const x = Math.round((at / samples.length) * width) + 0.5;
    context.moveTo(x, 0);
    context.lineTo(x, height);
  }
  context.stroke();
}
