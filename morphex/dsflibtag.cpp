#include "morphex/dsflibtag.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "audiofile/chunkutil.h"
#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "audiofile/wstring.h"

namespace {

// Search ids of the tag header, in the order a tag is looked for.
const uint8_t sId3v2p3[4] = {'I', 'D', '3', 0x03};
const uint8_t sId3v2p2[4] = {'I', 'D', '3', 0x02};
const uint8_t sId3v2p4[4] = {'I', 'D', '3', 0x04};
const uint8_t sPingSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
const uint8_t sJpegJFIFMark[4] = {0xFF, 0xD8, 0xFF, 0xE0};
const uint8_t sJpegExifMark[4] = {0xFF, 0xD8, 0xFF, 0xE1};

const char kMarkDescriptor[] = "KAVELO DSF MARK";  // 15 characters and NUL
const char kSoftwareName[] = "KAVELO Sonvex Editor    ";

// The software version until the library's version record is at hand.
enum : int { kSoftwareVersion = 110, kSoftwareBuild = 96 };

enum : uint32_t {
    kDsfHeaderBytes = 92,
    kDsdChunkBytes = 28,
    kFmtChunkBytes = 52,
    kDsfDataHeader = 12,
    kPictureCopyChunk = 4096,
    kKeptCopyChunk = 32768,
};

// Frames-present bits.
enum : uint32_t { kHasTYER = 1, kHasTDAT = 2, kHasTIME = 4, kHasTSSE = 8 };

// ---------------------------------------------------------------- registered tag

// The registered record with texts of its own: the caller's buffers may be
// gone by the time the next DSF file is written.
struct tRegisteredTag {
    tID3tagInfo info;
    wchar16 title[kTagTextUnits];
    wchar16 artist[kTagTextUnits];
    wchar16 album[kTagTextUnits];
    wchar16 genre[kTagTextUnits];
    wchar16 picturePath[kTagTextUnits];
    wchar16 comment[kTagCommentUnits];
};

std::mutex sTagMutex;
tRegisteredTag sTagDataToSave;  // guarded by sTagMutex
int sTagInfoSaved = 0;          // guarded by sTagMutex

// Copies a caller's text, reading at most cap - 1 units; a null source gives
// an empty text.
void copyText(wchar16 *dst, const wchar16 *src, size_t cap) {
    size_t n = 0;
    if (src) {
        while (n + 1 < cap && src[n] != 0) {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = 0;
}

size_t textLen(const wchar16 *s, size_t cap) {
    size_t n = 0;
    while (n < cap && s[n] != 0) ++n;
    return n;
}

// ---------------------------------------------------------------- file helpers

inline uint32_t getBE32(const uint8_t *p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void putBE32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

int readAt(FILE *fp, uint64_t offset, void *buf, uint32_t len) {
    if (v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) return -1;
    return v_read(fp, buf, len) == len ? 0 : -1;
}

bool writeFull(FILE *fp, const void *buf, uint64_t len) {
    const uint8_t *p = static_cast<const uint8_t *>(buf);
    while (len > 0) {
        uint32_t piece = len > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(len);
        if (v_write(fp, p, piece) != piece) return false;
        p += piece;
        len -= piece;
    }
    return true;
}

// Rate (and channels) from the "fmt " chunk. 0, or -1 when the chunk is
// missing or short.
int readFmtRate(FILE *fp, uint32_t *rate) {
    ClassChunkUtility cu;
    uint64_t off = 0, size = 0;
    if (cu.mChunk_searchSpecifiedChunkSize(fp, "fmt ", &off, &size, kChunkModeDsf) != 0) return -1;
    if (size < kFmtChunkBytes) return -1;
    uint8_t fmt[kFmtChunkBytes];
    if (readAt(fp, off, fmt, kFmtChunkBytes) != 0) return -1;
    *rate = chunk_getLE32(fmt + 28);
    return 0;
}

// Where the tag of a DSF file sits. The metadata pointer names it; a pointer
// that is 0 or wrong falls back to the end of the "data" chunk. A tag is
// never taken from inside the audio, so that rebuilding one can never cut
// into it.
struct tTagPlace {
    bool found = false;
    uint64_t offset = 0;  // the tag header
    int version = 0;      // 2, 3 or 4
};

// 0, or -17 when the file is not a DSF file (or cannot be read as one).
int locateTag(FILE *fp, uint64_t fileSize, tTagPlace *place) {
    *place = tTagPlace{};
    uint8_t dsd[kDsdChunkBytes];
    if (fileSize < kDsdChunkBytes || readAt(fp, 0, dsd, kDsdChunkBytes) != 0) return kDsfLibErrFormat;
    if (!chunk_idIs(dsd, "DSD ")) return kDsfLibErrFormat;

    ClassChunkUtility cu;
    uint64_t dataTop = 0, dataSize = 0;
    uint64_t audioEnd = kDsfHeaderBytes;
    if (cu.mChunk_searchDataTop(fp, &dataTop, &dataSize, kChunkModeDsf) == 0) {
        uint64_t chunkStart = dataTop - kDsfDataHeader;
        audioEnd = dataSize > kDsfDataHeader ? chunkStart + dataSize : dataTop;
    }

    const uint64_t candidates[2] = {chunk_getLE64(dsd + 20), audioEnd};
    for (uint64_t at : candidates) {
        if (at < audioEnd || at > fileSize || kDsfLibHeaderBytes > fileSize - at) continue;
        uint8_t id[4];
        if (readAt(fp, at, id, 4) != 0) continue;
        const uint8_t *ids[3] = {sId3v2p3, sId3v2p2, sId3v2p4};
        for (int k = 0; k < 3; ++k) {
            if (std::memcmp(id, ids[k], 4) == 0) {
                place->found = true;
                place->offset = at;
                place->version = ids[k][3];
                return 0;
            }
        }
    }
    return 0;
}

// The frame area of a version 2.3 or 2.4 tag, bounded by the file.
struct tFrameArea {
    uint64_t start = 0;
    uint64_t length = 0;
    int version = 0;
};

// 0, or -1 when the header cannot be read or its extended header is too
// large (message printed).
int readFrameArea(FILE *fp, const tTagPlace &place, uint64_t fileSize, tFrameArea *area) {
    uint8_t hdr[kDsfLibHeaderBytes];
    if (readAt(fp, place.offset, hdr, kDsfLibHeaderBytes) != 0) return -1;
    uint64_t size = dsflib_getTagSize(hdr + 6);
    const uint64_t room = fileSize - place.offset - kDsfLibHeaderBytes;
    if (size > room) size = room;  // a tag cut short: use what the file holds
    area->version = place.version;
    area->start = place.offset + kDsfLibHeaderBytes;
    area->length = size;
    if (!(hdr[5] & 0x40)) return 0;

    // Extended header. Version 2.3: a plain size that excludes its own four
    // bytes, and a padding size after the two flag bytes. Version 2.4: a
    // syncsafe size that includes itself; padding is simply zero bytes.
    uint8_t ext[10] = {0};
    if (size < 4 || readAt(fp, area->start, ext, 4) != 0) return -1;
    uint64_t extTotal;
    uint64_t padding = 0;
    if (place.version == 3) {
        uint32_t extSize = getBE32(ext);
        if (extSize > kDsfLibMaxExtHeader) {
            std::printf("\n expHeadSize size over!");
            return -1;
        }
        extTotal = 4 + uint64_t{extSize};
        if (extSize >= 6 && size >= 10 && readAt(fp, area->start, ext, 10) == 0) padding = getBE32(ext + 6);
    } else {
        uint32_t extSize = dsflib_getTagSize(ext);
        if (extSize > kDsfLibMaxExtHeader) {
            std::printf("\n expHeadSize size over!");
            return -1;
        }
        extTotal = extSize < 4 ? 4 : extSize;
    }
    if (extTotal > size) extTotal = size;
    area->start += extTotal;
    area->length = size - extTotal;
    area->length = padding > area->length ? 0 : area->length - padding;
    return 0;
}

// One frame header of a version 2.3 or 2.4 tag.
struct tFrame {
    uint8_t header[kDsfLibFrameHeaderBytes];
    uint64_t dataOffset;
    uint32_t size;
};

bool frameIdIs(const tFrame &f, const char *id) { return chunk_idIs(f.header, id); }

// Reads the frame header at pos. False at the end of the frames: padding, an
// id that is no frame id, or a size that runs past the area.
bool nextFrame(FILE *fp, const tFrameArea &area, uint64_t pos, tFrame *f) {
    const uint64_t end = area.start + area.length;
    if (pos > end || kDsfLibFrameHeaderBytes > end - pos) return false;
    if (readAt(fp, pos, f->header, kDsfLibFrameHeaderBytes) != 0) return false;
    for (int i = 0; i < 4; ++i) {
        uint8_t c = f->header[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    // Version 2.4 stores frame sizes syncsafe, version 2.3 as plain numbers.
    f->size = area.version == 4 ? dsflib_getTagSize(f->header + 4) : getBE32(f->header + 4);
    f->dataOffset = pos + kDsfLibFrameHeaderBytes;
    if (f->size > end - f->dataOffset) return false;
    return true;
}

// ---------------------------------------------------------------- frame building

// A byte buffer sized up front: every frame is counted before it is built,
// so the tag's new frames never outgrow it.
class FrameBuf {
public:
    explicit FrameBuf(size_t capacity) : mData(new (std::nothrow) uint8_t[capacity]), mCap(capacity) {}
    ~FrameBuf() { delete[] mData; }
    FrameBuf(const FrameBuf &) = delete;
    FrameBuf &operator=(const FrameBuf &) = delete;

    bool ok() const { return mData != nullptr; }
    size_t size() const { return mLen; }
    const uint8_t *data() const { return mData; }
    uint8_t *at(size_t pos) { return mData + pos; }

    void put(const void *p, size_t n) {
        if (n > mCap - mLen) return;  // cannot happen: sizes are counted first
        std::memcpy(mData + mLen, p, n);
        mLen += n;
    }
    void byte(uint8_t b) { put(&b, 1); }
    void frameHeader(const char *id, uint32_t size) {
        uint8_t h[kDsfLibFrameHeaderBytes] = {0};
        std::memcpy(h, id, 4);
        putBE32(h + 4, size);
        put(h, sizeof h);
    }
    void utf16le(const wchar16 *s, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            uint16_t u = static_cast<uint16_t>(s[i]);
            byte(static_cast<uint8_t>(u));
            byte(static_cast<uint8_t>(u >> 8));
        }
    }

private:
    uint8_t *mData;
    size_t mCap;
    size_t mLen = 0;
};

// Sizes of the frames (header included).
size_t latinFrameBytes(const char *text) { return kDsfLibFrameHeaderBytes + 2 + std::strlen(text); }
size_t utf16FrameBytes(size_t units) { return kDsfLibFrameHeaderBytes + 3 + 2 * units; }
size_t genreFrameBytes(size_t units) { return kDsfLibFrameHeaderBytes + 4 + 2 * units; }
// Encoding 1, language, an empty description (byte-order mark and a zero
// unit) and the text with its byte-order mark.
size_t commentFrameBytes(size_t units) { return kDsfLibFrameHeaderBytes + 1 + 3 + 4 + 2 + 2 * units; }
size_t markFrameBytes(int marks) {
    return kDsfLibFrameHeaderBytes + kDsfLibMarkFixedBytes + kDsfLibMarkEntryBytes * static_cast<size_t>(marks);
}

void latinFrame(FrameBuf &b, const char *id, const char *text) {
    size_t n = std::strlen(text);
    b.frameHeader(id, static_cast<uint32_t>(n + 2));
    b.byte(0);
    b.put(text, n);
    b.byte(0);
}

void utf16Frame(FrameBuf &b, const char *id, const wchar16 *text, size_t units) {
    b.frameHeader(id, static_cast<uint32_t>(2 * units + 3));
    b.byte(1);
    b.byte(0xFF);
    b.byte(0xFE);
    b.utf16le(text, units);
}

void genreFrame(FrameBuf &b, const wchar16 *text, size_t units) {
    b.frameHeader("TCON", static_cast<uint32_t>(2 * units + 4));
    b.byte(1);
    b.byte(0xFF);
    b.byte(0xFE);
    b.utf16le(text, units);
    b.byte(0);
}

void commentFrame(FrameBuf &b, const wchar16 *text, size_t units) {
    b.frameHeader("COMM", static_cast<uint32_t>(commentFrameBytes(units) - kDsfLibFrameHeaderBytes));
    const uint8_t head[] = {1, 'e', 'n', 'g', 0xFF, 0xFE, 0x00, 0x00, 0xFF, 0xFE};
    b.put(head, sizeof head);
    b.utf16le(text, units);
}

// One mark entry: the name's first six characters (short names padded with
// spaces, so that the position part always sits at its place), "@fs=", the
// position as 16 hexadecimal digits, and the position in milliseconds.
void markEntry(uint8_t *e, const char *name, uint64_t position, uint32_t rate) {
    std::memset(e, ' ', 12);
    for (int i = 0; i < 6 && name[i] != 0; ++i) e[i] = static_cast<uint8_t>(name[i]);
    std::memcpy(e + 12, "@fs=", 4);
    for (int i = 0; i < 16; ++i) e[16 + i] = static_cast<uint8_t>(conv_bb_ab((position >> (4 * (15 - i))) & 0xF));
    std::memset(e + 32, ' ', 3);
    e[35] = 0;
    uint32_t ms = 0;
    if (rate > 0) {
        float v = static_cast<float>(position) * 1000.0f / static_cast<float>(rate);
        ms = v >= 4294967040.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    }
    putBE32(e + 36, ms);
}

void markFrame(FrameBuf &b, int listNo, int marks, uint32_t rate) {
    b.frameHeader("SYLT", static_cast<uint32_t>(markFrameBytes(marks) - kDsfLibFrameHeaderBytes));
    uint8_t fixed[kDsfLibMarkFixedBytes] = {0};
    std::memcpy(fixed + 1, "eng", 3);
    fixed[4] = 2;  // time stamps in milliseconds
    fixed[5] = 4;  // content type
    std::memcpy(fixed + 7, kMarkDescriptor, sizeof kMarkDescriptor);
    const uint8_t stamp[4] = {0x00, 0x00, 0x01, 0x0C};
    std::memcpy(fixed + 23, stamp, 4);
    b.put(fixed, sizeof fixed);
    for (int i = 0; i < marks; ++i) {
        char name[kMarkNameBytes + 4] = {0};
        uint64_t pos = 0;
        (void)gMarkList.getMarkName(listNo, i, name);
        (void)gMarkList.getMarkFs(listNo, i, &pos);
        uint8_t e[kDsfLibMarkEntryBytes];
        markEntry(e, name, pos, rate);
        b.put(e, sizeof e);
    }
}

// ---------------------------------------------------------------- picture

struct tPicture {
    uint8_t *bytes = nullptr;
    uint64_t length = 0;
    bool png = false;
    ~tPicture() { delete[] bytes; }
};

// Loads the registered album art whole, so that its frame is counted only
// once it is certain to be written. False when the file cannot be opened or
// read, is larger than kDsfLibPictureMax, or is neither PNG nor JPEG.
bool loadPicture(const wchar16 *path, tPicture *pic) {
    if (!path || path[0] == 0) return false;
    FILE *fp = nullptr;
    if (v_open(&fp, path, "rb") != 0 || !fp) return false;
    uint64_t len = 0;
    bool ok = v_getFileSize(fp, &len) == 0 && len >= 4 && len <= kDsfLibPictureMax;
    if (ok) {
        pic->bytes = new (std::nothrow) uint8_t[len];
        ok = pic->bytes != nullptr && readAt(fp, 0, pic->bytes, static_cast<uint32_t>(len)) == 0;
    }
    v_close(fp);
    if (!ok) return false;
    pic->length = len;
    pic->png = len >= 8 && std::memcmp(pic->bytes, sPingSignature, 8) == 0;
    bool jpeg = std::memcmp(pic->bytes, sJpegJFIFMark, 4) == 0 || std::memcmp(pic->bytes, sJpegExifMark, 4) == 0;
    return pic->png || jpeg;
}

uint64_t pictureFrameBytes(const tPicture &pic) { return pic.length + (pic.png ? 23 : 24); }

// The "APIC" frame: encoding 0, the MIME text, picture type 0, an empty
// description, then the picture.
bool writePictureToID3Tag(const tPicture &pic, FILE *fp) {
    const char *mime = pic.png ? "image/png" : "image/jpeg";
    uint8_t head[kDsfLibFrameHeaderBytes + 14] = {0};
    std::memcpy(head, "APIC", 4);
    putBE32(head + 4, static_cast<uint32_t>(pictureFrameBytes(pic) - kDsfLibFrameHeaderBytes));
    size_t n = kDsfLibFrameHeaderBytes;
    head[n++] = 0;
    std::memcpy(head + n, mime, std::strlen(mime) + 1);
    n += std::strlen(mime) + 1;
    head[n++] = 0;  // picture type
    head[n++] = 0;  // empty description
    return writeFull(fp, head, n) && writeFull(fp, pic.bytes, pic.length);
}

// ---------------------------------------------------------------- copying

// Copies len bytes of src at srcOffset to the current position of dst.
bool copyRange(FILE *src, uint64_t srcOffset, FILE *dst, uint64_t len, uint8_t *buf, uint32_t bufLen) {
    if (v_lseek(src, static_cast<int64_t>(srcOffset), 0) != 0) return false;
    while (len > 0) {
        uint32_t piece = len > bufLen ? bufLen : static_cast<uint32_t>(len);
        if (v_read(src, buf, piece) != piece) return false;
        if (v_write(dst, buf, piece) != piece) return false;
        len -= piece;
    }
    return true;
}

// Copies the frames of an existing tag, except its mark frames, to the work
// file; sets the frames-present bits and the kept size. Version 2.4 frames
// get plain (2.3) sizes; those whose data is compressed, encrypted or
// unsynchronised cannot be carried into a 2.3 tag and are dropped.
void keepExistingFrames(FILE *fp, const tTagPlace &place, uint64_t fileSize, FILE *work, uint32_t *bits,
                        uint64_t *keptSize, uint8_t *buf) {
    tFrameArea area;
    if (place.version == 2 || readFrameArea(fp, place, fileSize, &area) != 0) return;
    uint64_t pos = area.start;
    tFrame f;
    while (nextFrame(fp, area, pos, &f)) {
        pos = f.dataOffset + f.size;
        if (frameIdIs(f, "SYLT")) continue;
        if (area.version == 4 && f.header[9] != 0) continue;
        uint8_t h[kDsfLibFrameHeaderBytes];
        std::memcpy(h, f.header, 4);
        putBE32(h + 4, f.size);
        h[8] = area.version == 4 ? 0 : f.header[8];
        h[9] = area.version == 4 ? 0 : f.header[9];
        if (v_write(work, h, sizeof h) != sizeof h) return;
        if (!copyRange(fp, f.dataOffset, work, f.size, buf, kDsfLibReadChunk)) return;
        *keptSize += kDsfLibFrameHeaderBytes + uint64_t{f.size};
        if (frameIdIs(f, "TYER")) *bits |= kHasTYER;
        if (frameIdIs(f, "TDAT")) *bits |= kHasTDAT;
        if (frameIdIs(f, "TIME")) *bits |= kHasTIME;
        if (frameIdIs(f, "TSSE")) *bits |= kHasTSSE;
    }
}

// Sets the metadata pointer to the tag and the total file size to the file
// length. 0, -1 or -17.
int finishFile(FILE *fp, uint64_t tagOffset) {
    uint8_t dsd[kDsdChunkBytes];
    if (readAt(fp, 0, dsd, kDsdChunkBytes) != 0 || !chunk_idIs(dsd, "DSD ")) return kDsfLibErrIO;
    chunk_putLE64(dsd + 20, tagOffset);
    if (v_lseek(fp, 0, 0) != 0 || v_write(fp, dsd, kDsdChunkBytes) != kDsdChunkBytes) return kDsfLibErrIO;
    return dsflib_updateFileSizeDsf(fp);
}

// ---------------------------------------------------------------- reading

// Texts of a frame as 16-bit units. Encoding 1 with keepBom keeps the
// byte-order mark as the first unit and the units in the frame's byte order
// (the caller's text handling reads the order from the mark); without
// keepBom the text is decoded and the mark dropped. Encoding 2 is big-endian
// without a mark; encoding 3 is UTF-8; anything else is ISO 8859-1. Stops at
// the encoding's terminator or the end of the data; at most cap - 1 units,
// always terminated. Returns the units stored.
size_t decodeText(const uint8_t *p, size_t n, int encoding, bool keepBom, wchar16 *out, size_t cap) {
    size_t w = 0;
    size_t i = 0;
    auto push = [&](uint32_t u) {
        if (w + 1 < cap) out[w++] = static_cast<wchar16>(static_cast<uint16_t>(u));
    };
    if (encoding == 1 || encoding == 2) {
        bool bigEndian = encoding == 2;
        bool any = false;
        for (; i + 1 < n; i += 2) {
            uint16_t u = bigEndian ? static_cast<uint16_t>((p[i] << 8) | p[i + 1])
                                   : static_cast<uint16_t>(p[i] | (p[i + 1] << 8));
            if (u == 0) break;
            if (encoding == 1 && i == 0 && (u == 0xFEFF || u == 0xFFFE)) {
                if (keepBom) {
                    push(u);
                } else {
                    bigEndian = u == 0xFFFE;
                }
                continue;
            }
            any = true;
            push(u);
        }
        if (!any) w = 0;  // a byte-order mark alone is an empty text
    } else if (encoding == 3) {
        while (i < n && p[i] != 0) {
            uint32_t c = p[i];
            int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            uint32_t cp = more == 3 ? (c & 0x07) : more == 2 ? (c & 0x0F) : more == 1 ? (c & 0x1F) : c;
            ++i;
            for (int k = 0; k < more && i < n && (p[i] & 0xC0) == 0x80; ++k, ++i) cp = (cp << 6) | (p[i] & 0x3F);
            if (cp >= 0x10000) {
                cp -= 0x10000;
                if (w + 2 < cap) {
                    push(0xD800 + (cp >> 10));
                    push(0xDC00 + (cp & 0x3FF));
                }
            } else {
                push(cp);
            }
        }
    } else {
        // ISO 8859-1 maps byte for byte onto the first 256 code points.
        for (; i < n && p[i] != 0; ++i) push(p[i]);
    }
    out[w] = 0;
    return w;
}

// Bytes of a terminated text of that encoding at p, terminator included;
// kNoEnd when the terminator is not within the n bytes.
const size_t kNoEnd = static_cast<size_t>(-1);
size_t skipText(const uint8_t *p, size_t n, int encoding) {
    if (encoding == 1 || encoding == 2) {
        for (size_t i = 0; i + 1 < n; i += 2)
            if (p[i] == 0 && p[i + 1] == 0) return i + 2;
        return kNoEnd;
    }
    for (size_t i = 0; i < n; ++i)
        if (p[i] == 0) return i + 1;
    return kNoEnd;
}

int digitsValue(const wchar16 *s, int count) {
    int v = 0;
    for (int i = 0; i < count && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

int clampInt(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// What one scan of a tag found.
struct tTagScan {
    uint32_t bits = 0;
    int markCount = 0;
    uint8_t marks[kDsfLibMaxMarkEntries][kDsfLibMarkEntryBytes];
};

void readMarkFrame(const uint8_t *d, size_t n, tTagScan *scan) {
    if (n < kDsfLibMarkFixedBytes || std::memcmp(d + 7, kMarkDescriptor, sizeof kMarkDescriptor) != 0) return;
    scan->markCount = 0;
    size_t pos = kDsfLibMarkFixedBytes;
    while (scan->markCount < static_cast<int>(kDsfLibMaxMarkEntries) && pos < n) {
        const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(d + pos, 0, n - pos));
        if (!nul) break;
        size_t textLen = static_cast<size_t>(nul - (d + pos));
        size_t after = textLen + 1;
        if (4 > n - pos - after) break;
        uint8_t *e = scan->marks[scan->markCount++];
        std::memset(e, 0, kDsfLibMarkEntryBytes);
        std::memcpy(e, d + pos, textLen < kDsfLibMarkTextBytes - 1 ? textLen : kDsfLibMarkTextBytes - 1);
        std::memcpy(e + kDsfLibMarkTextBytes, d + pos + after, 4);
        pos += after + 4;
    }
}

// Streams the picture of an "APIC" frame into the record's picture file.
// head holds the frame's first headLen bytes; the fields ahead of the
// picture must end inside them.
void readPictureFrame(FILE *fp, const tFrame &f, const uint8_t *head, size_t headLen, tID3tagInfo *tag) {
    if (headLen < 1) return;
    const int encoding = head[0];
    size_t p = 1;
    size_t m = skipText(head + p, headLen - p, 0);  // MIME type
    if (m == kNoEnd || headLen - p - m < 1) return;
    p += m + 1;  // and the picture type
    size_t d = skipText(head + p, headLen - p, encoding);  // description
    if (d == kNoEnd) return;
    p += d;

    FILE *out = nullptr;
    if (v_open(&out, tag->picturePath, "wb+") != 0 || !out) return;
    (void)v_ftruncate(out, 0);
    tag->hasPicture = 1;
    bool ok = writeFull(out, head + p, headLen - p);
    uint64_t left = f.size - headLen;
    uint64_t at = f.dataOffset + headLen;
    uint8_t buf[kPictureCopyChunk];
    while (ok && left > 0) {
        uint32_t piece = left > sizeof buf ? static_cast<uint32_t>(sizeof buf) : static_cast<uint32_t>(left);
        ok = readAt(fp, at, buf, piece) == 0 && writeFull(out, buf, piece);
        at += piece;
        left -= piece;
    }
    v_flush(out);
    v_close(out);
}

// The scan behind the reader and the mark loader. tag may be null.
void scanTag(FILE *fp, tID3tagInfo *tag, tTagScan *scan) {
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return;
    tTagPlace place;
    if (locateTag(fp, fileSize, &place) != 0 || !place.found) return;
    // Version 2.2 tags carry no marks and fill none of the record's fields.
    if (place.version == 2) return;
    tFrameArea area;
    if (readFrameArea(fp, place, fileSize, &area) != 0) return;

    uint8_t *buf = new (std::nothrow) uint8_t[kDsfLibReadChunk];
    if (!buf) return;
    uint64_t pos = area.start;
    tFrame f;
    while (nextFrame(fp, area, pos, &f)) {
        pos = f.dataOffset + f.size;
        const bool withPic = tag && tag->picturePath && tag->picturePath[0] != 0;
        const bool useful = frameIdIs(f, "SYLT") || frameIdIs(f, "TYER") || frameIdIs(f, "TDAT") ||
                            frameIdIs(f, "TIME") ||
                            (tag && (frameIdIs(f, "TIT2") || frameIdIs(f, "TPE1") || frameIdIs(f, "TALB") ||
                                     frameIdIs(f, "TCON") || frameIdIs(f, "COMM"))) ||
                            (withPic && frameIdIs(f, "APIC"));
        if (!useful) continue;
        // Only the first piece of a frame is read here: every field this
        // reader keeps fits in it; a picture streams the rest.
        size_t n = f.size > kDsfLibReadChunk ? kDsfLibReadChunk : f.size;
        std::memset(buf, 0, kDsfLibReadChunk);
        if (readAt(fp, f.dataOffset, buf, static_cast<uint32_t>(n)) != 0) break;

        if (frameIdIs(f, "TYER")) scan->bits |= kHasTYER;
        if (frameIdIs(f, "TDAT")) scan->bits |= kHasTDAT;
        if (frameIdIs(f, "TIME")) scan->bits |= kHasTIME;
        if (frameIdIs(f, "SYLT")) {
            readMarkFrame(buf, n, scan);
            continue;
        }
        if (frameIdIs(f, "APIC")) {
            readPictureFrame(fp, f, buf, n, tag);
            continue;
        }
        if (!tag || n < 1) continue;

        wchar16 text[kTagCommentUnits];
        const int enc = buf[0];
        if (frameIdIs(f, "COMM")) {
            // Two forms: the older writer put the text (encoding 1 and its
            // byte-order mark) straight after the encoding byte; a valid
            // frame has a language and a description first. Comments with a
            // description belong to other programs.
            size_t p = 1;
            if (!(enc == 1 && n >= 3 && buf[1] == 0xFF && buf[2] == 0xFE)) {
                if (n < 4) continue;
                p = 4;
                size_t d = skipText(buf + p, n - p, enc);
                if (d == kNoEnd) continue;
                wchar16 desc[4];
                decodeText(buf + p, d, enc, false, desc, 4);
                if (desc[0] != 0) continue;
                p += d;
            }
            if (tag->comment) decodeText(buf + p, n - p, enc, true, tag->comment, kTagCommentUnits);
            continue;
        }
        const bool number = frameIdIs(f, "TYER") || frameIdIs(f, "TDAT") || frameIdIs(f, "TIME");
        decodeText(buf + 1, n - 1, enc, !number, text, kTagTextUnits);
        if (frameIdIs(f, "TIT2") && tag->title) w_strcpy(tag->title, text);
        else if (frameIdIs(f, "TPE1") && tag->artist) w_strcpy(tag->artist, text);
        else if (frameIdIs(f, "TALB") && tag->album) w_strcpy(tag->album, text);
        else if (frameIdIs(f, "TCON") && tag->genre) w_strcpy(tag->genre, text);
        else if (frameIdIs(f, "TYER")) {
            // Digits only; the year cannot come out negative.
            tag->year = clampInt(digitsValue(text, 4), 0, 9999);
        } else if (frameIdIs(f, "TDAT")) {
            tag->day = clampInt(digitsValue(text, 2), 1, 31);
            tag->month = clampInt(text[0] && text[1] ? digitsValue(text + 2, 2) : 0, 1, 12);
        } else if (frameIdIs(f, "TIME")) {
            tag->hour = clampInt(digitsValue(text, 2), 0, 23);
            tag->minute = clampInt(text[0] && text[1] ? digitsValue(text + 2, 2) : 0, 0, 59);
        }
    }
    delete[] buf;
}

}  // namespace

// ---------------------------------------------------------------- public

uint32_t dsflib_getTagSize(const uint8_t *p) {
    return (static_cast<uint32_t>(p[0] & 0x7F) << 21) | (static_cast<uint32_t>(p[1] & 0x7F) << 14) |
           (static_cast<uint32_t>(p[2] & 0x7F) << 7) | static_cast<uint32_t>(p[3] & 0x7F);
}

void dsflib_putTagSize(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>((value >> 21) & 0x7F);
    p[1] = static_cast<uint8_t>((value >> 14) & 0x7F);
    p[2] = static_cast<uint8_t>((value >> 7) & 0x7F);
    p[3] = static_cast<uint8_t>(value & 0x7F);
}

void dsflib_softwareText(char *out, int version, int build) {
    std::snprintf(out, 64, "%sv%02d.%02d b%04d", kSoftwareName, version / 100, version % 100, build);
}

int dsflib_registerTagData(const tID3tagInfoAFile *tag) {
    if (!tag) return kDsfLibOk;
    std::lock_guard<std::mutex> lock(sTagMutex);
    tRegisteredTag &r = sTagDataToSave;
    r.info = *tag;
    r.info.startSample = 0;
    copyText(r.title, tag->title, kTagTextUnits);
    copyText(r.artist, tag->artist, kTagTextUnits);
    copyText(r.album, tag->album, kTagTextUnits);
    copyText(r.genre, tag->genre, kTagTextUnits);
    copyText(r.picturePath, tag->picturePath, kTagTextUnits);
    copyText(r.comment, tag->comment, kTagCommentUnits);
    r.info.title = r.title;
    r.info.artist = r.artist;
    r.info.album = r.album;
    r.info.genre = r.genre;
    r.info.picturePath = r.picturePath;
    r.info.comment = r.comment;
    sTagInfoSaved = 1;
    return kDsfLibOk;
}

int dsflib_loadTagData(FILE *fp, tID3tagInfoAFile *tag) {
    {
        std::lock_guard<std::mutex> lock(sTagMutex);
        sTagInfoSaved = 0;
    }
    uint64_t fileSize = 0;
    tTagPlace place;
    if (!fp || v_getFileSize(fp, &fileSize) != 0 || locateTag(fp, fileSize, &place) != 0) return kDsfLibErrFormat;
    dsflib_readID3v2Tag(fp, tag);
    return kDsfLibOk;
}

void dsflib_readID3v2Tag(FILE *fp, tID3tagInfoAFile *tag) {
    if (!fp) return;
    if (tag && tag->picturePath && tag->picturePath[0] != 0) {
        // The album-art file describes this file only: empty it first.
        FILE *pic = nullptr;
        if (v_open(&pic, tag->picturePath, "wb+") != 0 || !pic) (void)v_open(&pic, tag->picturePath, "rb");
        if (pic) {
            (void)v_ftruncate(pic, 0);
            v_close(pic);
        }
    }
    tTagScan *scan = new (std::nothrow) tTagScan;
    if (!scan) return;
    scanTag(fp, tag, scan);
    delete scan;
}

int dsflib_loadCueData(FILE *fp, uint64_t totalSamples, int listNo) {
    (void)totalSamples;
    tTagScan *scan = new (std::nothrow) tTagScan;
    if (!scan) return kDsfLibErrIO;
    if (fp) scanTag(fp, nullptr, scan);
    uint32_t rate = 0;
    if (fp && readFmtRate(fp, &rate) != 0) rate = 0;

    int rc = gMarkList.create(listNo);
    for (int i = 0; rc == kMarkOk && i < scan->markCount; ++i) {
        const uint8_t *e = scan->marks[i];
        const char *text = reinterpret_cast<const char *>(e);
        const char *at = std::strstr(text, "@fs=");
        uint64_t pos = 0;
        bool exact = at != nullptr;
        for (int k = 0; exact && k < 16; ++k) {
            char c = at[4 + k];
            bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
            if (!hex) exact = false;
            else pos = (pos << 4) | (c <= '9' ? c - '0' : (c & 0x5F) - 'A' + 10);
        }
        if (!exact) {
            float ms = static_cast<float>(getBE32(e + kDsfLibMarkTextBytes));
            float v = static_cast<float>(rate) * (ms / 1000.0f);
            pos = v >= 1.8446743e19f ? UINT64_MAX : static_cast<uint64_t>(v);
        }
        // The name is the first six bytes; a shorter name was padded.
        char name[kMarkNameBytes + 4] = {0};
        std::memcpy(name, e, 6);
        for (int k = 5; k >= 0 && name[k] == ' '; --k) name[k] = 0;
        (void)gMarkList.addMark(listNo, 1, 1, name, pos, pos, kMarkFlagSerial | kMarkFlagReserved);
    }
    delete scan;
    if (rc != kMarkOk) return kDsfLibErrFormat;
    (void)gMarkList.renumber(listNo);
    (void)gMarkList.clrModifyFlag(listNo);
    return kDsfLibOk;
}

int dsflib_updateFileSizeDsf(FILE *fp) {
    uint64_t len = 0;
    if (v_getFileSize(fp, &len) != 0) return kDsfLibErrFormat;
    uint8_t dsd[kDsdChunkBytes];
    if (readAt(fp, 0, dsd, kDsdChunkBytes) != 0 || !chunk_idIs(dsd, "DSD ")) return kDsfLibErrIO;
    chunk_putLE64(dsd + 12, len);
    if (v_lseek(fp, 0, 0) != 0 || v_write(fp, dsd, kDsdChunkBytes) != kDsdChunkBytes) return kDsfLibErrIO;
    return v_flush(fp) == 0 ? kDsfLibOk : kDsfLibErrIO;
}

int dsflib_saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    (void)existing;
    (void)totalSamples;
    int32_t modified = 0;
    if (gMarkList.getModifyFlag(listNo, &modified) != kMarkOk) return kDsfLibErrFormat;
    if (!modified) return kDsfLibOk;
    if (!fp) return kDsfLibErrIO;

    uint32_t rate = 0;
    if (readFmtRate(fp, &rate) != 0) return kDsfLibErrIO;
    int32_t marks = 0;
    if (gMarkList.getMarkCnt(listNo, &marks) != kMarkOk || marks < 0) marks = 0;
    if (marks > kMarkMax) marks = kMarkMax;
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return kDsfLibErrFormat;

    tTagPlace place;
    if (locateTag(fp, fileSize, &place) != 0) return kDsfLibErrFormat;

    uint8_t *copyBuf = new (std::nothrow) uint8_t[kKeptCopyChunk];
    if (!copyBuf) return kDsfLibErrIO;

    // The frames of an existing tag go to a work file of their own: the
    // tag is cut off before the new one is written. An anonymous temporary
    // file cannot collide with another rebuild and never stays behind.
    uint32_t bits = 0;
    uint64_t keptSize = 0;
    FILE *work = nullptr;
    if (place.found) {
        work = std::tmpfile();
        if (work) keepExistingFrames(fp, place, fileSize, work, &bits, &keptSize, copyBuf);
        if (work && v_flush(work) != 0) keptSize = 0;
    }

    // The registered tag is taken once: its texts are written by this call
    // only, and its album art by the first call that finds it.
    tRegisteredTag *reg = new (std::nothrow) tRegisteredTag;
    bool withTexts = false;
    bool wantPicture = false;
    if (reg) {
        std::lock_guard<std::mutex> lock(sTagMutex);
        *reg = sTagDataToSave;
        withTexts = sTagInfoSaved == 1;
        sTagInfoSaved = 0;
        wantPicture = sTagDataToSave.info.hasPicture != 0 && sTagDataToSave.picturePath[0] != 0;
        sTagDataToSave.info.hasPicture = 0;
    }
    tPicture pic;
    const bool withPicture = wantPicture && loadPicture(reg->picturePath, &pic);

    // Count the new frames, then build them.
    char track[32] = {0}, year[32] = {0}, date[32] = {0}, time[32] = {0}, software[64] = {0};
    size_t titleN = 0, artistN = 0, albumN = 0, commentN = 0, genreN = 0;
    size_t need = kDsfLibHeaderBytes;
    if (withTexts) {
        const tID3tagInfo &t = reg->info;
        if (t.trackNo > 0 && t.totalTracks > 0) {
            std::snprintf(track, sizeof track, "%d/%d", t.trackNo, t.totalTracks);
            need += latinFrameBytes(track);
        }
        titleN = textLen(reg->title, kTagTextUnits);
        artistN = textLen(reg->artist, kTagTextUnits);
        albumN = textLen(reg->album, kTagTextUnits);
        commentN = textLen(reg->comment, kTagCommentUnits);
        genreN = textLen(reg->genre, kTagTextUnits);
        if (titleN) need += utf16FrameBytes(titleN);
        if (artistN) need += utf16FrameBytes(artistN);
        if (albumN) need += utf16FrameBytes(albumN);
        if (t.year > 0) {
            std::snprintf(year, sizeof year, "%04d", t.year);
            need += latinFrameBytes(year);
        }
        if (t.month >= 1 && t.day >= 1) {
            std::snprintf(date, sizeof date, "%02d%02d", t.day, t.month);
            need += latinFrameBytes(date);
        }
        if (t.hour >= 0 && t.minute >= 0) {
            std::snprintf(time, sizeof time, "%02d%02d", t.hour, t.minute);
            need += latinFrameBytes(time);
        }
        if (commentN) need += commentFrameBytes(commentN);
        if (genreN) need += genreFrameBytes(genreN);
    }
    if (!(bits & kHasTSSE)) {
        dsflib_softwareText(software, kSoftwareVersion, kSoftwareBuild);
        need += latinFrameBytes(software);
    }
    need += markFrameBytes(marks);

    FrameBuf nb(need);
    const uint64_t picBytes = withPicture ? pictureFrameBytes(pic) : 0;
    const uint64_t tagSize = (need - kDsfLibHeaderBytes) + picBytes + keptSize;
    if (!nb.ok() || !reg || tagSize > kDsfLibSyncsafeMax) {
        if (work) std::fclose(work);
        delete reg;
        delete[] copyBuf;
        return !nb.ok() || !reg ? kDsfLibErrIO : kDsfLibErrFormat;
    }

    uint8_t hdr[kDsfLibHeaderBytes] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    dsflib_putTagSize(hdr + 6, static_cast<uint32_t>(tagSize));
    nb.put(hdr, sizeof hdr);
    if (withTexts) {
        if (track[0]) latinFrame(nb, "TRCK", track);
        if (titleN) utf16Frame(nb, "TIT2", reg->title, titleN);
        if (artistN) utf16Frame(nb, "TPE1", reg->artist, artistN);
        if (albumN) utf16Frame(nb, "TALB", reg->album, albumN);
        if (year[0]) latinFrame(nb, "TYER", year);
        if (date[0]) latinFrame(nb, "TDAT", date);
        if (time[0]) latinFrame(nb, "TIME", time);
        if (commentN) commentFrame(nb, reg->comment, commentN);
        if (genreN) genreFrame(nb, reg->genre, genreN);
    }
    if (software[0]) latinFrame(nb, "TSSE", software);
    markFrame(nb, listNo, marks, rate);
    delete reg;

    // From here on the file changes; failures leave a partly written tag.
    const uint64_t tagOffset = place.found ? place.offset : fileSize;
    bool ok = !place.found || v_ftruncate(fp, static_cast<int64_t>(place.offset)) == 0;
    if (ok) {
        ok = v_lseek(fp, 0, 2) == 0 && writeFull(fp, nb.data(), kDsfLibHeaderBytes);
        if (ok && work && keptSize > 0) ok = copyRange(work, 0, fp, keptSize, copyBuf, kKeptCopyChunk);
        if (ok) ok = writeFull(fp, nb.data() + kDsfLibHeaderBytes, nb.size() - kDsfLibHeaderBytes);
        if (ok && withPicture) ok = writePictureToID3Tag(pic, fp);
        if (ok) ok = v_flush(fp) == 0;
        if (ok) (void)finishFile(fp, tagOffset);
    }
    if (work) std::fclose(work);
    delete[] copyBuf;
    return kDsfLibOk;
}
