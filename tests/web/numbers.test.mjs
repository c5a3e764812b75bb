// The WebAssembly build reads numbers with another C++ library (no
// floating-point from_chars there): every text must give the same bits and
// the same length read as the native build, for hand-picked hard cases, many
// generated ones and every number in the JSON test corpus (tests/data).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import { NATIVE_DIR, REPO, need, run, sameLines } from './harness.mjs';

const WASM_PROBE = path.join(REPO, 'build/wasm/tests/web/kivanime_number_probe.cjs');
const NATIVE_PROBE = path.join(NATIVE_DIR, 'tests/web/kivanime_number_probe');
const CORPUS = path.join(REPO, 'tests/data/json-test-suite');

// Hand-picked hard cases, one per line.
const HARD = fs.readFileSync(path.join(REPO, 'tests/web/numbers.txt'), 'utf8').split('\n').filter((l) => l && !l.startsWith('#'));

// Generated texts in many shapes, the same on every run.
function generated(count) {
    let seed = 12345;
    const rand = (n) => ((seed = (seed * 1103515245 + 12345) >>> 0) >>> 8) % n;
    const digits = (n, set = '0123456789') => Array.from({ length: n }, () => set[rand(set.length)]).join('');
    const hex = (n) => digits(n, '0123456789abcdef');
    const sign = () => ['', '-', '+'][rand(3)];
    return Array.from({ length: count }, () =>
        rand(5) === 0
            ? `${sign()}0x${hex(1 + rand(18))}${rand(2) ? '.' + hex(rand(16)) : ''}p${rand(2) ? '-' : ''}${rand(1100)}`
            : `${sign()}${digits(1 + rand(20))}${rand(2) ? '.' + digits(rand(25)) : ''}${rand(3) ? `e${sign()}${rand(360)}` : ''}`,
    );
}

// Every number-looking text in the JSON files under `dir`.
const numbersIn = (dir) =>
    fs.readdirSync(dir, { recursive: true }).map((entry) => path.join(dir, String(entry)))
        .filter((file) => file.endsWith('.json') && fs.statSync(file).isFile())
        .flatMap((file) => fs.readFileSync(file, 'latin1').match(/-?[0-9][0-9.eE+-]*/g) ?? []);

test('numbers read the same to the bit in WebAssembly and natively', async (t) => {
    if (!need(t, { 'the WebAssembly number probe (scripts/web.sh)': WASM_PROBE, 'the native number probe (cmake --preset dev)': NATIVE_PROBE })) return;
    const cases = [...HARD, ...generated(20000), ...numbersIn(path.join(REPO, 'examples')), ...numbersIn(CORPUS)];
    // The cases go through a scratch file beside the native probe.
    const file = path.join(path.dirname(NATIVE_PROBE), 'number-cases.txt');
    fs.writeFileSync(file, cases.join('\n') + '\n');
    const native = run(NATIVE_PROBE, [file]).split('\n');
    assert.equal(native.length, cases.length + 1);
    sameLines(native, run(process.execPath, [WASM_PROBE, file]).split('\n'), (i) => `'${cases[i]}'`);
    // The generated cases reach both ends of the range.
    assert.ok(native.includes('7ff0000000000000 ' + '1e400'.length) && native.some((l) => /^000[0-9a-f]{13} /.test(l) && !l.startsWith('0000000000000000')));
});
