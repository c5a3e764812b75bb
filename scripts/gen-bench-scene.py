#!/usr/bin/env python3
"""Writes the benchmark character shared by the tests and the benchmarks.

tests/fixtures/bench-character/
    model.json               40 parts, 6 springs, a texture on every part
    motions/idle.json        looping main motion, a track on every part
    motions/wave.json        looping overlay on 10 parts (played at weight 0.6)
    expressions/smile.json   expression on 6 parts

The output is deterministic; re-run this script only to change the scene and
commit the JSON it writes.
"""

import json
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "fixtures", "bench-character")

EASINGS = [
    "linear", "ease_in", "ease_out", "ease_in_out", "ease_in_cubic", "ease_out_cubic",
    "ease_in_out_cubic", "ease_in_back", "ease_out_back", "ease_out_bounce", "step",
]

# name, parent, texture, position, drawOrder, depth
PARTS = [
    ("root", "", "body", (512, 700), 0, 0),
    ("hip", "root", "body", (0, -20), 10, 0),
    ("torso", "hip", "body", (0, -60), 20, 5),
    ("chest", "torso", "body", (0, -70), 30, 10),
    ("neck", "chest", "body", (0, -50), 35, 12),
    ("head", "neck", "head", (0, -40), 50, 20),
    ("eye_l", "head", "face", (-18, -10), 60, 30),
    ("eye_r", "head", "face", (18, -10), 60, 30),
    ("brows", "head", "face", (0, -25), 61, 32),
    ("mouth", "head", "face", (0, 20), 60, 28),
    ("nose", "head", "face", (0, 5), 62, 35),
]
for strand, (sx, order, depth) in zip("abc", [(-30, 5, -20), (0, 55, 25), (30, 5, -20)]):
    parent = "head"
    for k in range(3):
        name = "hair_%s%d" % (strand, k + 1)
        PARTS.append((name, parent, "hair", (sx if k == 0 else 0, -30 if k == 0 else 35),
                      order, depth - 2 * k))
        parent = name
for side, sign, order in (("l", -1, 25), ("r", 1, 45)):
    chain = [("upper_arm_", "chest", (sign * 55, -40)), ("fore_arm_", None, (0, 60)),
             ("hand_", None, (0, 55)), ("fingers_", None, (0, 20))]
    parent = "chest"
    for k, (stem, _, pos) in enumerate(chain):
        name = stem + side
        PARTS.append((name, parent, "body", pos, order + k, sign * (10 + 4 * k)))
        parent = name
for side, sign in (("l", -1), ("r", 1)):
    chain = [("thigh_", (sign * 25, 20)), ("shin_", (0, 80)), ("foot_", (0, 75)),
             ("toe_", (sign * 15, 10))]
    parent = "hip"
    for k, (stem, pos) in enumerate(chain):
        name = stem + side
        PARTS.append((name, parent, "body", pos, 8 + k, sign * 6))
        parent = name
parent = "hip"
for k in range(3):
    name = "tail%d" % (k + 1)
    PARTS.append((name, parent, "body", (-20 if k == 0 else -30, 10 if k == 0 else 5), 2, -15))
    parent = name
PARTS.append(("weapon", "hand_r", "weapon", (0, 15), 48, 30))
assert len(PARTS) == 40, len(PARTS)

SPRINGS = ["hair_a3", "hair_b3", "hair_c3", "tail2", "tail3", "weapon"]


def rnd(rng, lo, hi):
    return round(rng.uniform(lo, hi), 4)


def model(rng):
    parts = []
    for name, parent, texture, pos, order, depth in PARTS:
        w, h = rng.choice([(32, 32), (64, 48), (48, 96), (128, 64)])
        part = {
            "name": name,
            "texture": texture,
            "position": list(pos),
            "rotation": rnd(rng, -0.05, 0.05),
            "scale": [1.0, 1.0] if rng.random() < 0.7 else [rnd(rng, 0.9, 1.1), rnd(rng, 0.9, 1.1)],
            "alpha": 1.0,
            "anchor": [0.5, rnd(rng, 0.1, 0.9)],
            "srcRect": [rng.randrange(0, 960), rng.randrange(0, 960), w, h],
            "drawOrder": order,
            "depth": depth,
        }
        if parent:
            part["parent"] = parent
        if name in ("tail1", "fingers_l"):
            part["ignore3D"] = True
        parts.append(part)
    springs = []
    for target in SPRINGS:
        springs.append({
            "target": target,
            "stiffness": rnd(rng, 0.2, 0.5),
            "damping": rnd(rng, 0.5, 0.9),
            "gravity": [0, rnd(rng, 0.3, 0.6)],
            "wind": rnd(rng, 0.2, 1.0),
        })
    return {
        "name": "bench-character",
        "version": 1,
        "canvas": {"width": 1024, "height": 1024},
        "textures": {
            "body": "textures/body.png",
            "head": "textures/head.png",
            "face": "textures/face.png",
            "face_smile": "textures/face_smile.png",
            "hair": "textures/hair.png",
            "weapon": "textures/weapon.png",
            "weapon_glow": "textures/weapon_glow.png",
        },
        "parts": parts,
        "physics": springs,
    }


def track(rng, part, duration, amplitude):
    times = [0, round(duration * rng.uniform(0.2, 0.4)), round(duration * rng.uniform(0.55, 0.8)),
             duration]
    keys = []
    for k, t in enumerate(times):
        last = k == len(times) - 1
        key = {
            "time": t,
            "position": [rnd(rng, -amplitude, amplitude), rnd(rng, -amplitude, amplitude)],
            "rotation": rnd(rng, -0.15, 0.15),
            "scale": [rnd(rng, 0.95, 1.05), rnd(rng, 0.95, 1.05)],
            "alpha": rnd(rng, 0.9, 1.0),
            "easing": rng.choice(EASINGS),
        }
        if last:  # the loop closes on the first keyframe's values
            for field in ("position", "rotation", "scale", "alpha"):
                key[field] = keys[0][field]
        keys.append(key)
    return {"part": part, "keyframes": keys}


def idle(rng):
    tracks = [track(rng, p[0], 2000, 3.0) for p in PARTS]
    # A blink and a glowing weapon: discrete keys, as real motions have.
    for t in tracks:
        if t["part"] in ("eye_l", "eye_r"):
            t["keyframes"][1]["visible"] = 0
            t["keyframes"][2]["visible"] = 1
        if t["part"] == "weapon":
            t["keyframes"][1]["textureSwap"] = "weapon_glow"
            t["keyframes"][2]["textureSwap"] = "weapon"
    return {"name": "idle", "duration": 2000, "loop": True, "tracks": tracks}


def wave(rng):
    names = ["upper_arm_r", "fore_arm_r", "hand_r", "fingers_r", "weapon", "head", "neck",
             "chest", "hair_b1", "brows"]
    tracks = [track(rng, n, 1200, 6.0) for n in names]
    return {"name": "wave", "duration": 1200, "loop": True, "tracks": tracks}


def smile():
    return {
        "name": "smile",
        "blendMs": 200,
        "params": [
            {"part": "mouth", "scaleX": 1.2, "textureSwap": "face_smile"},
            {"part": "eye_l", "scaleY": 0.6, "visible": 1},
            {"part": "eye_r", "scaleY": 0.6, "visible": 1},
            {"part": "brows", "position": [0, -28]},
            {"part": "head", "rotation": 0.05},
            {"part": "nose", "alpha": 0.9},
        ],
    }


def write(path, value):
    full = os.path.join(OUT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=1)
        f.write("\n")


def main():
    rng = random.Random(20261206)
    write("model.json", model(rng))
    write("motions/idle.json", idle(rng))
    write("motions/wave.json", wave(rng))
    write("expressions/smile.json", smile())


if __name__ == "__main__":
    main()
