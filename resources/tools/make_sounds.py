#!/usr/bin/env python3
"""Synthesise the feedback cues played after each answer.

Run from anywhere: python3 resources/tools/make_sounds.py
Output is deterministic (no randomness), so regenerating does not churn git.
"""

import math
import os
import struct
import wave

RATE = 22050  # plenty for these cues and keeps the files small

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "suoni")


def db(x):
    return 10 ** (x / 20)


def note_hz(midi):
    return 440.0 * 2 ** ((midi - 69) / 12)


def ramp(i, n):
    """Raised-cosine fade; linear fades still click on steep waveforms."""
    if i >= n:
        return 1.0
    return 0.5 - 0.5 * math.cos(math.pi * i / n)


def add_bell(buf, start_s, freq, length_s, decay_s, gain):
    """A soft plucked tone: sine plus a quiet octave for a little sparkle."""
    start = int(start_s * RATE)
    length = int(length_s * RATE)
    attack = int(0.006 * RATE)
    release = int(0.015 * RATE)
    for i in range(length):
        j = start + i
        if j >= len(buf):
            break
        t = i / RATE
        env = ramp(i, attack) * ramp(length - 1 - i, release) * math.exp(-t / decay_s)
        w = 2 * math.pi * freq * t
        buf[j] += gain * env * (math.sin(w) + 0.15 * math.sin(2 * w))


def add_buzz(buf, start_s, f_from, f_to, length_s, gain):
    """Band-limited sawtooth with a pitch slide.

    Harmonics are summed explicitly with an extra roll-off and faded out
    between 1.8 and 2.5 kHz, so the buzz stays warm instead of rasping and
    no partial pops in or out while the pitch slides.
    """
    start = int(start_s * RATE)
    length = int(length_s * RATE)
    attack = int(0.012 * RATE)
    release = int(0.040 * RATE)
    phase = 0.0
    for i in range(length):
        j = start + i
        if j >= len(buf):
            break
        f = f_from + (f_to - f_from) * i / length
        # Accumulate phase so the slide has no discontinuities.
        phase += 2 * math.pi * f / RATE
        s = 0.0
        k = 1
        while k * f < 2500:
            fade = 1.0
            if k * f > 1800:
                fade = 0.5 + 0.5 * math.cos(math.pi * (k * f - 1800) / 700)
            s += fade * math.sin(k * phase) / (k ** 1.4)
            k += 1
        env = ramp(i, attack) * ramp(length - 1 - i, release)
        buf[j] += gain * env * s


def normalise(buf, peak):
    top = max(abs(x) for x in buf)
    return [x * peak / top for x in buf]


def write_wav(name, buf):
    os.makedirs(OUT_DIR, exist_ok=True)
    path = os.path.normpath(os.path.join(OUT_DIR, name))
    frames = b"".join(
        struct.pack("<h", max(-32767, min(32767, int(round(x * 32767))))) for x in buf
    )
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)
    print("wrote", path)


def esatto():
    buf = [0.0] * int(0.55 * RATE)
    # Rising C major arpeggio reads as "well done" in any culture.
    notes = [84, 88, 91, 96]  # C6 E6 G6 C7
    step = 0.075
    for n, midi in enumerate(notes):
        last = n == len(notes) - 1
        start = n * step
        add_bell(
            buf,
            start,
            note_hz(midi),
            length_s=len(buf) / RATE - start if last else 0.22,
            decay_s=0.12 if last else 0.07,
            gain=0.8 if last else 1.0,  # the top note is brighter to the ear
        )
    # -3 dBFS leaves headroom for the audio stack's mixer.
    return normalise(buf, db(-3))


def no():
    buf = [0.0] * int(0.50 * RATE)
    # Two short, slightly falling pulses: clearly "try again", never alarming.
    add_buzz(buf, 0.00, 140.0, 128.0, 0.19, 1.0)
    add_buzz(buf, 0.25, 128.0, 112.0, 0.24, 1.0)
    # A dense buzz sounds far louder than sparse bell tones at the same peak;
    # a lower peak keeps the two cues at a similar perceived level.
    return normalise(buf, db(-6))


def main():
    write_wav("Esatto.wav", esatto())
    write_wav("no.wav", no())


if __name__ == "__main__":
    main()
