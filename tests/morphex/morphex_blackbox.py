#!/usr/bin/python3
"""Black-box checks of whole conversions through the morphex-convert driver.

usage: morphex_blackbox.py DRIVER FOLDER CASE

CASE is one of:
  dsd_table   WAV 16/24/32f <-> DSF/DSDIFF at DSD64/128/256, mono and stereo
  pcm_rates   PCM -> PCM at every rate of the table, mono and stereo
  roundtrip   a -6 dBFS sine WAV -> DSF -> WAV keeps its level and SNR

Files are made here with numpy, converted by the driver and checked with
ffprobe and numpy. Prints one line per conversion; exits 1 at the first
failure with the reason.
"""
import json
import os
import subprocess
import sys

import numpy as np

DRIVER, FOLDER, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
PCM_RATES = [44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000]


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def write_wav(path, rate, bits, data):
    """data: frames x channels, full scale 1.0."""
    frames, ch = data.shape
    if bits == 32:
        tag, raw = 3, data.astype('<f4').tobytes()
    elif bits == 16:
        tag, raw = 1, np.clip(np.round(data * 32767), -32768, 32767).astype('<i2').tobytes()
    else:
        tag = 1
        v = np.clip(np.round(data * 8388607), -8388608, 8388607).astype('<i4')
        raw = v.view(np.uint8).reshape(-1, 4)[:, :3].tobytes()
    hdr = b'RIFF' + (36 + len(raw)).to_bytes(4, 'little') + b'WAVE'
    hdr += b'fmt ' + (16).to_bytes(4, 'little') + tag.to_bytes(2, 'little') + ch.to_bytes(2, 'little')
    hdr += rate.to_bytes(4, 'little') + (rate * ch * bits // 8).to_bytes(4, 'little')
    hdr += (ch * bits // 8).to_bytes(2, 'little') + bits.to_bytes(2, 'little')
    hdr += b'data' + len(raw).to_bytes(4, 'little')
    with open(path, 'wb') as f:
        f.write(hdr + raw)


def read_wav(path):
    """Returns (rate, bits, samples frames x channels as float64)."""
    b = open(path, 'rb').read()
    p = 12
    fmt = data = None
    while p + 8 <= len(b):
        cid, size = b[p:p + 4], int.from_bytes(b[p + 4:p + 8], 'little')
        if cid == b'fmt ':
            fmt = b[p + 8:p + 8 + size]
        elif cid == b'data':
            data = b[p + 8:p + 8 + size]
        p += 8 + size + (size & 1)
    tag = int.from_bytes(fmt[0:2], 'little')
    ch = int.from_bytes(fmt[2:4], 'little')
    rate = int.from_bytes(fmt[4:8], 'little')
    bits = int.from_bytes(fmt[14:16], 'little')
    if bits == 32 and tag == 3:
        x = np.frombuffer(data, '<f4').astype(np.float64)
    elif bits == 16:
        x = np.frombuffer(data, '<i2') / 32768.0
    elif bits == 24:
        u = np.frombuffer(data, np.uint8).reshape(-1, 3).astype(np.int32)
        v = (u[:, 0] << 8) | (u[:, 1] << 16) | (u[:, 2] << 24)
        x = v / 2147483648.0
    else:
        fail("unexpected format %d/%d" % (bits, tag))
    return rate, bits, x.reshape(-1, ch)


def probe(path):
    out = subprocess.run(['ffprobe', '-v', 'error', '-show_streams', '-of', 'json', path],
                         capture_output=True, text=True)
    if out.returncode != 0:
        fail("ffprobe refused %s: %s" % (path, out.stderr.strip()))
    return json.loads(out.stdout)['streams'][0]


def convert(src, dst, *args):
    r = subprocess.run([DRIVER] + list(args) + [src, dst], capture_output=True, text=True)
    if r.returncode != 0:
        fail("%s -> %s %s: exit %d, code %s" % (src, dst, args, r.returncode, r.stderr.strip()))


def sine(rate, seconds, freq, amp, ch):
    t = np.arange(int(rate * seconds)) / rate
    cols = [amp * np.sin(2 * np.pi * freq * t + 0.3 * c) for c in range(ch)]
    return np.stack(cols, axis=1)


def tone_level(x, rate, freq):
    """Amplitude of freq in x (one channel), Blackman-Harris windowed."""
    n = len(x)
    w = np.blackman(n)
    spec = np.abs(np.fft.rfft(x * w))
    k = int(round(freq * n / rate))
    # Sum the main lobe's power for an estimate independent of the bin offset.
    lobe = spec[k - 4:k + 5]
    return 2 * np.sqrt(np.sum(lobe ** 2) / (n * np.sum(w ** 2)))


def blackman_harris(n):
    k = 2 * np.pi * np.arange(n) / n
    return 0.35875 - 0.48829 * np.cos(k) + 0.14128 * np.cos(2 * k) - 0.01168 * np.cos(3 * k)


def level_and_snr(x, rate, freq, band=20000.0):
    """Level (dBFS of the sine's amplitude) and the SNR from 20 Hz to band."""
    n = len(x)
    w = blackman_harris(n)  # sidelobes below -92 dB: leakage does not pose as noise
    spec = np.abs(np.fft.rfft(x * w)) ** 2
    f = np.arange(len(spec)) * rate / n
    k = int(round(freq * n / rate))
    sig = np.sum(spec[k - 6:k + 7])
    inband = (f >= 20) & (f <= band)
    inband[k - 6:k + 7] = False
    noise = np.sum(spec[inband])
    amp = 2 * np.sqrt(sig / (n * np.sum(w ** 2)))
    return 20 * np.log10(amp), 10 * np.log10(sig / noise)


def case_dsd_table():
    rows = []
    for i, (bits, rate) in enumerate([(b, r) for b in (16, 24, 32) for r in (2822400, 5644800, 11289600)]):
        rows.append((bits, rate, 'dsf' if i % 2 == 0 else 'dff', 1 + (i // 2) % 2))
    for bits, rate, kind, ch in rows:
        name = "w%d_%d_%s_%d" % (bits, rate, kind, ch)
        src = os.path.join(FOLDER, name + ".wav")
        write_wav(src, 44100, bits, sine(44100, 0.25, 1000.0, 0.5, ch))
        dsd = os.path.join(FOLDER, name + "." + kind)
        convert(src, dsd, '--type', kind, '--rate', str(rate), '--bits', '1')
        s = probe(dsd)
        want_codec = 'dsd_lsbf_planar' if kind == 'dsf' else 'dsd_msbf'
        if s['codec_name'] != want_codec or int(s['sample_rate']) != rate // 8 or int(s['channels']) != ch:
            fail("%s: ffprobe %s %s %s" % (dsd, s['codec_name'], s['sample_rate'], s['channels']))
        dur = float(s.get('duration', 0))
        if abs(dur - 0.25) > 0.02:
            fail("%s: duration %f" % (dsd, dur))
        back = os.path.join(FOLDER, name + ".back.wav")
        convert(dsd, back, '--type', 'wav', '--rate', '44100', '--bits', str(bits))
        s = probe(back)
        want = {16: 'pcm_s16le', 24: 'pcm_s24le', 32: 'pcm_f32le'}[bits]
        if s['codec_name'] != want or int(s['sample_rate']) != 44100 or int(s['channels']) != ch:
            fail("%s: ffprobe %s %s %s" % (back, s['codec_name'], s['sample_rate'], s['channels']))
        r, _, x = read_wav(back)
        mid = x[len(x) // 4:3 * len(x) // 4, 0]
        lvl = 20 * np.log10(tone_level(mid, r, 1000.0) / 0.5)
        if abs(lvl) > 0.1:
            fail("%s: level %.3f dB" % (back, lvl))
        print("%s: %s %d ch, back %.3f dB" % (name, want_codec, ch, lvl))


def case_pcm_rates():
    for ch in (1, 2):
        src = os.path.join(FOLDER, "src%d.wav" % ch)
        n = 8820
        write_wav(src, 44100, 24, sine(44100, n / 44100, 1000.0, 0.5, ch))
        for rate in PCM_RATES:
            dst = os.path.join(FOLDER, "r%d_%d.wav" % (rate, ch))
            convert(src, dst, '--rate', str(rate))
            s = probe(dst)
            frames = n * rate // 44100
            if (int(s['sample_rate']) != rate or int(s['channels']) != ch or s['codec_name'] != 'pcm_s24le'
                    or int(s['duration_ts']) != frames):
                fail("%s: %s %s %s %s (want %d frames)" % (dst, s['codec_name'], s['sample_rate'], s['channels'],
                                                         s.get('duration_ts'), frames))
            _, _, x = read_wav(dst)
            mid = x[len(x) // 4:3 * len(x) // 4, ch - 1]
            lvl = 20 * np.log10(tone_level(mid, rate, 1000.0) / 0.5)
            if abs(lvl) > 0.05:
                fail("%s: level %.3f dB" % (dst, lvl))
            print("44100 -> %d, %d ch: %d frames, level %+.4f dB" % (rate, ch, frames, lvl))


def case_roundtrip():
    src = os.path.join(FOLDER, "sine.wav")
    amp = 10 ** (-6 / 20)
    write_wav(src, 44100, 24, sine(44100, 2.0, 1000.0, amp, 2))
    dsf = os.path.join(FOLDER, "sine.dsf")
    back = os.path.join(FOLDER, "sine.back.wav")
    convert(src, dsf, '--type', 'dsf', '--rate', '2822400', '--bits', '1')
    convert(dsf, back, '--type', 'wav', '--rate', '44100', '--bits', '24')
    rate, _, x = read_wav(back)
    for c in range(2):
        seg = x[22050:22050 + 65536, c]
        lvl, snr = level_and_snr(seg, rate, 1000.0)
        print("channel %d: level %.4f dBFS (want -6.0000), in-band SNR %.1f dB" % (c, lvl, snr))
        if abs(lvl - (-6.0)) > 0.05:
            fail("level %.4f" % lvl)
        if snr < 80:
            fail("SNR %.1f" % snr)


{'dsd_table': case_dsd_table, 'pcm_rates': case_pcm_rates, 'roundtrip': case_roundtrip}[CASE]()
print("OK")
