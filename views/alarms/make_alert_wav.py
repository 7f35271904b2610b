#!/usr/bin/env python3
"""Writes alert.wav, the alarm strip's sound: two short beeps (880 Hz then 660 Hz), 16-bit mono at
22 050 Hz, faded in and out so they do not click. Run it again only to change the sound."""
import math
import struct
import sys
import wave

RATE = 22050


def beep(freq, seconds, volume=0.5):
    n = int(RATE * seconds)
    fade = int(RATE * 0.01)
    out = []
    for i in range(n):
        gain = min(1.0, i / fade, (n - 1 - i) / fade)
        out.append(int(32767 * volume * gain * math.sin(2 * math.pi * freq * i / RATE)))
    return out


def silence(seconds):
    return [0] * int(RATE * seconds)


samples = beep(880, 0.15) + silence(0.07) + beep(660, 0.2)
path = sys.argv[1] if len(sys.argv) > 1 else "alert.wav"
with wave.open(path, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    w.writeframes(b"".join(struct.pack("<h", s) for s in samples))
