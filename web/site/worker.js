// Renders off the page's thread and prepares all that the page shows, so the
// page stays responsive however large the file: the file as a Blob (handed
// over without copying) and the waveform's envelope, a fixed number of
// columns whatever the length. One message in, one message out, in order.
import { render } from "./wav_instruments.js";
import { envelopeOf } from "./waveform.js";

const HEADER_BYTES = 44; // the library writes a plain 44-byte RIFF header

self.onmessage = async (event) => {
  const { id, instrument, notes, sampleRate } = event.data;
  try {
    const result = await render(instrument, notes, sampleRate);
    const { wav, ...answer } = result;
    // A refusal's RangeError stays here: the page words refusals itself, and
    // an answer's `error` there means the module could not run.
    delete answer.error;
    if (wav) {
      answer.file = new Blob([wav], { type: "audio/wav" });
      answer.bytes = wav.byteLength;
      const samples = new Int16Array(
        wav.buffer,
        wav.byteOffset + HEADER_BYTES,
        (wav.byteLength - HEADER_BYTES) >> 1,
      );
      answer.samples = samples.length;
      answer.envelope = envelopeOf(samples);
    }
    self.postMessage({ id, ...answer }, answer.envelope ? [answer.envelope.buffer] : []);
  } catch (error) {
    self.postMessage({ id, error: String(error) });
  }
};
