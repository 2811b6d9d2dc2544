#!/usr/bin/python3
"""Reference waveform overview computed with numpy from the file's bytes.

usage: waveform_ref.py FILE START END COUNTS RESULTS
COUNTS is a comma-separated list (coarsest first); RESULTS holds, per level,
count x 2 maxima then count x 2 minima as little-endian doubles. Exits 0 when
the results match the reference, 1 with a message otherwise.
"""
import struct
import sys

import numpy as np


def parse_wav(b):
    pos = 12
    fmt = None
    while pos + 8 <= len(b):
        cid, size = b[pos:pos + 4], struct.unpack_from('<I', b, pos + 4)[0]
        if cid == b'fmt ':
            tag, ch, rate, _, _, bits = struct.unpack_from('<HHIIHH', b, pos + 8)
            fmt = (ch, bits)
        if cid == b'data':
            ch, bits = fmt
            raw = np.frombuffer(b, np.uint8, size, pos + 8).reshape(-1, bits // 8)
            v = np.zeros(raw.shape[0], np.int64)
            for k in range(bits // 8):
                v |= raw[:, k].astype(np.int64) << (8 * k)
            v = np.where(v >= 1 << (bits - 1), v - (1 << bits), v)
            return ch, bits, v.reshape(-1, ch).astype(np.float64) / float(1 << (bits - 1))
        pos += 8 + size + (size & 1)
    raise SystemExit('no data chunk')


def parse_dsf(b):
    ch = struct.unpack_from('<I', b, 28 + 24)[0]
    rate = struct.unpack_from('<I', b, 28 + 28)[0]
    samples = struct.unpack_from('<Q', b, 28 + 36)[0]
    data = np.frombuffer(b, np.uint8, offset=28 + 52 + 12)
    groups = data.reshape(-1, ch, 4096)
    chans = [groups[:, c, :].reshape(-1) for c in range(ch)]
    rev = np.array([int('{:08b}'.format(i)[::-1], 2) for i in range(256)], np.uint8)
    return rate, samples, [rev[c] for c in chans]


def parse_dff(b):
    pos = 16
    rate = ch = None
    while pos + 12 <= len(b):
        cid, size = b[pos:pos + 4], struct.unpack_from('>Q', b, pos + 4)[0]
        if cid == b'PROP':
            p = pos + 16
            while p < pos + 12 + size:
                sid, ssz = b[p:p + 4], struct.unpack_from('>Q', b, p + 4)[0]
                if sid == b'FS  ':
                    rate = struct.unpack_from('>I', b, p + 12)[0]
                if sid == b'CHNL':
                    ch = struct.unpack_from('>H', b, p + 12)[0]
                p += 12 + ssz + (ssz & 1)
        if cid == b'DSD ':
            data = np.frombuffer(b, np.uint8, size, pos + 12).reshape(-1, ch)
            return rate, size // ch * 8, [data[:, c].copy() for c in range(ch)]
        pos += 12 + size + (size & 1)
    raise SystemExit('no sound chunk')


def byte_tables(rate, taps=255):
    cutoff = rate * 0.015625
    n = taps | 1
    c = np.zeros(8 * (taps // 8 + 1))
    for m in range(n):
        x = m - taps // 2
        if x == 0:
            c[m] = 2.0 * cutoff / rate
        else:
            w = 0.42 + 0.5 * np.cos(2 * np.pi * x / n) + 0.08 * np.cos(4 * np.pi * x / n)
            c[m] = np.sin(2 * np.pi * cutoff * x / rate) * w / (np.pi * x)
    bits = ((np.arange(256)[:, None] >> (7 - np.arange(8))[None, :]) & 1) * 2 - 1
    return np.array([bits @ c[8 * g:8 * g + 8] for g in range(taps // 8 + 1)])


def main():
    path, start, end, counts, results = sys.argv[1:6]
    start, end = int(start), int(end)
    counts = [int(c) for c in counts.split(',')]
    b = open(path, 'rb').read()
    last = counts[-1]
    dsd = not path.endswith('.wav')
    if dsd:
        rate, samples, chans = parse_dsf(b) if path.endswith('.dsf') else parse_dff(b)
        frames = max(0, samples - 255)
        tables = byte_tables(rate)
    else:
        ch, bits, pcm = parse_wav(b)
        frames = pcm.shape[0]
    start = min(max(start, 0), frames)
    end = min(max(end, start), frames)
    span = end - start
    per = -(-span // last)
    if dsd:
        per = (per + 7) // 8 * 8
    else:
        per = max(per, 1)
    pmax = np.zeros((last, 2))
    pmin = np.zeros((last, 2))
    for i in range(last):
        first = start + i * span // last
        if dsd:
            first = (first + 7) // 8 * 8
            nb = per // 8
            for c, data in enumerate(chans):
                seg = np.full(nb + 32, 0x96, np.uint8)
                avail = data[first // 8:first // 8 + nb + 32]
                seg[:len(avail)] = avail
                if first // 8 >= len(data):
                    continue
                js = np.arange(0, nb, 2)
                acc = tables[0][seg[js]]
                for k in range(1, 31):
                    acc = acc + tables[k][seg[js + k]]
                if len(acc):
                    pmax[i, c] = max(0.0, acc.max()) * 1.6
                    pmin[i, c] = min(0.0, acc.min()) * 1.6
        else:
            seg = pcm[first:first + per]
            for c in range(seg.shape[1]):
                if len(seg):
                    pmax[i, c] = max(0.0, (seg[:, c] * 0.8).max())
                    pmin[i, c] = min(0.0, (seg[:, c] * 0.8).min())
    expect = []
    for j, cnt in enumerate(counts):
        if j == len(counts) - 1:
            expect.append((pmax, pmin))
            continue
        mx = np.zeros((cnt, 2))
        mn = np.zeros((cnt, 2))
        g = last // cnt if 1 <= cnt <= last else 0
        if g:
            for k in range(min(cnt, last // g)):
                mx[k] = np.maximum(0, pmax[k * g:(k + 1) * g].max(axis=0))
                mn[k] = np.minimum(0, pmin[k * g:(k + 1) * g].min(axis=0))
        expect.append((mx, mn))
    got = np.fromfile(results, '<f8')
    at = 0
    for j, (mx, mn) in enumerate(expect):
        n = mx.size
        gmx = got[at:at + n].reshape(-1, 2)
        gmn = got[at + n:at + 2 * n].reshape(-1, 2)
        at += 2 * n
        for name, g, e in (('max', gmx, mx), ('min', gmn, mn)):
            if not np.allclose(g, e, rtol=1e-9, atol=1e-12):
                bad = np.argwhere(~np.isclose(g, e, rtol=1e-9, atol=1e-12))[0]
                print('level %d %s point %s: got %r expected %r' % (j, name, bad, g[tuple(bad)], e[tuple(bad)]))
                return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
