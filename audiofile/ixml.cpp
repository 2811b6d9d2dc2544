#include "audiofile/ixml.h"

#include <cstring>

#include "audiofile/chunkutil.h"
#include "audiofile/queuectrl.h"
#include "audiofile/vfile.h"

namespace {

struct tiXMLFile {
    tQueue queue;
    tQueueCtrlBlock ctrl;
    tQueueEntry entries[kiXMLListCapacity];
    int modify;
    char text[kiXMLTextBytes];
};

tiXMLFile sFile[kiXMLFiles];
uint8_t sEnable[kiXMLTagRows][2];
char sFamilyUid[kiXMLUidChars + 1];
// Shared by the encoders: one value at a time.
char sValue[kQueueNameBytes];

typedef int (*tiXMLEncoder)(int f, const tiXMLData *d, const tiXMLFlavour *fl);
typedef int (*tiXMLDecoder)(int f);

struct tiXMLTagRow {
    const char *open;
    const char *close;
    tiXMLDecoder decoder;
    tiXMLEncoder encoder;
};

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r";
const char kAppName[] = "KAVELO App";

bool badFile(int f) { return f < 0 || f >= kiXMLFiles; }

// ---- giXMLHandler ----

int hInit(int f) {
    if (badFile(f)) return kiXMLErrArg;
    tiXMLFile &x = sFile[f];
    gQueueCtrl.create(&x.queue, &x.ctrl, x.entries, kiXMLListCapacity);
    x.modify = 0;
    x.text[0] = 0;
    return kiXMLOk;
}

bool bound(int f) { return sFile[f].queue.ctrl != nullptr; }

int hAddTag(int f, int position, const char *open, const char *value, const char *close, int advance) {
    if (badFile(f)) return kiXMLErrArg;
    if (!bound(f)) hInit(f);
    tQueue *q = &sFile[f].queue;
    int32_t at;
    if (position == kiXMLAfterCursor) {
        at = q->ctrl->curPos;
        // An empty list has no cursor: the first piece goes to the head.
        if (q->ctrl->count == 0) at = kQueueAtHead;
    } else if (position == kiXMLAtHead) {
        at = kQueueAtHead;
    } else if (position >= 0) {
        at = (q->ctrl->count > 0 && position >= q->ctrl->count) ? q->ctrl->count - 1 : position;
    } else {
        return kiXMLErrArg;
    }
    const char *pieces[3] = {open, value, close};
    for (const char *p : pieces) {
        if (!p) continue;
        const int r = gQueueCtrl.add(q, at, p, 0, 0, nullptr, 0);
        if (r == kQueueFull) return kiXMLErrQueue;
        if (r != kQueueOk) return kiXMLErrArg;
        at = (at == kQueueAtHead) ? 0 : at + 1;
    }
    if (advance != 0 && gQueueCtrl.seek(q, advance, kQueueSeekRel) != kQueueOk) return kiXMLErrArg;
    return kiXMLOk;
}

int hDelTag(int, int) { return 0; }
int hSearchTag(int, const char *) { return 0; }

int hGetTag(int f, int index, char *out) {
    if (badFile(f) || !out) return kiXMLErrArg;
    if (!bound(f)) hInit(f);
    return gQueueCtrl.getName(&sFile[f].queue, index, out) == kQueueOk ? kiXMLOk : kiXMLErrArg;
}

int hSetModify(int f) {
    if (badFile(f)) return kiXMLErrArg;
    sFile[f].modify = 1;
    return kiXMLOk;
}
int hClrModify(int f) {
    if (badFile(f)) return kiXMLErrArg;
    sFile[f].modify = 0;
    return kiXMLOk;
}
int hGetModify(int f, int *out) {
    if (badFile(f) || !out) return kiXMLErrArg;
    *out = sFile[f].modify;
    return kiXMLOk;
}
int hGetTagCnt(int f, int *out) {
    if (badFile(f) || !out) return kiXMLErrArg;
    if (!bound(f)) hInit(f);
    int32_t n = 0;
    gQueueCtrl.getRegCnt(&sFile[f].queue, &n);
    *out = n;
    return kiXMLOk;
}

// ---- encoders ----

extern const tiXMLTagRow kTagTable[kiXMLTagRows];

bool enabled(int row) { return sEnable[row][1] == 1; }

int leaf(int f, int row, const char *value) {
    return hAddTag(f, kiXMLAfterCursor, kTagTable[row].open, value, kTagTable[row].close, 3);
}

int leafFmt(int f, int row, const char *fmt, long long v) {
    std::snprintf(sValue, sizeof sValue, fmt, v);
    return leaf(f, row, sValue);
}

int leafU(int f, int row, uint32_t v) {
    std::snprintf(sValue, sizeof sValue, "%u", v);
    return leaf(f, row, sValue);
}

// Opening and closing texts with the cursor on the opening one; the children
// go in between, then the cursor moves onto the closing text.
int containerOpen(int f, int row) {
    return hAddTag(f, kiXMLAfterCursor, kTagTable[row].open, nullptr, kTagTable[row].close, 1);
}
int containerClose(int f) {
    return gQueueCtrl.seek(&sFile[f].queue, 1, kQueueSeekRel) == kQueueOk ? kiXMLOk : kiXMLErrArg;
}

int encChildren(int f, const tiXMLData *d, const tiXMLFlavour *fl, int first, int last) {
    for (int row = first; row <= last; ++row) {
        if (!enabled(row) || !kTagTable[row].encoder) continue;
        const int r = kTagTable[row].encoder(f, d, fl);
        if (r != kiXMLOk) return r;
    }
    return kiXMLOk;
}

int encVersion(int f, const tiXMLData *, const tiXMLFlavour *) { return leaf(f, 1, "1.5"); }

int encProject(int f, const tiXMLData *, const tiXMLFlavour *fl) {
    if (!fl->toUtf8 || fl->toUtf8(fl->project, sValue, sizeof sValue) < 0) return kiXMLErrArg;
    return leaf(f, 2, sValue);
}

int encScene(int f, const tiXMLData *d, const tiXMLFlavour *) { return leaf(f, 3, d->scene ? d->scene : kAppName); }

int encTake(int f, const tiXMLData *d, const tiXMLFlavour *) {
    std::snprintf(sValue, sizeof sValue, "%s%03u", d->take ? d->take : "", d->takeNumber);
    return leaf(f, 4, sValue);
}

int encTape(int f, const tiXMLData *, const tiXMLFlavour *) { return leaf(f, 5, kAppName); }

int encCircled(int f, const tiXMLData *d, const tiXMLFlavour *) { return leaf(f, 6, d->circled ? "TRUE" : "FALSE"); }

int getFileUid(const tiXMLData *d, char *out);

int encFileUid(int f, const tiXMLData *d, const tiXMLFlavour *) {
    char uid[kiXMLUidChars + 1];
    const int r = getFileUid(d, uid);
    if (r != kiXMLOk) return r;
    return leaf(f, 7, uid);
}

int encUbits(int f, const tiXMLData *, const tiXMLFlavour *) {
    static const long kDigits[8] = {7, 8, 5, 6, 3, 4, 1, 2};
    char *p = sValue;
    for (long digit : kDigits) p += std::snprintf(p, 2, "%lx", digit);
    return leaf(f, 8, sValue);
}

int encNothing(int, const tiXMLData *, const tiXMLFlavour *) { return kiXMLOk; }

int encUser(int f, const tiXMLData *, const tiXMLFlavour *fl) {
    std::snprintf(sValue, sizeof sValue, "Recorder : %s %d.%02d build %04d", "Sonvex Editor", fl->major, fl->minor,
                  fl->build);
    return leaf(f, 11, sValue);
}

int encSpeed(int f, const tiXMLData *d, const tiXMLFlavour *fl) {
    int r = containerOpen(f, 12);
    if (r == kiXMLOk) r = encChildren(f, d, fl, 26, 36);
    if (r == kiXMLOk) r = containerClose(f);
    return r;
}

int encTrackCount(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafFmt(f, 18, "%lld", d->trackCount); }

int encTrack(int f, const tiXMLData *d, const tiXMLFlavour *fl) {
    // One TRACK per set bit of the mask; children are emitted by hand because
    // they carry the track's own values.
    int emitted = 0;
    for (int bit = 0; bit < kiXMLMaxTracks; ++bit) {
        if (!(d->trackMask & (1u << bit))) continue;
        int r = containerOpen(f, 19);
        if (r == kiXMLOk && enabled(21)) r = leafFmt(f, 21, "%lld", bit + 1);
        if (r == kiXMLOk && enabled(22)) r = leafFmt(f, 22, "%lld", emitted + 1);
        if (r == kiXMLOk && enabled(23)) {
            if (d->splitStereo) {
                std::snprintf(sValue, sizeof sValue, "%s%s", d->baseName ? d->baseName : "", emitted == 0 ? "L" : "R");
                r = leaf(f, 23, sValue);
            } else {
                const char *name = d->trackNames[emitted];
                r = leaf(f, 23, name ? name : "");
            }
        }
        if (r == kiXMLOk) r = containerClose(f);
        if (r != kiXMLOk) return r;
        ++emitted;
    }
    (void)fl;
    return kiXMLOk;
}

int decTrackList(int) { return 0; }

int encTrackList(int f, const tiXMLData *d, const tiXMLFlavour *fl) {
    int r = containerOpen(f, 13);
    if (r == kiXMLOk && enabled(18)) r = encTrackCount(f, d, fl);
    if (r == kiXMLOk && enabled(19)) r = encTrack(f, d, fl);
    if (r == kiXMLOk) r = containerClose(f);
    return r;
}

int encTcFlag(int f, const tiXMLData *d, const tiXMLFlavour *) {
    if (d->frameType < 0 || d->frameType > 6) return kiXMLErrArg;
    return leaf(f, 29, (d->frameType == 3 || d->frameType == 5) ? "DF" : "NDF");
}

int encTcRate(int f, const tiXMLData *d, const tiXMLFlavour *) {
    static const char *const kRates[7] = {"24000/1001", "24/1", "25/1", "30000/1001", "30000/1001", "30/1", "30/1"};
    if (d->frameType < 0 || d->frameType > 6) return kiXMLErrArg;
    return leaf(f, 30, kRates[d->frameType]);
}

int encFileRate(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafU(f, 31, d->fileSampleRate); }
int encBitDepth(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafU(f, 32, d->bitDepth); }
int encDigitizer(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafU(f, 33, d->digitizerSampleRate); }
int encStampHi(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafU(f, 34, d->timestampHi); }
int encStampLo(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafU(f, 35, d->timestampLo); }
int encStampRate(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafU(f, 36, d->timestampSampleRate); }

int encFileSet(int f, const tiXMLData *d, const tiXMLFlavour *fl) {
    int r = containerOpen(f, 16);
    if (r == kiXMLOk) r = encChildren(f, d, fl, 38, 41);
    if (r == kiXMLOk) r = containerClose(f);
    return r;
}

int encTotalFiles(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafFmt(f, 38, "%lld", d->totalFiles); }

const char *makeFamilyUid(const struct tm *when);

int encFamilyUid(int f, const tiXMLData *, const tiXMLFlavour *) {
    if (sFamilyUid[0] == 0) makeFamilyUid(nullptr);
    return leaf(f, 39, sFamilyUid);
}

int encFileSetIndex(int f, const tiXMLData *d, const tiXMLFlavour *) { return leafFmt(f, 41, "%lld", d->fileSetIndex); }

const tiXMLTagRow kTagTable[kiXMLTagRows] = {
    {"<BWFXML>\r", "</BWFXML>", nullptr, nullptr},                                                               // 0
    {"<IXML_VERSION>", "</IXML_VERSION>\r", nullptr, encVersion},                                                // 1
    {"<PROJECT>", "</PROJECT>\r", nullptr, encProject},                                                          // 2
    {"<SCENE>", "</SCENE>\r", nullptr, encScene},                                                                // 3
    {"<TAKE>", "</TAKE>\r", nullptr, encTake},                                                                   // 4
    {"<TAPE>", "</TAPE>\r", nullptr, encTape},                                                                   // 5
    {"<CIRCLED>", "</CIRCLED>\r", nullptr, encCircled},                                                          // 6
    {"<FILE_UID>", "</FILE_UID>\r", nullptr, encFileUid},                                                        // 7
    {"<UBITS>", "</UBITS>\r", nullptr, encUbits},                                                                // 8
    {"<NOTE>", "</NOTE>\r", nullptr, encNothing},                                                                // 9
    {"<BEXT>", "</BEXT>\r", nullptr, encNothing},                                                                // 10
    {"<USER>", "</USER>\r", nullptr, encUser},                                                                   // 11
    {"<SPEED>\r", "</SPEED>\r", nullptr, encSpeed},                                                              // 12
    {"<TRACK_LIST>\r", "</TRACK_LIST>\r", decTrackList, encTrackList},                                           // 13
    {"<SYNC_POINT_LIST>\r", "</SYNC_POINT_LIST>\r", nullptr, nullptr},                                           // 14
    {"<HISTORY>\r", "</HISTORY>\r", nullptr, nullptr},                                                           // 15
    {"<FILE_SET>\r", "</FILE_SET>\r", nullptr, encFileSet},                                                      // 16
    {nullptr, nullptr, nullptr, nullptr},                                                                        // 17
    {"<TRACK_COUNT>", "</TRACK_COUNT>\r", nullptr, encTrackCount},                                               // 18
    {"<TRACK>\r", "</TRACK>\r", nullptr, encTrack},                                                              // 19
    {nullptr, nullptr, nullptr, nullptr},                                                                        // 20
    {"<CHANNEL_INDEX>", "</CHANNEL_INDEX>\r", nullptr, encNothing},                                              // 21
    {"<INTERLEAVE_INDEX>", "</INTERLEAVE_INDEX>\r", nullptr, encNothing},                                        // 22
    {"<NAME>", "</NAME>\r", nullptr, encNothing},                                                                // 23
    {"<FUNCTION>", "</FUNCTION>\r", nullptr, nullptr},                                                           // 24
    {nullptr, nullptr, nullptr, nullptr},                                                                        // 25
    {"<NOTE>", "</NOTE>\r", nullptr, nullptr},                                                                   // 26
    {"<MASTER_SPEED>", "</MASTER_SPEED>\r", nullptr, nullptr},                                                   // 27
    {"<CURRENT_SPEED>", "</CURRENT_SPEED>\r", nullptr, nullptr},                                                 // 28
    {"<TIMECODE_FLAG>", "</TIMECODE_FLAG>\r", nullptr, encTcFlag},                                               // 29
    {"<TIMECODE_RATE>", "</TIMECODE_RATE>\r", nullptr, encTcRate},                                               // 30
    {"<FILE_SAMPLE_RATE>", "</FILE_SAMPLE_RATE>\r", nullptr, encFileRate},                                       // 31
    {"<AUDIO_BIT_DEPTH>", "</AUDIO_BIT_DEPTH>\r", nullptr, encBitDepth},                                         // 32
    {"<DIGITIZER_SAMPLE_RATE>", "</DIGITIZER_SAMPLE_RATE>\r", nullptr, encDigitizer},                            // 33
    {"<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>", "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>\r", nullptr, encStampHi},  // 34
    {"<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>", "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>\r", nullptr, encStampLo},  // 35
    {"<TIMESTAMP_SAMPLE_RATE>", "</TIMESTAMP_SAMPLE_RATE>\r", nullptr, encStampRate},                            // 36
    {nullptr, nullptr, nullptr, nullptr},                                                                        // 37
    {"<TOTAL_FILES>", "</TOTAL_FILES>\r", nullptr, encTotalFiles},                                               // 38
    {"<FAMILY_UID>", "</FAMILY_UID>\r", nullptr, encFamilyUid},                                                  // 39
    // Spelled so, and closed without a line end, as stored files have it.
    {"<FAMILY_NAME>", "</FAMYLY_NAME>", nullptr, nullptr},                // 40
    {"<FILE_SET_INDEX>", "</FILE_SET_INDEX>", nullptr, encFileSetIndex},  // 41
    {nullptr, nullptr, nullptr, nullptr},                                 // 42
};

// ---- giXMLControlMain ----

int cInit(const tiXMLSupport *list) {
    std::memset(sEnable, 0, sizeof sEnable);
    if (!list) return kiXMLOk;
    for (; list->id >= 0; ++list) {
        if (list->id >= kiXMLTagRows) return kiXMLErrArg;
        sEnable[list->id][0] = list->flag1;
        sEnable[list->id][1] = list->flag2;
    }
    return kiXMLOk;
}

const char *makeFamilyUid(const struct tm *when) {
    struct tm now;
    if (!when) {
        const time_t t = time(nullptr);
        localtime_r(&t, &now);
        when = &now;
    }
    // Wide enough for any field values; a sane date gives exactly 32 characters.
    char text[128];
    std::snprintf(text, sizeof text, "KVMR07%05x%04d%02d%02d%02d%02d%02d%03X%04X", 0x12345u, when->tm_year + 1900,
                  when->tm_mon + 1, when->tm_mday, when->tm_hour, when->tm_min, when->tm_sec,
                  static_cast<unsigned>((when->tm_min + when->tm_hour + when->tm_sec) & 0xFFF), 0u);
    strlcpy(sFamilyUid, text, sizeof sFamilyUid);
    return sFamilyUid;
}

int getFileUid(const tiXMLData *d, char *out) {
    if (!d || !out) return kiXMLErrArg;
    if (sFamilyUid[0] == 0) makeFamilyUid(nullptr);
    std::memcpy(out, sFamilyUid, 28);
    if (d->splitStereo)
        std::memcpy(out + 28, "000A", 5);
    else
        std::snprintf(out + 28, 5, "%04u", static_cast<unsigned>(d->trackCount) % 10000u);
    return kiXMLOk;
}

const wchar16 kMainProject[] = {'K', 'A', 'V', 'E', 'L', 'O', ' ', 'S', 'o', 'n', 'v',
                                'e', 'x', ' ', 'E', 'd', 'i', 't', 'o', 'r', 0};

int mainToUtf8(const wchar16 *src, char *dst, int size) {
    if (!src || !dst || size < 1) return kiXMLErrArg;
    strlcpy(dst, w_toUtf8(src).c_str(), static_cast<size_t>(size));
    return kiXMLOk;
}

// The program's texts: version 1.10, build 96.
const tiXMLFlavour kMainFlavour = {kMainProject, mainToUtf8, 1, 10, 96};

int cCreate(int f, const tiXMLData *d) { return ixml_createData(f, d, &kMainFlavour); }

int cLoadFile(FILE *fp, int f, tiXMLSearch search) {
    if (badFile(f)) return kiXMLErrArg;
    if (giXML_rdwr.load(fp, f, search) != kiXMLOk) return kiXMLNoChunk;
    return hInit(f);
}

int cSaveFile(FILE *fp, int f, const tiXMLData *d, tiXMLSearch search, tiXMLDelete del) {
    return ixml_saveFile(fp, f, d, search, del, &kMainFlavour);
}

int cTrackTag(int) { return 0; }

// ---- giXML_rdwr ----

int rLoad(FILE *fp, int f, tiXMLSearch search) {
    if (badFile(f) || !fp || !search) return kiXMLErrArg;
    uint64_t offset = 0;
    return search(fp, "iXML", &offset) == 0 ? kiXMLOk : kiXMLErrIO;
}

// A RIFF size that no longer matches after an append is fixed up so the
// chunk is not cut off by readers; RF64 keeps its marker.
int fixRiffSize(FILE *fp) {
    uint8_t head[8];
    uint64_t size = 0;
    if (v_readAt(fp, 0, head, 8) != 0) return kiXMLErrIO;
    if (!chunk_idIs(head, "RIFF")) return kiXMLOk;
    if (v_getFileSize(fp, &size) != 0 || size < 8) return kiXMLErrIO;
    if (size - 8 > 0xFFFFFFFFull) return kiXMLErrArg;
    chunk_putLE32(head + 4, static_cast<uint32_t>(size - 8));
    if (v_writeAt(fp, 4, head + 4, 4) != 0) return kiXMLErrIO;
    return kiXMLOk;
}

int writeChunk(FILE *fp, const char *text, uint32_t len) {
    uint8_t head[8];
    std::memcpy(head, "iXML", 4);
    chunk_putLE32(head + 4, len);
    if (v_write(fp, head, 8) != 8) return kiXMLErrIO;
    if (len > 0 && v_write(fp, text, len) != len) return kiXMLErrIO;
    if (len & 1) {
        const uint8_t pad = 0;
        if (v_write(fp, &pad, 1) != 1) return kiXMLErrIO;
    }
    return kiXMLOk;
}

int rSave(FILE *fp, int f, int existing, tiXMLSearch search, tiXMLDelete del) {
    if (badFile(f) || !fp) return kiXMLErrArg;
    const char *text = sFile[f].text;
    const uint32_t len = static_cast<uint32_t>(strnlen(text, kiXMLTextBytes - 1));
    uint64_t offset = 0;
    if (existing && search && search(fp, "iXML", &offset) == 0) {
        uint8_t head[8];
        if (v_readAt(fp, offset, head, 8) != 0) return kiXMLErrIO;
        if (chunk_getLE32(head + 4) == len) {
            if (v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) return kiXMLErrIO;
            const int r = writeChunk(fp, text, len);
            v_flush(fp);
            return r;
        }
        if (!del || del(fp, "iXML") != 0) return kiXMLErrIO;
    }
    if (v_lseek(fp, 0, 2) != 0) return kiXMLErrArg;
    const int64_t end = v_tell(fp);
    if (end < 0) return kiXMLErrIO;
    if (end & 1) {
        const uint8_t pad = 0;
        if (v_write(fp, &pad, 1) != 1) return kiXMLErrIO;
    }
    int r = writeChunk(fp, text, len);
    if (r == kiXMLOk) r = fixRiffSize(fp);
    v_flush(fp);
    return r;
}

int rRead(int) { return kiXMLErrIO; }

int rWrite(int f, const char *text, int how) {
    if (badFile(f) || !text || (how != 0 && how != 1)) return kiXMLErrArg;
    char *buf = sFile[f].text;
    const size_t have = (how == 1) ? strnlen(buf, kiXMLTextBytes - 1) : 0;
    const size_t add = std::strlen(text);
    if (add > kiXMLTextBytes - 1 - have) return kiXMLErrArg;
    std::memcpy(buf + have, text, add + 1);
    return kiXMLOk;
}

}  // namespace

int ixml_createData(int f, const tiXMLData *d, const tiXMLFlavour *fl) {
    if (badFile(f) || !d || !fl) return kiXMLErrArg;
    int r = hInit(f);
    if (r == kiXMLOk) r = hAddTag(f, kiXMLAtHead, kDeclaration, nullptr, nullptr, 0);
    if (r == kiXMLOk) r = hAddTag(f, kiXMLAfterCursor, kTagTable[0].open, nullptr, kTagTable[0].close, 1);
    if (r == kiXMLOk) r = encChildren(f, d, fl, 1, 16);
    if (r != kiXMLOk) return r;
    sFile[f].modify = 1;
    return kiXMLOk;
}

int ixml_saveFile(FILE *fp, int f, const tiXMLData *d, tiXMLSearch search, tiXMLDelete del, const tiXMLFlavour *fl) {
    if (badFile(f) || !fp) return kiXMLErrArg;
    if (d) {
        const int r = ixml_createData(f, d, fl);
        if (r != kiXMLOk) return r;
    }
    if (!bound(f)) hInit(f);
    int32_t count = 0;
    gQueueCtrl.getRegCnt(&sFile[f].queue, &count);
    char piece[kQueueNameBytes];
    sFile[f].text[0] = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (gQueueCtrl.getName(&sFile[f].queue, i, piece) != kQueueOk) return kiXMLErrArg;
        const int r = rWrite(f, piece, 1);
        if (r != kiXMLOk) return r;
    }
    return rSave(fp, f, 1, search, del);
}

const char *ixml_text(int f) { return badFile(f) ? "" : sFile[f].text; }

uint32_t convRealFsToBase(uint32_t rate) { return (rate == 47952 || rate == 48048) ? 48000 : rate; }

const tiXMLHandler giXMLHandler = {
    hInit,       // init
    hAddTag,     // addTag
    hDelTag,     // delTag
    hSearchTag,  // searchTag
    hGetTag,     // getTag
    hSetModify,  // setModifyFlag
    hClrModify,  // clrModifyFlag
    hGetModify,  // getModifyFlag
    hGetTagCnt,  // getTagCnt
};

const tiXMLControl giXMLControlMain = {
    cInit,          // init
    cCreate,        // createiXMLData
    cLoadFile,      // loadFile
    cSaveFile,      // saveFile
    cTrackTag,      // writeTrackTag
    cTrackTag,      // readTrackTag
    makeFamilyUid,  // makeFamilyUid
    getFileUid,     // getFileUid
};

const tiXMLrdwr giXML_rdwr = {
    rLoad,   // load
    rSave,   // save
    rRead,   // read
    rWrite,  // write
};
