#!/usr/bin/env python3
"""Regenerates the KernelDesign rows of tests/dsp/passebas_test.cpp: a Hamming-windowed band
of lower..upper Hz, half a sample off centre, scaled by 100000 and rounded half to even.
Prints pairs, the first two and the last coefficients, and twice the sum of all of them."""
import math

def design(lower, upper, taps, rate):
    n = min(max(taps, 0), 1000)
    pairs = n // 2
    c = []
    for k in range(pairs):
        t = k + 0.5
        ideal = (math.sin(2 * math.pi * t / rate * upper) - math.sin(2 * math.pi * t / rate * lower)) / (math.pi * t)
        window = 0.54 + 0.46 * math.cos(2 * math.pi * t / n)
        c.append(round(ideal * window * 100000.0))  # Python rounds half to even, as nearbyint
    return [pairs, c[0], c[1], c[-1], 2 * sum(c)]

for row in [(0, 1000, 1000, 8000), (0, 3000, 1000, 8000), (0, 300, 1000, 8000),
            (875, 1125, 1000, 8000), (100, 160, 1000, 8000), (2300, 3900, 1000, 8000)]:
    print(row, design(*row))
