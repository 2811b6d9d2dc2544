// Marks and start time of DSDIFF files: the "cue ", "LIST"/"adtl" and
// "plst" chunks with DSDIFF's 12-byte headers and big-endian 64-bit fields,
// and a broadcast-wave style "bext" chunk whose time reference stays
// little-endian.
//
// Placement never moves audio. A new file's marks go into the header's JUNK
// space; a rewrite reuses the JUNK behind the earlier mark area or, when that
// is too small, appends the marks behind the audio with a fresh 32 KiB JUNK
// for further rewrites. Replaced chunks keep their place under placeholder
// ids ("DMYA" cue, "DMYB" label list, "DMYC" playlist, "DMYD" old JUNK).
#include <algorithm>
#include <cstring>

#include "audiofile/dsdifffile.h"
#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"

namespace {

const uint32_t kMarkHeaders = 3 * kDsdiffChunkHeader;  // cue, LIST and plst headers: 36
const uint64_t kFormSizeExcluded = 12;
const uint64_t kSizeLimit = 0xFFFFFFFFull;  // marks appended behind audio stay inside 4 GiB
const uint64_t kSizeLimitSlack = 32804;     // the JUNK appended with them and its headers
const uint32_t kCueAddType = 1;
const int kCueAddFlags = kMarkFlagSerial | kMarkFlagReserved;
const uint8_t kZeros[4096] = {};

static_assert(uint32_t{kDsdiffBextPayload} == uint32_t{kWavBextPayload} &&
                  uint32_t{kDsdiffBextTimeReference} == uint32_t{kBextTimeReference},
              "a DSDIFF bext chunk carries the broadcast-wave payload");

inline uint32_t pad(uint64_t size) { return static_cast<uint32_t>(size & 1); }

// Marks of the list the chunk buffers take: 0..kDsdiffMarkMax.
int32_t markCount(int listNo) {
    int32_t count = 0;
    if (gMarkList.getMarkCnt(listNo, &count) != 0 || count < 0) return 0;
    return count > static_cast<int32_t>(kDsdiffMarkMax) ? static_cast<int32_t>(kDsdiffMarkMax) : count;
}

// Clears a chunk buffer (header and dataMax bytes) and starts a chunk `id`
// whose data is a 32-bit entry count followed by count entries of
// entryBytes: the header with its data size, and the count. Returns the
// data size; the entries start at buf + 16.
uint32_t startCountedChunk(uint8_t *buf, uint32_t dataMax, const char *id, int32_t count, uint32_t entryBytes) {
    std::memset(buf, 0, kDsdiffChunkHeader + dataMax);
    const uint32_t data = 4 + static_cast<uint32_t>(count) * entryBytes;
    std::memcpy(buf, id, 4);
    chunk_putBE64(buf + 4, data);
    chunk_putBE32(buf + 12, static_cast<uint32_t>(count));
    return data;
}

}  // namespace

// ---------------------------------------------------------------------------
// Chunk helpers

int gClass_DsdiffFile::renameChunk(FILE *fp, const char *id, const char *newId) {
    uint64_t off = 0;
    if (gChunk64_searchSpecifiedChunk(fp, id, &off) != 0) return 0;
    return v_writeAt(fp, off, newId, 4) == 0 ? 0 : -1;
}

int gClass_DsdiffFile::renameChunkAll(FILE *fp, const char *id, const char *newId) {
    for (uint32_t i = 0; i < kDsdiffRenameMax; ++i) {
        uint64_t off = 0;
        if (gChunk64_searchSpecifiedChunk(fp, id, &off) != 0) return 0;
        if (v_writeAt(fp, off, newId, 4) != 0) return -1;
    }
    return 0;
}

int gClass_DsdiffFile::renameLISTChunk(FILE *fp, const char *listType, const char *newId) {
    int64_t off = 0;
    if (searchLISTChunk(fp, listType, &off) != 0) return 0;
    return v_writeAt(fp, static_cast<uint64_t>(off), newId, 4) == 0 ? 0 : -1;
}

int gClass_DsdiffFile::checkMarkChunkID(const uint8_t *header) {
    if (chunk_idIs(header, "cue ") || chunk_idIs(header, "plst")) return 0;
    if (chunk_idIs(header, "LIST") && chunk_idIs(header + 12, "adtl")) return 0;
    return kAudioFileErrNotMarkChunk;
}

int gClass_DsdiffFile::checkMarkChunk(FILE *fp, const char *id, tDsdiffMarkArea *area) {
    uint64_t fileSize = 0;
    if (!fp || v_getFileSize(fp, &fileSize) != 0) return kAudioFileErrIO;
    bool met = false, prevMark = false;
    uint64_t runStart = 0;
    uint64_t pos = kDsdiffFirstChunk;
    uint8_t h[16];
    while (pos < fileSize && fileSize - pos >= kDsdiffChunkHeader) {
        const uint64_t avail = fileSize - pos - kDsdiffChunkHeader;
        std::memset(h, 0, sizeof h);
        if (v_readAt(fp, pos, h, kDsdiffChunkHeader) != 0) break;
        const uint64_t stored = chunk_getBE64(h + 4);
        // The list type counts only when the chunk really holds it.
        if (stored >= 4 && avail >= 4 && v_readAt(fp, pos + kDsdiffChunkHeader, h + 12, 4) != 0) break;
        if (stored < 4) std::memset(h + 12, 0, 4);
        if (chunk_idIs(h, id)) met = true;
        const bool isMark = checkMarkChunkID(h) == 0;
        if (isMark && !prevMark) runStart = pos;
        if (prevMark && chunk_idIs(h, "JUNK")) {
            area->runStart = runStart;
            area->runLength = pos - runStart - kDsdiffChunkHeader;
            area->junkOffset = pos;
            area->junkSize = stored > avail ? avail : stored;
            return 0;
        }
        prevMark = isMark;
        if (stored > avail) break;
        pos += kDsdiffChunkHeader + stored + pad(stored);
    }
    return met ? kAudioFileBextAppended : kAudioFileErrNotMarkChunk;
}

int gClass_DsdiffFile::saveCueChunkTail(FILE *fp, const uint8_t *chunk, uint64_t dataSize) {
    uint64_t len = 0;
    if (!fp || v_getFileSize(fp, &len) != 0) return -1;
    if (len & 1) {
        if (v_writeAt(fp, len, kZeros, 1) != 0) return -1;
        ++len;
    }
    const uint64_t total = kDsdiffChunkHeader + dataSize;
    if (total > kDsdiffWorkBufBytes) return -1;
    if (v_writeAt(fp, len, chunk, static_cast<uint32_t>(total)) != 0) return -1;
    len += total;
    if ((len & 1) && v_writeAt(fp, len, kZeros, 1) != 0) return -1;
    return 0;
}

int gClass_DsdiffFile::addJunkChunkTail(FILE *fp) {
    uint64_t len = 0;
    if (!fp || v_getFileSize(fp, &len) != 0) return -1;
    if (len & 1) {
        if (v_writeAt(fp, len, kZeros, 1) != 0) return -1;
        ++len;
    }
    uint8_t h[kDsdiffChunkHeader];
    std::memcpy(h, "JUNK", 4);
    chunk_putBE64(h + 4, kDsdiffJunkTailBytes - kDsdiffChunkHeader);
    if (v_writeAt(fp, len, h, sizeof h) != 0) return -1;
    len += sizeof h;
    for (uint32_t left = kDsdiffJunkTailBytes - kDsdiffChunkHeader; left > 0;) {
        const uint32_t n = left < sizeof kZeros ? left : static_cast<uint32_t>(sizeof kZeros);
        if (v_writeAt(fp, len, kZeros, n) != 0) return -1;
        len += n;
        left -= n;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Building the three chunks

uint32_t gClass_DsdiffFile::makeCueChunk(int listNo) {
    const int32_t count = markCount(listNo);
    uint8_t *c = mCueBuf.get();
    const uint32_t data = startCountedChunk(c, kDsdiffCueDataMax, "cue ", count, kDsdiffCuePointBytes);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t *p = c + 16 + static_cast<uint32_t>(i) * kDsdiffCuePointBytes;
        int32_t num = 0;
        uint64_t pos = 0;
        (void)gMarkList.getMarkNum(listNo, i, &num);
        (void)gMarkList.getMarkFs(listNo, i, &pos);
        chunk_putBE32(p, static_cast<uint32_t>(num));
        // position, chunk start and block start stay 0
        std::memcpy(p + 12, "data", 4);
        chunk_putBE64(p + 32, pos);
    }
    return data;
}

uint32_t gClass_DsdiffFile::makeLabelChunk(int listNo) {
    const int32_t count = markCount(listNo);
    uint8_t *w = mWork.get();
    std::memcpy(w, "LIST", 4);
    std::memcpy(w + 12, "adtl", 4);
    uint32_t at = 16;
    char name[kMarkNameBytes];
    for (int32_t i = 0; i < count; ++i) {
        int32_t num = 0;
        std::memset(name, 0, sizeof name);
        (void)gMarkList.getMarkName(listNo, i, name);
        (void)gMarkList.getMarkNum(listNo, i, &num);
        name[sizeof name - 1] = 0;
        const uint32_t len = static_cast<uint32_t>(std::strlen(name));
        // The size counts the whole name and its terminator, but only the
        // first 15 characters are kept; the rest of the size is zero bytes.
        const uint32_t size = 4 + len + 1;
        const uint32_t total = kDsdiffChunkHeader + size + pad(size);
        std::memset(w + at, 0, total);
        std::memcpy(w + at, "labl", 4);
        chunk_putBE64(w + at + 4, size);
        chunk_putBE32(w + at + 12, static_cast<uint32_t>(num));
        std::memcpy(w + at + 16, name, len < kDsdiffLabelChars ? len : kDsdiffLabelChars);
        at += total;
    }
    const uint32_t data = at - kDsdiffChunkHeader;
    chunk_putBE64(w + 4, data);
    return data;
}

uint32_t gClass_DsdiffFile::makePlayListChunk(int listNo, uint64_t totalSamples) {
    const int32_t count = markCount(listNo);
    uint8_t *c = mPlstBuf.get();
    const uint32_t data = startCountedChunk(c, kDsdiffPlstDataMax, "plst", count, kDsdiffPlstEntryBytes);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t *p = c + 16 + static_cast<uint32_t>(i) * kDsdiffPlstEntryBytes;
        int32_t num = 0;
        uint64_t pos = 0, next = totalSamples;
        (void)gMarkList.getMarkNum(listNo, i, &num);
        (void)gMarkList.getMarkFs(listNo, i, &pos);
        if (i + 1 < count) (void)gMarkList.getMarkFs(listNo, i + 1, &next);
        chunk_putBE32(p, static_cast<uint32_t>(num));
        chunk_putBE64(p + 4, next > pos ? next - pos : 0);  // a negative length is stored as 0
        chunk_putBE32(p + 12, 1);
    }
    return data;
}

// ---------------------------------------------------------------------------
// Writing the three chunks

// Writes chunk at `at` inside a JUNK area and ends the area with a new JUNK
// header whose data runs to where the old JUNK ended. room is how many bytes
// the chunk (with its pad byte) may take so that the new JUNK header still
// fits in front of the old end.
int gClass_DsdiffFile::writeIntoJunk(FILE *fp, uint64_t at, uint64_t room, const uint8_t *chunk, uint64_t dataSize) {
    const uint64_t total = kDsdiffChunkHeader + dataSize;
    const uint64_t used = total + pad(dataSize);
    if (used > room || total > kDsdiffWorkBufBytes) return -1;
    if (v_writeAt(fp, at, chunk, static_cast<uint32_t>(total)) != 0) return -1;
    if (pad(dataSize) && v_writeAt(fp, at + total, kZeros, 1) != 0) return -1;
    uint8_t h[kDsdiffChunkHeader];
    std::memcpy(h, "JUNK", 4);
    chunk_putBE64(h + 4, room - used);
    return v_writeAt(fp, at + used, h, sizeof h) == 0 ? 0 : -1;
}

int gClass_DsdiffFile::saveOneChunk(FILE *fp, const uint8_t *chunk, uint64_t dataSize, bool firstJunk, const char *id,
                                    bool isCue) {
    const uint64_t used = kDsdiffChunkHeader + dataSize + pad(dataSize);
    if (firstJunk) {
        int64_t junk = 0, junkSize = 0;
        if (gChunk64_searchSpecifiedChunkSize(fp, "JUNK", &junk, &junkSize) != 0)
            return saveCueChunkTail(fp, chunk, dataSize);
        return writeIntoJunk(fp, static_cast<uint64_t>(junk), static_cast<uint64_t>(junkSize), chunk, dataSize);
    }
    auto renameOld = [&]() -> int {
        if (std::strncmp(id, "cue ", 4) == 0) return renameChunk(fp, "cue ", "DMYA");
        if (std::strncmp(id, "LIST", 4) == 0) return renameLISTChunk(fp, "adtl", "DMYB");
        return renameChunk(fp, "plst", "DMYC");
    };
    tDsdiffMarkArea area{};
    const int rc = checkMarkChunk(fp, id, &area);
    if (rc == 0) {
        const uint64_t at = isCue ? area.runStart : area.junkOffset;
        const uint64_t room = isCue ? area.runLength + kDsdiffChunkHeader + area.junkSize : area.junkSize;
        // Check the room before renaming, so a refusal leaves the old chunk
        // in place rather than a file without either.
        if (used > room) return -1;
        if (renameOld() != 0) return -1;
        return writeIntoJunk(fp, at, room, chunk, dataSize);
    }
    if (rc == kAudioFileBextAppended || rc == kAudioFileErrNotMarkChunk) {
        if (renameOld() != 0 || saveCueChunkTail(fp, chunk, dataSize) != 0) return -1;
        return isCue ? addJunkChunkTail(fp) : 0;
    }
    return -1;
}

int gClass_DsdiffFile::saveCueChunk(FILE *fp, bool firstJunk, uint64_t dataSize) {
    return saveOneChunk(fp, mCueBuf.get(), dataSize, firstJunk, "cue ", true);
}

int gClass_DsdiffFile::saveLabelChunk(FILE *fp, bool firstJunk, uint64_t dataSize) {
    return saveOneChunk(fp, mWork.get(), dataSize, firstJunk, "LIST", false);
}

int gClass_DsdiffFile::savePlayListChunk(FILE *fp, bool firstJunk, uint64_t dataSize) {
    return saveOneChunk(fp, mPlstBuf.get(), dataSize, firstJunk, "plst", false);
}

int gClass_DsdiffFile::saveMarkData(FILE *fp, int existing, int listNo, bool newFile, uint64_t totalSamples) {
    if (!fp || !mWork || !mCueBuf || !mPlstBuf) return kAudioFileErrIO;
    if (gMarkList.renumber(listNo) != 0) return kAudioFileErrFormat;
    const uint64_t cue = makeCueChunk(listNo);
    const uint64_t label = makeLabelChunk(listNo);
    const uint64_t plst = makePlayListChunk(listNo, totalSamples);
    const uint64_t need = cue + label + plst + kMarkHeaders;
    const bool firstJunk = newFile || existing >= 0;

    auto withinSizeLimit = [&]() {
        uint64_t len = 0;
        if (v_getFileSize(fp, &len) != 0) return false;
        return len <= kSizeLimit - 1 && len + cue + label + plst + kSizeLimitSlack <= kSizeLimit;
    };
    if (firstJunk) {
        if (need > kDsdiffFirstJunkLimit) return kAudioFileErrFormat;
        // All three go into the first JUNK one after the other; refuse
        // before writing rather than leave a cue without its labels.
        int64_t junk = 0, junkSize = 0;
        if (gChunk64_searchSpecifiedChunkSize(fp, "JUNK", &junk, &junkSize) == 0 &&
            need > static_cast<uint64_t>(junkSize))
            return kAudioFileErrFormat;
    } else {
        tDsdiffMarkArea area{};
        const int rc = checkMarkChunk(fp, "cue ", &area);
        if (rc == 0) {
            const uint64_t room = area.junkOffset - area.runStart + area.junkSize;
            if (need >= room) {
                if (!withinSizeLimit()) return kAudioFileErrFormat;
                // The marks move behind the audio; old JUNK areas must not
                // be mistaken for room again.
                if (renameChunkAll(fp, "JUNK", "DMYD") != 0) return kAudioFileErrFormat;
            }
        } else if (rc == kAudioFileBextAppended || rc == kAudioFileErrNotMarkChunk) {
            if (need > kDsdiffFirstJunkLimit || !withinSizeLimit()) return kAudioFileErrFormat;
        } else {
            return kAudioFileErrFormat;
        }
    }
    if (saveCueChunk(fp, firstJunk, cue) != 0 || saveLabelChunk(fp, firstJunk, label) != 0 ||
        savePlayListChunk(fp, firstJunk, plst) != 0)
        return kAudioFileErrFormat;
    return kAudioFileOK;
}

int gClass_DsdiffFile::saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    int32_t modified = 0;
    if (gMarkList.getModifyFlag(listNo, &modified) != 0) return kAudioFileErrFormat;
    if (!modified) return kAudioFileOK;
    const int rc = saveMarkData(fp, existing, listNo, false, totalSamples);
    uint64_t len = 0;
    if (v_getFileSize(fp, &len) != 0 || len < kFormSizeExcluded) return kAudioFileErrFormat;
    if (mBuild.library) {
        // The result is not used: the marks are written either way.
        if (mBuild.tagAfterMarks) (void)mBuild.tagAfterMarks(fp);
        if (v_getFileSize(fp, &len) != 0) return kAudioFileErrFormat;
    }
    (void)updateWavFileSize(fp, len - kFormSizeExcluded, kDsdiffSizeSet);
    return rc;
}

int gClass_DsdiffFile::saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    (void)existing;
    int32_t modified = 0;
    if (gMarkList.getModifyFlag(listNo, &modified) != 0) return kAudioFileErrFormat;
    if (!modified) return kAudioFileOK;
    const int rc = saveMarkData(fp, 0, listNo, true, totalSamples);
    uint64_t len = 0;
    if (v_getFileSize(fp, &len) != 0 || len < kFormSizeExcluded) return kAudioFileErrFormat;
    (void)updateWavFileSize(fp, len - kFormSizeExcluded, kDsdiffSizeSet);
    return rc;
}

// ---------------------------------------------------------------------------
// Loading

bool gClass_DsdiffFile::loadCueChunk(FILE *fp, int listNo, uint64_t totalSamples) {
    int64_t off = 0, size = 0;
    if (gChunk64_searchSpecifiedChunkSize(fp, "cue ", &off, &size) != 0) return false;
    // size is already cut to what the file holds; the buffer takes 99 points.
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(size), kDsdiffCueDataMax));
    uint8_t *c = mCueBuf.get() + kDsdiffChunkHeader;
    if (n < 4 || v_readAt(fp, static_cast<uint64_t>(off) + kDsdiffChunkHeader, c, n) != 0) return true;
    uint32_t count = chunk_getBE32(c);
    const uint32_t held = (n - 4) / kDsdiffCuePointBytes;
    if (count > held) count = held;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *p = c + 4 + i * kDsdiffCuePointBytes;
        const int32_t id = static_cast<int32_t>(chunk_getBE32(p));
        uint64_t pos = chunk_getBE64(p + 32);
        if (pos == totalSamples && totalSamples > 0) --pos;
        char name[kMarkNameBytes] = {};
        if (gMarkList.addMark(listNo, kCueAddType, id, name, pos, pos, kCueAddFlags) != 0) continue;
        // The new mark is the one at this position (two points may share an
        // id; positions are unique in a list).
        const int idx = gMarkList.searchMark(listNo, pos, kMarkSearchExact);
        if (idx >= 0) (void)gMarkList.setExecFlag(listNo, idx, 0);
    }
    return true;
}

bool gClass_DsdiffFile::loadLabelChunk(FILE *fp, int listNo) {
    int64_t off = 0, size = 0;
    if (searchLISTChunkSize(fp, "adtl", &off, &size) != 0) return false;
    const uint64_t after = static_cast<uint64_t>(size) - 4;  // size >= 4: the type matched
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(after, kDsdiffLabelReadMax));
    uint8_t *w = mWork.get();
    if (n == 0 || v_readAt(fp, static_cast<uint64_t>(off) + kDsdiffChunkHeader + 4, w, n) != 0) return true;
    // Every label must lie inside the bytes read; one that claims more ends
    // the walk and the names found so far stay.
    uint32_t pos = 0;
    while (n - pos >= kDsdiffChunkHeader) {
        const uint64_t sub = chunk_getBE64(w + pos + 4);
        if (sub > n - pos - kDsdiffChunkHeader) break;
        if (chunk_idIs(w + pos, "labl") && sub >= 4) {
            const uint8_t *d = w + pos + kDsdiffChunkHeader;
            const int32_t id = static_cast<int32_t>(chunk_getBE32(d));
            const uint32_t textLen = static_cast<uint32_t>((sub < 14 ? sub : 14) - 4);
            char name[kDsdiffLabelLoadChars + 1] = {};
            std::memcpy(name, d + 4, textLen);
            const int idx = gMarkList.searchMarkNum(listNo, id, 1);
            if (idx >= 0) (void)gMarkList.setMarkName(listNo, idx, name);
        }
        pos += static_cast<uint32_t>(kDsdiffChunkHeader + sub + pad(sub));
        if (pos >= n) break;
    }
    return true;
}

bool gClass_DsdiffFile::loadPlayListChunk(FILE *fp, int listNo) {
    int64_t off = 0, size = 0;
    if (gChunk64_searchSpecifiedChunkSize(fp, "plst", &off, &size) != 0) return false;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(size), kDsdiffPlstDataMax));
    uint8_t *c = mPlstBuf.get() + kDsdiffChunkHeader;
    if (n < 4 || v_readAt(fp, static_cast<uint64_t>(off) + kDsdiffChunkHeader, c, n) != 0) return true;
    uint32_t count = chunk_getBE32(c);
    const uint32_t held = (n - 4) / kDsdiffPlstEntryBytes;
    if (count > held) count = held;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t id = static_cast<int32_t>(chunk_getBE32(c + 4 + i * kDsdiffPlstEntryBytes));
        const int idx = gMarkList.searchMarkNum(listNo, id, 1);
        if (idx >= 0) (void)gMarkList.setExecFlag(listNo, idx, 1);
    }
    return true;
}

int gClass_DsdiffFile::loadCueData(FILE *fp, uint64_t totalSamples, int listNo) {
    if (gMarkList.create(listNo) != 0) return kAudioFileOK;
    if (fp && mWork && mCueBuf && mPlstBuf && loadCueChunk(fp, listNo, totalSamples) && loadLabelChunk(fp, listNo))
        (void)loadPlayListChunk(fp, listNo);
    (void)gMarkList.renumber(listNo);
    (void)gMarkList.clrModifyFlag(listNo);
    return kAudioFileOK;
}

// ---------------------------------------------------------------------------
// Start time

uint32_t gClass_DsdiffFile::makeBextChunk(uint8_t *buf, uint32_t rate, uint32_t bits, uint32_t channels,
                                          uint64_t timeReference) {
    std::memcpy(buf, "bext", 4);
    chunk_putBE64(buf + 4, kDsdiffBextPayload);
    // The payload keeps the broadcast-wave layout, its time reference
    // little-endian: the one such field of the file. Stereo is never named.
    wav_fillBextPayload(buf + kDsdiffChunkHeader, rate, bits, channels, 0, timeReference);
    return kDsdiffBextChunkBytes;
}

int gClass_DsdiffFile::findBext(FILE *fp, uint64_t *offset, uint64_t *dataSize) {
    int64_t off = 0, size = 0;
    if (gChunk64_searchSpecifiedChunkSize(fp, "bext", &off, &size) != 0) return -1;
    *offset = static_cast<uint64_t>(off);
    *dataSize = static_cast<uint64_t>(size);
    return 0;
}

int gClass_DsdiffFile::searchBextChunk(FILE *fp, uint64_t *startSample) {
    if (startSample) *startSample = 0;
    uint64_t off = 0, size = 0;
    if (!mSmall || findBext(fp, &off, &size) != 0) return kAudioFileErrIO;
    // Larger chunks do not fit the buffer; shorter ones do not hold the field.
    if (size > kDsdiffBextSearchMax || size < kDsdiffBextMinPayload) return kAudioFileErrIO;
    if (v_readAt(fp, off, mSmall.get(), static_cast<uint32_t>(kDsdiffChunkHeader + size)) != 0) return kAudioFileErrIO;
    if (startSample) *startSample = chunk_getLE64(mSmall.get() + kDsdiffChunkHeader + kDsdiffBextTimeReference);
    return kAudioFileOK;
}

int gClass_DsdiffFile::setStartSample(FILE *fp, uint64_t startSample) {
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t tag = 0;
    if (!mSmall || searchFmtChunk(fp, &rate, &bits, &channels, &tag) != 0) return kAudioFileErrIO;
    // A file without "FS  " has rate 0 and so no day to reduce by.
    const uint64_t day = static_cast<uint64_t>(rate) * 86400u;
    if (day != 0) startSample %= day;
    uint64_t off = 0, size = 0;
    if (findBext(fp, &off, &size) == 0) {
        // Only the time reference changes; a chunk too short to hold it is
        // left alone rather than writing into whatever follows it.
        if (size < kDsdiffBextMinPayload) return kAudioFileErrIO;
        uint8_t field[8];
        chunk_putLE64(field, startSample);
        return v_writeAt(fp, off + kDsdiffChunkHeader + kDsdiffBextTimeReference, field, 8) == 0 ? kAudioFileOK
                                                                                                 : kAudioFileErrIO;
    }
    // Appended behind chunks that do not lead to the end of the file (a file
    // cut short or damaged), a bext chunk would never be found: the walk
    // must run to the end without meeting damage.
    int64_t nowhere = 0, nothing = 0;
    if (walk(fp, nullptr, nullptr, &nowhere, &nothing) != -1) return kAudioFileErrIO;
    makeBextChunk(mSmall.get(), rate, 1, channels, startSample);
    // saveCueChunkTail puts a pad byte first when the audio ends at an odd
    // offset, so the walk can still step from the audio to the bext chunk.
    if (saveCueChunkTail(fp, mSmall.get(), kDsdiffBextPayload) != 0) return kAudioFileErrIO;
    if (updateRiffSize(fp) != 0) return kAudioFileErrIO;
    return kAudioFileBextAppended;
}

int gClass_DsdiffFile::getStartSample(FILE *fp, uint64_t *startSample) {
    if (startSample) *startSample = 0;
    if (mBuild.library) return kAudioFileOK;
    uint64_t off = 0, size = 0;
    if (findBext(fp, &off, &size) != 0 || size < kDsdiffBextMinPayload) return kAudioFileErrIO;
    uint8_t field[8];
    if (v_readAt(fp, off + kDsdiffChunkHeader + kDsdiffBextTimeReference, field, 8) != 0) return kAudioFileErrIO;
    if (startSample) *startSample = chunk_getLE64(field);
    return kAudioFileOK;
}
