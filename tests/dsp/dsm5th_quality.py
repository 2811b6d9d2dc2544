"""Measures a modulated 1-bit stream from outside the modulator: level and
in-band SNR (noise and distortion, 20 Hz to 20 kHz) of a sine after a
20 kHz low-pass.

Usage: dsm5th_quality.py <bits file> <rate> <sine frequency>
Prints "<level dB re one bit> <SNR dB>".
"""
import sys

import numpy as np
from scipy.signal import firwin, oaconvolve

path, rate, f0 = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
bits = np.unpackbits(np.fromfile(path, dtype=np.uint8)).astype(np.float64) * 2.0 - 1.0
n = len(bits)

# Low-pass: flat to 20 kHz, about 140 dB down from 40 kHz on, so that the
# shaped noise above the band cannot fold back; then decimate to 88.2 kHz.
taps = firwin(int(rate / 20000.0 * 9) | 1, 30000.0, fs=rate, window=("kaiser", 14.0))
y = oaconvolve(bits, taps, mode="valid")
step = rate // 88200
y = y[::step]
fs = rate / step

# Drop the start-up transient, then analyse a whole number of sine periods
# (88200 / 1000 = 88.2 samples, so multiples of 441 samples): the sine then
# falls on one bin and a plain rectangular window leaks nothing.
y = y[len(y) // 10:]
period = 441
m = len(y) // period * period
y = y[:m]
p = np.abs(np.fft.rfft(y)) ** 2
freqs = np.fft.rfftfreq(m, 1.0 / fs)
k0 = int(round(f0 * m / fs))
band = (freqs >= 20.0) & (freqs <= 20000.0)
band[k0] = False
s = p[k0]
noise = p[band].sum()
amplitude = 2.0 * np.sqrt(s) / m
print(f"{20.0 * np.log10(amplitude):.3f} {10.0 * np.log10(s / noise):.2f}")
