#!/usr/bin/python3
"""Synthesises Corvane's four sounds as 16-bit mono PCM WAVE files.

    /usr/bin/python3 tools/sounds/make_sounds.py OUTPUT_DIR

DOORCLOSE.wav   ~0.9 s  a letter dropped through a mail slot: a soft thud, the flap's rattle
ERROR.wav       ~0.5 s  a polite, low two-tone buzz
SUCCESSFUL.wav  ~2.0 s  a bright rising chime of bell-like partials
YOUARE.wav      ~3.0 s  a short welcome jingle on an electric-piano tone

Standard library only. Every run writes the same bytes: noise comes from random.Random with
fixed seeds, and nothing depends on the clock or the machine.
"""

import math
import os
import random
import struct
import sys
import wave

RATE = 22050
PEAK = 0.89          # normalise to about -1 dBFS
FADE_IN = 0.004      # seconds
FADE_OUT = 0.040
TWO_PI = 2.0 * math.pi


# --- building blocks --------------------------------------------------------------------

def silence(seconds):
    return [0.0] * int(round(seconds * RATE))


def mix_into(dest, src, at_seconds, gain=1.0):
    """Adds src to dest starting at at_seconds; dest grows if needed."""
    start = int(round(at_seconds * RATE))
    end = start + len(src)
    if end > len(dest):
        dest.extend([0.0] * (end - len(dest)))
    for i, v in enumerate(src):
        dest[start + i] += v * gain


def envelope_adsr(n, attack, decay_tau, release, hold=None):
    """Attack ramp, exponential decay with time constant decay_tau; with hold set, a cosine
    release of `release` seconds starting at hold."""
    out = []
    a = max(1, int(attack * RATE))
    r = max(1, int(release * RATE))
    h = None if hold is None else int(hold * RATE)
    for i in range(n):
        t = i / RATE
        if i < a:
            e = 0.5 - 0.5 * math.cos(math.pi * i / a)
        else:
            e = math.exp(-(t - attack) / decay_tau) if decay_tau else 1.0
        if h is not None and i >= h:
            k = (i - h) / r
            e *= 0.5 + 0.5 * math.cos(math.pi * k) if k < 1.0 else 0.0
        out.append(e)
    return out


def one_pole_lowpass(x, cutoff):
    k = 1.0 - math.exp(-TWO_PI * cutoff / RATE)
    y, out = 0.0, []
    for v in x:
        y += k * (v - y)
        out.append(y)
    return out


def dc_block(x, cutoff=25.0):
    """First-order high-pass that removes any offset."""
    r = math.exp(-TWO_PI * cutoff / RATE)
    prev_x = prev_y = 0.0
    out = []
    for v in x:
        y = v - prev_x + r * prev_y
        prev_x, prev_y = v, y
        out.append(y)
    return out


def resonator(x, freq, decay_tau):
    """A two-pole resonance ringing at freq, dying away with time constant decay_tau."""
    r = math.exp(-1.0 / (decay_tau * RATE))
    c1 = 2.0 * r * math.cos(TWO_PI * freq / RATE)
    c2 = -r * r
    gain = (1.0 - r)
    y1 = y2 = 0.0
    out = []
    for v in x:
        y = gain * v + c1 * y1 + c2 * y2
        y2, y1 = y1, y
        out.append(y)
    return out


def noise(rng, n):
    return [rng.uniform(-1.0, 1.0) for _ in range(n)]


def room(x, rt60, wet, cutoff=3500.0):
    """A small diffuse room (four combs into two all-passes) added under the dry sound."""
    tail = [0.0] * len(x)
    for delay in (0.0297, 0.0371, 0.0411, 0.0437):
        d = int(delay * RATE)
        g = 10.0 ** (-3.0 * delay / rt60)
        buf = [0.0] * len(x)
        for i, v in enumerate(x):
            buf[i] = v + (g * buf[i - d] if i >= d else 0.0)
            tail[i] += buf[i] * 0.25
    for delay, g in ((0.005, 0.7), (0.0017, 0.7)):
        d = int(delay * RATE)
        out = [0.0] * len(tail)
        for i, v in enumerate(tail):
            prev_in = tail[i - d] if i >= d else 0.0
            prev_out = out[i - d] if i >= d else 0.0
            out[i] = -g * v + prev_in + g * prev_out
        tail = out
    tail = one_pole_lowpass(tail, cutoff)
    return [a + wet * b for a, b in zip(x, tail)]


def finish(x, total_seconds, fade_out=FADE_OUT):
    """Trims or pads to the length, removes offset, fades both ends, normalises."""
    n = int(round(total_seconds * RATE))
    x = (x + [0.0] * n)[:n]
    x = dc_block(x)
    fi, fo = int(FADE_IN * RATE), int(fade_out * RATE)
    for i in range(fi):
        x[i] *= 0.5 - 0.5 * math.cos(math.pi * i / fi)
    for i in range(fo):
        x[n - 1 - i] *= 0.5 - 0.5 * math.cos(math.pi * i / fo)
    peak = max(abs(v) for v in x) or 1.0
    return [v * PEAK / peak for v in x]


def write_wave(path, samples):
    frames = bytearray()
    for v in samples:
        s = int(round(v * 32767.0))
        frames += struct.pack('<h', max(-32768, min(32767, s)))
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


# --- the four sounds --------------------------------------------------------------------

def door_close():
    """A letter pushed through a mail slot: the paper's brush, a soft thud as it lands,
    then the spring flap clapping shut and rattling to rest."""
    rng = random.Random(1901)
    out = silence(0.9)

    # The paper sliding through the slot: a short, dull brush of noise.
    n = int(0.07 * RATE)
    brush = one_pole_lowpass(noise(rng, n), 2200)
    env = envelope_adsr(n, 0.02, 0.03, 0.0)
    mix_into(out, [b * e for b, e in zip(brush, env)], 0.0, 0.18)

    # The thud: a falling low tone and a muffled knock of noise.
    n = int(0.35 * RATE)
    phase, thud = 0.0, []
    for i in range(n):
        t = i / RATE
        f = 55.0 + 70.0 * math.exp(-t / 0.04)
        phase += TWO_PI * f / RATE
        thud.append(math.sin(phase) * math.exp(-t / 0.085) * min(1.0, t / 0.003))
    knock = one_pole_lowpass(one_pole_lowpass(noise(rng, n), 380), 380)
    knock = [k * 6.0 * math.exp(-(i / RATE) / 0.03) for i, k in enumerate(knock)]
    mix_into(out, [a + b for a, b in zip(thud, knock)], 0.05, 1.0)

    # The flap: a metal clap, then smaller bounces, each ringing a few resonances.
    hits = [(0.17, 0.60), (0.275, 0.36), (0.345, 0.22), (0.395, 0.13), (0.43, 0.07), (0.455, 0.04)]
    modes = [(690.0, 0.045, 1.0), (1310.0, 0.035, 0.7), (2475.0, 0.022, 0.45), (3890.0, 0.012, 0.25)]
    for at, amp in hits:
        n = int(0.16 * RATE)
        strike = [0.0] * n
        for i in range(int(0.0025 * RATE)):
            strike[i] = rng.uniform(-1.0, 1.0) * (1.0 - i / (0.0025 * RATE))
        ring = [0.0] * n
        for freq, tau, g in modes:
            f = freq * (1.0 + rng.uniform(-0.015, 0.015))
            for i, v in enumerate(resonator(strike, f, tau)):
                ring[i] += v * g
        low = resonator(strike, 170.0, 0.025)
        mix_into(out, [r * 9.0 + l * 14.0 for r, l in zip(ring, low)], at, amp)

    # The hallway around the box.
    out = room(out, 0.45, 0.35)
    return finish(out, 0.9, fade_out=0.12)


def buzz_tone(freq, seconds, rng):
    """A soft reed-like tone: odd harmonics stronger than even, gently low-passed."""
    n = int(seconds * RATE)
    partials = []
    for k in range(1, 12):
        if freq * k > 0.45 * RATE:
            break
        amp = (1.0 if k % 2 else 0.35) / (k ** 1.25)
        partials.append((k, amp, rng.uniform(0, TWO_PI)))
    out = []
    for i in range(n):
        t = i / RATE
        out.append(sum(a * math.sin(TWO_PI * freq * k * t + ph) for k, a, ph in partials))
    return one_pole_lowpass(one_pole_lowpass(out, 1500), 2400)


def error():
    """Two low tones, the second a fourth below the first: a polite 'uh-oh'."""
    rng = random.Random(404)
    out = silence(0.5)
    for at, freq, length in [(0.0, 311.13, 0.20), (0.235, 233.08, 0.245)]:
        tone = buzz_tone(freq, length, rng)
        env = envelope_adsr(len(tone), 0.012, 0.22, 0.05, hold=length - 0.05)
        mix_into(out, [a * e for a, e in zip(tone, env)], at)
    return finish(out, 0.5)


def bell(freq, seconds, tau, rng):
    """A struck bell-like note: a few partials, the higher ones dying faster, with a slight
    beating from a detuned twin of the fundamental."""
    table = [(1.0, 1.0, 1.0), (2.0, 0.32, 0.55), (2.76, 0.20, 0.32), (4.07, 0.12, 0.2),
            (5.40, 0.08, 0.14), (8.93, 0.04, 0.08)]
    parts = []
    for ratio, amp, decay in table:
        f = freq * ratio
        if f > 0.45 * RATE:
            continue
        parts.append((f, amp, tau * decay, rng.uniform(0, TWO_PI)))
    parts.append((freq + 1.3, 0.25, tau, rng.uniform(0, TWO_PI)))
    n = int(seconds * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        attack = min(1.0, t / 0.0015)
        out.append(attack * sum(a * math.exp(-t / d) * math.sin(TWO_PI * f * t + ph)
                                for f, a, d, ph in parts))
    return out


def successful():
    """C6, E6, G6, C7 struck in quick succession, the last one left to ring."""
    rng = random.Random(200)
    out = silence(2.0)
    notes = [(0.00, 1046.50, 0.55, 0.70), (0.11, 1318.51, 0.55, 0.70),
             (0.22, 1567.98, 0.60, 0.75), (0.36, 2093.00, 1.10, 1.00)]
    for at, freq, tau, gain in notes:
        mix_into(out, bell(freq, 2.0 - at, tau, rng), at, gain)
    # A soft octave below under the last note, for warmth.
    n = int(1.64 * RATE)
    warm = [math.sin(TWO_PI * 523.25 * i / RATE) * math.exp(-(i / RATE) / 0.7) * min(1.0, i / (0.01 * RATE))
            for i in range(n)]
    mix_into(out, warm, 0.36, 0.22)
    return finish(out, 2.0, fade_out=0.35)


def epiano(freq, seconds, held, rng):
    """An electric-piano tone by frequency modulation: a bright attack that mellows.
    held is when the key is let go (None: it rings to the end)."""
    n = int(seconds * RATE)
    ph = rng.uniform(0, TWO_PI)
    env = envelope_adsr(n, 0.004, 0.9, 0.09, hold=held)
    out = []
    for i in range(n):
        t = i / RATE
        index = 0.3 + 1.6 * math.exp(-t / 0.22)
        mod = math.sin(TWO_PI * freq * t) * index
        tine = 0.12 * math.exp(-t / 0.03) * math.sin(TWO_PI * freq * 7.0 * t)
        body = math.sin(TWO_PI * freq * t + mod + ph) + 0.35 * math.sin(TWO_PI * 2 * freq * t + 0.5 * mod)
        out.append((body + tine) * env[i])
    return out


def pad(freqs, seconds, rng):
    """A quiet sustained chord with a slow swell, two slightly detuned voices per note."""
    n = int(seconds * RATE)
    voices = [(f * d, rng.uniform(0, TWO_PI)) for f in freqs for d in (0.997, 1.003)]
    out = []
    for i in range(n):
        t = i / RATE
        swell = min(1.0, t / 0.35) * math.exp(-t / 2.2)
        out.append(swell * sum(math.sin(TWO_PI * f * t + p) + 0.2 * math.sin(TWO_PI * 2 * f * t + p)
                               for f, p in voices) / len(voices))
    return one_pole_lowpass(out, 2500)


def you_are():
    """G4 C5 E5 G5 | E5 C6: a rising welcome that lands on the octave over a C major pad."""
    rng = random.Random(1998)
    out = silence(3.0)
    melody = [(0.00, 392.00, 0.17), (0.19, 523.25, 0.17), (0.38, 659.25, 0.17),
              (0.57, 783.99, 0.30), (0.92, 659.25, 0.16), (1.10, 1046.50, None)]
    for at, freq, held in melody:
        length = 3.0 - at if held is None else held + 0.4
        mix_into(out, epiano(freq, length, held, rng), at, 1.0)
    mix_into(out, pad([261.63, 329.63, 392.00], 1.9, rng), 1.10, 0.9)
    mix_into(out, epiano(130.81, 1.9, None, rng), 1.10, 0.45)  # the bass note
    return finish(out, 3.0, fade_out=0.45)


SOUNDS = [
    ('DOORCLOSE.wav', door_close),
    ('ERROR.wav', error),
    ('SUCCESSFUL.wav', successful),
    ('YOUARE.wav', you_are),
]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_sounds.py OUTPUT_DIR\n')
        return 2
    os.makedirs(argv[1], exist_ok=True)
    for name, make in SOUNDS:
        samples = make()
        write_wave(os.path.join(argv[1], name), samples)
        peak = max(abs(v) for v in samples)
        print('%-15s %.2f s  peak %.1f dBFS' % (name, len(samples) / RATE, 20 * math.log10(peak)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
