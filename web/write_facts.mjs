// Writes the library's facts for JavaScript from the catalogue that the
// build's emit_catalogue prints from the C++ tables:
//   node write_facts.mjs CATALOGUE FACTS_JS [TYPES_IN TYPES_OUT]
// FACTS_JS is an ES module with VOICES, LIMITS, STATUS and REFUSALS (each
// kind of refusal with its status); TYPES_OUT is TYPES_IN with its
// %PLACEHOLDERS% filled in from the same facts, %EXAMPLE:kind% with the
// library's lines for a request of that kind.
import { readFileSync, writeFileSync } from "node:fs";

const [catalogueFile, factsFile, typesIn, typesOut] = process.argv.slice(2);
const catalogue = JSON.parse(readFileSync(catalogueFile, "utf8"));
const names = catalogue.voices.map((voice) => voice.name);
const refusals = Object.fromEntries(catalogue.refusals.map(({ kind, status }) => [kind, status]));
const json = (value) => JSON.stringify(value, null, 2);

writeFileSync(
  factsFile,
  "// The library's facts, written by write_facts.mjs from its catalogue; do not edit.\n" +
    `export const VOICES = Object.freeze(${json(names)});\n` +
    `export const LIMITS = Object.freeze(${json(catalogue.limits)});\n` +
    `export const STATUS = Object.freeze(${json(catalogue.statuses)});\n` +
    `export const REFUSALS = Object.freeze(${json(refusals)});\n`,
);
if (typesIn) {
  const { limits, statuses } = catalogue;
  // The kinds a refused request of each status can have.
  const kindsOf = (status, except = "none") =>
    catalogue.refusals
      .filter((row) => row.status === status && row.kind !== "none" && row.kind !== except)
      .map((row) => `"${row.kind}"`)
      .join(" | ");
  const filled = {
    VOICE_NAMES: names.map((name) => `  "${name}",\n`).join(""),
    VOICE_COUNT: String(names.length),
    STATUS_CREATED: String(statuses.created),
    STATUS_UNKNOWN_INSTRUMENT: String(statuses.unknownInstrument),
    STATUS_BAD_SAMPLE_RATE: String(statuses.badSampleRate),
    STATUS_FAILED: String(statuses.failed),
    FAILED_KINDS: kindsOf(statuses.failed),
    FAILED_KINDS_BUT_BAD_NOTE: kindsOf(statuses.failed, "invalid_note"),
    REFUSAL_TABLE: catalogue.refusals
      .map(({ kind, status }) => `  readonly ${kind}: ${status};\n`)
      .join(""),
    MIN_SAMPLE_RATE: String(limits.minSampleRate),
    MAX_SAMPLE_RATE: String(limits.maxSampleRate),
    MAX_NOTE_TEXT_BYTES: String(limits.maxNoteTextBytes),
  };
  let types = readFileSync(typesIn, "utf8").replace("%VOICE_NAMES%\n", filled.VOICE_NAMES);
  types = types.replace("%REFUSAL_TABLE%\n", filled.REFUSAL_TABLE);
  // %EXAMPLE:kind%: the catalogue's example of that kind's lines, quoted.
  for (const { kind, example } of catalogue.refusals) {
    filled[`EXAMPLE:${kind}`] = example
      .trimEnd()
      .split("\n")
      .map((line) => JSON.stringify(line))
      .join(", ");
  }
  types = types.replace(/%([A-Z_]+(?::[a-z_]+)?)%/g, (whole, name) => {
    if (!(name in filled)) throw new Error(`write_facts: no fact for ${whole}`);
    return filled[name];
  });
  writeFileSync(typesOut, types);
}
