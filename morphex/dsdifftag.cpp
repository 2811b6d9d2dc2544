#include "morphex/dsdifftag.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "audiofile/vfile.h"
#include "base/wstring.h"

namespace {

cRegisteredTag sDsdiffTag;

// One sub-chunk: id, size 4 + n + n%2, count n, the text's Shift-JIS bytes
// and the pad byte.
void appendSubChunk(std::vector<uint8_t> *out, const char *id, const wchar16 *text) {
    const size_t n = text ? w_strlen(text) : 0;
    if (n == 0) return;
    // convUnitoSjisWithUnknownGlyph writes up to two bytes per unit and a
    // terminator; for text below U+0100 byte i is unit i.
    std::vector<char> sjis(2 * n + 2, 0);
    convUnitoSjisWithUnknownGlyph(sjis.data(), text);
    const size_t pad = n & 1;
    const size_t at = out->size();
    out->resize(at + kDiinSubChunkFixed + n + pad, 0);
    uint8_t *p = out->data() + at;
    std::memcpy(p, id, 4);
    chunk_putBE64(p + 4, 4 + n + pad);
    chunk_putBE32(p + 12, static_cast<uint32_t>(n));
    std::memcpy(p + kDiinSubChunkFixed, sjis.data(), n);
}

// Copies at most count bytes of text (up to a zero byte, at most
// kDiinTextUnits) into dst as ISO 8859-1 and terminates it.
void storeText(wchar16 *dst, const uint8_t *src, uint64_t count) {
    if (!dst) return;
    uint64_t n = std::min<uint64_t>(count, kDiinTextUnits);
    uint64_t i = 0;
    for (; i < n && src[i] != 0; ++i) dst[i] = static_cast<wchar16>(src[i]);
    dst[i] = 0;
}

}  // namespace

cRegisteredTag &dsdiffTag_registered() { return sDsdiffTag; }

int dsdiffTag_register(const tID3tagInfo *tag) {
    if (tag) sDsdiffTag.registerTag(*tag);
    return 0;
}

std::vector<uint8_t> dsdiffTag_buildDiin(const wchar16 *title, const wchar16 *artist) {
    std::vector<uint8_t> chunk(kDsdiffChunkHeader, 0);
    appendSubChunk(&chunk, "DITI", title);
    appendSubChunk(&chunk, "DIAR", artist);
    if (chunk.size() == kDsdiffChunkHeader) return {};
    std::memcpy(chunk.data(), "DIIN", 4);
    chunk_putBE64(chunk.data() + 4, chunk.size() - kDsdiffChunkHeader);
    return chunk;
}

int dsdiffTag_append(FILE *fp) {
    cTagCopy tag;
    uint64_t generation = 0;
    if (!sDsdiffTag.take(&tag, &generation)) return 0;
    std::vector<uint8_t> chunk = dsdiffTag_buildDiin(tag.info().title, tag.info().artist);
    if (chunk.empty()) {
        sDsdiffTag.clearIfGeneration(generation);
        return 0;
    }
    uint64_t length = 0;
    if (v_getFileSize(fp, &length) != 0 || v_lseek(fp, 0, 2) != 0) return -1;
    // Chunks start at even offsets; a mono file of odd audio length ends odd.
    if (length & 1) {
        const uint8_t zero = 0;
        if (v_write(fp, &zero, 1) != 1) return -1;
    }
    if (v_write(fp, chunk.data(), static_cast<uint32_t>(chunk.size())) != chunk.size()) return -1;
    if (v_flush(fp) != 0) return -1;
    sDsdiffTag.clearIfGeneration(generation);
    return 0;
}

int dsdiffTag_load(FILE *fp, tID3tagInfo *tag) {
    sDsdiffTag.clear();
    int64_t offset = 0, size = 0;
    if (gClass_DsdiffFile::gChunk64_searchSpecifiedChunkSize(fp, "DIIN", &offset, &size) != 0 || size <= 0) return -1;
    // The size is already cut to what the file holds; cap what is read.
    const uint64_t len = std::min<uint64_t>(static_cast<uint64_t>(size), kDiinReadMax);
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[len]);
    if (!buf) return -1;
    if (v_readAt(fp, static_cast<uint64_t>(offset) + kDsdiffChunkHeader, buf.get(), static_cast<uint32_t>(len)) != 0)
        return -1;

    uint64_t pos = 0;
    while (len - pos >= kDsdiffChunkHeader) {
        const uint8_t *h = buf.get() + pos;
        const uint64_t sub = chunk_getBE64(h + 4);
        const uint64_t body = pos + kDsdiffChunkHeader;
        if (sub > len - body) break;  // runs past the chunk (or what was read)
        const bool title = std::memcmp(h, "DITI", 4) == 0;
        const bool artist = std::memcmp(h, "DIAR", 4) == 0;
        if ((title || artist) && sub >= 4 && tag) {
            const uint64_t count = std::min<uint64_t>(chunk_getBE32(buf.get() + body), sub - 4);
            storeText(title ? tag->title : tag->artist, buf.get() + body + 4, count);
        }
        // A sub-chunk of odd size is followed by a pad byte it does not count.
        const uint64_t step = sub + (sub & 1);
        if (step > len - body) break;
        pos = body + step;
    }
    return 0;
}
