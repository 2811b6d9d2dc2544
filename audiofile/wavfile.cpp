#include "audiofile/wavfile.h"

#include <cstring>
#include <ctime>
#include <new>

#include "audiofile/vfile.h"
#include "audiofile/wavmarks.h"

namespace {

const uint64_t kFourGiB = 0x100000000ull;
const uint32_t kWavRiffSizeAtCreation = kWavHeaderBytes - 8;  // 32760
const uint32_t kWavDataHeaderOffset = kWavHeaderBytes - 8;    // "data" header at 32760
const uint32_t kWavFmtPayload = 16;
const uint32_t kWavDs64Payload = 28;
const uint32_t kWavBextSearchLimit = 8192;  // searchBextChunk ignores larger bext chunks
const char kOriginator[] = "KAVELO Sonvex Editor";

inline uint64_t roundEven(uint64_t v) { return v + (v & 1); }

inline tRiffStatus kindForRiffSize(uint64_t riffSize) {
    return riffSize >= kFourGiB ? kRiffStatusRF64 : kRiffStatusRIFF;
}

inline uint32_t clamp32(uint64_t v) { return v >= 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

gClass_WavFile::gClass_WavFile(const tAudioFileBuild &build)
    : mBuild(build), mWork(new (std::nothrow) uint8_t[kWavWorkBufBytes]) {}

gClass_WavFile::~gClass_WavFile() = default;

// ---------------------------------------------------------------------------
// Recognising and reading

int gClass_WavFile::checkHeader(FILE *fp, tRiffStatus *status) {
    tRiffStatus found = kRiffStatusUnknown;
    uint8_t magic[12];
    uint64_t size = 0;
    uint64_t fmt = 0;
    // A file too short to hold the magic is not a WAV file.
    if (fp && v_getFileSize(fp, &size) == 0 && size >= sizeof magic && v_readAt(fp, 0, magic, sizeof magic) == 0 &&
        chunk_idIs(magic + 8, "WAVE")) {
        tRiffStatus kind = chunk_idIs(magic, "RIFF")   ? kRiffStatusRIFF
                           : chunk_idIs(magic, "RF64") ? kRiffStatusRF64
                                                       : kRiffStatusUnknown;
        if (kind != kRiffStatusUnknown && mChunk.mChunk_searchSpecifiedChunk(fp, "fmt ", &fmt, kChunkModeRiff) == 0)
            found = kind;
    }
    mRiffStatus = found;
    if (status) *status = found;
    return found == kRiffStatusUnknown ? kAudioFileErrFormat : kAudioFileOK;
}

int gClass_WavFile::searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    int rc = mChunk.mChunk_searchDataTop(fp, dataOffset, dataBytes, kChunkModeRiff);
    if (rc != 0) *dataBytes = 0;
    *audioBytes = *dataBytes;
    return rc == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WavFile::searchDataTop(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    return searchData(fp, dataOffset, dataBytes, audioBytes);
}

int gClass_WavFile::searchChunk(FILE *fp, const char *id, uint64_t *offset) {
    return searchSpecifiedChunk(fp, id, offset);
}

int gClass_WavFile::searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) {
    return mChunk.mChunk_searchSpecifiedChunk(fp, id, offset, kChunkModeRiff) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WavFile::searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    uint64_t off = 0, size = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "fmt ", &off, &size, kChunkModeRiff) != 0) return kAudioFileErrIO;
    if (size < kWavFmtPayload) return kAudioFileErrIO;
    uint8_t fmt[8 + kWavFmtPayload];
    if (v_readAt(fp, off, fmt, sizeof fmt) != 0) return kAudioFileErrIO;
    *formatTag = chunk_getLE16(fmt + 8);
    *channels = chunk_getLE16(fmt + 10);
    *rate = chunk_getLE32(fmt + 12);
    *bits = chunk_getLE16(fmt + 22);
    return kAudioFileOK;
}

// The format as a header parameter record, as a rebuild writes it again.
int gClass_WavFile::readFmt(FILE *fp, tBwfHdrParam *param, uint16_t *formatTag) {
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t tag = 0;
    if (searchFmtChunk(fp, &rate, &bits, &channels, &tag) != 0) return kAudioFileErrIO;
    std::memset(param, 0, sizeof *param);
    param->channels = static_cast<uint16_t>(channels);
    param->bits = static_cast<uint16_t>(bits);
    param->rate = rate;
    param->stereo = channels != 1 ? 1 : 0;
    param->integer32 = tag == 1 ? 1 : 0;
    if (formatTag) *formatTag = tag;
    return kAudioFileOK;
}

// The bext time reference; -1 when there is no bext chunk, it cannot hold
// the field, or its payload is limit bytes or more.
int gClass_WavFile::readTimeReference(FILE *fp, uint64_t limit, uint64_t *startSample) {
    uint64_t off = 0, size = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "bext", &off, &size, kChunkModeRiff) != 0) return kAudioFileErrIO;
    if (size >= limit || size < kBextMinPayload) return kAudioFileErrIO;
    uint8_t field[8];
    if (v_readAt(fp, off + 8 + kBextTimeReference, field, sizeof field) != 0) return kAudioFileErrIO;
    *startSample = chunk_getLE64(field);
    return kAudioFileOK;
}

int gClass_WavFile::searchBextChunk(FILE *fp, uint64_t *startSample) {
    return readTimeReference(fp, kWavBextSearchLimit, startSample);
}

int gClass_WavFile::getStartSample(FILE *fp, uint64_t *startSample) {
    return readTimeReference(fp, UINT64_MAX, startSample);
}

uint32_t gClass_WavFile::getReserveSize() {
    return kWavReserveSize + static_cast<uint32_t>(vfs_getCurrentClusterSize());
}

// ---------------------------------------------------------------------------
// Writing a new file

void wav_fillBextPayload(uint8_t *p, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t stereo,
                         uint64_t timeReference) {
    std::memset(p, 0, kWavBextPayload);
    std::memcpy(p + kBextOriginator, kOriginator, sizeof kOriginator - 1);

    std::time_t now = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&now, &tmv);
    // Date and time are fixed-width fields without terminators.
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", (tmv.tm_year + 1900) % 10000, tmv.tm_mon + 1, tmv.tm_mday);
    std::memcpy(p + kBextOriginationDate, text, 10);
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    std::memcpy(p + kBextOriginationTime, text, 8);

    chunk_putLE64(p + kBextTimeReference, timeReference);

    char history[256];
    int n = std::snprintf(history, sizeof history, "A=PCM,F=%u,W=%u,", rate, bits);
    if (channels == 1)
        std::snprintf(history + n, sizeof history - n, "M=mono\r\n");
    else if (channels == 2 && stereo == 1)
        std::snprintf(history + n, sizeof history - n, "M=stereo\r\n");
    else
        std::snprintf(history + n, sizeof history - n, "M=%u-channel\r\n", channels);
    std::memcpy(p + kBextCodingHistory, history, std::strlen(history));
}

uint32_t gClass_WavFile::makeBextChunk(uint8_t *buf, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t stereo,
                                       uint64_t timeReference) {
    std::memcpy(buf, "bext", 4);
    chunk_putLE32(buf + 4, kWavBextPayload);
    wav_fillBextPayload(buf + 8, rate, bits, channels, stereo, timeReference);
    return kWavBextChunkBytes;
}

int gClass_WavFile::createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    if (!mWork || !fp) return kAudioFileErrIO;
    if (!param || param->channels == 0 || param->bits == 0 || param->rate == 0) return kAudioFileErrFormat;
    const uint64_t blockAlign = static_cast<uint64_t>(param->channels) * ((param->bits + 7u) / 8u);
    const uint64_t byteRate = blockAlign * param->rate;
    if (blockAlign > 0xFFFF || byteRate > 0xFFFFFFFFull) return kAudioFileErrFormat;
    const bool rf64 = param->rf64 == 1;
    // The library's files always carry the bext chunk.
    const bool bext = withBext != 0 || mBuild.library;

    uint8_t *h = mWork.get();
    std::memset(h, 0, kWavHeaderBytes);
    std::memcpy(h, rf64 ? "RF64" : "RIFF", 4);
    chunk_putLE32(h + 4, kWavRiffSizeAtCreation);
    std::memcpy(h + 8, "WAVE", 4);
    uint32_t f = kChunkRiffFirst;
    if (rf64) {
        std::memcpy(h + f, "ds64", 4);
        chunk_putLE32(h + f + 4, kWavDs64Payload);  // sizes and table length stay 0 until finalised
        f += 8 + kWavDs64Payload;
    }
    std::memcpy(h + f, "fmt ", 4);
    chunk_putLE32(h + f + 4, kWavFmtPayload);
    uint16_t tag = (param->bits < 32 || param->integer32 != 0) ? 1 : 3;
    chunk_putLE16(h + f + 8, tag);
    chunk_putLE16(h + f + 10, param->channels);
    chunk_putLE32(h + f + 12, param->rate);
    chunk_putLE32(h + f + 16, static_cast<uint32_t>(byteRate));
    chunk_putLE16(h + f + 20, static_cast<uint16_t>(blockAlign));
    chunk_putLE16(h + f + 22, param->bits);
    uint32_t j = f + 24;
    if (bext) j += makeBextChunk(h + j, param->rate, param->bits, param->channels, param->stereo, param->timeReference);
    std::memcpy(h + j, "JUNK", 4);
    chunk_putLE32(h + j + 4, kWavDataHeaderOffset - 8 - j);
    std::memcpy(h + kWavDataHeaderOffset, "data", 4);
    return v_writeAt(fp, 0, h, kWavHeaderBytes) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

// ---------------------------------------------------------------------------
// Sizes

int gClass_WavFile::renew_dataChunkSize(FILE *fp, uint64_t bytes, tRiffStatus kind) {
    uint64_t data = 0;
    if (mChunk.mChunk_searchSpecifiedChunk(fp, "data", &data, kChunkModeRiff) != 0) return kAudioFileErrIO;
    uint8_t field[8];
    chunk_putLE32(field, clamp32(bytes));
    if (v_writeAt(fp, data + 4, field, 4) != 0) return kAudioFileErrIO;
    if (kind != kRiffStatusRF64) return kAudioFileOK;

    uint64_t ds64 = 0, size = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "ds64", &ds64, &size, kChunkModeRiff) != 0 ||
        size < kChunkDs64MinPayload)
        return kAudioFileErrIO;
    chunk_putLE64(field, bytes);
    if (v_writeAt(fp, ds64 + 16, field, 8) != 0) return kAudioFileErrIO;
    // The sample count is only meaningful for compressed formats.
    chunk_putLE32(field, 0);
    return v_writeAt(fp, ds64 + 24, field, 4) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WavFile::renew_riffsize(FILE *fp, uint64_t size, tRiffStatus kind) {
    uint8_t field[8];
    chunk_putLE32(field, clamp32(size));
    if (v_writeAt(fp, 4, field, 4) != 0) return kAudioFileErrIO;
    if (kind != kRiffStatusRF64) return kAudioFileOK;
    uint64_t ds64 = 0, dsSize = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "ds64", &ds64, &dsSize, kChunkModeRiff) != 0 ||
        dsSize < kChunkDs64MinPayload)
        return kAudioFileErrIO;
    chunk_putLE64(field, size);
    return v_writeAt(fp, ds64 + 8, field, 8) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WavFile::updateWavFileSize(FILE *fp, uint64_t value, uint32_t how) {
    tRiffStatus kind = kRiffStatusUnknown;
    if (checkHeader(fp, &kind) != 0) return kAudioFileErrIO;
    if (mBuild.library) how = kWavSizeSet;
    uint64_t size = value;
    if (how == kWavSizeAdd || how == kWavSizeSubtract) {
        uint64_t stored = 0;
        uint8_t field[8];
        if (kind == kRiffStatusRF64) {
            uint64_t ds64 = 0, dsSize = 0;
            if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "ds64", &ds64, &dsSize, kChunkModeRiff) != 0 ||
                dsSize < kChunkDs64MinPayload || v_readAt(fp, ds64 + 8, field, 8) != 0)
                return kAudioFileErrIO;
            stored = chunk_getLE64(field);
        } else {
            if (v_readAt(fp, 4, field, 4) != 0) return kAudioFileErrIO;
            stored = chunk_getLE32(field);
        }
        if (how == kWavSizeAdd) {
            if (value > UINT64_MAX - stored) return kAudioFileErrIO;
            size = stored + value;
        } else {
            if (value > stored) return kAudioFileErrIO;
            size = stored - value;
        }
    } else if (how != kWavSizeSet) {
        return kAudioFileErrIO;
    }
    // A RIFF header cannot describe 4 GiB; an RF64 header is kept for files
    // that need it.
    if (kindForRiffSize(size) != kind) return kAudioFileErrIO;
    return renew_riffsize(fp, size, kind);
}

int gClass_WavFile::updateRiffSize(FILE *fp) {
    uint64_t size = 0;
    if (v_getFileSize(fp, &size) != 0 || size < 8) return kAudioFileErrFormat;
    tRiffStatus kind = kRiffStatusUnknown;
    if (checkHeader(fp, &kind) != 0) return kAudioFileErrIO;
    if (kind == kRiffStatusRIFF && size - 8 >= kFourGiB) return kAudioFileErrIO;
    return renew_riffsize(fp, size - 8, kind);
}

int gClass_WavFile::updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    (void)samples;
    uint64_t data = 0;
    if (searchSpecifiedChunk(fp, "data", &data) != 0) {
        std::printf("searchSpecifiedChunk Error \n");
        return kAudioFileErrIO;
    }
    if (v_lseek(fp, static_cast<int64_t>(data), 0) != 0) {
        std::printf("v_lseek Error \n");
        return kAudioFileErrIO;
    }
    uint8_t hdr[8];
    uint32_t got = v_read(fp, hdr, sizeof hdr);
    if (got != sizeof hdr) {
        std::printf(got == 0 ? "v_read Error \n" : "readSize Error \n");
        return kAudioFileErrIO;
    }
    chunk_putLE32(hdr + 4, clamp32(audioBytes));
    if (v_lseek(fp, static_cast<int64_t>(data), 0) != 0) {
        std::printf("v_lseek 2 Error \n");
        return kAudioFileErrIO;
    }
    if (v_write(fp, hdr, sizeof hdr) != sizeof hdr || v_flush(fp) != 0) {
        std::printf("v_write Error \n");
        return kAudioFileErrIO;
    }

    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0 || fileSize < 8) {
        std::printf("v_getFileSize Error \n");
        return kAudioFileErrFormat;
    }
    tRiffStatus kind = kRiffStatusUnknown;
    if (checkHeader(fp, &kind) != 0) return kAudioFileErrIO;
    // A RIFF header has no room for 4 GiB or more; the caller should have
    // asked for RF64. An RF64 header is finalised at any size: its ds64
    // chunk carries the sizes, whatever they are, so a job that ends early
    // still leaves a readable file.
    if (kind == kRiffStatusRIFF && (audioBytes >= kFourGiB || fileSize - 8 >= kFourGiB)) return kAudioFileErrIO;
    if (renew_riffsize(fp, fileSize - 8, kind) != 0) return kAudioFileErrIO;
    return renew_dataChunkSize(fp, audioBytes, kind) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

// ---------------------------------------------------------------------------
// Rebuilds, splitting and joining

int gClass_WavFile::remakeRiffStructure(FILE *fp, FILE *work, uint64_t riffSize, uint64_t dataBytes) {
    // The new header is always 32768 bytes, so the rebuilt file's own size
    // decides its kind and its RIFF size; riffSize, computed by the caller
    // from the old header, may differ when that header was not 32768 bytes.
    (void)riffSize;
    tBwfHdrParam param;
    if (readFmt(fp, &param, nullptr) != 0) return kAudioFileErrIO;
    uint64_t d = 0, s = 0, a = 0, fileSize = 0;
    if (searchData(fp, &d, &s, &a) != 0) return kAudioFileErrIO;
    // The data size field may be stale here (combine has just appended
    // audio): the file's length bounds what can be copied.
    if (v_getFileSize(fp, &fileSize) != 0 || dataBytes > fileSize - d) return kAudioFileErrIO;
    const uint64_t newRiff = kWavRiffSizeAtCreation + dataBytes;
    const tRiffStatus kind = kindForRiffSize(newRiff);
    param.rf64 = kind == kRiffStatusRF64 ? 1 : 0;

    // The work file may still hold an earlier rebuild (divide rebuilds two
    // files through one work file).
    if (v_ftruncate(work, 0) != 0) return kAudioFileErrIO;
    if (createHeader(work, &param, 0) != 0) return kAudioFileErrIO;
    if (vfs_editFile(fp, work, d, 0, false, static_cast<int64_t>(dataBytes), kEditProgressHeader) != 0)
        return kAudioFileErrIO;
    if (renew_riffsize(work, newRiff, kind) != 0) return kAudioFileErrIO;
    if (renew_dataChunkSize(work, dataBytes, kind) != 0) return kAudioFileErrIO;

    // Overwrite first, then cut: the file is never empty in between, and
    // the blocks it already has are reused.
    if (v_copy(fp, work) != 0) return kAudioFileErrIO;
    if (v_ftruncate(fp, static_cast<int64_t>(kWavHeaderBytes + dataBytes)) != 0) return kAudioFileErrIO;
    return v_flush(fp) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WavFile::writeHeaderSize(FILE *fp, FILE *work, uint64_t riffSize, uint64_t dataBytes) {
    tRiffStatus kind = kRiffStatusUnknown;
    if (checkHeader(fp, &kind) != 0) return kAudioFileErrIO;
    if (kind != kindForRiffSize(riffSize)) return remakeRiffStructure(fp, work, riffSize, dataBytes);
    if (renew_dataChunkSize(fp, dataBytes, kind) != 0) return kAudioFileErrIO;
    return renew_riffsize(fp, riffSize, kind);
}

int gClass_WavFile::divide(FILE *src, FILE *second, FILE *work, uint64_t pos) {
    if (!mWork || !src || !second || !work) return kAudioFileErrIO;
    uint64_t d = 0, s = 0, a = 0;
    if (searchData(src, &d, &s, &a) != 0) return kAudioFileErrIO;
    if (pos > s) return kAudioFileErrFormat;

    // The second part starts as a copy of the whole header.
    if (v_moveRange(src, 0, second, 0, d, mWork.get(), kWavMoveChunk) != 0) return kAudioFileErrIO;
    // Only the audio follows: chunks behind it (marks, an appended bext)
    // describe the whole file, not the second part.
    if (vfs_editFile(src, second, d + pos, 0, false, static_cast<int64_t>(s - pos), kEditProgressEdit) != 0)
        return kAudioFileErrIO;

    if (writeHeaderSize(src, work, d + pos - 8, pos) != 0) return kAudioFileErrIO;
    if (writeHeaderSize(second, work, d + (s - pos) - 8, s - pos) != 0) return kAudioFileErrIO;
    return kAudioFileOK;
}

int gClass_WavFile::combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    (void)fileNo;
    if (!first || !second || !work) return kAudioFileErrIO;
    uint64_t d1 = 0, s1 = 0, d2 = 0, s2 = 0, a = 0;
    if (searchData(first, &d1, &s1, &a) != 0) return kAudioFileErrIO;
    if (searchData(second, &d2, &s2, &a) != 0) return kAudioFileErrIO;
    // Joining samples of different shapes gives noise: refuse it.
    tBwfHdrParam f1, f2;
    uint16_t t1 = 0, t2 = 0;
    if (readFmt(first, &f1, &t1) != 0 || readFmt(second, &f2, &t2) != 0) return kAudioFileErrIO;
    if (f1.channels != f2.channels || f1.bits != f2.bits || f1.rate != f2.rate || t1 != t2) return kAudioFileErrFormat;
    v_flush(first);
    v_flush(second);

    if (vfs_editFile(second, first, d2, d1 + s1, true, static_cast<int64_t>(s2), kEditProgressEdit) != 0)
        return kAudioFileErrIO;
    // Whatever followed the first file's audio has been partly overwritten;
    // a remnant behind the joined audio would read as a broken chunk.
    if (v_ftruncate(first, static_cast<int64_t>(d1 + s1 + s2)) != 0) return kAudioFileErrIO;
    if (writeHeaderSize(first, work, s1 + s2 + d1 - 8, s1 + s2) != 0) return kAudioFileErrIO;

    uint64_t size = 0;
    if (v_getFileSize(first, &size) != 0 || size < 8) return kAudioFileErrFormat;
    if (updateWavFileSize(first, size - 8) != 0) return kAudioFileErrIO;
    if (param) (void)setStartSample(first, param->timeReference);
    return kAudioFileOK;
}

// ---------------------------------------------------------------------------
// Start time

int gClass_WavFile::appendBext(FILE *fp, uint64_t startSample) {
    if (!mWork) return kAudioFileErrIO;
    tBwfHdrParam fmt;
    if (readFmt(fp, &fmt, nullptr) != 0) return kAudioFileErrIO;
    uint64_t size = 0;
    if (v_getFileSize(fp, &size) != 0) return kAudioFileErrIO;
    uint8_t *buf = mWork.get();
    uint32_t len = 0;
    // RIFF chunks start at even offsets: audio of odd length gets its pad
    // byte before the new chunk (the data size itself stays odd).
    if (size & 1) buf[len++] = 0;
    len += makeBextChunk(buf + len, fmt.rate, fmt.bits, fmt.channels, 0, startSample);
    if (v_writeAt(fp, size, buf, len) != 0) return kAudioFileErrIO;
    int rc = updateRiffSize(fp);
    return rc != 0 ? rc : kAudioFileBextAppended;
}

int gClass_WavFile::setStartSample(FILE *fp, uint64_t startSample) {
    tBwfHdrParam fmt;
    if (readFmt(fp, &fmt, nullptr) != 0) return kAudioFileErrIO;
    const uint64_t day = static_cast<uint64_t>(fmt.rate) * 86400u;
    if (startSample >= day) startSample -= day;

    uint64_t off = 0, size = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, "bext", &off, &size, kChunkModeRiff) != 0) {
        // Appended behind chunks that do not lead to the end of the file (a
        // header cut short or damaged), a bext chunk would never be found.
        if (!mChunk.mChunk_reachesEnd(fp, kChunkModeRiff)) return kAudioFileErrIO;
        return appendBext(fp, startSample);
    }
    if (size < kBextMinPayload) return kAudioFileErrIO;
    uint8_t field[8];
    chunk_putLE64(field, startSample);
    return v_writeAt(fp, off + 8 + kBextTimeReference, field, sizeof field) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

// ---------------------------------------------------------------------------
// Chunk editing

int gClass_WavFile::deleteChunk(FILE *fp, const char *id) {
    if (!mWork) return kAudioFileErrIO;
    uint64_t off = 0, stored = 0, fileSize = 0;
    if (mChunk.mChunk_searchSpecifiedChunkSize(fp, id, &off, &stored, kChunkModeRiff) != 0) return kAudioFileErrIO;
    if (v_getFileSize(fp, &fileSize) != 0) return kAudioFileErrIO;
    uint64_t payload = stored;
    if (chunk_idIs(reinterpret_cast<const uint8_t *>(id), "data")) {
        uint64_t top = 0, bytes = 0;
        if (mChunk.mChunk_searchDataTop(fp, &top, &bytes, kChunkModeRiff) != 0) return kAudioFileErrIO;
        payload = bytes;
    }
    uint64_t end = off + 8 + roundEven(payload);
    if (end > fileSize) end = fileSize;  // a last chunk without its pad byte

    const uint64_t tail = fileSize - end;
    if (v_moveRange(fp, end, fp, off, tail, mWork.get(), kWavMoveChunk) != 0) return kAudioFileErrIO;
    return v_ftruncate(fp, static_cast<int64_t>(off + tail)) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WavFile::renameChunk(FILE *fp, const char *id, const char *newId) {
    return wavMark_renameChunk(fp, id, newId);
}

int gClass_WavFile::renameChunkAll(FILE *fp, const char *id, const char *newId) {
    return wavMark_renameChunkAll(fp, id, newId);
}

// ---------------------------------------------------------------------------
// The conversion library's tag slots

int wav_loadTagData(FILE *fp, tID3tagInfo *tag) {
    (void)fp;
    (void)tag;
    return kAudioFileErrFormat;
}

int wav_registerTagData(const tID3tagInfo *tag) {
    (void)tag;
    return kAudioFileErrFormat;
}
