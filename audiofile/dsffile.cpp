#include "audiofile/dsffile.h"

#include <cstring>

#include "audiofile/dsdlayout.h"
#include "audiofile/vfile.h"
#include "base/alignedalloc.h"

namespace {

// Bytes of one block group.
inline uint64_t groupBytes(uint32_t channels) { return uint64_t{kDsfBlockPerChannel} * channels; }

// audio rounded up to whole block groups; false when that does not fit.
bool paddedAudio(uint64_t audio, uint32_t channels, uint64_t *padded) {
    const uint64_t g = groupBytes(channels);
    const uint64_t rem = audio % g;
    if (rem == 0) {
        *padded = audio;
        return true;
    }
    if (audio > UINT64_MAX - (g - rem)) return false;
    *padded = audio + (g - rem);
    return true;
}

// channels x samples / 8, saturating instead of wrapping.
uint64_t audioBytesOf(uint64_t samples, uint32_t channels) {
    if (channels != 0 && samples / 8 > (UINT64_MAX - 8 * channels) / channels) return UINT64_MAX;
    return (samples / 8) * channels + (samples % 8) * channels / 8;
}

}  // namespace

gClass_DsfFile::gClass_DsfFile(const tAudioFileBuild &build) : mBuild(build) {
    mFrameBuf = alignedBuffer<uint8_t>(kDsfTagFrameBufBytes, 8);
    mReadBuf = alignedBuffer<uint8_t>(kDsfTagReadBufBytes, 8);
    mCopyBuf = alignedBuffer<uint8_t>(kDsfTagCopyBufBytes, 8);
    mBlock = alignedBuffer<uint8_t>(kDsfBlockPerChannel, 8);
    mSilence = alignedBuffer<uint8_t>(kDsfBlockPerChannel, 8);
    if (mSilence) std::memset(mSilence.get(), kDsdIdleByte, kDsfBlockPerChannel);
}

gClass_DsfFile::~gClass_DsfFile() { removeWorkFile(); }

int gClass_DsfFile::readFmt(FILE *fp, uint8_t *fmt) {
    uint64_t off = 0, size = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "fmt ", &off, &size, kChunkModeDsf) != 0) return -1;
    if (size < kDsfFmtChunkBytes) return -1;
    return v_readAt(fp, off, fmt, kDsfFmtChunkBytes);
}

// ---------------------------------------------------------------------------
// Interface operations

int gClass_DsfFile::checkHeader(FILE *fp, tRiffStatus *status) {
    (void)status;
    uint8_t dsd[kDsfDsdChunkBytes];
    if (!fp || v_readAt(fp, 0, dsd, sizeof dsd) != 0) return kAudioFileErrFormat;
    if (!chunk_idIs(dsd, "DSD ")) return kAudioFileErrFormat;
    uint8_t fmt[kDsfFmtChunkBytes];
    if (readFmt(fp, fmt) != 0) return kAudioFileErrIO;
    std::memcpy(mFmt, fmt, sizeof mFmt);
    return kAudioFileOK;
}

int gClass_DsfFile::searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    *dataOffset = 0;
    *dataBytes = 0;
    *audioBytes = 0;
    int rc = checkHeader(fp, nullptr);
    if (rc != 0) return rc;
    uint64_t off = 0, size = 0;
    if (mChunk.mChunk_searchDataTop(fp, &off, &size, kChunkModeDsf) != 0) return kAudioFileErrIO;
    const uint32_t channels = chunk_getLE32(mFmt + kDsfFmtChannelNum);
    uint64_t audio = audioBytesOf(chunk_getLE64(mFmt + kDsfFmtSampleCount), channels);
    // The sample count is untrusted: never more audio than the data chunk
    // holds. The channels' blocks follow each other, so a file cut inside a
    // block group holds only the frames whose byte every channel has: a
    // group whose last channel's block is missing holds none.
    const uint64_t payload = size > kDsfDataHeaderBytes ? size - kDsfDataHeaderBytes : 0;
    if (channels > 0) {
        const uint64_t g = groupBytes(channels);
        const uint64_t lead = uint64_t{kDsfBlockPerChannel} * (channels - 1);
        const uint64_t rem = payload % g;
        const uint64_t tail = rem > lead ? rem - lead : 0;
        const uint64_t held = (payload / g) * g + tail * channels;
        if (audio > held) audio = held;
    }
    if (audio > payload) audio = payload;
    *dataOffset = off;
    *dataBytes = size;
    *audioBytes = audio;
    return kAudioFileOK;
}

int gClass_DsfFile::searchChunk(FILE *fp, const char *id, uint64_t *offset) {
    (void)fp;
    (void)id;
    *offset = 0;
    return kAudioFileErrIO;
}

int gClass_DsfFile::searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    uint8_t fmt[kDsfFmtChunkBytes];
    if (!fp || readFmt(fp, fmt) != 0) return kAudioFileErrIO;
    *rate = chunk_getLE32(fmt + kDsfFmtRate);
    *bits = chunk_getLE32(fmt + kDsfFmtBits);
    *channels = chunk_getLE32(fmt + kDsfFmtChannelNum);
    *formatTag = 0;
    return kAudioFileOK;
}

int gClass_DsfFile::searchBextChunk(FILE *fp, uint64_t *startSample) {
    (void)fp;
    *startSample = 0;
    return kAudioFileErrIO;
}

int gClass_DsfFile::deleteChunk(FILE *fp, const char *id) {
    (void)fp;
    (void)id;
    return kAudioFileErrIO;
}

int gClass_DsfFile::createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    (void)withBext;
    removeWorkFile();
    forgetTagState();
    if (!fp || !param) return kAudioFileErrIO;
    if (param->channels == 0 || param->channels > kDsfMaxChannels || param->rate == 0) return kAudioFileErrFormat;

    uint8_t h[kDsfHeaderBytes] = {};
    std::memcpy(h, "DSD ", 4);
    chunk_putLE64(h + 4, kDsfDsdChunkBytes);
    chunk_putLE64(h + kDsfDsdTotalSize, kDsfHeaderBytes);
    chunk_putLE64(h + kDsfDsdMetaPointer, 0);
    uint8_t *f = h + kDsfDsdChunkBytes;
    std::memcpy(f, "fmt ", 4);
    chunk_putLE64(f + 4, kDsfFmtChunkBytes);
    chunk_putLE32(f + kDsfFmtVersion, 1);
    chunk_putLE32(f + kDsfFmtFormatId, 0);
    chunk_putLE32(f + kDsfFmtChannelType, param->channels);
    chunk_putLE32(f + kDsfFmtChannelNum, param->channels);
    chunk_putLE32(f + kDsfFmtRate, param->rate);
    chunk_putLE32(f + kDsfFmtBits, 1);
    chunk_putLE64(f + kDsfFmtSampleCount, 0);
    chunk_putLE32(f + kDsfFmtBlockSize, kDsfBlockPerChannel);
    uint8_t *d = f + kDsfFmtChunkBytes;
    std::memcpy(d, "data", 4);
    chunk_putLE64(d + 4, 0);
    if (v_writeAt(fp, 0, h, sizeof h) != 0) return kAudioFileErrIO;
    return v_flush(fp) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

// Writes 0x96 over [offset, offset + length).
int gClass_DsfFile::fillIdle(FILE *fp, uint64_t offset, uint64_t length) {
    if (!mSilence) return -1;
    if (offset > static_cast<uint64_t>(INT64_MAX) || v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) return -1;
    while (length > 0) {
        uint32_t n = length > kDsfBlockPerChannel ? kDsfBlockPerChannel : static_cast<uint32_t>(length);
        if (v_write(fp, mSilence.get(), n) != n) return -1;
        length -= n;
    }
    return 0;
}

// Pointer, data size and sample count; each chunk is found by the walk.
int gClass_DsfFile::writeSizes(FILE *fp, uint64_t metaPointer, uint64_t dataSize, uint64_t samples) {
    uint64_t off = 0;
    uint8_t field[8];
    if (mChunk.mChunk_searchSpecifiedChunk(fp, "DSD ", &off, kChunkModeDsf) != 0) return -1;
    chunk_putLE64(field, metaPointer);
    if (v_writeAt(fp, off + kDsfDsdMetaPointer, field, 8) != 0) return -1;
    if (mChunk.mChunk_searchSpecifiedChunk(fp, "data", &off, kChunkModeDsf) != 0) return -1;
    chunk_putLE64(field, dataSize);
    if (v_writeAt(fp, off + 4, field, 8) != 0) return -1;
    if (mChunk.mChunk_searchSpecifiedChunk(fp, "fmt ", &off, kChunkModeDsf) != 0) return -1;
    chunk_putLE64(field, samples);
    if (v_writeAt(fp, off + kDsfFmtSampleCount, field, 8) != 0) return -1;
    return v_flush(fp) == 0 ? 0 : -1;
}

int gClass_DsfFile::updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    if (!fp) return kAudioFileErrIO;
    uint8_t fmt[kDsfFmtChunkBytes];
    if (readFmt(fp, fmt) != 0) return kAudioFileErrIO;
    const uint32_t channels = chunk_getLE32(fmt + kDsfFmtChannelNum);
    if (channels == 0 || channels > kDsfMaxChannels) return kAudioFileErrFormat;
    uint64_t dataHdr = 0;
    if (mChunk.mChunk_searchSpecifiedChunk(fp, "data", &dataHdr, kChunkModeDsf) != 0) return kAudioFileErrIO;
    const uint64_t top = dataHdr + kDsfDataHeaderBytes;

    uint64_t padded = 0, fileSize = 0;
    if (!paddedAudio(audioBytes, channels, &padded) || padded > UINT64_MAX - top - kDsfDataHeaderBytes)
        return kAudioFileErrFormat;
    if (v_getFileSize(fp, &fileSize) != 0) return kAudioFileErrIO;

    // The last block group holds f audio bytes at the start of each
    // channel's block; the rest of each block is padding. A mono writer
    // leaves its last block short, so the padding is written here. The
    // audio itself must be there: sizes never describe audio that is not.
    const uint64_t g = groupBytes(channels);
    const uint64_t f = (audioBytes / channels) % kDsfBlockPerChannel;
    const uint64_t lastGroup = top + (audioBytes / channels / kDsfBlockPerChannel) * g;
    const uint64_t audioEnd = f == 0 ? top + audioBytes : lastGroup + (channels - 1) * kDsfBlockPerChannel + f;
    if (fileSize < top || audioEnd > fileSize) return kAudioFileErrFormat;

    // Whatever follows the padded audio (an old tag) goes, so the tag is
    // written right behind the audio, where the pointer names it.
    const uint64_t tagOffset = top + padded;
    if (fileSize > tagOffset && v_ftruncate(fp, static_cast<int64_t>(tagOffset)) != 0) return kAudioFileErrIO;
    if (f != 0) {
        for (uint32_t i = 0; i < channels; ++i) {
            if (fillIdle(fp, lastGroup + i * kDsfBlockPerChannel + f, kDsfBlockPerChannel - f) != 0)
                return kAudioFileErrIO;
        }
    }

    if (writeSizes(fp, tagOffset, padded + kDsfDataHeaderBytes, samples) != 0) return kAudioFileErrIO;

    // A failed tag write does not fail the size update: the audio is
    // complete. The pointer is then cleared so that no reader looks for a
    // tag that is not there.
    if (saveCueData(fp, 0, 0, 0) != 0) {
        (void)v_ftruncate(fp, static_cast<int64_t>(tagOffset));
        uint64_t off = 0;
        uint8_t zero[8] = {};
        if (mChunk.mChunk_searchSpecifiedChunk(fp, "DSD ", &off, kChunkModeDsf) == 0)
            (void)v_writeAt(fp, off + kDsfDsdMetaPointer, zero, 8);
    }
    (void)updateFileSizeDsf(fp);
    return kAudioFileOK;
}

int gClass_DsfFile::divide(FILE *src, FILE *second, FILE *work, uint64_t pos) {
    (void)work;
    if (!src || !second) return kAudioFileErrIO;
    uint64_t off = 0, dataBytes = 0, audio = 0;
    int rc = searchData(src, &off, &dataBytes, &audio);
    if (rc != 0) return rc;
    const uint32_t channels = chunk_getLE32(mFmt + kDsfFmtChannelNum);
    if (channels == 0 || channels > kDsfMaxChannels) return kAudioFileErrFormat;
    const uint64_t total = chunk_getLE64(mFmt + kDsfFmtSampleCount);
    const uint64_t payload = dataBytes > kDsfDataHeaderBytes ? dataBytes - kDsfDataHeaderBytes : 0;
    // The split must fall between block groups, or the channels of the
    // second part would be shifted against its blocks.
    if (pos > payload || pos % groupBytes(channels) != 0) return kAudioFileErrFormat;

    // Header, then the audio from pos on (the source's tag is replaced).
    if (vfs_editFile(src, second, 0, 0, true, static_cast<int64_t>(off), kEditProgressNone) != 0)
        return kAudioFileErrIO;
    if (vfs_editFile(src, second, off + pos, 0, false, static_cast<int64_t>(payload - pos), kEditProgressEdit) != 0)
        return kAudioFileErrIO;

    uint64_t firstSamples = pos * 8 / channels;
    if (firstSamples > total) firstSamples = total;
    rc = updateDataSize(second, payload - pos, total - firstSamples);
    if (rc != 0) return rc;
    return updateDataSize(src, pos, firstSamples);
}

// Reads one block of a channel: available bytes (at most 4096) of audio,
// the rest of the block 0x96.
int gClass_DsfFile::readBlock(FILE *fp, uint64_t offset, uint64_t available, uint8_t *block) {
    uint32_t n = available >= kDsfBlockPerChannel ? kDsfBlockPerChannel : static_cast<uint32_t>(available);
    if (n > 0 && v_readAt(fp, offset, block, n) != 0) return -1;
    if (n < kDsfBlockPerChannel) std::memset(block + n, kDsdIdleByte, kDsfBlockPerChannel - n);
    return 0;
}

int gClass_DsfFile::combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    (void)work;
    (void)fileNo;
    if (!first || !second || !param || !mBlock || !mSilence) return kAudioFileErrIO;
    const uint32_t c = param->channels;
    if (c == 0 || c > kDsfMaxChannels) return kAudioFileErrFormat;

    uint64_t off1 = 0, data1 = 0, a = 0, off2 = 0, data2 = 0, b = 0;
    int rc = searchData(first, &off1, &data1, &a);
    if (rc != 0) return kAudioFileErrIO;
    uint8_t fmt1[kDsfFmtChunkBytes];
    std::memcpy(fmt1, mFmt, sizeof fmt1);
    rc = searchData(second, &off2, &data2, &b);
    if (rc != 0) return kAudioFileErrIO;
    // Joining files of other channel counts or rates would make noise.
    if (chunk_getLE32(fmt1 + kDsfFmtChannelNum) != c || chunk_getLE32(mFmt + kDsfFmtChannelNum) != c ||
        chunk_getLE32(fmt1 + kDsfFmtRate) != chunk_getLE32(mFmt + kDsfFmtRate))
        return kAudioFileErrFormat;
    const uint64_t samples1 = chunk_getLE64(fmt1 + kDsfFmtSampleCount);
    const uint64_t samples2 = chunk_getLE64(mFmt + kDsfFmtSampleCount);
    // searchData cut the audio to the data chunk; the sample counts must
    // agree with it, or the joined file would claim audio it lacks.
    if (audioBytesOf(samples1, c) != a || audioBytesOf(samples2, c) != b) return kAudioFileErrFormat;

    const uint64_t p = a / c;  // bytes per channel in first
    const uint64_t f = p % kDsfBlockPerChannel;
    const uint64_t q = b / c;  // bytes per channel in second
    const uint64_t g = groupBytes(c);
    const uint64_t groups1 = (p + kDsfBlockPerChannel - 1) / kDsfBlockPerChannel;
    const uint64_t groupsAll = (p + q + kDsfBlockPerChannel - 1) / kDsfBlockPerChannel;
    if (a > UINT64_MAX / 8 - b || groupsAll > (UINT64_MAX - off1) / g - 1) return kAudioFileErrFormat;
    // Second's last block must lie inside second (checked before first is
    // touched); first's partly filled last group must lie inside first.
    uint64_t size1 = 0, size2 = 0;
    if (v_getFileSize(first, &size1) != 0 || v_getFileSize(second, &size2) != 0) return kAudioFileErrIO;
    if (q > 0) {
        const uint64_t groups2 = (q + kDsfBlockPerChannel - 1) / kDsfBlockPerChannel;
        const uint64_t lastN = q - (groups2 - 1) * kDsfBlockPerChannel;
        const uint64_t need = off2 + (groups2 - 1) * g + (c - 1) * kDsfBlockPerChannel + lastN;
        if (need > size2) return kAudioFileErrFormat;
    }
    if (f != 0 && off1 + (groups1 - 1) * g + (c - 1) * kDsfBlockPerChannel + f > size1) return kAudioFileErrFormat;

    if (b > 0) {
        uint64_t r = b;
        uint64_t k = 0;
        uint64_t gpos = p;
        for (;;) {
            const uint64_t n = r / c;
            const bool spill = n > kDsfBlockPerChannel - f;
            for (uint32_t i = 0; i < c; ++i) {
                if (readBlock(second, off2 + (c * k + i) * kDsfBlockPerChannel, n, mBlock.get()) != 0)
                    return kAudioFileErrIO;
                const uint64_t group = gpos / kDsfBlockPerChannel;
                const uint64_t dst = off1 + (c * group + i) * kDsfBlockPerChannel + f;
                if (v_writeAt(first, dst, mBlock.get(), static_cast<uint32_t>(kDsfBlockPerChannel - f)) != 0)
                    return kAudioFileErrIO;
                if (spill && f != 0) {
                    const uint64_t next = off1 + (c * (group + 1) + i) * kDsfBlockPerChannel;
                    if (v_writeAt(first, next, mBlock.get() + (kDsfBlockPerChannel - f), static_cast<uint32_t>(f)) != 0)
                        return kAudioFileErrIO;
                    if (v_write(first, mSilence.get(), static_cast<uint32_t>(kDsfBlockPerChannel - f)) !=
                        kDsfBlockPerChannel - f)
                        return kAudioFileErrIO;
                }
            }
            gpos = spill ? gpos + kDsfBlockPerChannel : 0;
            ++k;
            reportEditProgress(static_cast<int>(100 - (r >= b ? 100 : r * 100 / b)));
            if (r <= g) break;
            r -= g;
        }
    }

    // The sample count is that of both files; the data size and the tag
    // position follow from the padded audio, and what lay behind it (the
    // rest of first's old tag) is cut before the tag is written again.
    rc = updateDataSize(first, a + b, (a + b) * 8 / c);
    if (rc != 0) return rc;
    return updateFileSizeDsf(first);
}

int gClass_DsfFile::saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return saveCueData(fp, existing, listNo, totalSamples);
}

int gClass_DsfFile::setStartSample(FILE *fp, uint64_t startSample) {
    (void)fp;
    (void)startSample;
    return kAudioFileErrIO;
}

int gClass_DsfFile::getStartSample(FILE *fp, uint64_t *startSample) {
    (void)fp;
    (void)startSample;
    return kAudioFileErrIO;
}

uint32_t gClass_DsfFile::getReserveSize() {
    return kDsfReserveSize + static_cast<uint32_t>(vfs_getCurrentClusterSize());
}

int gClass_DsfFile::searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) {
    return mChunk.mChunk_searchSpecifiedChunk(fp, id, offset, kChunkModeDsf) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

// ---------------------------------------------------------------------------
// Further operations

int gClass_DsfFile::updateFileSizeDsf(FILE *fp) {
    uint64_t size = 0;
    if (!fp || v_getFileSize(fp, &size) != 0) return kAudioFileErrFormat;
    return updateDsdFileSize(fp, size, kDsfSizeSet);
}

int gClass_DsfFile::updateDsdFileSize(FILE *fp, uint64_t value, uint32_t how) {
    uint64_t off = 0;
    if (!fp || mChunk.mChunk_searchSpecifiedChunk(fp, "DSD ", &off, kChunkModeDsf) != 0) return kAudioFileErrIO;
    uint8_t dsd[kDsfDsdChunkBytes];
    if (v_readAt(fp, off, dsd, sizeof dsd) != 0) return kAudioFileErrIO;
    uint64_t now = chunk_getLE64(dsd + kDsfDsdTotalSize);
    if (how == kDsfSizeAdd) {
        if (value > UINT64_MAX - now) return kAudioFileErrIO;
        now += value;
    } else if (how == kDsfSizeSubtract) {
        if (value > now) return kAudioFileErrIO;
        now -= value;
    } else {
        now = value;
    }
    chunk_putLE64(dsd + kDsfDsdTotalSize, now);
    if (v_writeAt(fp, off, dsd, sizeof dsd) != 0) return kAudioFileErrIO;
    return v_flush(fp) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

wchar16 *gClass_DsfFile::w_strcpy_temp(wchar16 *dst, const wchar16 *src) { return w_strcpy(dst, src); }
