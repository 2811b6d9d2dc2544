#include "audiofile/dsdifffile.h"

#include <algorithm>
#include <cstring>

#include "audiofile/vfile.h"
#include "base/alignedalloc.h"

namespace {

const uint32_t kBufAlign = 8;
const uint64_t kFormHeaderBytes = 16;                    // "FRM8", form size, "DSD "
const uint64_t kFormSizeExcluded = 12;                   // the form size counts neither id nor size field
const uint32_t kJunkEndInHeader = kDsdiffSoundHeaderAt;  // JUNK ends where "DSD " begins
const char kNotCompressed[] = "not compressed";

tAlignedBuffer<uint8_t> allocBuf(uint32_t bytes) {
    tAlignedBuffer<uint8_t> p = alignedBuffer<uint8_t>(bytes, kBufAlign);
    if (p) std::memset(p.get(), 0, bytes);
    return p;
}

}  // namespace

gClass_DsdiffFile::gClass_DsdiffFile(const tAudioFileBuild &build)
    : mBuild(build),
      mSmall(allocBuf(kDsdiffSmallBufBytes)),
      mWork(allocBuf(kDsdiffWorkBufBytes)),
      mCueBuf(allocBuf(kDsdiffChunkHeader + kDsdiffCueDataMax)),
      mPlstBuf(allocBuf(kDsdiffChunkHeader + kDsdiffPlstDataMax)) {}

gClass_DsdiffFile::~gClass_DsdiffFile() = default;

// ---------------------------------------------------------------------------
// Chunk walk

bool gClass_DsdiffFile::gChunk64_checkChunkId(const uint8_t *header, const char *id, uint64_t *size) {
    if (size) *size = chunk_getBE64(header + 4);
    return chunk_idIs(header, id);
}

// Walks the chunks of the form from byte 16. With listType, a chunk matches
// only when the 4 bytes behind its header are listType (the PROP and LIST
// types). Sizes come from the file: a chunk that claims more than the file
// holds is reported cut to the file when it is the one searched for, and ends
// the walk otherwise, since nothing can follow it. Every step advances by at
// least a header, so the walk ends.
// 0; -1 when absent or on an I/O failure; -2 when the file ends inside a
// chunk header; -3 when a chunk runs past the end of the file. With id null
// nothing matches: the walk runs to the end.
int gClass_DsdiffFile::walk(FILE *fp, const char *id, const char *listType, int64_t *offset, int64_t *size,
                            uint64_t *storedSize) {
    *offset = 0;
    *size = 0;
    if (storedSize) *storedSize = 0;
    uint64_t fileSize = 0;
    if (!fp || v_getFileSize(fp, &fileSize) != 0) return -1;
    uint64_t pos = kDsdiffFirstChunk;
    uint8_t h[kDsdiffChunkHeader + 4];
    while (pos < fileSize) {
        if (fileSize - pos < kDsdiffChunkHeader) return -2;
        if (v_readAt(fp, pos, h, kDsdiffChunkHeader) != 0) return -1;
        const uint64_t stored = chunk_getBE64(h + 4);
        const bool idMatch = id && chunk_idIs(h, id);
        const uint64_t avail = fileSize - pos - kDsdiffChunkHeader;
        const uint64_t held = stored > avail ? avail : stored;
        if (idMatch) {
            bool match = true;
            if (listType)
                match = held >= 4 && v_readAt(fp, pos + kDsdiffChunkHeader, h + kDsdiffChunkHeader, 4) == 0 &&
                        chunk_idIs(h + kDsdiffChunkHeader, listType);
            if (match) {
                *offset = static_cast<int64_t>(pos);
                *size = static_cast<int64_t>(held);
                if (storedSize) *storedSize = stored;
                return 0;
            }
        }
        if (stored > avail) return -3;
        // pos + 12 + stored <= fileSize, so neither this nor the pad overflows.
        pos += kDsdiffChunkHeader + stored + (stored & 1);
    }
    return -1;
}

int gClass_DsdiffFile::gChunk64_searchSpecifiedChunkSize(FILE *fp, const char *id, int64_t *offset, int64_t *size) {
    int64_t off = 0, sz = 0;
    int rc = walk(fp, id, nullptr, &off, &sz);
    if (offset) *offset = rc == 0 ? off : 0;
    if (size) *size = rc == 0 ? sz : 0;
    return rc == 0 ? 0 : -1;
}

int gClass_DsdiffFile::gChunk64_searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) {
    int64_t off = 0;
    int rc = gChunk64_searchSpecifiedChunkSize(fp, id, &off, nullptr);
    if (offset) *offset = static_cast<uint64_t>(off);
    return rc;
}

int gClass_DsdiffFile::searchPropChunkSize(FILE *fp, const char *type, int64_t *offset, int64_t *size) {
    int64_t off = 0, sz = 0;
    int rc = walk(fp, "PROP", type, &off, &sz);
    if (offset) *offset = rc == 0 ? off : 0;
    if (size) *size = rc == 0 ? sz : 0;
    return rc == -3 ? -1 : rc;
}

int gClass_DsdiffFile::searchPropChunk(FILE *fp, const char *type, int64_t *offset) {
    return searchPropChunkSize(fp, type, offset, nullptr);
}

int gClass_DsdiffFile::searchLISTChunkSize(FILE *fp, const char *listType, int64_t *offset, int64_t *size) {
    int64_t off = 0, sz = 0;
    int rc = walk(fp, "LIST", listType, &off, &sz);
    if (offset) *offset = rc == 0 ? off : 0;
    if (size) *size = rc == 0 ? sz : 0;
    return rc == 0 ? 0 : -1;
}

int gClass_DsdiffFile::searchLISTChunk(FILE *fp, const char *listType, int64_t *offset) {
    return searchLISTChunkSize(fp, listType, offset, nullptr);
}

// ---------------------------------------------------------------------------
// Recognising and reading

int gClass_DsdiffFile::checkHeader(FILE *fp, tRiffStatus *status) {
    if (status) *status = kRiffStatusRIFF;
    uint8_t h[kFormHeaderBytes];
    uint64_t fileSize = 0;
    if (!fp || v_getFileSize(fp, &fileSize) != 0 || fileSize < sizeof h || v_readAt(fp, 0, h, sizeof h) != 0)
        return kAudioFileErrFormat;
    if (!chunk_idIs(h, "FRM8") || !chunk_idIs(h + 12, "DSD ")) return kAudioFileErrFormat;
    int64_t prop = 0;
    return gChunk64_searchSpecifiedChunkSize(fp, "PROP", &prop, nullptr) == 0 ? kAudioFileOK : kAudioFileErrFormat;
}

int gClass_DsdiffFile::searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    int64_t off = 0, size = 0;
    int rc = gChunk64_searchSpecifiedChunkSize(fp, "DSD ", &off, &size);
    uint64_t offset = rc == 0 ? static_cast<uint64_t>(off) + kDsdiffChunkHeader : 0;
    uint64_t bytes = rc == 0 ? static_cast<uint64_t>(size) : 0;
    if (rc == 0 && v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) rc = -1;
    if (dataOffset) *dataOffset = offset;
    if (dataBytes) *dataBytes = rc == 0 ? bytes : 0;
    if (audioBytes) *audioBytes = rc == 0 ? bytes : 0;
    return rc == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_DsdiffFile::searchChunk(FILE *fp, const char *id, uint64_t *offset) {
    return gChunk64_searchSpecifiedChunk(fp, id, offset) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_DsdiffFile::searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) {
    (void)fp;
    (void)id;
    if (offset) *offset = 0;
    return kAudioFileErrIO;
}

// The sound properties. Each sub-chunk must end inside the PROP chunk and
// only the few bytes a field needs are read, so a hostile size can neither
// overrun a buffer nor send the walk outside the chunk.
int gClass_DsdiffFile::searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                      uint16_t *formatTag) {
    uint32_t fs = 0, ch = 0;
    if (rate) *rate = 0;
    if (bits) *bits = 1;
    if (channels) *channels = 0;
    if (formatTag) *formatTag = 0;
    int64_t off = 0, size = 0;
    uint64_t stored = 0;
    if (walk(fp, "PROP", "SND ", &off, &size, &stored) != 0) return kAudioFileErrIO;
    // Properties cut off by the end of the file are not trusted.
    if (stored != static_cast<uint64_t>(size)) return kAudioFileErrIO;
    const uint64_t propEnd = static_cast<uint64_t>(off) + kDsdiffChunkHeader + static_cast<uint64_t>(size);
    int64_t remaining = size - 4;
    if (remaining > static_cast<int64_t>(kDsdiffPropReadLimit)) remaining = kDsdiffPropReadLimit;
    uint64_t pos = static_cast<uint64_t>(off) + kDsdiffChunkHeader + 4;
    uint8_t h[kDsdiffChunkHeader];
    uint8_t field[4];
    while (remaining > 0 && propEnd - pos >= kDsdiffChunkHeader) {
        if (v_readAt(fp, pos, h, sizeof h) != 0) return kAudioFileErrIO;
        const uint64_t sub = chunk_getBE64(h + 4);
        if (sub > propEnd - pos - kDsdiffChunkHeader) return kAudioFileErrIO;
        const uint64_t data = pos + kDsdiffChunkHeader;
        if (chunk_idIs(h, "FS  ")) {
            if (sub < 4 || v_readAt(fp, data, field, 4) != 0) return kAudioFileErrIO;
            fs = chunk_getBE32(field);
        } else if (chunk_idIs(h, "CHNL")) {
            if (sub < 2 || v_readAt(fp, data, field, 2) != 0) return kAudioFileErrIO;
            ch = chunk_getBE16(field);
        } else if (chunk_idIs(h, "CMPR")) {
            // Anything but plain DSD ("DST " and others) is compressed.
            if (sub < 4 || v_readAt(fp, data, field, 4) != 0 || !chunk_idIs(field, "DSD ")) return kAudioFileErrIO;
        }
        const uint64_t step = kDsdiffChunkHeader + sub + (sub & 1);
        remaining -= static_cast<int64_t>(step);
        pos += step;
        if (pos > propEnd) break;  // the pad byte of the last sub-chunk lies outside
    }
    if (rate) *rate = fs;
    if (channels) *channels = ch;
    return kAudioFileOK;
}

// ---------------------------------------------------------------------------
// Writing a header

uint32_t gClass_DsdiffFile::createFormatDsdChunk(uint8_t *buf, uint64_t formSize) {
    std::memcpy(buf, "FRM8", 4);
    chunk_putBE64(buf + 4, formSize);
    std::memcpy(buf + 12, "DSD ", 4);
    return kFormHeaderBytes;
}

uint32_t gClass_DsdiffFile::createFormatVerChunk(uint8_t *buf) {
    std::memcpy(buf, "FVER", 4);
    chunk_putBE64(buf + 4, 4);
    chunk_putBE32(buf + 12, kDsdiffVersion);
    return 16;
}

void gClass_DsdiffFile::channelId(char out[4], uint32_t index, uint32_t channels) {
    if (channels == 2) {
        std::memcpy(out, index == 0 ? "SLFT" : "SRGT", 4);
        return;
    }
    b16toa32(out, static_cast<uint16_t>(index & 0xFFF));
    out[0] = 'C';  // b16toa32 wrote four digits; the first (always 0) gives way to the letter
}

uint32_t gClass_DsdiffFile::createFormatPropChunk(uint8_t *buf, uint32_t rate, uint32_t channels) {
    uint8_t *p = buf;
    std::memcpy(p, "PROP", 4);
    std::memcpy(p + 12, "SND ", 4);
    p += 16;
    std::memcpy(p, "FS  ", 4);
    chunk_putBE64(p + 4, 4);
    chunk_putBE32(p + 12, rate);
    p += 16;
    std::memcpy(p, "CHNL", 4);
    chunk_putBE64(p + 4, 2 + 4ull * channels);
    chunk_putBE16(p + 12, static_cast<uint16_t>(channels));
    p += 14;
    for (uint32_t i = 0; i < channels; ++i, p += 4) channelId(reinterpret_cast<char *>(p), i, channels);
    std::memcpy(p, "CMPR", 4);
    chunk_putBE64(p + 4, 20);
    std::memcpy(p + 12, "DSD ", 4);
    p[16] = sizeof kNotCompressed - 1;  // the name's length byte: 14
    std::memcpy(p + 17, kNotCompressed, sizeof kNotCompressed - 1);
    p[31] = 0;  // pad: the length byte and the name make 15 bytes
    p += 32;
    const uint32_t total = static_cast<uint32_t>(p - buf);
    chunk_putBE64(buf + 4, total - kDsdiffChunkHeader);
    return total;
}

uint64_t gClass_DsdiffFile::createDsdSoundChunk(uint8_t *buf, uint64_t n) {
    std::memcpy(buf, "DSD ", 4);
    chunk_putBE64(buf + 4, n);
    std::memset(buf + kDsdiffChunkHeader, kDsdiffIdleByte, n);
    return kDsdiffChunkHeader + n;
}

int gClass_DsdiffFile::createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    (void)withBext;
    if (!mWork || !fp) return kAudioFileErrIO;
    // The channel list must fit in front of the JUNK chunk, and a file
    // without channels or rate cannot be played or timed.
    if (!param || param->channels == 0 || param->channels > kDsdiffMaxChannels || param->rate == 0)
        return kAudioFileErrFormat;
    uint8_t *h = mWork.get();
    std::memset(h, 0, kDsdiffHeaderBytes);
    uint32_t j = createFormatDsdChunk(h, kDsdiffHeaderBytes - kFormSizeExcluded);
    j += createFormatVerChunk(h + j);
    j += createFormatPropChunk(h + j, param->rate, param->channels);
    // J = 110 + 4n is even, so the JUNK chunk needs no pad and ends exactly
    // where the sound chunk's header begins.
    std::memcpy(h + j, "JUNK", 4);
    chunk_putBE64(h + j + 4, kJunkEndInHeader - kDsdiffChunkHeader - j);
    std::memcpy(h + kDsdiffSoundHeaderAt, "DSD ", 4);
    return v_writeAt(fp, 0, h, kDsdiffHeaderBytes) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

// ---------------------------------------------------------------------------
// Sizes

int gClass_DsdiffFile::updateWavFileSize(FILE *fp, uint64_t value, uint32_t how) {
    uint8_t h[kFormHeaderBytes];
    if (!fp || v_readAt(fp, 0, h, sizeof h) != 0 || !chunk_idIs(h, "FRM8")) return kAudioFileErrIO;
    uint64_t size = chunk_getBE64(h + 4);
    if (how == kDsdiffSizeAdd) {
        if (value > UINT64_MAX - size) return kAudioFileErrIO;
        size += value;
    } else if (how == kDsdiffSizeSubtract) {
        if (value > size) return kAudioFileErrIO;
        size -= value;
    } else {
        size = value;
    }
    chunk_putBE64(h + 4, size);
    return v_writeAt(fp, 4, h + 4, 8) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_DsdiffFile::updateRiffSize(FILE *fp) {
    uint64_t len = 0;
    if (!fp || v_getFileSize(fp, &len) != 0 || len < kFormSizeExcluded) return kAudioFileErrFormat;
    return updateWavFileSize(fp, len - kFormSizeExcluded, kDsdiffSizeSet);
}

int gClass_DsdiffFile::updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    (void)samples;
    int64_t off = 0;
    if (gChunk64_searchSpecifiedChunkSize(fp, "DSD ", &off, nullptr) != 0) return kAudioFileErrIO;
    uint8_t h[kDsdiffChunkHeader];
    if (v_readAt(fp, static_cast<uint64_t>(off), h, sizeof h) != 0) return kAudioFileErrIO;
    chunk_putBE64(h + 4, audioBytes);
    if (v_writeAt(fp, static_cast<uint64_t>(off), h, sizeof h) != 0) return kAudioFileErrIO;
    return updateRiffSize(fp);
}

// ---------------------------------------------------------------------------
// Editing

int gClass_DsdiffFile::deleteChunk(FILE *fp, const char *id) {
    if (!mWork) return kAudioFileErrIO;
    int64_t off = 0, size = 0;
    uint64_t fileSize = 0;
    if (gChunk64_searchSpecifiedChunkSize(fp, id, &off, &size) != 0 || v_getFileSize(fp, &fileSize) != 0)
        return kAudioFileErrIO;
    const uint64_t start = static_cast<uint64_t>(off);
    uint64_t end = start + kDsdiffChunkHeader + static_cast<uint64_t>(size);
    end += (static_cast<uint64_t>(size) & 1);
    if (end > fileSize) end = fileSize;
    const uint64_t tail = fileSize - end;
    if (v_moveRange(fp, end, fp, start, tail, mWork.get(), kDsdiffMoveStep) != 0) return kAudioFileErrIO;
    return v_ftruncate(fp, static_cast<int64_t>(start + tail)) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_DsdiffFile::divide(FILE *src, FILE *second, FILE *work, uint64_t pos) {
    (void)src;
    (void)second;
    (void)work;
    (void)pos;
    return kAudioFileErrFormat;
}

int gClass_DsdiffFile::combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    (void)work;
    (void)fileNo;
    if (!first || !second || !param) return kAudioFileErrIO;
    uint64_t off1 = 0, bytes1 = 0, audio1 = 0, off2 = 0, bytes2 = 0, audio2 = 0;
    if (searchData(first, &off1, &bytes1, &audio1) != 0 || searchData(second, &off2, &bytes2, &audio2) != 0)
        return kAudioFileErrIO;
    // Interleaved bytes of another channel count or rate would turn into
    // noise: refuse before anything is written.
    uint32_t rate1 = 0, rate2 = 0, bits = 0, ch1 = 0, ch2 = 0;
    uint16_t tag = 0;
    if (searchFmtChunk(first, &rate1, &bits, &ch1, &tag) != 0 || searchFmtChunk(second, &rate2, &bits, &ch2, &tag) != 0)
        return kAudioFileErrIO;
    if (rate1 != rate2 || ch1 != ch2) return kAudioFileErrFormat;
    if (bytes2 > static_cast<uint64_t>(INT64_MAX)) return kAudioFileErrIO;
    if (vfs_editFile(second, first, off2, off1 + bytes1, true, static_cast<int64_t>(bytes2), kEditProgressEdit) != 0)
        return kAudioFileErrIO;
    const uint64_t total = bytes1 + bytes2;
    // What followed the first file's audio (marks, a bext chunk) was partly
    // overwritten; a remnant left behind the joined audio would sit inside
    // the form as a broken chunk.
    uint64_t len = 0;
    if (v_getFileSize(first, &len) != 0) return kAudioFileErrFormat;
    if (len > off1 + total && v_ftruncate(first, static_cast<int64_t>(off1 + total)) != 0) return kAudioFileErrIO;
    const uint64_t samples = param->channels ? total * 8 / param->channels : 0;
    int rc = updateDataSize(first, total, samples);
    if (rc != 0) return rc;
    rc = updateRiffSize(first);
    if (rc != 0) return rc;
    (void)setStartSample(first, param->timeReference);
    return kAudioFileOK;
}

uint32_t gClass_DsdiffFile::getReserveSize() {
    return kDsdiffReserveSize + static_cast<uint32_t>(vfs_getCurrentClusterSize());
}

// ---------------------------------------------------------------------------
// Hexadecimal helpers

uint8_t btoa(uint8_t value) {
    if (value <= 9) return static_cast<uint8_t>('0' + value);
    if (value <= 15) return static_cast<uint8_t>('A' + value - 10);
    return 0xFF;
}

int atob(uint8_t c) {
    if (c < 48) return -1;
    if (c <= 63) return c - 48;
    if (c <= 70) return c - 55;
    if (c >= 97 && c <= 102) return c - 87;
    return -1;
}

void b16toa32(char out[4], uint16_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(btoa(static_cast<uint8_t>((value >> (12 - 4 * i)) & 0xF)));
}

uint32_t a16tob32(uint16_t value) {
    (void)value;
    return 0xFEFEFEFFu;
}
