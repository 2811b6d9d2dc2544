#include "audiofile/chunkutil.h"

#include <cstdio>
#include <cstring>

#include "audiofile/vfile.h"

namespace {

inline uint64_t roundEven(uint64_t v) { return v + (v & 1); }

}  // namespace

const uint8_t *ClassChunkUtility::mChunk_checkChunkId(const uint8_t *header, const char *id, uint32_t *size) const {
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

ClassChunkWalk::ClassChunkWalk(FILE *fp, int mode)
    : mFp(fp), mRiff(mode == kChunkModeRiff), mNext(mode == kChunkModeRiff ? uint64_t{kChunkRiffFirst} : 0) {
    mOk = fp && (mode == kChunkModeRiff || mode == kChunkModeDsf) && v_getFileSize(fp, &mFileSize) == 0;
}

int ClassChunkWalk::next(tChunkHeader *h) {
    if (!mOk || mDone) return kChunkWalkEnd;
    if (mPendingDs64Set) {
        // The true size of an RF64 "data" chunk, which "ds64" precedes.
        mPendingDs64Set = false;
        uint8_t field[8];
        if (v_readAt(mFp, mPendingDs64 + kChunkRiffHeader + 8, field, 8) != 0) {
            mDone = true;
            return kChunkWalkEnd;
        }
        mDs64DataSize = chunk_getLE64(field);
        mHaveDs64 = true;
    }
    const uint32_t hdrLen = mRiff ? uint32_t{kChunkRiffHeader} : uint32_t{kChunkDsfHeader};
    // The end of the file ends the walk: nothing more to find.
    if (mNext > mFileSize || hdrLen > mFileSize - mNext) {
        mDone = true;
        return kChunkWalkEnd;
    }
    const uint64_t room = mFileSize - mNext - hdrLen;  // payload bytes the file holds
    const uint32_t want = mRiff && room >= 4 ? 12 : hdrLen;
    *h = tChunkHeader{};
    if (v_lseek(mFp, static_cast<int64_t>(mNext), 0) != 0) {
        mDone = true;
        return kChunkWalkSeekError;
    }
    if (v_read(mFp, h->raw, want) != want) {
        mDone = true;
        return std::ferror(mFp) ? kChunkWalkReadError : kChunkWalkEnd;
    }
    h->offset = mNext;
    if (mRiff) {
        h->stored = chunk_getLE32(h->raw + 4);
        h->payload = h->stored;
        if (chunk_idIs(h->raw, "data") && h->stored == kRf64SizeMarker) {
            if (mHaveDs64)
                h->payload = mDs64DataSize;
            else
                h->sized = false;
        }
    } else {
        h->stored = chunk_getLE64(h->raw + 4);
        // The size counts the header; a smaller one claims no payload.
        h->payload = h->stored >= hdrLen ? h->stored - hdrLen : 0;
    }
    if (!h->sized) {
        h->inFile = room;
        mDone = true;
        return kChunkWalkHeader;
    }
    h->inFile = h->payload > room ? room : h->payload;
    if (mRiff && chunk_idIs(h->raw, "ds64") && h->stored >= kChunkDs64MinPayload) {
        mPendingDs64 = mNext;
        mPendingDs64Set = true;
    }
    if (h->payload > room) {
        // The chunk reaches past the end of the file: nothing follows it.
        mDone = true;
    } else {
        // payload <= room, so neither the step nor its pad byte overflows.
        mLastStep = hdrLen + roundEven(h->payload);
        mNext += mLastStep;
    }
    return kChunkWalkHeader;
}

// The walk behind every search. Gives the header offset and the stored size
// of the first chunk with that id. A "data" chunk cut short (an interrupted
// write) runs to the end of the file; any other chunk that reaches past the
// end is damage, and so is a chunk that cannot be stepped over.
int ClassChunkUtility::walk(FILE *fp, const char *id, uint64_t *offset, uint64_t *size, int mode) const {
    *offset = 0;
    *size = 0;
    if (!fp || (mode != kChunkModeRiff && mode != kChunkModeDsf)) return -1;
    const bool riff = mode == kChunkModeRiff;
    const uint32_t hdrLen = riff ? uint32_t{kChunkRiffHeader} : uint32_t{kChunkDsfHeader};

    ClassChunkWalk w(fp, mode);
    if (!w.ok()) return -1;
    if (v_lseek(fp, 0, 0) != 0) return -1;

    tChunkHeader h;
    for (;;) {
        const int r = w.next(&h);
        if (r == kChunkWalkSeekError) {
            std::printf("kCHUNK_ERR fseek \n");
            return -1;
        }
        if (r == kChunkWalkReadError) {
            std::printf("totalOffset fread %d \n", static_cast<int>(w.position()));
            std::printf("nextSize fread %d \n", static_cast<int>(w.lastStep()));
            std::printf("read size %d \n", static_cast<int>(hdrLen));
            std::printf("kCHUNK_ERR fread \n");
            std::clearerr(fp);
            return -1;
        }
        if (r != kChunkWalkHeader) return -1;

        const bool match = chunk_idIs(h.raw, id);
        // An RF64 data chunk without ds64 can be found but not stepped over.
        if (!h.sized) {
            if (!match) return -1;
            *offset = h.offset;
            *size = h.stored;
            return 0;
        }
        if (h.payload > h.inFile && !chunk_idIs(h.raw, "data")) return -1;
        if (match) {
            *offset = h.offset;
            *size = h.stored;
            return 0;
        }
        // A zero-sized chunk is never stepped over: files that carry one are
        // taken as damaged.
        if (h.stored == 0 || (!riff && h.stored < hdrLen)) {
            std::printf("Cannot search next chunk! \n");
            return -1;
        }
    }
}

bool ClassChunkUtility::mChunk_reachesEnd(FILE *fp, int mode) const {
    ClassChunkWalk w(fp, mode);
    if (!w.ok()) return false;
    const uint32_t hdrLen = mode == kChunkModeRiff ? uint32_t{kChunkRiffHeader} : uint32_t{kChunkDsfHeader};
    tChunkHeader h;
    int r;
    while ((r = w.next(&h)) == kChunkWalkHeader) {
        if (!h.sized || h.payload > h.inFile || h.stored == 0 || (mode == kChunkModeDsf && h.stored < hdrLen))
            return false;
    }
    if (r != kChunkWalkEnd) {
        std::clearerr(fp);
        return false;
    }
    return w.position() == w.fileSize() || w.position() == w.fileSize() + 1;
}

int ClassChunkUtility::mChunk_searchSpecifiedChunkSize(FILE *fp, const char *id, uint64_t *offset, uint64_t *size,
                                                       int mode) const {
    return walk(fp, id, offset, size, mode);
}

int ClassChunkUtility::mChunk_searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset, int mode) const {
    uint64_t size = 0;
    return walk(fp, id, offset, &size, mode);
}

int ClassChunkUtility::mChunk_searchDataTop(FILE *fp, uint64_t *dataOffset, uint64_t *dataSize, int mode) const {
    *dataOffset = 0;
    *dataSize = 0;
    uint64_t off = 0, stored = 0;
    if (walk(fp, "data", &off, &stored, mode) != 0) return -1;
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return -1;

    const bool riff = mode == kChunkModeRiff;
    const uint32_t hdrLen = riff ? uint32_t{kChunkRiffHeader} : uint32_t{kChunkDsfHeader};
    uint8_t hdr[kChunkDsfHeader];
    if (v_readAt(fp, off, hdr, hdrLen) != 0) return -1;
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
        if (v_readAt(fp, ds64, rec, sizeof rec) != 0) return -1;
        size = chunk_getLE64(rec + 16);
    }
    uint64_t room = fileSize - top;
    *dataSize = size > room ? room : size;
    return 0;
}

int ClassChunkUtility::mChunk_updateChunkSize(FILE *fp, const char *id, uint32_t value, uint32_t how, int mode) const {
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
    return v_writeAt(fp, off + 4, field, len);
}
