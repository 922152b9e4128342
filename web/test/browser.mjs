// Debian's Chromium through playwright-core (never a downloaded browser) and a
// plain static file server, shared by the tests that drive pages.
import { createServer } from "node:http";
import { mkdtempSync, rmSync } from "node:fs";
import { readFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { extname, join, normalize, sep } from "node:path";

import { chromium } from "playwright-core";

const CHROMIUM = process.env.TOLVIMO_CHROMIUM ?? "/usr/bin/chromium";
const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".mjs": "text/javascript",
  ".css": "text/css",
  ".svg": "image/svg+xml",
  ".wasm": "application/wasm",
};

// Chromium headless with a fresh profile, kept off every network service.
export async function launchChromium() {
  const profile = mkdtempSync(join(tmpdir(), "tolvimo-chromium-"));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: [
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
  const close = async () => {
    await context.close();
    rmSync(profile, { recursive: true, force: true });
  };
  return { context, close };
}

// Serves `folder` on a loopback port; resolves to { server, origin }.
export function serveFolder(folder) {
  return new Promise((resolve) => {
    const server = createServer(async (request, response) => {
      const path = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
      const file = normalize(join(folder, path.endsWith("/") ? `${path}index.html` : path));
      try {
        if (!file.startsWith(folder + sep)) throw new Error("outside the folder");
        const body = await readFile(file);
        response.writeHead(200, {
          "content-type": TYPES[extname(file)] ?? "application/octet-stream",
        });
        response.end(body);
      } catch {
        response.writeHead(404).end();
      }
    });
    server.listen(0, "127.0.0.1", () =>
      resolve({ server, origin: `http://127.0.0.1:${server.address().port}` }),
    );
  });
}
