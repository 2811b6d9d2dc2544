#include "audiofile/wsdfile.h"

#include <cstring>
#include <new>

#include "audiofile/chunkutil.h"
#include "audiofile/vfile.h"
#include "base/wstring.h"

namespace {

// A 64-bit field stored as a big-endian low word and a big-endian high word.
uint64_t getSplit64(const uint8_t *p) {
    return static_cast<uint64_t>(chunk_getBE32(p)) | (static_cast<uint64_t>(chunk_getBE32(p + 4)) << 32);
}

uint8_t bcd(uint32_t v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }

// Decimal digits of a date field; -1 when one of them is not a digit.
int digits(const uint8_t *p, int count) {
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// One text of the area into a caller's buffer of at least units + 1: up to
// the text's first zero byte (which may lie in a later field), cut to units.
void copyText(wchar16 *dst, const char *src, uint32_t units) {
    if (!dst) return;
    wchar16 wide[kWsdTextAreaBytes + 1];
    convAscToUni(wide, src);
    w_strncpy(dst, wide, units);
    dst[units] = 0;
}

}  // namespace

gClass_WsdFile::gClass_WsdFile(const tAudioFileBuild &build) : mBuild(build) {
    mHead = new (std::nothrow) uint8_t[kWsdMemHeaderBytes]();
}

gClass_WsdFile::~gClass_WsdFile() { delete[] mHead; }

int gClass_WsdFile::readHead(FILE *fp, uint8_t *buf) {
    if (!mHead) return -1;
    return v_readAt(fp, 0, buf, headBytes());
}

int gClass_WsdFile::checkHeader(FILE *fp, tRiffStatus *status) {
    if (status) *status = kRiffStatusRIFF;
    uint8_t h[kWsdReadLibrary];
    if (!fp || v_lseek(fp, 0, 0) != 0 || !mHead) return kAudioFileErrIO;
    // Too short to hold the fields read is too short to be a WSD file.
    if (readHead(fp, h) != 0) return kAudioFileErrFormat;
    if (std::memcmp(h, "1bit", 4) != 0) return kAudioFileErrFormat;
    // A file or size field below the header would make the audio size wrap.
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return kAudioFileErrIO;
    if (fileSize < kWsdHeaderBytes || getSplit64(h + kWsdFileSizeLow) < kWsdHeaderBytes) return kAudioFileErrFormat;
    return kAudioFileOK;
}

int gClass_WsdFile::searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    *dataOffset = 0;
    *dataBytes = 0;
    *audioBytes = 0;
    uint8_t h[kWsdReadLibrary];
    uint64_t fileSize = 0;
    if (readHead(fp, h) != 0 || v_getFileSize(fp, &fileSize) != 0) return kAudioFileErrIO;
    uint64_t size = getSplit64(h + kWsdFileSizeLow);
    // The size field is untrusted: no more audio than the file holds.
    if (size > fileSize) size = fileSize;
    if (size < kWsdHeaderBytes) return kAudioFileErrIO;
    *dataOffset = kWsdHeaderBytes;
    *dataBytes = size - kWsdHeaderBytes;
    *audioBytes = size - kWsdHeaderBytes;
    return kAudioFileOK;
}

int gClass_WsdFile::searchChunk(FILE *fp, const char *id, uint64_t *offset) {
    (void)fp;
    (void)id;
    *offset = kWsdHeaderBytes;
    return kAudioFileOK;
}

int gClass_WsdFile::searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    uint8_t h[kWsdReadLibrary];
    if (readHead(fp, h) != 0) return kAudioFileErrIO;
    *rate = chunk_getBE32(h + kWsdRate);
    *bits = 1;
    *channels = h[kWsdChannels];
    *formatTag = 0;
    if (mBuild.library) mRate = *rate;
    return kAudioFileOK;
}

int gClass_WsdFile::searchBextChunk(FILE *fp, uint64_t *startSample) {
    uint8_t h[kWsdReadLibrary];
    if (readHead(fp, h) != 0) return kAudioFileErrIO;
    *startSample = getSplit64(h + kWsdStartLow);
    return kAudioFileOK;
}

int gClass_WsdFile::deleteChunk(FILE *fp, const char *id) {
    (void)fp;
    (void)id;
    return kAudioFileErrIO;
}

int gClass_WsdFile::createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    (void)withBext;
    if (!mHead || !param) return kAudioFileErrIO;
    if (param->channels == 0 || param->channels > 255 || param->rate == 0) return kAudioFileErrFormat;
    uint8_t *h = mHead;
    if (!mBuild.library) {
        std::memset(h, 0, 8);
        std::memcpy(h, "1bit", 4);
        h[8] = 0x11;
        h[23] = 0x80;
        h[26] = 8;
        h[27] = 0;
        std::memcpy(h + 32, &param->rate, 4);  // host order, as the program keeps it
        h[kWsdChannels] = static_cast<uint8_t>(param->channels);
        h[48] = param->channels == 1 ? 0x40 : 0x44;
        return kAudioFileOK;
    }
    std::memset(h, 0, kWsdHeaderBytes);
    std::memcpy(h, "1bit", 4);
    h[8] = 0x11;
    h[23] = 0x80;
    h[26] = 8;
    h[27] = 0;
    chunk_putBE32(h + kWsdRate, param->rate);
    mRate = param->rate;
    h[kWsdChannels] = static_cast<uint8_t>(param->channels);
    h[48] = param->channels == 1 ? 0x40 : 0x44;
    std::memset(h + kWsdReadLibrary, 0x20, kWsdHeaderBytes - kWsdReadLibrary);
    return v_writeAt(fp, 0, h, kWsdHeaderBytes) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WsdFile::updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    if (!mHead) return kAudioFileErrIO;
    if (audioBytes > UINT64_MAX - kWsdHeaderBytes) return kAudioFileErrFormat;
    const uint64_t fileSize = audioBytes + kWsdHeaderBytes;
    uint8_t size[8];
    chunk_putBE32(size, static_cast<uint32_t>(fileSize));
    chunk_putBE32(size + 4, static_cast<uint32_t>(fileSize >> 32));
    if (!mBuild.library) {
        std::memcpy(mHead + kWsdFileSizeLow, size, 8);
        return kAudioFileOK;
    }
    // Play time in whole seconds as BCD; hours beyond two digits wrap at 100
    // (a 100-hour file at 2.8 MHz is about a terabyte).
    const uint64_t secs = mRate != 0 ? samples / mRate : 0;
    uint8_t *h = mHead;
    if (v_readAt(fp, 0, h, kWsdHeaderBytes) != 0) return kAudioFileErrIO;
    std::memcpy(h + kWsdFileSizeLow, size, 8);
    h[kWsdPlayTime] = 0;
    h[kWsdPlayTime + 1] = bcd(static_cast<uint32_t>(secs % 60));
    h[kWsdPlayTime + 2] = bcd(static_cast<uint32_t>((secs / 60) % 60));
    h[kWsdPlayTime + 3] = bcd(static_cast<uint32_t>((secs / 3600) % 100));
    return v_writeAt(fp, 0, h, kWsdHeaderBytes) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int gClass_WsdFile::divide(FILE *src, FILE *second, FILE *work, uint64_t pos) {
    (void)src;
    (void)second;
    (void)work;
    (void)pos;
    return kAudioFileErrIO;
}

int gClass_WsdFile::combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    (void)first;
    (void)second;
    (void)work;
    (void)param;
    (void)fileNo;
    return kAudioFileErrIO;
}

int gClass_WsdFile::saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    (void)fp;
    (void)existing;
    (void)listNo;
    (void)totalSamples;
    return kAudioFileErrIO;
}

int gClass_WsdFile::saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return saveCueData(fp, existing, listNo, totalSamples);
}

int gClass_WsdFile::loadCueData(FILE *fp, uint64_t totalSamples, int listNo) {
    (void)fp;
    (void)totalSamples;
    (void)listNo;
    return kAudioFileOK;
}

int gClass_WsdFile::setStartSample(FILE *fp, uint64_t startSample) {
    (void)fp;
    if (!mHead) return kAudioFileErrIO;
    std::memcpy(mHead + kWsdStartMemory, &startSample, 8);
    return kAudioFileOK;
}

int gClass_WsdFile::getStartSample(FILE *fp, uint64_t *startSample) {
    *startSample = 0;
    if (!mHead) return kAudioFileErrIO;
    if (!mBuild.library) {
        std::memcpy(startSample, mHead + kWsdStartMemory, 8);
        return kAudioFileOK;
    }
    uint8_t h[kWsdHeaderBytes];
    if (v_readAt(fp, 0, h, kWsdHeaderBytes) != 0) return kAudioFileErrIO;
    std::memcpy(startSample, h + kWsdStartMemory, 8);
    return kAudioFileOK;
}

uint32_t gClass_WsdFile::getReserveSize() { return 0; }

int gClass_WsdFile::searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) {
    (void)fp;
    (void)id;
    *offset = 0;
    return kAudioFileErrIO;
}

// ---------------------------------------------------------------------------
// The library's tag entries

int wsd_loadTagData(FILE *fp, tID3tagInfo *tag) {
    if (!fp || !tag) return kAudioFileErrIO;
    uint8_t h[kWsdReadLibrary];
    if (v_readAt(fp, 0, h, sizeof h) != 0) return kAudioFileErrIO;
    uint64_t at = chunk_getBE32(h + kWsdTextOffset);
    if (at == 0 || at == 0xFFFFFFFFu) at = kWsdTextAreaDefault;
    // One extra zero byte ends a text that runs to the end of the area.
    char area[kWsdTextAreaBytes + 1];
    if (v_readAt(fp, at, area, kWsdTextAreaBytes) != 0) return kAudioFileErrIO;
    area[kWsdTextAreaBytes] = 0;

    copyText(tag->title, area + kWsdTextTitle, kWsdTitleUnits);
    copyText(tag->artist, area + kWsdTextArtist, kWsdTitleUnits);
    copyText(tag->album, area + kWsdTextAlbum, kWsdTitleUnits);
    copyText(tag->genre, area + kWsdTextGenre, kWsdGenreUnits);
    copyText(tag->comment, area + kWsdTextComment, kWsdCommentUnits);

    // A field that is not all digits (a writer that leaves the area blank
    // fills it with spaces) stays "not set".
    const uint8_t *d = reinterpret_cast<const uint8_t *>(area + kWsdTextDate);
    int v = digits(d, 4);
    tag->year = v;
    v = digits(d + 4, 2);
    tag->month = v < 0 ? 0 : v;
    v = digits(d + 6, 2);
    tag->day = v < 0 ? 0 : v;
    tag->hour = digits(d + 8, 2);
    tag->minute = digits(d + 10, 2);
    tag->second = digits(d + 12, 2);
    return kAudioFileOK;
}

int wsd_registerTagData(const tID3tagInfo *tag) {
    (void)tag;
    return kAudioFileErrFormat;
}
