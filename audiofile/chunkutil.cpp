#include "audiofile/chunkutil.h"

#include <cstdio>
#include <cstring>

#include "audiofile/vfile.h"

namespace {

inline uint64_t roundEven(uint64_t v) { return v + (v & 1); }

// Reads len bytes at offset. 0, or -1 for a failed seek or a short read.
int readAt(FILE *fp, uint64_t offset, uint8_t *buf, uint32_t len) {
    if (v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) return -1;
    return v_read(fp, buf, len) == len ? 0 : -1;
}

}  // namespace

const uint8_t *ClassChunkUtility::mChunk_checkChunkId(const uint8_t *header, const char *id,
                                                      uint32_t *size) const {
    uint32_t stored = chunk_getLE32(header + 4);
    if (chunk_idIs(header, id)) {
        *size = stored;
        return header;
    }
    // Rounded in 64 bits so that 0xFFFFFFFF does not wrap to 0.
    uint64_t even = roundEven(stored);
    *size = even > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(even);
    return nullptr;
}

// The walk behind every search. Gives the header offset and the stored size
// of the first chunk with that id.
int ClassChunkUtility::walk(FILE *fp, const char *id, uint64_t *offset, uint64_t *size, int mode) const {
    *offset = 0;
    *size = 0;
    if (!fp || (mode != kChunkModeRiff && mode != kChunkModeDsf)) return -1;
    const bool riff = mode == kChunkModeRiff;
    const uint32_t hdrLen = riff ? uint32_t{kChunkRiffHeader} : uint32_t{kChunkDsfHeader};

    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return -1;
    if (v_lseek(fp, 0, 0) != 0) return -1;

    uint64_t pos = riff ? uint64_t{kChunkRiffFirst} : 0;
    uint64_t lastStep = 0;
    bool haveDs64 = false;
    uint64_t ds64DataSize = 0;
    uint8_t hdr[kChunkDsfHeader];

    for (;;) {
        // The end of the file ends the walk: nothing more to find.
        if (pos > fileSize || hdrLen > fileSize - pos) return -1;
        if (v_lseek(fp, static_cast<int64_t>(pos), 0) != 0) {
            std::printf("kCHUNK_ERR fseek \n");
            return -1;
        }
        uint32_t got = v_read(fp, hdr, hdrLen);
        if (got != hdrLen) {
            if (std::ferror(fp)) {
                std::printf("totalOffset fread %d \n", static_cast<int>(pos));
                std::printf("nextSize fread %d \n", static_cast<int>(lastStep));
                std::printf("read size %d \n", static_cast<int>(hdrLen));
                std::printf("kCHUNK_ERR fread \n");
                std::clearerr(fp);
            }
            return -1;
        }

        const bool isData = chunk_idIs(hdr, "data");
        const uint64_t room = fileSize - pos - hdrLen;  // payload bytes the file holds
        uint64_t stored;
        uint64_t payload;
        if (riff) {
            stored = chunk_getLE32(hdr + 4);
            payload = stored;
            if (isData && stored == kRf64SizeMarker) {
                // RF64: the true size is in "ds64", which precedes the data.
                // Without it the data chunk cannot be stepped over.
                if (!haveDs64) {
                    if (chunk_idIs(hdr, id)) {
                        *offset = pos;
                        *size = stored;
                        return 0;
                    }
                    return -1;
                }
                payload = ds64DataSize;
            }
        } else {
            stored = chunk_getLE64(hdr + 4);
            // The size counts the header; a smaller one cannot be stepped.
            payload = stored >= hdrLen ? stored - hdrLen : 0;
        }

        if (payload > room) {
            // A data chunk cut short (an interrupted write) runs to the end
            // of the file; any other chunk past the end is damage.
            if (!isData) return -1;
            payload = room;
        }

        if (chunk_idIs(hdr, id)) {
            *offset = pos;
            *size = stored;
            return 0;
        }

        if (riff && chunk_idIs(hdr, "ds64") && stored >= kChunkDs64MinPayload) {
            uint8_t field[8];
            if (readAt(fp, pos + hdrLen + 8, field, 8) != 0) return -1;
            ds64DataSize = chunk_getLE64(field);
            haveDs64 = true;
        }

        // A zero-sized chunk is never stepped over: files that carry one are
        // taken as damaged.
        if (stored == 0 || (!riff && stored < hdrLen)) {
            std::printf("Cannot search next chunk! \n");
            return -1;
        }
        // A clamped data chunk may have an odd length and no pad byte: the
        // step then lands beyond the end, which ends the walk above.
        lastStep = hdrLen + roundEven(payload);
        pos += lastStep;
    }
}

int ClassChunkUtility::mChunk_searchSpecifiedChunkSize(FILE *fp, const char *id, uint64_t *offset,
                                                       uint64_t *size, int mode) const {
    return walk(fp, id, offset, size, mode);
}

int ClassChunkUtility::mChunk_searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset,
                                                   int mode) const {
    uint64_t size = 0;
    return walk(fp, id, offset, &size, mode);
}

int ClassChunkUtility::mChunk_searchDataTop(FILE *fp, uint64_t *dataOffset, uint64_t *dataSize,
                                            int mode) const {
    *dataOffset = 0;
    *dataSize = 0;
    uint64_t off = 0, stored = 0;
    if (walk(fp, "data", &off, &stored, mode) != 0) return -1;
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return -1;

    const bool riff = mode == kChunkModeRiff;
    const uint32_t hdrLen = riff ? uint32_t{kChunkRiffHeader} : uint32_t{kChunkDsfHeader};
    uint8_t hdr[kChunkDsfHeader];
    if (readAt(fp, off, hdr, hdrLen) != 0) return -1;
    const uint64_t top = off + hdrLen;  // the walk made sure the header lies inside the file

    if (!riff) {
        // The DSF size counts the header: bound it by what the file holds
        // from the header on.
        uint64_t size = chunk_getLE64(hdr + 4);
        uint64_t room = fileSize - off;
        *dataOffset = top;
        *dataSize = size > room ? room : size;
        return 0;
    }

    uint64_t size = chunk_getLE32(hdr + 4);
    *dataOffset = top;
    if (size == kRf64SizeMarker) {
        uint64_t ds64 = 0, ds64Size = 0;
        if (walk(fp, "ds64", &ds64, &ds64Size, mode) != 0) return -1;
        if (ds64Size < kChunkDs64MinPayload) return -1;
        uint8_t rec[kChunkRiffHeader + kChunkDs64MinPayload];
        if (readAt(fp, ds64, rec, sizeof rec) != 0) return -1;
        size = chunk_getLE64(rec + 16);
    }
    uint64_t room = fileSize - top;
    *dataSize = size > room ? room : size;
    return 0;
}

int ClassChunkUtility::mChunk_updateChunkSize(FILE *fp, const char *id, uint32_t value, uint32_t how,
                                              int mode) const {
    uint64_t off = 0, stored = 0;
    if (walk(fp, id, &off, &stored, mode) != 0) return -1;
    const bool riff = mode == kChunkModeRiff;
    const uint64_t limit = riff ? 0xFFFFFFFFull : UINT64_MAX;
    uint64_t now = stored;
    if (how == 0) {
        if (value > limit - now) return -1;
        now += value;
    } else if (how == 1) {
        if (value > now) return -1;
        now -= value;
    } else if (how == 2) {
        now = value;
    } else {
        return -1;
    }
    uint8_t field[8];
    uint32_t len = riff ? 4 : 8;
    if (riff)
        chunk_putLE32(field, static_cast<uint32_t>(now));
    else
        chunk_putLE64(field, now);
    if (v_lseek(fp, static_cast<int64_t>(off + 4), 0) != 0) return -1;
    if (v_write(fp, field, len) != len) return -1;
    return v_flush(fp) == 0 ? 0 : -1;
}
