// Both renderers in Chromium draw a part whose mesh is its sprite's quad as
// they draw the sprite (placed, mirrored, turned in 3D, translucent, tinted),
// and the frame's draw list hands them the mesh as the library places it.
// (The renderers against the native player's frames, the tints of the second
// skin's among them: viewer.test.mjs.)
import assert from 'node:assert/strict';
import test from 'node:test';

import { difference, openPage, withBrowser } from './harness.mjs';

// Instance settings: position, scale, alpha, tint (r, g, b), 3D angles (yaw, pitch, roll).
const CASES = [
    { at: [20.3, 30.6], scale: [3, 3], alpha: 1, tint: [1, 1, 1], angles: null },
    { at: [30, 28], scale: [-2.5, 3.5], alpha: 0.6, tint: [0.3, 0.6, 1], angles: null },
    { at: [25, 30], scale: [2, 2], alpha: 1, tint: [1, 0.5, 0.2], angles: [35, 10, 25] },
];

// Runs in the page: for each renderer and case, the pixels of the sprite
// and of its quad mesh, over a transparent ground.
async function drawQuads(cases) {
    const { loadRuntime, CanvasRenderer, WebGLRenderer } = await import('/src/kivanime.js');
    const kv = await loadRuntime();
    // A 16 x 8 texture, every texel its own colour, one column translucent;
    // the part shows the 8 x 4 texels from (4, 2), which u, v name exactly.
    const texels = new ImageData(16, 8);
    texels.data.forEach((_, i) => (texels.data[i] = i % 4 === 3 ? ((i >> 2) % 16 === 7 ? 120 : 255) : (i * 53) % 251));
    const image = new OffscreenCanvas(16, 8);
    image.getContext('2d').putImageData(texels, 0, 0);
    const png = await image.convertToBlob();
    const part = { name: 'p', texture: 't', anchor: [0.25, 0.75], srcRect: [4, 2, 8, 4] };
    const quad = { vertices: [[-2, -3, 0.25, 0.25], [6, -3, 0.75, 0.25], [6, 1, 0.75, 0.75], [-2, 1, 0.25, 0.75]], triangles: [0, 1, 2, 0, 2, 3] };
    const model = (p) => JSON.stringify({ canvas: [64, 64], textures: { t: 't.png' }, parts: [p] });
    const sprite = await kv.loadPuppet('sprite', new Map([['model.json', model(part)], ['t.png', png]]));
    const mesh = await kv.loadPuppet('mesh', new Map([['model.json', model({ ...part, ...quad })], ['t.png', png]]));
    const pixels = (renderer, list) => {
        renderer.render(list, kv.textures, { background: null });
        const ctx = new OffscreenCanvas(64, 64).getContext('2d');
        ctx.drawImage(renderer.canvas, 0, 0);
        return Array.from(ctx.getImageData(0, 0, 64, 64).data);
    };
    const out = [];
    for (const kind of ['canvas', 'webgl']) {
        const canvas = Object.assign(document.createElement('canvas'), { width: 64, height: 64 });
        const renderer = kind === 'webgl' ? new WebGLRenderer(canvas) : new CanvasRenderer(canvas);
        for (const c of cases) {
            const draw = (puppet, tint) => {
                const instance = puppet.createInstance({ x: c.at[0], y: c.at[1] });
                instance.setScale(...c.scale);
                instance.setAlpha(c.alpha);
                instance.setTint(...tint);
                if (c.angles) {
                    instance.setup3D({ pivot: [0, 0], focal: 200 });
                    instance.turn(...c.angles);
                }
                kv.update(0);
                const list = instance.collect();
                const drawn = { pixels: pixels(renderer, list), records: list.count, meshes: list.meshCount };
                if (list.meshCount) {
                    drawn.placed = Array.from(instance.partMesh('p'));
                    drawn.listed = [Array.from(list.mesh(0).vertices), Array.from(list.mesh(0).indices)];
                }
                instance.destroy();
                return drawn;
            };
            out.push({ kind, sprite: draw(sprite, c.tint), mesh: draw(mesh, c.tint) });
        }
    }
    return out;
}

test('both renderers draw a quad mesh as its sprite', (t) =>
    withBrowser(t, async ({ url, browser }) => {
        const { page, errors } = await openPage(browser, `${url}/__blank.html`);
        const drawn = await page.evaluate(drawQuads, CASES);
        drawn.forEach(({ kind, sprite, mesh }, i) => {
            const name = `${kind}, case ${i % CASES.length}`;
            assert.deepEqual([sprite.records, sprite.meshes, mesh.records, mesh.meshes, mesh.placed.length], [1, 0, 1, 1, 16], name);
            // The draw list holds the mesh as the library places it.
            assert.deepEqual(mesh.listed, [mesh.placed, [0, 1, 2, 0, 2, 3]], name);
            assert.ok(sprite.pixels.some((v, k) => k % 4 === 3 && v > 0), `${name}: the sprite shows`);
            // Edges two triangles share leave no seam; the outline is smoothed
            // as the sprite's edges. WebGL2 draws the sprite as the player
            // does (within the GPU's snapping of corners to a sixteenth of a
            // pixel here, in SwiftShader); Canvas 2D snaps a sprite's edges
            // that lie along the pixels and smooths a clip in quarters of a
            // pixel, so its mesh is held to the WebGL2 picture, on average.
            const [reference, bound] = kind === 'webgl' ? [sprite, { worst: 16, mean: 0.2 }] : [drawn[i + CASES.length].mesh, { worst: 70, mean: 0.6 }];
            const diff = difference(mesh.pixels, reference.pixels);
            assert.ok(diff.worst <= bound.worst && diff.mean < bound.mean, `${name}: quad mesh against the ${kind === 'webgl' ? 'sprite' : 'WebGL2 mesh'} ${JSON.stringify(diff)}`);
        });
        assert.deepEqual(errors, []);
    }));
