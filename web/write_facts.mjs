// Writes the library's facts for JavaScript from the catalogue that the
// build's emit_catalogue prints from the C++ tables:
//   node write_facts.mjs CATALOGUE FACTS_JS [TYPES_IN TYPES_OUT]
// FACTS_JS is an ES module with VOICES, LIMITS and STATUS; TYPES_OUT is
// TYPES_IN with %VOICE_NAMES% and %STATUS_CREATED% filled in.
import { readFileSync, writeFileSync } from "node:fs";

const [catalogueFile, factsFile, typesIn, typesOut] = process.argv.slice(2);
const catalogue = JSON.parse(readFileSync(catalogueFile, "utf8"));
const names = catalogue.voices.map((voice) => voice.name);
const json = (value) => JSON.stringify(value, null, 2);

writeFileSync(
  factsFile,
  "// The library's facts, written by write_facts.mjs from its catalogue; do not edit.\n" +
    `export const VOICES = Object.freeze(${json(names)});\n` +
    `export const LIMITS = Object.freeze(${json(catalogue.limits)});\n` +
    `export const STATUS = Object.freeze(${json(catalogue.statuses)});\n`,
);
if (typesIn) {
  const voiceNames = names.map((name) => `  "${name}",\n`).join("");
  const types = readFileSync(typesIn, "utf8")
    .replace("%VOICE_NAMES%\n", voiceNames)
    .replaceAll("%STATUS_CREATED%", String(catalogue.statuses.created));
  writeFileSync(typesOut, types);
}
