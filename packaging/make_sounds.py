#!/usr/bin/env python3
# The two notification sounds are synthesised here, not recorded: run this to rebuild OKTrans.wav and ErrTrans.wav.
"""Writes OKTrans.wav (rising two-tone chime) and ErrTrans.wav (low falling
buzz) beside this script: 16-bit PCM, mono, 22050 Hz. Output is deterministic.

Usage: python3 make_sounds.py [output-folder]
"""
import math
import os
import struct
import sys
import wave

RATE = 22050


def envelope(i, n, fade_in, fade_out):
    """Linear fade-in and fade-out (in samples) to avoid clicks."""
    g = 1.0
    if i < fade_in:
        g = i / fade_in
    if i >= n - fade_out:
        g = min(g, (n - 1 - i) / fade_out)
    return max(g, 0.0)


def chime():
    """Two bell-like notes, E5 then B5, the second overlapping the first."""
    total = int(0.40 * RATE)
    out = [0.0] * total
    notes = [(659.25, 0.00, 0.22), (987.77, 0.13, 0.27)]  # (Hz, start s, length s)
    for freq, start, length in notes:
        s0 = int(start * RATE)
        n = int(length * RATE)
        for k in range(n):
            if s0 + k >= total:
                break
            t = k / RATE
            decay = math.exp(-t * 9.0)
            v = (math.sin(2 * math.pi * freq * t)
                 + 0.30 * math.sin(2 * math.pi * 2 * freq * t)
                 + 0.10 * math.sin(2 * math.pi * 3 * freq * t))
            out[s0 + k] += 0.45 * decay * v * envelope(k, n, int(0.004 * RATE), int(0.020 * RATE))
    return out


def buzz():
    """Low square-ish tone sliding from 220 Hz down to 110 Hz."""
    total = int(0.50 * RATE)
    out = []
    phase = 0.0
    for i in range(total):
        frac = i / total
        freq = 220.0 * (0.5 ** frac)  # exponential glide down one octave
        phase += 2 * math.pi * freq / RATE
        # odd harmonics only: a soft square wave, harsh enough to mean "error"
        v = sum(math.sin(h * phase) / h for h in (1, 3, 5, 7, 9))
        # slight tremolo makes it sound like a buzzer
        trem = 0.85 + 0.15 * math.sin(2 * math.pi * 28 * i / RATE)
        out.append(0.42 * v * trem * envelope(i, total, int(0.008 * RATE), int(0.060 * RATE)))
    return out


def write(path, samples):
    peak = max(abs(s) for s in samples) or 1.0
    scale = 0.8 * 32767 / peak  # normalise to 80 % of full scale
    frames = b"".join(struct.pack("<h", int(round(s * scale))) for s in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write(os.path.join(folder, "OKTrans.wav"), chime())
    write(os.path.join(folder, "ErrTrans.wav"), buzz())


if __name__ == "__main__":
    main()
