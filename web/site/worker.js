// Renders off the page's thread, so the page stays responsive however long a
// request takes. One message in, one message out, in order.
import { render } from "./wav_instruments.js";

self.onmessage = async (event) => {
  const { id, instrument, notes, sampleRate } = event.data;
  try {
    const { code, report, wav } = await render(instrument, notes, sampleRate);
    self.postMessage({ id, code, report, wav }, wav ? [wav.buffer] : []);
  } catch (error) {
    self.postMessage({ id, error: String(error) });
  }
};
