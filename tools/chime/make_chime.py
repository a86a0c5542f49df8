#!/usr/bin/env python3
"""Writes resources/TimeoutRemainder.wav: the soft two-tone chime that warns a customer that the
paid time runs out. PCM, 16-bit, mono, 22,050 Hz, one second, under 50 KB.

    python3 tools/chime/make_chime.py [output.wav]
"""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 22050
SECONDS = 1.0
# A falling major sixth (E6 then G5): friendly, and clear over the noise of a cafe.
TONES = [(1318.5, 0.00), (784.0, 0.42)]
VOLUME = 0.32  # of full scale: soft, never clipping where the two tones overlap


def sample(t: float) -> float:
    value = 0.0
    for frequency, start in TONES:
        age = t - start
        if age < 0:
            continue
        attack = min(age / 0.012, 1.0)  # 12 ms, so the tone starts without a click
        decay = math.exp(-age * 5.5)  # a bell's fading
        # A little of the octave above makes it a chime rather than a beep.
        tone = math.sin(2 * math.pi * frequency * age) + 0.25 * math.sin(4 * math.pi * frequency * age)
        value += attack * decay * tone / 1.25
    # The last 30 ms fade to silence, so the sound ends without a click.
    tail = SECONDS - t
    if tail < 0.03:
        value *= max(tail, 0.0) / 0.03
    return value * VOLUME


def main() -> None:
    default = Path(__file__).resolve().parents[2] / "resources" / "TimeoutRemainder.wav"
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else default
    frames = bytearray()
    for n in range(int(RATE * SECONDS)):
        value = max(-1.0, min(1.0, sample(n / RATE)))
        frames += struct.pack("<h", int(round(value * 32767)))
    with wave.open(str(output), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))


if __name__ == "__main__":
    main()
