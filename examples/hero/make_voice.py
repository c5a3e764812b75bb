#!/usr/bin/env python3
"""Synthesises the hero's voice line, voice.wav (standard library only).

Nobody recorded it: the sound is made here, so the repository carries no
third-party audio. A voice is a buzz from the vocal folds shaped by the
resonances of the mouth, and that is how the line is built:

- a glottal pulse train (one smooth pulse per period, differentiated, which
  gives the falling spectrum of a real voice) whose pitch glides between
  110 and 180 Hz like a sentence's intonation;
- three formant resonators (two-pole filters) whose frequencies glide between
  the vowels of the syllables;
- a raised-cosine envelope per syllable, with a little breath noise, and
  silence between words, so that lip sync has something to open and close on.

The line says roughly "hel-lo, I'm Ki-va!": 2 s, 16 kHz, 16-bit mono, the
same bytes on every run.

Run from anywhere:  python3 examples/hero/make_voice.py [OUTPUT_FOLDER]
(the folder defaults to this one).
"""
import math
import os
import struct
import sys
import wave

HERE = os.path.dirname(os.path.abspath(__file__))

RATE = 16000
SECONDS = 2.0
PEAK = 0.6

# Formant frequencies (Hz) of a few vowels, and the bandwidths used for all.
VOWELS = {
    "a": (730, 1090, 2440),
    "e": (530, 1840, 2480),
    "i": (300, 2250, 3000),
    "o": (570, 840, 2410),
}
BANDWIDTHS = (90, 110, 170)

# Syllables: start and end (s), vowel at the start and at the end, pitch (Hz)
# at the start and at the end.
SYLLABLES = [
    (0.14, 0.38, "e", "e", 150, 168),  # hel
    (0.40, 0.70, "o", "o", 170, 140),  # lo
    (0.86, 1.12, "a", "i", 160, 176),  # I'm
    (1.22, 1.42, "i", "i", 180, 178),  # ki
    (1.44, 1.82, "a", "a", 172, 112),  # va
]
ATTACK = 0.03
RELEASE = 0.06


def glottal_pulse(phase):
    """One period of glottal flow (Rosenberg's shape), phase in [0, 1)."""
    opening, closing = 0.4, 0.16
    if phase < opening:
        return 0.5 * (1.0 - math.cos(math.pi * phase / opening))
    if phase < opening + closing:
        return math.cos(0.5 * math.pi * (phase - opening) / closing)
    return 0.0


def envelope(t, start, end):
    if t < start or t > end:
        return 0.0
    rise = min(1.0, (t - start) / ATTACK)
    fall = min(1.0, (end - t) / RELEASE)
    return 0.5 * (1.0 - math.cos(math.pi * min(rise, fall)))


def syllable_at(t):
    """The syllable sounding at time t, or None between words."""
    for s in SYLLABLES:
        if s[0] <= t <= s[1]:
            return s
    return None


class Resonator:
    """A two-pole resonance whose frequency may change every sample."""

    def __init__(self, bandwidth):
        self.r = math.exp(-math.pi * bandwidth / RATE)
        self.y1 = self.y2 = 0.0

    def step(self, x, frequency):
        theta = 2.0 * math.pi * frequency / RATE
        a1 = 2.0 * self.r * math.cos(theta)
        a2 = -self.r * self.r
        # Gain 1 at the resonance, so that every vowel comes out about as loud.
        gain = (1.0 - self.r) * abs(1.0 - self.r * complex(math.cos(2 * theta), -math.sin(2 * theta)))
        y = gain * x + a1 * self.y1 + a2 * self.y2
        self.y2, self.y1 = self.y1, y
        return y


def synthesise():
    resonators = [Resonator(b) for b in BANDWIDTHS]
    noise = 12345
    phase, previous_flow = 0.0, 0.0
    out = []
    for n in range(int(RATE * SECONDS)):
        t = n / RATE
        s = syllable_at(t)
        if s is None:
            level, pitch, formants = 0.0, 140.0, VOWELS["a"]
        else:
            start, end, v0, v1, p0, p1 = s
            k = (t - start) / (end - start)
            level = envelope(t, start, end)
            pitch = p0 + (p1 - p0) * k
            formants = [a + (b - a) * k for a, b in zip(VOWELS[v0], VOWELS[v1])]
        phase = (phase + pitch / RATE) % 1.0
        flow = glottal_pulse(phase)
        source = (flow - previous_flow) * 40.0
        previous_flow = flow
        noise = (noise * 1103515245 + 12345) & 0x7FFFFFFF  # breath, reproducible
        source += (noise / 0x40000000 - 1.0) * 0.08
        y = source * level
        for resonator, frequency in zip(resonators, formants):
            y = resonator.step(y, frequency)
        out.append(y)
    # Each syllable equally loud (the stressed last one a little louder), then
    # the whole line to the peak level. A sample belongs to the syllable whose
    # span is nearest, which keeps a resonance's short ring with its syllable.
    bounds = [0.0] + [(a[1] + b[0]) / 2 for a, b in zip(SYLLABLES, SYLLABLES[1:])] + [SECONDS]
    for k, s in enumerate(SYLLABLES):
        first, last = int(bounds[k] * RATE), int(bounds[k + 1] * RATE)
        span = out[first:last]
        rms = math.sqrt(sum(v * v for v in span) / len(span))
        target = 1.3 if k == len(SYLLABLES) - 1 else 1.0
        out[first:last] = [v * target / rms for v in span]
    scale = PEAK / max(abs(v) for v in out)
    return [v * scale for v in out]


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else HERE
    os.makedirs(folder, exist_ok=True)
    out = os.path.join(folder, "voice.wav")
    samples = synthesise()
    with wave.open(out, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(b"".join(struct.pack("<h", int(round(v * 32767))) for v in samples))
    print("wrote %s (%.1f s, %d Hz)" % (out, SECONDS, RATE))


if __name__ == "__main__":
    main()
