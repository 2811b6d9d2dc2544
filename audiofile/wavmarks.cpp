#include "audiofile/wavmarks.h"

#include <cstring>

#include "audiofile/chunkutil.h"
#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"

namespace {

const tMarkListCtrl &M = gMarkList;

enum : uint32_t {
    kMaxCuePoints = 100,                                               // room in the cue and playlist buffers
    kCueLoadBytes = 4 + uint32_t(kMarkMax) * kWavMarkCuePointBytes,    // 99 points
    kPlstLoadBytes = 4 + uint32_t(kMarkMax) * kWavMarkPlstEntryBytes,  // 99 entries
    kLabelLoadBytes = 131060,                                          // LIST payload read, list type included
};
static_assert(uint32_t(kLabelLoadBytes) <= uint32_t(kWavMarkWorkBytes),
              "the label payload is read into the work buffer");

void put32(uint8_t *p, uint32_t v) { chunk_putLE32(p, v); }
uint32_t get32(const uint8_t *p) { return chunk_getLE32(p); }
void putId(uint8_t *p, const char *id) { std::memcpy(p, id, 4); }
bool idIs(const uint8_t *p, const char *id) { return chunk_idIs(p, id); }

// Payload bytes of a chunk that the file holds, for the chunks the mark
// code reads and fills (never an RF64 "data" chunk): they fit 32 bits.
uint32_t held(const tChunkHeader &h) { return static_cast<uint32_t>(h.inFile); }

// First chunk with id (and, when listType is given, that list type).
bool findChunk(FILE *fp, const char *id, const char *listType, tChunkHeader *out) {
    ClassChunkWalk w(fp, kChunkModeRiff);
    tChunkHeader h;
    while (w.next(&h) == kChunkWalkHeader) {
        if (!idIs(h.raw, id)) continue;
        if (listType && !idIs(h.raw + 8, listType)) continue;
        *out = h;
        return true;
    }
    return false;
}

// Renames the first chunk with id (and listType when given); 0 also when
// there is none.
int renameFirst(FILE *fp, const char *id, const char *listType, const char *newId) {
    tChunkHeader h;
    if (!findChunk(fp, id, listType, &h)) return kWavMarkOk;
    return v_writeAt(fp, h.offset, newId, 4) == 0 ? kWavMarkOk : kWavMarkIoErr;
}

// Appends a chunk, with a zero byte before it when the file length is odd
// and one after it when the new length is odd.
bool appendTail(FILE *fp, const uint8_t *chunk, uint32_t len) {
    uint64_t size = 0;
    if (v_getFileSize(fp, &size) != 0 || v_lseek(fp, 0, 2) != 0) return false;
    const uint8_t zero = 0;
    if ((size & 1) && v_write(fp, &zero, 1) != 1) return false;
    size += size & 1;
    if (v_write(fp, chunk, len) != len) return false;
    size += len;
    if ((size & 1) && v_write(fp, &zero, 1) != 1) return false;
    return v_flush(fp) == 0;
}

// A JUNK chunk of kWavMarkJunkTailBytes in all, for later rewrites.
bool appendJunkTail(FILE *fp) {
    static const uint8_t kZero[kWavMarkJunkTailBytes] = {};
    uint8_t hdr[8];
    putId(hdr, "JUNK");
    put32(hdr + 4, kWavMarkJunkTailBytes - 8);
    uint64_t size = 0;
    if (v_getFileSize(fp, &size) != 0 || v_lseek(fp, 0, 2) != 0) return false;
    if ((size & 1) && v_write(fp, kZero, 1) != 1) return false;
    if (v_write(fp, hdr, 8) != 8) return false;
    if (v_write(fp, kZero, kWavMarkJunkTailBytes - 8) != kWavMarkJunkTailBytes - 8) return false;
    return v_flush(fp) == 0;
}

// Writes a chunk at `at` inside a region of room bytes (plus the 8 of the
// JUNK header that follows), then a pad byte when needed and a JUNK header
// for the rest, so that the JUNK chunk's end stays where it was. The JUNK
// left behind must keep a payload: a zero-sized chunk stops the handlers'
// chunk search, which would hide the "data" chunk behind it.
bool fitsJunk(uint64_t at, uint64_t room, uint32_t len) {
    uint64_t pad = (at + len) & 1;
    return room > static_cast<uint64_t>(len) + pad;
}

bool fillJunk(FILE *fp, uint64_t at, uint64_t room, const uint8_t *chunk, uint32_t len) {
    if (!fitsJunk(at, room, len)) return false;
    if (v_writeAt(fp, at, chunk, len) != 0) return false;
    uint64_t pos = at + len;
    uint8_t buf[9] = {};
    uint32_t n = 0;
    if (pos & 1) buf[n++] = 0;
    uint64_t rest = room - len - n;
    putId(buf + n, "JUNK");
    put32(buf + n + 4, static_cast<uint32_t>(rest));
    n += 8;
    if (v_write(fp, buf, n) != n) return false;
    return v_flush(fp) == 0;
}

enum Which { kCue = 0, kLabel = 1, kPlst = 2 };

const char *chunkId(Which w) { return w == kCue ? "cue " : w == kLabel ? "LIST" : "plst"; }

int renameOld(FILE *fp, Which w) {
    switch (w) {
    case kCue: return wavMark_renameChunk(fp, "cue ", "DMYA");
    case kLabel: return wavMark_renameLISTChunk(fp, "adtl", "DMYB");
    case kPlst: return wavMark_renameChunk(fp, "plst", "DMYC");
    }
    return kWavMarkIoErr;
}

// Writes one of the three chunks (header included) by the placement rules.
int saveChunk(FILE *fp, bool replace, Which which, const uint8_t *chunk, uint32_t len) {
    if (!replace) {
        tChunkHeader j;
        if (!findChunk(fp, "JUNK", nullptr, &j)) return appendTail(fp, chunk, len) ? kWavMarkOk : kWavMarkIoErr;
        return fillJunk(fp, j.offset, held(j), chunk, len) ? kWavMarkOk : kWavMarkIoErr;
    }
    tWavMarkArea area;
    int rc = wavMark_checkMarkChunk(fp, chunkId(which), &area);
    if (rc == kWavMarkOk) {
        uint64_t at = which == kCue ? area.runStart : area.junkOffset;
        uint64_t room = which == kCue ? area.junkOffset - area.runStart + area.junkSize : area.junkSize;
        // Room is checked before the old chunk is renamed, so a failure
        // never leaves the file without its marks.
        if (!fitsJunk(at, room, len)) return kWavMarkIoErr;
        if (renameOld(fp, which) != kWavMarkOk) return kWavMarkIoErr;
        return fillJunk(fp, at, room, chunk, len) ? kWavMarkOk : kWavMarkIoErr;
    }
    if (rc == kWavMarkIdMet || rc == kWavMarkNotMark) {
        if (renameOld(fp, which) != kWavMarkOk) return kWavMarkIoErr;
        if (!appendTail(fp, chunk, len)) return kWavMarkIoErr;
        if (which == kCue && !appendJunkTail(fp)) return kWavMarkIoErr;
        return kWavMarkOk;
    }
    return kWavMarkIoErr;
}

// The three chunks of one list, headers included.
struct MarkChunks {
    uint8_t cue[8 + 4 + kMaxCuePoints * kWavMarkCuePointBytes];
    uint8_t plst[8 + 4 + kMaxCuePoints * kWavMarkPlstEntryBytes];
    uint8_t *label;  // in the caller's work buffer
    uint32_t cueLen, labelLen, plstLen;
};

int buildChunks(int list, uint64_t totalSamples, uint8_t *work, MarkChunks *c) {
    if (M.renumber(list) != kMarkOk) return kWavMarkNoFit;
    int32_t n = 0;
    if (M.getMarkCnt(list, &n) != kMarkOk || n < 0 || n > static_cast<int32_t>(kMaxCuePoints)) return kWavMarkNoFit;

    uint32_t nums[kMaxCuePoints];
    uint64_t pos[kMaxCuePoints];
    for (int32_t i = 0; i < n; ++i) {
        int32_t num = 0;
        if (M.getMarkNum(list, i, &num) != kMarkOk || M.getMarkFs(list, i, &pos[i]) != kMarkOk) return kWavMarkNoFit;
        nums[i] = static_cast<uint32_t>(num);
    }

    // cue
    uint8_t *p = c->cue + 12;
    for (int32_t i = 0; i < n; ++i, p += kWavMarkCuePointBytes) {
        std::memset(p, 0, kWavMarkCuePointBytes);
        put32(p, nums[i]);
        putId(p + 8, "data");
        put32(p + 20, static_cast<uint32_t>(pos[i]));
    }
    c->cueLen = static_cast<uint32_t>(p - c->cue);
    putId(c->cue, "cue ");
    put32(c->cue + 4, c->cueLen - 8);
    put32(c->cue + 8, static_cast<uint32_t>(n));

    // LIST "adtl" with one labl per mark; at most 99 * (8 + 262) bytes.
    c->label = work;
    p = work + 12;
    for (int32_t i = 0; i < n; ++i) {
        char name[kMarkNameBytes];
        M.getMarkName(list, i, name);
        uint32_t nameLen = static_cast<uint32_t>(std::strlen(name));
        uint32_t size = 4 + nameLen + 1;
        uint32_t padded = size + (size & 1);
        putId(p, "labl");
        put32(p + 4, size);
        std::memset(p + 8, 0, padded);
        put32(p + 8, nums[i]);
        std::memcpy(p + 12, name, nameLen < kWavMarkLabelChars ? nameLen : kWavMarkLabelChars);
        p += 8 + padded;
    }
    c->labelLen = static_cast<uint32_t>(p - work);
    putId(work, "LIST");
    put32(work + 4, c->labelLen - 8);
    putId(work + 8, "adtl");

    // plst: each mark's section runs to the next mark, the last to the end.
    p = c->plst + 12;
    for (int32_t i = 0; i < n; ++i, p += kWavMarkPlstEntryBytes) {
        uint64_t end = i + 1 < n ? pos[i + 1] : totalSamples;
        uint64_t len = end > pos[i] ? end - pos[i] : 0;
        put32(p, nums[i]);
        put32(p + 4, len >= 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(len));
        put32(p + 8, 1);
    }
    c->plstLen = static_cast<uint32_t>(p - c->plst);
    putId(c->plst, "plst");
    put32(c->plst + 4, c->plstLen - 8);
    put32(c->plst + 8, static_cast<uint32_t>(n));
    return kWavMarkOk;
}

int writeThree(FILE *fp, bool replace, const MarkChunks &c) {
    if (saveChunk(fp, replace, kCue, c.cue, c.cueLen) != kWavMarkOk) return kWavMarkNoFit;
    if (saveChunk(fp, replace, kLabel, c.label, c.labelLen) != kWavMarkOk) return kWavMarkNoFit;
    if (saveChunk(fp, replace, kPlst, c.plst, c.plstLen) != kWavMarkOk) return kWavMarkNoFit;
    return kWavMarkOk;
}

// Moved marks and their 32 KiB JUNK must keep the file inside 4 GiB.
bool withinSizeLimit(FILE *fp, uint64_t payloads) {
    uint64_t size = 0;
    if (v_getFileSize(fp, &size) != 0) return false;
    return size < 0xFFFFFFFFull && size + payloads + 32792 <= 0xFFFFFFFFull;
}

}  // namespace

int wavMark_checkMarkChunkID(const uint8_t *header) {
    if (idIs(header, "cue ") || idIs(header, "plst")) return kWavMarkOk;
    if (idIs(header, "LIST") && idIs(header + 8, "adtl")) return kWavMarkOk;
    return kWavMarkNotMark;
}

int wavMark_checkMarkChunk(FILE *fp, const char *id, tWavMarkArea *area) {
    ClassChunkWalk w(fp, kChunkModeRiff);
    if (!w.ok()) return kWavMarkIoErr;
    bool met = false, prevMark = false;
    uint64_t runStart = 0;
    tChunkHeader h;
    while (w.next(&h) == kChunkWalkHeader) {
        bool isMark = wavMark_checkMarkChunkID(h.raw) == kWavMarkOk;
        if (idIs(h.raw, id)) met = true;
        if (isMark && !prevMark) runStart = h.offset;
        if (prevMark && idIs(h.raw, "JUNK")) {
            area->runStart = runStart;
            area->runLength = h.offset - runStart - 8;
            area->junkOffset = h.offset;
            area->junkSize = held(h);
            return kWavMarkOk;
        }
        prevMark = isMark;
    }
    return met ? kWavMarkIdMet : kWavMarkNotMark;
}

int wavMark_renameChunk(FILE *fp, const char *id, const char *newId) { return renameFirst(fp, id, nullptr, newId); }

int wavMark_renameChunkAll(FILE *fp, const char *id, const char *newId) {
    for (uint32_t i = 0; i < kWavRenameMax; ++i) {
        tChunkHeader h;
        if (!findChunk(fp, id, nullptr, &h)) break;
        if (v_writeAt(fp, h.offset, newId, 4) != 0) return kWavMarkIoErr;
    }
    return kWavMarkOk;
}

int wavMark_renameLISTChunk(FILE *fp, const char *listType, const char *newId) {
    return renameFirst(fp, "LIST", listType, newId);
}

int wavMark_saveMarkData(FILE *fp, int existing, int list, bool firstJunk, uint64_t totalSamples, uint8_t *work) {
    if (!fp || !work) return kWavMarkNoFit;
    MarkChunks c;
    if (buildChunks(list, totalSamples, work, &c) != kWavMarkOk) return kWavMarkNoFit;
    const uint64_t payloads = c.cueLen + c.labelLen + c.plstLen - 24;
    const uint64_t need = payloads + 24;

    if (firstJunk || existing >= 0) {
        if (need > kWavMarkFirstJunkLimit) return kWavMarkNoFit;
        return writeThree(fp, false, c);
    }

    tWavMarkArea area;
    int rc = wavMark_checkMarkChunk(fp, "cue ", &area);
    if (rc == kWavMarkOk) {
        uint64_t room = area.junkOffset - area.runStart + area.junkSize;
        if (room == 0) return kWavMarkNoFit;
        if (room > need) return writeThree(fp, true, c);
        if (!withinSizeLimit(fp, payloads)) return kWavMarkNoFit;
        if (wavMark_renameChunkAll(fp, "JUNK", "DMYD") != kWavMarkOk) return kWavMarkNoFit;
        return writeThree(fp, true, c);
    }
    if (rc == kWavMarkIdMet || rc == kWavMarkNotMark) {
        if (need > kWavMarkFirstJunkLimit) return kWavMarkNoFit;
        if (!withinSizeLimit(fp, payloads)) return kWavMarkNoFit;
        return writeThree(fp, true, c);
    }
    return kWavMarkNoFit;
}

int wavMark_loadCueData(FILE *fp, uint64_t totalSamples, int list, uint8_t *work) {
    if (M.create(list) != kMarkOk) return kWavMarkNoFit;
    if (!fp || !work) return kWavMarkOk;
    tChunkHeader h;
    // What a read of a chunk's payload got: all it asked for, or nothing.
    auto readPayload = [&](uint32_t limit) -> uint32_t {
        const uint32_t want = held(h) > limit ? limit : held(h);
        return v_readAt(fp, h.offset + 8, work, want) == 0 ? want : 0;
    };

    // Positions. The stored count is trusted only as far as the points read.
    if (findChunk(fp, "cue ", nullptr, &h)) {
        uint32_t got = readPayload(kCueLoadBytes);
        if (got >= 4) {
            uint32_t n = get32(work);
            uint32_t present = (got - 4) / kWavMarkCuePointBytes;
            if (n > present) n = present;
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t *pt = work + 4 + i * kWavMarkCuePointBytes;
                int32_t id = static_cast<int32_t>(get32(pt));
                uint64_t at = get32(pt + 20);
                if (at == totalSamples && totalSamples > 0) --at;
                char empty[4] = "";
                if (M.addMark(list, 1, id, empty, at, at, kMarkFlagSerial | kMarkFlagReserved) != kMarkOk) continue;
                int idx = M.searchMark(list, at, kMarkSearchExact);
                if (idx >= 0) M.setExecFlag(list, idx, 0);
            }

            // Names, from the "adtl" list (an "INFO" list may come first).
            if (findChunk(fp, "LIST", "adtl", &h)) {
                got = readPayload(kLabelLoadBytes);
                // Every sub-chunk must lie inside the bytes read; one that
                // runs past them ends the walk.
                uint64_t p = 4;
                while (p + 8 <= got) {
                    const uint8_t *sc = work + p;
                    uint32_t size = get32(sc + 4);
                    if (size > got - p - 8) break;
                    if (idIs(sc, "labl") && size >= 4) {
                        int32_t id = static_cast<int32_t>(get32(sc + 8));
                        char text[kWavMarkLabelLoadChars + 1] = {};
                        uint32_t len = size - 4;
                        if (len > kWavMarkLabelLoadChars) len = kWavMarkLabelLoadChars;
                        std::memcpy(text, sc + 12, len);
                        int idx = M.searchMarkNum(list, id, 1);
                        if (idx >= 0) M.setMarkName(list, idx, text);
                    }
                    p += 8 + static_cast<uint64_t>(size) + (size & 1);
                }

                // Which marks are in the playlist.
                if (findChunk(fp, "plst", nullptr, &h)) {
                    got = readPayload(kPlstLoadBytes);
                    if (got >= 4) {
                        uint32_t n2 = get32(work);
                        uint32_t present2 = (got - 4) / kWavMarkPlstEntryBytes;
                        if (n2 > present2) n2 = present2;
                        for (uint32_t i = 0; i < n2; ++i) {
                            int32_t id = static_cast<int32_t>(get32(work + 4 + i * kWavMarkPlstEntryBytes));
                            int idx = M.searchMarkNum(list, id, 1);
                            if (idx >= 0) M.setExecFlag(list, idx, 1);
                        }
                    }
                }
            }
        }
    }
    M.renumber(list);
    M.clrModifyFlag(list);
    return kWavMarkOk;
}

// ---------------------------------------------------------------------------
// The WAV handler's mark operations

int gClass_WavFile::saveMarks(FILE *fp, int existing, int listNo, uint64_t totalSamples, bool firstJunk) {
    int32_t modified = 0;
    if (M.getModifyFlag(listNo, &modified) != kMarkOk) return kAudioFileErrFormat;
    if (!modified) return kAudioFileOK;
    if (!fp || !mWork) return kAudioFileErrIO;
    int rc = wavMark_saveMarkData(fp, existing, listNo, firstJunk, totalSamples, mWork.get());
    // The RIFF size follows the file even after a failed write, which may
    // have appended chunks before it stopped.
    if (updateRiffSize(fp) == kAudioFileErrFormat) return kAudioFileErrFormat;
    return rc;
}

int gClass_WavFile::saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return saveMarks(fp, existing, listNo, totalSamples, false);
}

int gClass_WavFile::saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return saveMarks(fp, existing, listNo, totalSamples, true);
}

int gClass_WavFile::loadCueData(FILE *fp, uint64_t totalSamples, int listNo) {
    return wavMark_loadCueData(fp, totalSamples, listNo, mWork.get());
}
