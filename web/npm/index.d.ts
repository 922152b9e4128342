// Types of tolvimo-wav-instruments: the TolvimoWAVInstruments library,
// compiled to WebAssembly, behind one function.

/** The library's status when the file was written. */
export declare const STATUS_CREATED: 999;

/** The file was written: `wav` holds its bytes. */
export interface Rendered {
  code: 999;
  /** The library's report: "Created ...", "Duration: ...", "Instrument: ...". */
  report: string[];
  /** The WAV file: RIFF, mono, 16-bit PCM. */
  wav: Uint8Array;
}

/**
 * The library refused the request: 222 unknown instrument, 333 sample rate
 * outside 8000 to 192000 Hz, 1 a character starts no note or the note text is
 * 1000 bytes or longer.
 */
export interface Refused {
  code: 222 | 333 | 1;
  /** The library's one line, starting "Error: ". */
  report: string[];
  wav: null;
}

export type RenderResult = Rendered | Refused;

/**
 * Renders `notes` (such as "CDEFG" or "C#4Bb3") with `instrument` (such as
 * "piano") at `sampleRate` Hz; every note lasts half a second.
 *
 * A rate beyond 32 bits, Infinity included, is refused as out of range (333).
 *
 * @throws {TypeError} when `instrument` or `notes` is not a string, or
 *   `sampleRate` is neither an integer nor infinite.
 * @throws {RangeError} when `instrument` or `notes` contains U+0000, which the
 *   library's strings cannot carry.
 */
export declare function render(
  instrument: string,
  notes: string,
  sampleRate: number,
): Promise<RenderResult>;

/** Bytes of the module's memory (it grows for a longer request than any before). */
export declare function memoryBytes(): Promise<number>;
