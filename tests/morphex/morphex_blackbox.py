#!/usr/bin/python3
"""Black-box checks of whole conversions through the morphex-convert driver.

usage: morphex_blackbox.py DRIVER FOLDER CASE

CASE is one of:
  dsd_table   WAV 16/24/32f <-> DSF/DSDIFF at DSD64/128/256, mono and stereo
  pcm_rates   PCM -> PCM at every rate of the table, mono and stereo
  roundtrip   a -6 dBFS sine WAV -> DSF -> WAV keeps its level and SNR
  mode3       filter mode 3 (frequency domain) against mode 0: frame counts,
              levels, images and aliases, and block joins without a seam

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


def dsd_samples(path):
    """Samples per channel of a DSF (its fmt chunk's count) or DSDIFF file
    (its sound chunk's bytes), and the channel count."""
    b = open(path, 'rb').read()
    if b[:4] == b'DSD ':
        return int.from_bytes(b[64:72], 'little'), int.from_bytes(b[52:56], 'little')
    p, ch = 16, 0
    while p + 12 <= len(b):
        cid, size = b[p:p + 4], int.from_bytes(b[p + 4:p + 12], 'big')
        if cid == b'PROP':
            q = p + 16
            while q + 12 <= p + 12 + size:
                sub, ssize = b[q:q + 4], int.from_bytes(b[q + 4:q + 12], 'big')
                if sub == b'CHNL':
                    ch = int.from_bytes(b[q + 12:q + 14], 'big')
                q += 12 + ssize + (ssize & 1)
        elif cid == b'DSD ':
            return size * 8 // ch, ch
        p += 12 + size + (size & 1)
    fail("%s: no sound chunk" % path)


# Conversion filter length of a DSD source decimated to 44.1 kHz: the job
# ends this many samples before the source does.
DSD_TO_44K1_TAPS = {2822400: 2047, 5644800: 4095, 11289600: 8191}


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
        n, nch = dsd_samples(dsd)
        if n != 11025 * (rate // 44100) or nch != ch:
            fail("%s: %d samples, %d channels (want %d, %d)" % (dsd, n, nch, 11025 * (rate // 44100), ch))
        back = os.path.join(FOLDER, name + ".back.wav")
        convert(dsd, back, '--type', 'wav', '--rate', '44100', '--bits', str(bits))
        s = probe(back)
        want = {16: 'pcm_s16le', 24: 'pcm_s24le', 32: 'pcm_f32le'}[bits]
        if s['codec_name'] != want or int(s['sample_rate']) != 44100 or int(s['channels']) != ch:
            fail("%s: ffprobe %s %s %s" % (back, s['codec_name'], s['sample_rate'], s['channels']))
        r, _, x = read_wav(back)
        frames = (n - DSD_TO_44K1_TAPS[rate]) // (rate // 44100)
        if len(x) != frames:
            fail("%s: %d frames, want %d" % (back, len(x), frames))
        lvls = []
        for c in range(ch):
            mid = x[len(x) // 4:3 * len(x) // 4, c]
            lvls.append(20 * np.log10(tone_level(mid, r, 1000.0) / 0.5))
            if abs(lvls[-1]) > 0.1:
                fail("%s: channel %d level %.3f dB" % (back, c, lvls[-1]))
        print("%s: %s %d ch, %d samples, back %d frames at %s dB" % (name, want_codec, ch, n, len(x),
                                                                     ", ".join("%.3f" % v for v in lvls)))


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
            lvls = []
            for c in range(ch):
                mid = x[len(x) // 4:3 * len(x) // 4, c]
                lvls.append(20 * np.log10(tone_level(mid, rate, 1000.0) / 0.5))
                if abs(lvls[-1]) > 0.05:
                    fail("%s: channel %d level %.3f dB" % (dst, c, lvls[-1]))
            print("44100 -> %d, %d ch: %d frames, level %s dB" % (rate, ch, frames,
                                                                  ", ".join("%+.4f" % v for v in lvls)))


def case_roundtrip():
    src = os.path.join(FOLDER, "sine.wav")
    amp = 10 ** (-6 / 20)
    write_wav(src, 44100, 24, sine(44100, 2.0, 1000.0, amp, 2))
    dsf = os.path.join(FOLDER, "sine.dsf")
    back = os.path.join(FOLDER, "sine.back.wav")
    convert(src, dsf, '--type', 'dsf', '--rate', '2822400', '--bits', '1')
    n, _ = dsd_samples(dsf)
    if n != 88200 * 64:
        fail("%s: %d samples, want %d" % (dsf, n, 88200 * 64))
    convert(dsf, back, '--type', 'wav', '--rate', '44100', '--bits', '24')
    rate, _, x = read_wav(back)
    if len(x) != (n - DSD_TO_44K1_TAPS[2822400]) // 64:
        fail("%s: %d frames, want %d" % (back, len(x), (n - DSD_TO_44K1_TAPS[2822400]) // 64))
    for c in range(2):
        seg = x[22050:22050 + 65536, c]
        lvl, snr = level_and_snr(seg, rate, 1000.0)
        print("channel %d: level %.4f dBFS (want -6.0000), in-band SNR %.1f dB" % (c, lvl, snr))
        if abs(lvl - (-6.0)) > 0.05:
            fail("level %.4f" % lvl)
        # A few dB under what both channels measure (97.6 dB).
        if snr < 94:
            fail("SNR %.1f" % snr)


def fit_residual(x, rate, freqs):
    """x minus its least-squares fit of sines at freqs (and a constant)."""
    t = np.arange(len(x)) / rate
    cols = [np.ones_like(t)]
    for f in freqs:
        cols += [np.sin(2 * np.pi * f * t), np.cos(2 * np.pi * f * t)]
    a = np.stack(cols, axis=1)
    coef = np.linalg.lstsq(a, x, rcond=None)[0]
    return x - a @ coef


def spur_dbfs(res, rate, top):
    """Largest sinusoidal component of res from 20 Hz to top, in dBFS."""
    n = len(res)
    w = blackman_harris(n)
    amp = 2 * np.abs(np.fft.rfft(res * w)) / np.sum(w)
    f = np.arange(len(amp)) * rate / n
    band = (f >= 20) & (f <= top)
    return 20 * np.log10(np.max(amp[band]) + 1e-300), f[band][np.argmax(amp[band])]


def joins_dbfs(res, first, block):
    """Peak of res within 2 frames of each block join, and elsewhere (dBFS).
    first: output frame of res[0]."""
    near = np.zeros(len(res), bool)
    for j in range(block - first % block, len(res), block):
        near[max(0, j - 2):j + 3] = True
    db = lambda v: 20 * np.log10(np.max(np.abs(v)) + 1e-300)
    return db(res[near]), db(res[~near])


def case_mode3():
    amp = 10 ** (-6 / 20)
    # (source rate, output rate, seconds, out-of-band or high tone, block of mode 3)
    for rin, rout, secs, hf, block in ((44100, 48000, 0.5, 17000.0, 320), (96000, 44100, 0.4, 30000.0, 147)):
        n = int(rin * secs)
        t = np.arange(n) / rin
        left = amp * np.sin(2 * np.pi * 997.0 * t)
        right = 0.5 * amp * np.sin(2 * np.pi * 997.0 * t + 0.3) + 0.5 * amp * np.sin(2 * np.pi * hf * t)
        src = os.path.join(FOLDER, "m3_%d.wav" % rin)
        write_wav(src, rin, 32, np.stack([left, right], axis=1))
        out = {}
        for mode in (0, 3):
            dst = os.path.join(FOLDER, "m3_%d_%d_mode%d.wav" % (rin, rout, mode))
            convert(src, dst, '--rate', str(rout), '--bits', '32', '--mode', str(mode))
            _, _, out[mode] = read_wav(dst)
        want = n * rout // rin
        for mode in (0, 3):
            if len(out[mode]) != want:
                fail("%d -> %d mode %d: %d frames, want %d" % (rin, rout, mode, len(out[mode]), want))
        # Steady middle: away from the start, where the filter fills, and the end.
        a, b = len(out[3]) // 8, len(out[3]) - len(out[3]) // 8
        lv = {m: 20 * np.log10(tone_level(out[m][a:b, 0], rout, 997.0) / amp) for m in (0, 3)}
        if abs(lv[3]) > 0.05 or abs(lv[3] - lv[0]) > 0.05:
            fail("%d -> %d: 997 Hz level mode 3 %+.4f dB, mode 0 %+.4f dB" % (rin, rout, lv[3], lv[0]))
        # The right channel's 997 Hz tone is 6 dB lower.
        lvr = {m: 20 * np.log10(tone_level(out[m][a:b, 1], rout, 997.0) / (0.5 * amp)) for m in (0, 3)}
        if abs(lvr[3]) > 0.05 or abs(lvr[3] - lvr[0]) > 0.05:
            fail("%d -> %d: right 997 Hz level mode 3 %+.4f dB, mode 0 %+.4f dB" % (rin, rout, lvr[3], lvr[0]))
        # Left: a lone tone, so what is left after fitting it is every image,
        # alias and seam the conversion made.
        top = 0.45 * rout
        spur = {}
        for m in (0, 3):
            res = fit_residual(out[m][a:b, 0], rout, [997.0])
            spur[m] = spur_dbfs(res, rout, top)
        res3 = fit_residual(out[3][a:b, 0], rout, [997.0])
        jn, el = joins_dbfs(res3, a, block)
        # Right: the second tone is in band (17 kHz at 48 kHz, kept) or
        # beyond the output's band (30 kHz at 44.1 kHz, alias at 14.1 kHz).
        keep = [997.0, hf] if hf < rout / 2 else [997.0]
        hfs = {m: spur_dbfs(fit_residual(out[m][a:b, 1], rout, keep), rout, top) for m in (0, 3)}
        print("%d -> %d: %d frames; 997 Hz level mode 3 %+.4f dB, mode 0 %+.4f dB" % (rin, rout, want, lv[3], lv[0]))
        print("  lone tone, largest other component: mode 3 %.1f dBFS at %.0f Hz, mode 0 %.1f dBFS at %.0f Hz"
              % (spur[3][0], spur[3][1], spur[0][0], spur[0][1]))
        print("  %g Hz tone, largest other component: mode 3 %.1f dBFS at %.0f Hz, mode 0 %.1f dBFS at %.0f Hz"
              % (hf, hfs[3][0], hfs[3][1], hfs[0][0], hfs[0][1]))
        print("  mode 3 residue peak: %.1f dBFS within 2 frames of a block join, %.1f dBFS elsewhere" % (jn, el))
        if spur[3][0] > -130 or hfs[3][0] > -130:
            fail("mode 3 images or aliases too high")
        if jn > -110 or jn > el + 6:
            fail("mode 3 block joins stand out")

    # DSD64 -> 88.2 kHz.
    n = 22050
    src = os.path.join(FOLDER, "m3_dsd.wav")
    write_wav(src, 44100, 24, sine(44100, n / 44100, 997.0, amp, 2))
    dsf = os.path.join(FOLDER, "m3.dsf")
    convert(src, dsf, '--type', 'dsf', '--rate', '2822400', '--bits', '1')
    total = int.from_bytes(open(dsf, 'rb').read()[64:72], 'little')  # the fmt chunk's sample count
    out = {}
    for mode in (0, 3):
        dst = os.path.join(FOLDER, "m3_dsd_mode%d.wav" % mode)
        convert(dsf, dst, '--type', 'wav', '--rate', '88200', '--bits', '32', '--mode', str(mode))
        _, _, out[mode] = read_wav(dst)
    lens = {m: len(out[m]) for m in (0, 3)}
    # The job ends one filter length before the source: 1023 taps in mode 0,
    # 18496 in mode 3.
    for m, taps in ((0, 1023), (3, 18496)):
        if lens[m] != (total - taps) // 32:
            fail("DSD64 -> 88200 mode %d: %d frames, want %d" % (m, lens[m], (total - taps) // 32))
    for c in range(2):
        res = {}
        for m in (0, 3):
            x = out[m][len(out[m]) // 4:len(out[m]) // 4 + 16384, c]
            res[m] = level_and_snr(x, 88200, 997.0)
        print("DSD64 -> 88200, channel %d: %s frames; level mode 3 %.4f dBFS, mode 0 %.4f dBFS; in-band SNR "
              "mode 3 %.1f dB, mode 0 %.1f dB" % (c, lens, res[3][0], res[0][0], res[3][1], res[0][1]))
        if abs(res[3][0] - res[0][0]) > 0.05 or abs(res[3][0] + 6) > 0.05:
            fail("DSD level, channel %d" % c)
        if res[3][1] < res[0][1] - 1.0:
            fail("DSD in-band SNR, channel %d" % c)


{'dsd_table': case_dsd_table, 'pcm_rates': case_pcm_rates, 'roundtrip': case_roundtrip,
 'mode3': case_mode3}[CASE]()
print("OK")
