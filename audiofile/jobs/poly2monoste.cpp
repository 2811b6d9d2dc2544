#include "audiofile/jobs/poly2monoste.h"

#include <QFileInfo>
#include <QStringList>

#include <cstring>
#include <memory>
#include <new>

#include "audiofile/audiohelpers.h"
#include "audiofile/chunkutil.h"
#include "audiofile/jobs/jobutil.h"
#include "audiofile/vfile.h"

namespace {

constexpr uint8_t kDsdIdleByte = 0x96;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// In an extensible "fmt " payload the sub-format GUID starts at byte 24;
// its first two bytes are the plain format tag.
constexpr uint32_t kFmtSubFormatAt = 24;

struct AlignedFree {
    void operator()(void *p) const { _aligned_free(p); }
};
using Buffer = std::unique_ptr<uint8_t, AlignedFree>;

Buffer allocBuffer() { return Buffer(static_cast<uint8_t *>(_aligned_malloc(kPoly2MonosteBufBytes, 32))); }

bool aborted(const std::atomic<bool> *abort) { return abort && abort->load(std::memory_order_relaxed); }

// The file behind path, or an empty text when there is none.
QString canonical(const QString &path) { return QFileInfo(path).canonicalFilePath(); }

}  // namespace

// One source file, open for reading.
struct ClassPoly2Monoste::Source {
    FILE *fp = nullptr;
    QString path;
    uint32_t rate = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    uint16_t formatTag = 0;  // WAV: 1 integer, 3 float (an extensible file's sub-format)
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;
    uint64_t audioBytes = 0;
    uint64_t left = 0;  // audio bytes not read yet (join)
    Source() = default;
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;
    ~Source() { v_close(fp); }
};

// One output file being written.
struct ClassPoly2Monoste::Output {
    FILE *fp = nullptr;
    Output() = default;
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;
    ~Output() { v_close(fp); }
};

namespace {

// Bytes of one channel's copy unit and the samples it holds, by file type.
struct Unit {
    uint32_t bytes;
    uint32_t samples;
};

Unit unitOf(int type, uint32_t bits) {
    switch (type) {
    case kAudioFileDSF: return {kDsfBlockPerChannel, kDsfBlockPerChannel * 8};
    case kAudioFileDSDIFF:
    case kAudioFileWSD: return {1, 8};
    default: return {bits / 8, 1};
    }
}

}  // namespace

ClassPoly2Monoste::ClassPoly2Monoste(uint64_t partBytes) : mPartBytes(partBytes ? partBytes : 1) {}

ClassPoly2Monoste::~ClassPoly2Monoste() = default;

int ClassPoly2Monoste::apply(const QString &out, const QString &src, const QString &src2,
                             const std::atomic<bool> *abort, int *progress, const tPoly2MonosteParam &param) {
    return polyToMonoSte(out, src, src2, abort, progress, param);
}

void ClassPoly2Monoste::paddingData(uint8_t *buffer, uint8_t byte, uint32_t length) const {
    if (length) std::memset(buffer, mPadMode ? byte : 0, length);
}

int ClassPoly2Monoste::chooseHandlers(int fileType) {
    switch (fileType) {
    case kAudioFileWAV:
        mReader = &mWav;
        mWriter = &mWav;
        break;
    case kAudioFileDSF:
        mReader = &mDsf;
        mWriter = &mDsf;
        break;
    case kAudioFileDSDIFF:
        mReader = &mDsdiff;
        mWriter = &mDsdiff;
        break;
    case kAudioFileWSD:
        mReader = &mWsd;
        mWriter = &mDsdiff;  // WSD is not written here; its audio goes into DSDIFF
        break;
    default: return kPoly2MonosteErrParam;
    }
    mType = fileType;
    mPadMode = fileType != kAudioFileWAV;
    return kPoly2MonosteOK;
}

int ClassPoly2Monoste::openSource(Source &s, const QString &path) {
    s.path = path;
    s.fp = jobs_open(path, "rb");
    if (!s.fp) return kPoly2MonosteErrIO;
    tRiffStatus kind = kRiffStatusUnknown;
    if (mReader->checkHeader(s.fp, &kind) != kAudioFileOK ||
        mReader->searchFmtChunk(s.fp, &s.rate, &s.bits, &s.channels, &s.formatTag) != kAudioFileOK ||
        mReader->searchData(s.fp, &s.dataOffset, &s.dataBytes, &s.audioBytes) != kAudioFileOK)
        return kPoly2MonosteErrIO;
    if (mType == kAudioFileWAV && s.formatTag == kWaveFormatExtensible) {
        // Whether 32-bit samples are integers or floats is in the sub-format;
        // the output's plain header must say the same.
        uint64_t fmt = 0;
        uint8_t sub[2];
        if (mWav.searchChunk(s.fp, "fmt ", &fmt) != kAudioFileOK ||
            v_lseek(s.fp, static_cast<int64_t>(fmt + 8 + kFmtSubFormatAt), 0) != 0 || v_read(s.fp, sub, 2) != 2)
            return kPoly2MonosteErrIO;
        s.formatTag = chunk_getLE16(sub);
    }
    if (s.channels == 0 || s.rate == 0) return kPoly2MonosteErrParam;
    if (mType == kAudioFileWAV) {
        if (s.bits < 8 || s.bits > 64 || s.bits % 8 != 0) return kPoly2MonosteErrParam;
    } else if (s.bits != 1) {
        return kPoly2MonosteErrParam;
    }
    s.left = s.audioBytes;
    return v_lseek(s.fp, static_cast<int64_t>(s.dataOffset), 0) == 0 ? kPoly2MonosteOK : kPoly2MonosteErrIO;
}

int ClassPoly2Monoste::openOutput(Output &o, const QString &path, uint32_t channels, const Source &like,
                                  uint64_t dataBytes) {
    tBwfHdrParam p{};
    p.channels = static_cast<uint16_t>(channels);
    p.bits = static_cast<uint16_t>(like.bits);
    p.rate = like.rate;
    p.stereo = channels != 1 ? 1 : 0;
    p.integer32 = like.formatTag == 1 ? 1 : 0;
    // A RIFF header cannot state 4 GiB; the header kind cannot change later.
    p.rf64 = (mType == kAudioFileWAV && jobs_wavNeedsRf64(dataBytes)) ? 1 : 0;
    o.fp = jobs_open(path, "wb+");
    if (!o.fp) return kPoly2MonosteErrIO;
    if (mWriter->createHeader(o.fp, &p, 1) != kAudioFileOK || v_lseek(o.fp, 0, 2) != 0) return kPoly2MonosteErrIO;
    return kPoly2MonosteOK;
}

int ClassPoly2Monoste::finishOutput(Output &o, uint64_t bytes, uint64_t samples) {
    if (mWriter->updateDataSize(o.fp, bytes, samples) != kAudioFileOK || v_flush(o.fp) != 0) return kPoly2MonosteErrIO;
    const int rc = std::fclose(o.fp);
    o.fp = nullptr;
    return rc == 0 ? kPoly2MonosteOK : kPoly2MonosteErrIO;
}

int ClassPoly2Monoste::polyToMonoSte(const QString &out, const QString &src, const QString &src2,
                                     const std::atomic<bool> *abort, int *progress, const tPoly2MonosteParam &param) {
    int rc = chooseHandlers(param.fileType);
    if (rc != kPoly2MonosteOK) return rc;

    Source a;
    if ((rc = openSource(a, src)) != kPoly2MonosteOK) return rc;
    std::unique_ptr<Source> b;
    if (param.twoSources) {
        b.reset(new (std::nothrow) Source);
        if (!b) return kPoly2MonosteErrIO;
        if ((rc = openSource(*b, src2)) != kPoly2MonosteOK) return rc;
    }
    rc = param.twoSources ? join(out, a, *b, abort, progress, param) : split(out, a, abort, progress, param);
    if (rc == kPoly2MonosteOK) jobs_storeProgress(progress, 100);  // also for a source without audio
    return rc;
}

int ClassPoly2Monoste::split(const QString &out, Source &src, const std::atomic<bool> *abort, int *progress,
                             const tPoly2MonosteParam &param) {
    const QString written = canonical(out);
    if (!written.isEmpty() && written == canonical(src.path)) return kPoly2MonosteErrParam;

    const Unit unit = unitOf(mType, src.bits);
    const uint64_t frameBytes = uint64_t{src.channels} * unit.bytes;
    const bool batched = mType != kAudioFileDSF;
    if (frameBytes * (batched ? kPoly2MonosteBatch : 1) > kPoly2MonosteBufBytes) return kPoly2MonosteErrParam;

    uint32_t outChannels = 1;
    uint32_t first = 0;  // first channel copied
    const int64_t ch = param.channel;
    if (param.stereo) {
        if (src.channels % 2 == 1 && ch == src.channels / 2) {
            first = src.channels - 1;  // the last, incomplete pair: its one channel
        } else if (ch >= 0 && 2 * ch + 1 < src.channels) {
            outChannels = 2;
            first = static_cast<uint32_t>(2 * ch);
        } else {
            return kPoly2MonosteErrParam;
        }
    } else {
        if (ch < 0 || ch >= src.channels) return kPoly2MonosteErrParam;
        first = static_cast<uint32_t>(ch);
    }

    // Whole frames only. DSF stores the last block group whole (padded), so
    // it counts even when the stated audio ends inside it.
    uint64_t frames = src.audioBytes / frameBytes;
    uint64_t samples = frames * unit.samples;
    if (mType == kAudioFileDSF) {
        const uint64_t payload = src.dataBytes > kDsfDataHeaderBytes ? src.dataBytes - kDsfDataHeaderBytes : 0;
        frames = (src.audioBytes + frameBytes - 1) / frameBytes;
        if (frames > payload / frameBytes) frames = payload / frameBytes;
        const uint64_t stated = src.audioBytes * 8 / src.channels;
        samples = frames * unit.samples;
        if (samples > stated) samples = stated;
    }
    const uint64_t outFrameBytes = uint64_t{outChannels} * unit.bytes;

    Buffer in = allocBuffer(), gather = allocBuffer();
    if (!in || !gather) return kPoly2MonosteErrIO;

    Output o;
    int rc = openOutput(o, out, outChannels, src, frames * outFrameBytes);
    if (rc == kPoly2MonosteOK) {
        const uint64_t skip = uint64_t{first} * unit.bytes;
        uint64_t remaining = frames, bytesOut = 0;
        while (remaining > 0) {
            const uint32_t k = (batched && remaining >= kPoly2MonosteBatch) ? kPoly2MonosteBatch : 1;
            const uint32_t inBytes = static_cast<uint32_t>(k * frameBytes);
            const uint32_t outBytes = static_cast<uint32_t>(k * outFrameBytes);
            if (v_read(src.fp, in.get(), inBytes) != inBytes) {
                rc = kPoly2MonosteErrIO;
                break;
            }
            for (uint32_t i = 0; i < k; ++i)
                std::memcpy(gather.get() + i * outFrameBytes, in.get() + i * frameBytes + skip, outFrameBytes);
            if (v_write(o.fp, gather.get(), outBytes) != outBytes) {
                rc = kPoly2MonosteErrIO;
                break;
            }
            bytesOut += outBytes;
            remaining -= k;
            jobs_storeProgress(progress, static_cast<int>(100 - remaining * 100 / frames));
            if (aborted(abort)) {
                rc = kPoly2MonosteErrIO;
                break;
            }
        }
        if (rc == kPoly2MonosteOK) rc = finishOutput(o, bytesOut, samples);
    }
    if (rc != kPoly2MonosteOK) {
        v_close(o.fp);
        o.fp = nullptr;
        jobs_remove(out);
    }
    return rc;
}

int ClassPoly2Monoste::join(const QString &out, Source &a, Source &b, const std::atomic<bool> *abort, int *progress,
                            const tPoly2MonosteParam &param) {
    if (a.channels != 1 || b.channels != 1 || a.bits != b.bits || a.rate != b.rate ||
        (mType == kAudioFileWAV && a.formatTag != b.formatTag))
        return kPoly2MonosteErrParam;

    const Unit unit = unitOf(mType, b.bits);
    const bool batched = mType != kAudioFileDSF;
    const uint64_t larger = a.audioBytes > b.audioBytes ? a.audioBytes : b.audioBytes;
    const uint64_t totalUnits = (larger + unit.bytes - 1) / unit.bytes;
    const uint64_t totalSamples = larger / unit.bytes * unit.samples + larger % unit.bytes * unit.samples / unit.bytes;
    // Parts hold whole units: a part boundary inside a sample would shift
    // every sample of the next part.
    uint64_t unitsPerPart = mPartBytes / unit.bytes;
    if (unitsPerPart == 0) unitsPerPart = 1;

    const QString srcA = canonical(a.path), srcB = canonical(b.path);
    auto clashes = [&](const QString &path) {
        const QString c = canonical(path);
        return !c.isEmpty() && (c == srcA || c == srcB);
    };

    Buffer bufA = allocBuffer(), bufB = allocBuffer(), inter = allocBuffer();
    if (!bufA || !bufB || !inter) return kPoly2MonosteErrIO;

    uint8_t pad[2] = {kDsdIdleByte, kDsdIdleByte};
    Source *const srcs[2] = {&a, &b};
    uint8_t *const bufs[2] = {bufA.get(), bufB.get()};

    QStringList written;
    Output o;
    int rc = kPoly2MonosteOK;
    uint64_t done = 0;  // units taken from each source
    int partNo = 0;
    QString path = out;
    do {
        if (clashes(path)) {
            rc = kPoly2MonosteErrParam;
            break;
        }
        const uint64_t partUnits = totalUnits - done < unitsPerPart ? totalUnits - done : unitsPerPart;
        written.append(path);
        if ((rc = openOutput(o, path, 2, b, partUnits * unit.bytes * 2)) != kPoly2MonosteOK) break;

        uint64_t left = partUnits;
        while (left > 0 && rc == kPoly2MonosteOK) {
            const uint32_t k = (batched && left >= kPoly2MonosteBatch) ? kPoly2MonosteBatch : 1;
            const uint32_t want = k * unit.bytes;
            for (int s = 0; s < 2; ++s) {
                const uint32_t have = srcs[s]->left < want ? static_cast<uint32_t>(srcs[s]->left) : want;
                if (have && v_read(srcs[s]->fp, bufs[s], have) != have) {
                    rc = kPoly2MonosteErrIO;
                    break;
                }
                // A DSD source that has run out goes on with its last byte.
                if (have) pad[s] = bufs[s][have - 1];
                paddingData(bufs[s] + have, pad[s], want - have);
                srcs[s]->left -= have;
            }
            if (rc != kPoly2MonosteOK) break;
            for (uint32_t i = 0; i < k; ++i) {
                std::memcpy(inter.get() + (2 * i) * unit.bytes, bufA.get() + i * unit.bytes, unit.bytes);
                std::memcpy(inter.get() + (2 * i + 1) * unit.bytes, bufB.get() + i * unit.bytes, unit.bytes);
            }
            if (v_write(o.fp, inter.get(), 2 * want) != 2 * want) {
                rc = kPoly2MonosteErrDiskFull;
                break;
            }
            left -= k;
            done += k;
            jobs_storeProgress(progress, static_cast<int>(done * 100 / totalUnits));
            if (aborted(abort)) rc = kPoly2MonosteErrIO;
        }
        if (rc != kPoly2MonosteOK) break;
        const uint64_t before = (done - partUnits) * unit.samples;
        const uint64_t partSamples =
            totalSamples - before < partUnits * unit.samples ? totalSamples - before : partUnits * unit.samples;
        if ((rc = finishOutput(o, partUnits * unit.bytes * 2, partSamples)) != kPoly2MonosteOK) break;
        path = param.folder + "/" + param.baseName + "_" + QString::number(++partNo) + param.extension;
    } while (done < totalUnits);

    if (rc != kPoly2MonosteOK) {
        v_close(o.fp);
        o.fp = nullptr;
        for (const QString &p : written) jobs_remove(p);
    }
    return rc;
}
