#!/usr/bin/env python3
"""Quality figures of the carrier rejector and the noise reducers, measured with velunda-filtre
on generated signals (raw unsigned 8-bit mono).

Usage: bench/quality_figures.py PATH/TO/velunda-filtre

Prints:
- the rejector's attenuation of a steady carrier at the notch centre (manual mode), and in
  automatic mode the time to the first "Trouvé" decision and the attenuation after it;
- the SNR change of every reducer setting on a tone in white noise.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

RATE = 8000


def tone(hz, amplitude, seconds, noise=0.0, seed=1):
    rng = random.Random(seed)
    out = bytearray()
    for i in range(int(seconds * RATE)):
        s = 127.5 + amplitude * math.sin(2 * math.pi * hz * i / RATE)
        if noise:
            s += rng.gauss(0.0, noise)
        out.append(min(255, max(0, round(s))))
    return bytes(out)


def fit(samples, hz, start):
    """Least-squares fit of mean + a sin + b cos at hz over samples[start:]:
    returns (amplitude, residual variance)."""
    ys = samples[start:]
    n = len(ys)
    mean = sum(ys) / n
    ss = cc = sc = ys_ = yc = 0.0
    for k, y in enumerate(ys):
        w = 2 * math.pi * hz * (k + start) / RATE
        s, c = math.sin(w), math.cos(w)
        y -= mean
        ss += s * s
        cc += c * c
        sc += s * c
        ys_ += y * s
        yc += y * c
    det = ss * cc - sc * sc
    a = (ys_ * cc - yc * sc) / det
    b = (yc * ss - ys_ * sc) / det
    residual = 0.0
    for k, y in enumerate(ys):
        w = 2 * math.pi * hz * (k + start) / RATE
        residual += (y - mean - a * math.sin(w) - b * math.cos(w)) ** 2
    return math.hypot(a, b), residual / n


def run(filtre, args, signal, workdir):
    src = os.path.join(workdir, "in.u8")
    dst = os.path.join(workdir, "out.u8")
    with open(src, "wb") as f:
        f.write(signal)
    done = subprocess.run([filtre] + args + [src, dst], capture_output=True, text=True, check=True)
    with open(dst, "rb") as f:
        return f.read(), done.stdout.splitlines()


def db(ratio):
    return 20 * math.log10(ratio) if ratio > 0 else float("inf")


def rejector(filtre, workdir):
    print("Carrier rejector, carrier of amplitude 100 (bytes), 8000 Hz, 1000 taps")
    carrier = tone(1000.0, 100.0, 3.0)
    a_in, _ = fit(carrier, 1000.0, 2000)
    for width in (["--frequence", "1000"], ["--frequence", "1000", "--etroite"]):
        out, _ = run(filtre, ["REJECTEUR_PAR_TFD", "--coefficients", "1000", "--diviseur", "1"]
                     + width, carrier, workdir)
        a_out, _ = fit(out, 1000.0, 2000)
        print(f"  manual {' '.join(width):28s} attenuation {db(a_in / max(a_out, 1e-9)):6.1f} dB")
    carrier = tone(1230.0, 100.0, 4.0)
    a_in, _ = fit(carrier, 1230.0, 0)
    for divisor in ("1", "2", "4"):
        out, lines = run(filtre, ["REJECTEUR_PAR_TFD", "--auto", "--coefficients", "1000",
                                  "--diviseur", divisor], carrier, workdir)
        found = [l for l in lines if "Trouvé" in l]
        if not found:
            print(f"  automatic, divisor {divisor}: no carrier found")
            continue
        lock = float(found[0].split()[0])
        start = int(lock * RATE) + 1000
        a_out, _ = fit(out, 1230.0, start)
        print(f"  automatic 1230 Hz, divisor {divisor}: locked at {lock:.3f} s on "
              f"{found[0].split()[2]} Hz, attenuation after lock {db(a_in / max(a_out, 1e-9)):6.1f} dB")


def reducers(filtre, workdir):
    print("Noise reducers, tone of amplitude 30 in white noise of sigma 15 (bytes), 8000 Hz")
    cases = [
        ("REDUCTEUR_GENERAL", ["--reduction", "sans"], 700.0),
        ("REDUCTEUR_GENERAL", ["--reduction", "faible"], 700.0),
        ("REDUCTEUR_GENERAL", ["--reduction", "forte"], 700.0),
        ("REDUCTEUR_CW", ["--mode", "sans"], 700.0),
        ("REDUCTEUR_CW", ["--mode", "cw"], 700.0),
        ("REDUCTEUR_CW", ["--mode", "rtty"], 1360.0),
    ]
    for kind, setting, hz in cases:
        signal = tone(hz, 30.0, 3.0, noise=15.0, seed=7)
        a_in, n_in = fit(signal, hz, 4000)
        out, _ = run(filtre, [kind] + setting, signal, workdir)
        a_out, n_out = fit(out, hz, 4000)
        snr_in = 10 * math.log10(a_in * a_in / 2 / n_in)
        snr_out = 10 * math.log10(a_out * a_out / 2 / n_out)
        print(f"  {kind:18s} {' '.join(setting):17s} tone {hz:6.0f} Hz: SNR {snr_in:5.1f} -> "
              f"{snr_out:5.1f} dB ({snr_out - snr_in:+5.1f} dB)")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as workdir:
        rejector(sys.argv[1], workdir)
        reducers(sys.argv[1], workdir)


if __name__ == "__main__":
    main()
