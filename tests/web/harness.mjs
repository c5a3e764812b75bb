// Shared by the web tests: the rule for what cannot run here (skip with the
// reason, or fail when KIVANIME_NO_SKIP=1, as in CI), native programs run
// for their output, and the frame of a browser test: a static server for the
// built web folder on 127.0.0.1 and Debian's Chromium headless through
// puppeteer-core with a fresh profile.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const REPO = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const WEB_DIR = process.env.KIVANIME_WEB_DIR ?? path.join(REPO, 'build/wasm/web');
export const NATIVE_DIR = process.env.KIVANIME_NATIVE_DIR ?? path.join(REPO, 'build/dev');
const CHROMIUM = process.env.KIVANIME_CHROMIUM ?? '/usr/bin/chromium';
// The header's version (major, minor, patch), and as the library reports it.
export const VERSION = ['MAJOR', 'MINOR', 'PATCH'].map((p) =>
    Number(fs.readFileSync(path.join(REPO, 'include/kivanime.h'), 'utf8').match(new RegExp(`KIVANIME_VERSION_${p} (\\d+)`))[1]));
export const VERSION_NUMBER = VERSION[0] * 10000 + VERSION[1] * 100 + VERSION[2];

// Skips the test (or fails it under KIVANIME_NO_SKIP=1) when a file it needs
// is missing. Returns true when the test may go on.
export function need(t, needs) {
    const missing = Object.entries(needs).filter(([, p]) => !fs.existsSync(p));
    if (missing.length === 0) return true;
    const reason = `cannot run here: missing ${missing.map(([what, p]) => `${what} (${p})`).join(', ')}`;
    if (process.env.KIVANIME_NO_SKIP === '1') throw new Error(reason);
    t.skip(reason);
    return false;
}

// Runs a program from the top folder and returns its standard output (on a
// failure, both outputs say why: tsc, say, reports on the standard output).
export function run(program, args) {
    const result = spawnSync(program, args, { cwd: REPO, encoding: 'utf8', maxBuffer: 1 << 28 });
    if (result.status !== 0) throw new Error(`${program} failed (${result.status}): ${result.stderr}${result.stdout}`);
    return result.stdout;
}

// Lines `a` (the reference) and `b` must be the same; the message names the
// first that differs.
export function sameLines(a, b, what = (i) => `line ${i + 1}`) {
    const first = a.findIndex((line, i) => line !== b[i]);
    const i = first === -1 ? Math.min(a.length, b.length) : first;
    if (first !== -1 || a.length !== b.length) throw new Error(`first difference at ${what(i)}:\n expected: ${a[i]}\n actual:   ${b[i]}`);
}

// Per pixel of two RGBA pictures of one size, the largest difference of the
// premultiplied channels: the largest, the mean, and how many pixels differ by
// more than 24.
export function difference(a, b) {
    const premultiplied = (p, i, c) => (c === 3 ? p[i + 3] : Math.round((p[i + c] * p[i + 3]) / 255));
    const diff = { worst: 0, mean: 0, over: 0 };
    for (let i = 0; i < a.length; i += 4) {
        const d = Math.max(...[0, 1, 2, 3].map((c) => Math.abs(premultiplied(a, i, c) - premultiplied(b, i, c))));
        diff.worst = Math.max(diff.worst, d);
        diff.mean += d / (a.length / 4);
        diff.over += d > 24 ? 1 : 0;
    }
    return diff;
}

// Runs in the page: the size and RGBA pixels of PNGs (base64).
export function decodePngs(...pngs) {
    return Promise.all(pngs.map(async (b64) => {
        const blob = await (await fetch(`data:image/png;base64,${b64}`)).blob();
        const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
        const ctx = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
        ctx.drawImage(bitmap, 0, 0);
        return { size: `${bitmap.width}x${bitmap.height}`, pixels: Array.from(ctx.getImageData(0, 0, bitmap.width, bitmap.height).data) };
    }));
}

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css', '.json': 'application/json', '.wasm': 'application/wasm', '.png': 'image/png', '.svg': 'image/svg+xml' };

// Serves `root` on 127.0.0.1 on a free port. `/__blank.html` is an empty
// page for tests that only import modules (and the answer to the browser's
// favicon request, so that no missing file is logged).
async function serve(root) {
    const server = http.createServer((req, res) => {
        const pathname = decodeURIComponent(new URL(req.url ?? '/', 'http://x').pathname);
        if (pathname === '/__blank.html' || pathname === '/favicon.ico') return void res.writeHead(200, { 'content-type': 'text/html' }).end('<!doctype html><meta charset="utf-8"><body></body>');
        const file = path.join(root, path.normalize(pathname).replace(/^(\.\.[/\\])+/, ''), pathname.endsWith('/') ? 'index.html' : '');
        fs.readFile(file, (err, data) => {
            const type = `${TYPES[path.extname(file)] ?? 'application/octet-stream'}; charset=utf-8`;
            (err || !file.startsWith(root) ? res.writeHead(404) : res.writeHead(200, { 'content-type': type, 'cache-control': 'no-store' })).end(data);
        });
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(undefined)));
    return { url: `http://127.0.0.1:${server.address().port}`, close: () => new Promise((resolve) => server.close(resolve)) };
}

// Copies a folder of the repository (a test puppet) into a fresh folder of
// the served web folder, for one test file: its URL path, and a function
// that removes it.
export function serveCopy(dir) {
    const copy = fs.mkdtempSync(path.join(WEB_DIR, 'copy-'));
    fs.cpSync(path.join(REPO, dir), copy, { recursive: true });
    return { url: `/${path.basename(copy)}/`, remove: () => fs.rmSync(copy, { recursive: true, force: true }) };
}

// A new page on `url` that collects console errors and uncaught exceptions.
export async function openPage(browser, url) {
    const page = await browser.newPage();
    const errors = [];
    page.on('console', (msg) => msg.type() === 'error' && errors.push(msg.text()));
    page.on('pageerror', (err) => errors.push(String(err)));
    await page.goto(url, { waitUntil: 'load' });
    return { page, errors };
}

// The frame of a browser test: checks what it needs (skipping or failing as
// `need` does), serves the web folder (or `root`), starts Chromium with a
// fresh profile, runs `body` and stops both whatever happens.
export async function withBrowser(t, body, extraNeeds = {}, root = WEB_DIR) {
    const needs = { 'the web build (scripts/web.sh)': path.join(WEB_DIR, 'wasm/kivanime.wasm'), Chromium: CHROMIUM,
        'puppeteer-core (npm ci)': path.join(REPO, 'node_modules/puppeteer-core') };
    if (!need(t, { ...needs, ...extraNeeds })) return;
    const { default: puppeteer } = await import('puppeteer-core');
    const server = await serve(root);
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kivanime-chromium-'));
    try {
        // WebGL2 on the CPU (SwiftShader), since the GPU is off.
        const browser = await puppeteer.launch({ executablePath: CHROMIUM, headless: true, userDataDir: profile, protocolTimeout: 120000,
            args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', '--disable-component-update',
                '--disable-sync', '--disable-quic', '--enable-unsafe-swiftshader', '--use-angle=swiftshader'] });
        try {
            await body({ url: server.url, browser });
        } finally {
            await browser.close();
        }
    } finally {
        fs.rmSync(profile, { recursive: true, force: true });
        await server.close();
    }
}
