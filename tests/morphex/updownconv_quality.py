"""Measures a converted sine from outside the converter: its level and its
THD+N (everything that is not the sine, over the whole band).

Usage: updownconv_quality.py <file of float64 samples> <rate> <sine frequency>
Prints "<level dB re 1.0> <THD+N dB>".
"""
import sys

import numpy as np

path, rate, f0 = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
y = np.fromfile(path, dtype=np.float64)

# Leave out the filter's start and end, then fit the sine (and an offset)
# by least squares: what the fit does not explain is distortion and noise.
y = y[len(y) // 8: len(y) - len(y) // 8]
t = np.arange(len(y)) / rate
basis = np.column_stack([np.sin(2 * np.pi * f0 * t), np.cos(2 * np.pi * f0 * t), np.ones_like(t)])
coef, *_ = np.linalg.lstsq(basis, y, rcond=None)
fit = basis @ coef
residual = y - fit
amplitude = np.hypot(coef[0], coef[1])
signal_power = amplitude ** 2 / 2
noise_power = np.mean(residual ** 2)
print(f"{20 * np.log10(amplitude):.4f} {10 * np.log10(noise_power / signal_power):.2f}")
