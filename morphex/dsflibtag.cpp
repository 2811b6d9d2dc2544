#include "morphex/dsflibtag.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "audiofile/chunkutil.h"
#include "audiofile/dsffile.h"
#include "audiofile/dsftag.h"
#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "base/wstring.h"
#include "morphex/libutil.h"
#include "morphex/tabledsf.h"

namespace {

const uint8_t sPingSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
const uint8_t sJpegJFIFMark[4] = {0xFF, 0xD8, 0xFF, 0xE0};
const uint8_t sJpegExifMark[4] = {0xFF, 0xD8, 0xFF, 0xE1};

enum : uint32_t { kPictureCopyChunk = 4096 };  // album art is streamed out in pieces of this size

size_t textLen(const wchar16 *s, size_t cap) {
    size_t n = 0;
    while (n < cap && s[n] != 0) ++n;
    return n;
}

// A record's text without a leading byte-order mark (texts read by other
// code may still carry one): the frame writers put their own mark first.
const wchar16 *withoutBom(const wchar16 *s) { return s && s[0] == 0xFEFF ? s + 1 : s; }

// ---------------------------------------------------------------- file helpers

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
    if (size < kDsfFmtChunkBytes) return -1;
    uint8_t fmt[kDsfFmtChunkBytes];
    if (v_readAt(fp, off, fmt, kDsfFmtChunkBytes) != 0) return -1;
    *rate = chunk_getLE32(fmt + 28);
    return 0;
}

// Where the tag of a DSF file sits: right behind the audio, where the data
// chunk's size steps to and the metadata pointer names. Never inside the
// audio, so that rebuilding a tag cannot cut into it.
struct tTagPlace {
    bool found = false;
    uint64_t offset = 0;  // the tag header
    uint8_t version = 0;  // 2, 3 or 4
    uint8_t header[kId3HeaderBytes] = {0};
};

// 0, or -17 when the file is not a DSF file.
int locateTag(FILE *fp, uint64_t fileSize, tTagPlace *place) {
    *place = tTagPlace{};
    uint8_t id[4];
    if (fileSize < kDsfDsdChunkBytes || v_readAt(fp, 0, id, 4) != 0 || !chunk_idIs(id, "DSD ")) return kDsfLibErrFormat;
    ClassChunkUtility cu;
    place->found = dsfTag_locate(fp, cu, &place->offset, &place->version, place->header) == 0;
    return 0;
}

// The frame area of a version 2.3 or 2.4 tag, inside the tag and the file.
struct tFrameArea {
    uint64_t start = 0;
    uint64_t end = 0;
    uint8_t version = 0;
};

// 0, or -1 for version 2.2, a damaged header or an extended header that is
// too large (its message printed). buf holds kDsfTagReadBufBytes.
int readFrameArea(FILE *fp, const tTagPlace &place, uint8_t *buf, tFrameArea *area) {
    if (place.version != 3 && place.version != 4) return -1;
    uint64_t length = 0;
    if (id3_frameArea(fp, place.offset, place.header, buf, &area->start, &length) != 0) return -1;
    area->end = area->start + length;
    area->version = place.version;
    return 0;
}

typedef tId3Frame tFrame;

bool frameIdIs(const tFrame &f, const char *id) { return chunk_idIs(f.header, id); }

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

    void put(const void *p, size_t n) {
        if (n > mCap - mLen) return;  // cannot happen: sizes are counted first
        std::memcpy(mData + mLen, p, n);
        mLen += n;
    }
    void byte(uint8_t b) { put(&b, 1); }
    void frameHeader(const char *id, uint32_t size) {
        uint8_t h[kId3FrameHeaderBytes] = {0};
        std::memcpy(h, id, 4);
        chunk_putBE32(h + 4, size);
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
size_t latinFrameBytes(const char *text) { return kId3FrameHeaderBytes + 2 + std::strlen(text); }
size_t utf16FrameBytes(size_t units) { return kId3FrameHeaderBytes + 3 + 2 * units; }
size_t genreFrameBytes(size_t units) { return kId3FrameHeaderBytes + 4 + 2 * units; }
// Encoding 1, language, an empty description (byte-order mark and a zero
// unit) and the text with its byte-order mark.
size_t commentFrameBytes(size_t units) { return kId3FrameHeaderBytes + 1 + 3 + 4 + 2 + 2 * units; }
size_t markFrameBytes(int marks) {
    return kId3FrameHeaderBytes + kDsfMarkFrameFixedBytes + kDsfMarkEntryBytes * static_cast<size_t>(marks);
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
    b.frameHeader("COMM", static_cast<uint32_t>(commentFrameBytes(units) - kId3FrameHeaderBytes));
    const uint8_t head[] = {1, 'e', 'n', 'g', 0xFF, 0xFE, 0x00, 0x00, 0xFF, 0xFE};
    b.put(head, sizeof head);
    b.utf16le(text, units);
}

// The mark frame: its fixed data, then one entry per mark (the name's first
// six characters padded with spaces, "@fs=" and 16 hexadecimal digits, the
// milliseconds).
void markFrame(FrameBuf &b, int listNo, int marks, uint32_t rate) {
    uint8_t head[kId3FrameHeaderBytes + kDsfMarkFrameFixedBytes];
    b.put(head, dsfTag_makeMarkFrameHead(head, static_cast<uint32_t>(marks)));
    for (int i = 0; i < marks; ++i) {
        char name[kMarkNameBytes + 4] = {0};
        uint64_t pos = 0;
        (void)gMarkList.getMarkName(listNo, i, name);
        (void)gMarkList.getMarkFs(listNo, i, &pos);
        uint8_t e[kDsfMarkEntryBytes];
        dsfTag_makeMarkEntry(e, name, pos, rate);
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
        ok = pic->bytes != nullptr && v_readAt(fp, 0, pic->bytes, static_cast<uint32_t>(len)) == 0;
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
    uint8_t head[kId3FrameHeaderBytes + 14] = {0};
    std::memcpy(head, "APIC", 4);
    chunk_putBE32(head + 4, static_cast<uint32_t>(pictureFrameBytes(pic) - kId3FrameHeaderBytes));
    size_t n = kId3FrameHeaderBytes;
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
    const int64_t at = v_tell(dst);
    return at >= 0 && v_moveRange(src, srcOffset, dst, static_cast<uint64_t>(at), len, buf, bufLen) == 0;
}

// Copies the frames of an existing tag, except its mark frames, to the work
// file; sets the frames-present bits and the kept size. Version 2.4 frames
// get plain (2.3) sizes; those whose data is compressed, encrypted or
// unsynchronised cannot be carried into a 2.3 tag and are dropped.
void keepExistingFrames(FILE *fp, const tTagPlace &place, FILE *work, uint32_t *bits, uint64_t *keptSize,
                        uint8_t *buf) {
    tFrameArea area;
    if (readFrameArea(fp, place, buf, &area) != 0) return;
    uint64_t pos = area.start;
    tFrame f;
    while (id3_nextFrame(fp, area.version, &pos, area.end, &f) == 1) {
        if (frameIdIs(f, "SYLT")) continue;
        if (area.version == 4 && f.header[9] != 0) continue;
        uint8_t h[kId3FrameHeaderBytes];
        std::memcpy(h, f.header, 4);
        chunk_putBE32(h + 4, f.size);
        h[8] = area.version == 4 ? 0 : f.header[8];
        h[9] = area.version == 4 ? 0 : f.header[9];
        if (v_write(work, h, sizeof h) != sizeof h) return;
        if (!copyRange(fp, f.dataOffset, work, f.size, buf, kDsfTagReadBufBytes)) return;
        *keptSize += kId3FrameHeaderBytes + uint64_t{f.size};
        if (frameIdIs(f, "TYER")) *bits |= kDsfTagHasTYER;
        if (frameIdIs(f, "TDAT")) *bits |= kDsfTagHasTDAT;
        if (frameIdIs(f, "TIME")) *bits |= kDsfTagHasTIME;
        if (frameIdIs(f, "TSSE")) *bits |= kDsfTagHasTSSE;
    }
}

// Sets the metadata pointer to the tag and the total file size to the file
// length. 0, -1 or -17.
int finishFile(FILE *fp, uint64_t tagOffset) {
    uint8_t dsd[kDsfDsdChunkBytes];
    if (v_readAt(fp, 0, dsd, kDsfDsdChunkBytes) != 0 || !chunk_idIs(dsd, "DSD ")) return kDsfLibErrIO;
    chunk_putLE64(dsd + 20, tagOffset);
    if (v_writeAt(fp, 0, dsd, kDsfDsdChunkBytes) != 0) return kDsfLibErrIO;
    return dsflib_updateFileSizeDsf(fp);
}

// Clears a metadata pointer that names no tag.
void clearDanglingPointer(FILE *fp) {
    uint8_t dsd[kDsfDsdChunkBytes];
    uint64_t fileSize = 0;
    tTagPlace place;
    if (v_getFileSize(fp, &fileSize) != 0 || locateTag(fp, fileSize, &place) != 0) return;
    if (v_readAt(fp, 0, dsd, kDsfDsdChunkBytes) != 0) return;
    const uint64_t pointer = chunk_getLE64(dsd + kDsfDsdMetaPointer);
    if (pointer == 0 || (place.found && place.offset == pointer)) return;
    chunk_putLE64(dsd + kDsfDsdMetaPointer, 0);
    (void)v_writeAt(fp, 0, dsd, kDsfDsdChunkBytes);
}

// The "TSSE" text with the library's version record: version 110 and
// build 96 read "v01.10 b0096".
std::string softwareText() {
    const tDeviceVersion *v = GetVersionKAVELO();
    char text[96];
    std::snprintf(text, sizeof text, "KAVELO Sonvex Editor    v%02d.%02d b%04d", v->version / 100, v->version % 100,
                  v->build);
    return text;
}

// ---------------------------------------------------------------- reading

// Texts of a frame as 16-bit units. Encoding 1 is decoded in the order its
// byte-order mark names and the mark is dropped: the record holds the text
// alone, so a writer that adds its own mark does not stack a second one on
// every pass, and a text read back equals the text written. Encoding 2 is big-endian
// without a mark; encoding 3 is UTF-8; anything else is ISO 8859-1. Stops at
// the encoding's terminator or the end of the data; at most cap - 1 units,
// always terminated. Returns the units stored.
size_t decodeText(const uint8_t *p, size_t n, int encoding, wchar16 *out, size_t cap) {
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
                bigEndian = u == 0xFFFE;
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
    uint8_t marks[kDsfMarkMaxEntries][kDsfMarkEntryBytes];
};

// Streams the picture of an "APIC" frame into the record's picture file.
// head holds the frame's first headLen bytes; the fields ahead of the
// picture must end inside them.
void readPictureFrame(FILE *fp, const tFrame &f, const uint8_t *head, size_t headLen, tID3tagInfo *tag) {
    if (headLen < 1) return;
    const int encoding = head[0];
    size_t p = 1;
    size_t m = skipText(head + p, headLen - p, 0);  // MIME type
    if (m == kNoEnd || headLen - p - m < 1) return;
    p += m + 1;                                            // and the picture type
    size_t d = skipText(head + p, headLen - p, encoding);  // description
    if (d == kNoEnd) return;
    p += d;

    FILE *out = nullptr;
    if (v_open(&out, tag->picturePath, "wb+") != 0 || !out) return;
    (void)v_ftruncate(out, 0);
    tag->hasPicture = 1;
    bool ok = writeFull(out, head + p, headLen - p);
    uint8_t buf[kPictureCopyChunk];
    if (ok) ok = v_moveRange(fp, f.dataOffset + headLen, out, headLen - p, f.size - headLen, buf, sizeof buf) == 0;
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
    uint8_t *buf = new (std::nothrow) uint8_t[kDsfTagReadBufBytes];
    if (!buf) return;
    tFrameArea area;
    if (readFrameArea(fp, place, buf, &area) != 0) {
        delete[] buf;
        return;
    }
    uint64_t pos = area.start;
    tFrame f;
    while (id3_nextFrame(fp, area.version, &pos, area.end, &f) == 1) {
        const bool withPic = tag && tag->picturePath && tag->picturePath[0] != 0;
        const bool useful = frameIdIs(f, "SYLT") || frameIdIs(f, "TYER") || frameIdIs(f, "TDAT") ||
                            frameIdIs(f, "TIME") ||
                            (tag && (frameIdIs(f, "TIT2") || frameIdIs(f, "TPE1") || frameIdIs(f, "TALB") ||
                                     frameIdIs(f, "TCON") || frameIdIs(f, "COMM"))) ||
                            (withPic && frameIdIs(f, "APIC"));
        if (!useful) continue;
        // Only the first piece of a frame is read here: every field this
        // reader keeps fits in it; a picture streams the rest.
        size_t n = f.size > kDsfTagReadBufBytes ? kDsfTagReadBufBytes : f.size;
        std::memset(buf, 0, kDsfTagReadBufBytes);
        if (v_readAt(fp, f.dataOffset, buf, static_cast<uint32_t>(n)) != 0) break;

        if (frameIdIs(f, "TYER")) scan->bits |= kDsfTagHasTYER;
        if (frameIdIs(f, "TDAT")) scan->bits |= kDsfTagHasTDAT;
        if (frameIdIs(f, "TIME")) scan->bits |= kDsfTagHasTIME;
        if (frameIdIs(f, "SYLT")) {
            int count = dsfTag_parseMarkFrame(buf, static_cast<uint32_t>(n), scan->marks);
            if (count >= 0) scan->markCount = count;
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
                decodeText(buf + p, d, enc, desc, 4);
                if (desc[0] != 0) continue;
                p += d;
            }
            if (tag->comment) decodeText(buf + p, n - p, enc, tag->comment, kTagCommentUnits);
            continue;
        }
        decodeText(buf + 1, n - 1, enc, text, kTagTextUnits);
        if (frameIdIs(f, "TIT2") && tag->title)
            w_strcpy(tag->title, text);
        else if (frameIdIs(f, "TPE1") && tag->artist)
            w_strcpy(tag->artist, text);
        else if (frameIdIs(f, "TALB") && tag->album)
            w_strcpy(tag->album, text);
        else if (frameIdIs(f, "TCON") && tag->genre)
            w_strcpy(tag->genre, text);
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

int dsflib_registerTagData(const tID3tagInfoAFile *tag) {
    if (tag) dsfTag_registered().registerTag(*tag);
    return kDsfLibOk;
}

int dsflib_loadTagData(FILE *fp, tID3tagInfoAFile *tag) {
    dsfTag_registered().clear();
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
        const uint64_t pos = dsfTag_markEntryPosition(e, rate);
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
    uint8_t dsd[kDsfDsdChunkBytes];
    if (v_readAt(fp, 0, dsd, kDsfDsdChunkBytes) != 0 || !chunk_idIs(dsd, "DSD ")) return kDsfLibErrIO;
    chunk_putLE64(dsd + 12, len);
    return v_writeAt(fp, 0, dsd, kDsfDsdChunkBytes) == 0 ? kDsfLibOk : kDsfLibErrIO;
}

int dsflib_saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    (void)existing;
    (void)totalSamples;
    int32_t modified = 0;
    if (gMarkList.getModifyFlag(listNo, &modified) != kMarkOk) return kDsfLibErrFormat;
    if (!fp) return kDsfLibErrIO;
    if (!modified) {
        // Nothing to write. A size update may just have pointed the
        // metadata pointer behind the audio; where no tag sits there, the
        // pointer is cleared so that readers do not look for one.
        clearDanglingPointer(fp);
        return kDsfLibOk;
    }

    uint32_t rate = 0;
    if (readFmtRate(fp, &rate) != 0) return kDsfLibErrIO;
    int32_t marks = 0;
    if (gMarkList.getMarkCnt(listNo, &marks) != kMarkOk || marks < 0) marks = 0;
    if (marks > kMarkMax) marks = kMarkMax;
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return kDsfLibErrFormat;

    tTagPlace place;
    if (locateTag(fp, fileSize, &place) != 0) return kDsfLibErrFormat;

    uint8_t *copyBuf = new (std::nothrow) uint8_t[kDsfTagCopyBufBytes];
    if (!copyBuf) return kDsfLibErrIO;

    // The frames of an existing tag go to a work file of their own (beside
    // the file, unique to this call): the tag is cut off before the new one
    // is written. A work file that cannot be made drops those frames.
    uint32_t bits = 0;
    uint64_t keptSize = 0;
    FILE *work = nullptr;
    std::string workPath;
    if (place.found && dsfTag_createWorkFile(fp, &workPath, &work) == 0) {
        keepExistingFrames(fp, place, work, &bits, &keptSize, copyBuf);
        if (v_flush(work) != 0) keptSize = 0;
    }
    auto dropWork = [&]() {
        if (work) std::fclose(work);
        if (!workPath.empty()) std::remove(workPath.c_str());
        work = nullptr;
    };

    // A waiting registration gives the texts and the album art; it is
    // dropped once its frames are built (unless a newer one arrived
    // meanwhile), so a second write in the same job replaces only the marks.
    cTagCopy reg;
    uint64_t generation = 0;
    const bool withTexts = dsfTag_registered().take(&reg, &generation);
    const tID3tagInfo &t = reg.info();
    tPicture pic;
    const bool withPicture = withTexts && t.hasPicture != 0 && loadPicture(t.picturePath, &pic);

    // Count the new frames, then build them.
    char track[32] = {0}, year[32] = {0}, date[32] = {0}, time[32] = {0};
    std::string software;
    size_t titleN = 0, artistN = 0, albumN = 0, commentN = 0, genreN = 0;
    const wchar16 *title = nullptr, *artist = nullptr, *album = nullptr, *comment = nullptr, *genre = nullptr;
    size_t need = kId3HeaderBytes;
    if (withTexts) {
        if (t.trackNo > 0 && t.totalTracks > 0) {
            std::snprintf(track, sizeof track, "%d/%d", t.trackNo, t.totalTracks);
            need += latinFrameBytes(track);
        }
        title = withoutBom(t.title);
        artist = withoutBom(t.artist);
        album = withoutBom(t.album);
        comment = withoutBom(t.comment);
        genre = withoutBom(t.genre);
        titleN = textLen(title, kTagTextUnits);
        artistN = textLen(artist, kTagTextUnits);
        albumN = textLen(album, kTagTextUnits);
        commentN = textLen(comment, kTagCommentUnits);
        genreN = textLen(genre, kTagTextUnits);
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
    if (!(bits & kDsfTagHasTSSE)) {
        software = softwareText();
        need += latinFrameBytes(software.c_str());
    }
    need += markFrameBytes(marks);

    FrameBuf nb(need);
    const uint64_t picBytes = withPicture ? pictureFrameBytes(pic) : 0;
    const uint64_t tagSize = (need - kId3HeaderBytes) + picBytes + keptSize;
    if (!nb.ok() || tagSize > kId3SyncsafeMax) {
        dropWork();
        delete[] copyBuf;
        return !nb.ok() ? kDsfLibErrIO : kDsfLibErrFormat;
    }

    uint8_t hdr[kId3HeaderBytes] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    id3_putSyncsafe(hdr + 6, static_cast<uint32_t>(tagSize));
    nb.put(hdr, sizeof hdr);
    if (withTexts) {
        if (track[0]) latinFrame(nb, "TRCK", track);
        if (titleN) utf16Frame(nb, "TIT2", title, titleN);
        if (artistN) utf16Frame(nb, "TPE1", artist, artistN);
        if (albumN) utf16Frame(nb, "TALB", album, albumN);
        if (year[0]) latinFrame(nb, "TYER", year);
        if (date[0]) latinFrame(nb, "TDAT", date);
        if (time[0]) latinFrame(nb, "TIME", time);
        if (commentN) commentFrame(nb, comment, commentN);
        if (genreN) genreFrame(nb, genre, genreN);
    }
    if (!software.empty()) latinFrame(nb, "TSSE", software.c_str());
    markFrame(nb, listNo, marks, rate);
    if (withTexts) dsfTag_registered().clearIfGeneration(generation);

    // From here on the file changes; failures leave a partly written tag.
    const uint64_t tagOffset = place.found ? place.offset : fileSize;
    bool ok = !place.found || v_ftruncate(fp, static_cast<int64_t>(place.offset)) == 0;
    if (ok) {
        ok = v_lseek(fp, 0, 2) == 0 && writeFull(fp, nb.data(), kId3HeaderBytes);
        if (ok && work && keptSize > 0) ok = copyRange(work, 0, fp, keptSize, copyBuf, kDsfTagCopyBufBytes);
        if (ok) ok = writeFull(fp, nb.data() + kId3HeaderBytes, nb.size() - kId3HeaderBytes);
        if (ok && withPicture) ok = writePictureToID3Tag(pic, fp);
        if (ok) ok = v_flush(fp) == 0;
        if (ok) (void)finishFile(fp, tagOffset);
    }
    dropWork();
    delete[] copyBuf;
    return kDsfLibOk;
}
