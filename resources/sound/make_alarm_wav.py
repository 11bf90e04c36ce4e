#!/usr/bin/env python3
"""Writes Alarm.wav: a short two-tone alarm (16-bit PCM mono, 22050 Hz), played when an event
needs acknowledgement. Run once after changing the tone; the WAV file is committed:
    python3 resources/sound/make_alarm_wav.py resources/sound/Alarm.wav
"""
import math
import struct
import sys
import wave

RATE = 22050
AMPLITUDE = 0.6 * 32767


def tone(frequency, seconds, fade=0.01):
    count = int(RATE * seconds)
    fade_count = int(RATE * fade)
    samples = []
    for i in range(count):
        # Short linear fades keep the beeps free of clicks.
        envelope = min(1.0, i / fade_count, (count - 1 - i) / fade_count)
        value = math.sin(2 * math.pi * frequency * i / RATE)
        # A little third harmonic makes the beep cut through room noise.
        value += 0.25 * math.sin(2 * math.pi * 3 * frequency * i / RATE)
        samples.append(int(AMPLITUDE * envelope * value / 1.25))
    return samples


def silence(seconds):
    return [0] * int(RATE * seconds)


def main(path):
    samples = []
    for _ in range(3):
        samples += tone(880, 0.16) + silence(0.04) + tone(660, 0.16) + silence(0.09)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % len(samples), *samples))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Alarm.wav")
