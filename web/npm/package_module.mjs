// Lays the compiled module out for the npm package:
//   node package_module.mjs SITE_DIR NPM_DIR
// wasm_inline.js carries the .wasm's bytes in base64 for the browser entry,
// and the loader's own `new URL("wasm_module.wasm", import.meta.url)`, which
// the wrappers never use (they hand it the bytes), is taken out: a bundler
// would otherwise copy the .wasm into every browser build.
import { copyFileSync, readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";

const [site, npm] = process.argv.slice(2);
const base64 = readFileSync(join(site, "wasm_module.wasm")).toString("base64");
writeFileSync(
  join(npm, "wasm_inline.js"),
  `// The library's WebAssembly module (wasm_module.wasm), in base64.\nexport const WASM_BASE64 =\n  "${base64}";\n`,
);

// Debian 12's emscripten writes `.toString()` after it, Debian 13's `.href`.
const loader = readFileSync(join(site, "wasm_module.mjs"), "utf8");
const located = /new URL\("wasm_module\.wasm",import\.meta\.url\)\.(?:toString\(\)|href)/g;
const found = loader.match(located)?.length ?? 0;
if (found !== 1) {
  console.error(`package_module: ${found} of ${located} in wasm_module.mjs, not 1`);
  process.exit(1);
}
writeFileSync(join(npm, "wasm_module.mjs"), loader.replace(located, '"wasm_module.wasm"'));
copyFileSync(join(site, "wasm_module.wasm"), join(npm, "wasm_module.wasm"));
