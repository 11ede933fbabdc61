#!/usr/bin/env python3
"""Writes the two verdict sounds of the display window (16-bit mono WAV):
a short high double chirp for an accepted cell and a lower, longer buzz for a
reject, so the two are told apart without looking."""
import math
import struct
import sys
import wave

RATE = 22050


def tone(freq, ms, square=False, volume=0.35):
    n = int(RATE * ms / 1000)
    fade = int(RATE * 0.005)   # no click at either end
    out = []
    for i in range(n):
        s = math.sin(2 * math.pi * freq * i / RATE)
        if square:
            s = 0.6 * (1 if s >= 0 else -1) + 0.4 * s
        env = min(1.0, i / fade, (n - 1 - i) / fade)
        out.append(int(32767 * volume * env * s))
    return out


def silence(ms):
    return [0] * int(RATE * ms / 1000)


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


folder = sys.argv[1] if len(sys.argv) > 1 else "display/sounds"
write(folder + "/accept.wav", tone(1320, 60) + silence(30) + tone(1760, 80))
write(folder + "/reject.wav", tone(220, 170, square=True) + silence(40) + tone(196, 220, square=True))
