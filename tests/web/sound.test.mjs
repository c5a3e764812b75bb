// The sound files of scene scripts as the page reads them (web/src/scene.js),
// without a browser: every WAV encoding the player reads through libsndfile
// gives the same samples here, and what is no WAV is refused with a reason.
import assert from 'node:assert/strict';
import test from 'node:test';

import { decodeWav } from '../../web/src/scene.js';

// A WAV file of `format` (1 PCM, 3 float, 0xfffe extensible PCM), with an
// odd-sized chunk before its format, holding `data` as it is.
function wav(format, channels, rate, bits, data) {
    const fmt = format === 0xfffe ? 40 : 16;
    const bytes = new Uint8Array(12 + 9 + 1 + 8 + fmt + 8 + data.length);
    const view = new DataView(bytes.buffer);
    const tag = (at, text) => [...text].forEach((c, i) => (bytes[at + i] = c.charCodeAt(0)));
    tag(0, 'RIFF');
    view.setUint32(4, bytes.length - 8, true);
    tag(8, 'WAVE');
    tag(12, 'LIST');
    view.setUint32(16, 1, true); // one byte, then a pad byte
    tag(22, 'fmt ');
    view.setUint32(26, fmt, true);
    view.setUint16(30, format, true);
    view.setUint16(32, channels, true);
    view.setUint32(34, rate, true);
    view.setUint16(44, bits, true);
    if (format === 0xfffe) view.setUint16(54, 1, true);
    tag(30 + fmt, 'data');
    view.setUint32(34 + fmt, data.length, true);
    bytes.set(data, 38 + fmt);
    return bytes.buffer;
}

const le = (bits, values) => {
    const out = new DataView(new ArrayBuffer((values.length * bits) / 8));
    values.forEach((v, i) => {
        if (bits === 8) out.setUint8(i, v);
        if (bits === 16) out.setInt16(2 * i, v, true);
        if (bits === 24) (out.setUint16(3 * i, v & 0xffff, true), out.setInt8(3 * i + 2, v >> 16));
        if (bits === 32) out.setInt32(4 * i, v, true);
    });
    return new Uint8Array(out.buffer);
};

test('WAV samples read as libsndfile reads them, and what is no WAV is refused', () => {
    const floats = new Uint8Array(new Float32Array([0.3, -2]).buffer);
    const doubles = new Uint8Array(new Float64Array([0.1]).buffer);
    // [file, channels, rate, samples]
    const cases = [
        [wav(1, 2, 16000, 16, le(16, [16384, -32768, 1, 32767])), 2, 16000, [0.5, -1, 1 / 32768, 32767 / 32768]],
        [wav(1, 1, 8000, 8, le(8, [0, 255, 128])), 1, 8000, [-1, 127 / 128, 0]],
        [wav(1, 1, 44100, 24, le(24, [-8388608, 8388607, 1])), 1, 44100, [-1, 8388607 / 8388608, 1 / 8388608]],
        // A 32-bit integer is first made a float: 2^31 - 1 rounds to 2^31.
        [wav(1, 1, 48000, 32, le(32, [2147483647, -2147483648, 256])), 1, 48000, [1, -1, 256 / 2147483648]],
        [wav(3, 2, 22050, 32, floats), 2, 22050, [Math.fround(0.3), -2]],
        [wav(3, 1, 22050, 64, doubles), 1, 22050, [Math.fround(0.1)]],
        [wav(0xfffe, 1, 8000, 16, le(16, [-16384])), 1, 8000, [-0.5]],
        // A data chunk longer than the file, or ending in half a frame, keeps its whole frames.
        [wav(1, 2, 8000, 16, le(16, [1, 2, 3])), 2, 8000, [1 / 32768, 2 / 32768]],
    ];
    for (const [file, channels, rate, samples] of cases) {
        const read = decodeWav(file);
        assert.deepEqual({ channels: read.channels, rate: read.rate, samples: [...read.samples] }, { channels, rate, samples });
    }
    for (const [file, reason] of [
        [new TextEncoder().encode('RIFF, but not really').buffer, /not a WAV file/],
        [wav(2, 1, 8000, 4, new Uint8Array(4)), /a WAV encoding the page does not read/],
        [wav(1, 0, 8000, 16, new Uint8Array(4)), /a WAV encoding the page does not read/],
        [wav(1, 1, 8000, 16, new Uint8Array(0)).slice(0, 30), /without its format or samples/],
    ]) {
        assert.throws(() => decodeWav(file), reason);
    }
});
