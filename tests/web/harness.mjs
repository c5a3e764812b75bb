// Shared by the browser tests: a static server for the built web folder on
// 127.0.0.1, Debian's Chromium headless through puppeteer-core with a fresh
// profile, and the rule for what cannot run here (skip with the reason, or
// fail when KIVANIME_NO_SKIP=1, as in CI).
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const REPO = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const WEB_DIR = process.env.KIVANIME_WEB_DIR ?? path.join(REPO, 'build/wasm/web');
export const NATIVE_DIR = process.env.KIVANIME_NATIVE_DIR ?? path.join(REPO, 'build/dev');
export const CHROMIUM = process.env.KIVANIME_CHROMIUM ?? '/usr/bin/chromium';

/**
 * Skips the test (or fails it under KIVANIME_NO_SKIP=1) when something it
 * needs is missing. Returns true when the test may go on.
 * @param {import('node:test').TestContext} t
 * @param {{what: string, path: string}[]} needs
 */
export function need(t, needs) {
    const missing = needs.filter((n) => !fs.existsSync(n.path)).map((n) => `${n.what} (${n.path})`);
    if (missing.length === 0) {
        return true;
    }
    const reason = `cannot run here: missing ${missing.join(', ')}`;
    if (process.env.KIVANIME_NO_SKIP === '1') {
        throw new Error(reason);
    }
    t.skip(reason);
    return false;
}

/** What a browser test needs: the built folder and Chromium. */
export const BROWSER_NEEDS = [
    { what: 'the web build (scripts/web.sh)', path: path.join(WEB_DIR, 'wasm/kivanime.wasm') },
    { what: 'Chromium', path: CHROMIUM },
    { what: 'puppeteer-core (npm ci)', path: path.join(REPO, 'node_modules/puppeteer-core') },
];

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.json': 'application/json',
    '.wasm': 'application/wasm',
    '.png': 'image/png',
    '.svg': 'image/svg+xml',
};

/**
 * Serves `root` on 127.0.0.1 on a free port. `/__blank.html` is an empty
 * page for tests that only import modules.
 * @param {string} root
 * @returns {Promise<{url: string, close: () => Promise<void>}>}
 */
export async function serve(root) {
    const server = http.createServer((req, res) => {
        const pathname = decodeURIComponent(new URL(req.url ?? '/', 'http://x').pathname);
        if (pathname === '/favicon.ico') {
            res.writeHead(204).end();
            return;
        }
        if (pathname === '/__blank.html') {
            res.writeHead(200, { 'content-type': TYPES['.html'] });
            res.end('<!doctype html><meta charset="utf-8"><title>test</title><body></body>');
            return;
        }
        let file = path.join(root, path.normalize(pathname).replace(/^(\.\.[/\\])+/, ''));
        if (!file.startsWith(root)) {
            res.writeHead(403).end();
            return;
        }
        if (fs.existsSync(file) && fs.statSync(file).isDirectory()) {
            file = path.join(file, 'index.html');
        }
        fs.readFile(file, (err, data) => {
            if (err) {
                res.writeHead(404, { 'content-type': 'text/plain' }).end('not found');
                return;
            }
            res.writeHead(200, {
                'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream',
                'cache-control': 'no-store',
            });
            res.end(req.method === 'HEAD' ? undefined : data);
        });
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(undefined)));
    const { port } = /** @type {import('node:net').AddressInfo} */ (server.address());
    return {
        url: `http://127.0.0.1:${port}`,
        close: () => new Promise((resolve) => server.close(() => resolve(undefined))),
    };
}

/**
 * Starts headless Chromium with a fresh profile; `close` stops it and
 * removes the profile.
 */
export async function launch() {
    const { default: puppeteer } = await import('puppeteer-core');
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kivanime-chromium-'));
    const browser = await puppeteer.launch({
        executablePath: CHROMIUM,
        headless: true,
        userDataDir: profile,
        protocolTimeout: 120000,
        args: [
            '--headless',
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            // WebGL2 on the CPU (SwiftShader), since the GPU is off.
            '--enable-unsafe-swiftshader',
            '--use-angle=swiftshader',
        ],
    });
    return {
        browser,
        close: async () => {
            await browser.close();
            fs.rmSync(profile, { recursive: true, force: true });
        },
    };
}

/**
 * A new page on `url` that collects console errors and uncaught exceptions.
 * @param {import('puppeteer-core').Browser} browser
 * @param {string} url
 */
export async function openPage(browser, url) {
    const page = await browser.newPage();
    /** @type {string[]} */
    const errors = [];
    page.on('console', (msg) => {
        if (msg.type() === 'error') {
            errors.push(msg.text());
        }
    });
    page.on('pageerror', (err) => errors.push(String(err)));
    await page.goto(url, { waitUntil: 'load' });
    return { page, errors };
}

/**
 * Runs a native program and returns its standard output.
 * @param {string} program
 * @param {string[]} args
 */
export function run(program, args) {
    const result = spawnSync(program, args, { cwd: REPO, encoding: 'utf8', maxBuffer: 1 << 28 });
    if (result.status !== 0) {
        throw new Error(`${program} failed (${result.status}): ${result.stderr}`);
    }
    return result.stdout;
}

/**
 * The usual frame of a browser test: checks what it needs (skipping or
 * failing as `need` does), serves the web folder, starts Chromium, runs
 * `body` and stops both whatever happens.
 * @param {import('node:test').TestContext} t
 * @param {(env: {url: string, browser: import('puppeteer-core').Browser}) => Promise<void>} body
 * @param {{what: string, path: string}[]} [extraNeeds]
 */
export async function withBrowser(t, body, extraNeeds = []) {
    if (!need(t, [...BROWSER_NEEDS, ...extraNeeds])) {
        return;
    }
    const server = await serve(WEB_DIR);
    try {
        const chromium = await launch();
        try {
            await body({ url: server.url, browser: chromium.browser });
        } finally {
            await chromium.close();
        }
    } finally {
        await server.close();
    }
}
