// iXML tables: builds, stores and writes the "iXML" chunk (BWF XML metadata)
// of a WAV file. The XML text is kept as a tag list of pieces (declaration,
// opening tags, values, closing tags) in document order, built on the list
// queues, then joined into a per-file text buffer and written as the chunk.
//
// Two iXML files are kept, numbered 0 and 1. All state (tag lists, modify
// flags, text buffers, the enable flags and the family uid) is file-scope and
// unlocked: one thread at a time.
//
// Three tables give access: giXML_rdwr (chunk read and write),
// giXMLControlMain (set-up and text building; the conversion library builds
// its own copy, giXMLControl, with its product texts) and giXMLHandler (tag
// lists and modify flags).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/wstring.h"

// Results.
enum : int {
    kiXMLOk = 0,
    kiXMLErrIO = -1,      // seek, read or write failed; no chunk
    kiXMLErrArg = -17,    // bad file number, value out of range, text does not fit
    kiXMLErrQueue = -25,  // the tag list is full
    kiXMLNoChunk = -41,   // loadFile: the file has no iXML chunk
};

enum : int {
    kiXMLFiles = 2,
    kiXMLTagRows = 43,
    kiXMLListCapacity = 500,
    kiXMLTextBytes = 8192,  // text buffer per file, terminator included
    kiXMLUidChars = 32,
    kiXMLMaxTracks = 8,
};

// Positions for addTag besides a list position.
enum : int {
    kiXMLAtHead = -1,
    kiXMLAfterCursor = -3,
};

// One element of the support list given to init; the list ends with an
// element whose id is negative. A row is encoded when flag2 is 1.
struct tiXMLSupport {
    int id;
    uint8_t flag1;
    uint8_t flag2;
};

// What the encoders read. Texts are UTF-8 and may be null.
struct tiXMLData {
    const char *scene;  // null: "KAVELO App"
    const char *take;   // take text, followed by takeNumber as %03u
    uint32_t takeNumber;
    uint8_t circled;  // TRUE / FALSE
    int frameType;    // tTcFrameType 0..6
    uint32_t fileSampleRate;
    uint32_t bitDepth;
    uint32_t digitizerSampleRate;
    uint32_t timestampHi;  // samples since midnight, high and low 32 bits
    uint32_t timestampLo;
    uint32_t timestampSampleRate;
    int trackCount;
    uint8_t trackMask;                       // bit n set: channel n + 1 is a track
    const char *trackNames[kiXMLMaxTracks];  // by emitted track
    uint8_t splitStereo;                     // the alternative file kind: one L/R pair named after baseName
    const char *baseName;
    int totalFiles;
    int fileSetIndex;
};

// Chunk search and delete operations of the file's handler.
typedef int (*tiXMLSearch)(FILE *fp, const char *id, uint64_t *offset);
typedef int (*tiXMLDelete)(FILE *fp, const char *id);

struct tiXMLHandler {
    int (*init)(int f);  // new empty tag list, modify flag cleared
    // Inserts the non-null pieces after position (kiXMLAfterCursor: after the
    // cursor; kiXMLAtHead: first), then moves the cursor by advance.
    int (*addTag)(int f, int position, const char *open, const char *value, const char *close, int advance);
    int (*delTag)(int f, int position);          // does nothing; 0
    int (*searchTag)(int f, const char *text);   // does nothing; 0
    int (*getTag)(int f, int index, char *out);  // out holds 258 bytes
    int (*setModifyFlag)(int f);
    int (*clrModifyFlag)(int f);
    int (*getModifyFlag)(int f, int *out);
    int (*getTagCnt)(int f, int *out);
};

struct tiXMLControl {
    int (*init)(const tiXMLSupport *list);  // enable flags
    int (*createiXMLData)(int f, const tiXMLData *data);
    // Locates the chunk; kiXMLNoChunk when absent, else empties the tag list.
    int (*loadFile)(FILE *fp, int f, tiXMLSearch search);
    // Builds the list (when data is given), joins it and writes the chunk.
    int (*saveFile)(FILE *fp, int f, const tiXMLData *data, tiXMLSearch search, tiXMLDelete del);
    int (*writeTrackTag)(int f);  // does nothing; 0
    int (*readTrackTag)(int f);   // does nothing; 0
    // Builds the family uid from the local time (when null: now) and returns
    // it (kiXMLUidChars characters, module-wide storage).
    const char *(*makeFamilyUid)(const struct tm *when);
    // File uid for the record into out (kiXMLUidChars + 1 bytes).
    int (*getFileUid)(const tiXMLData *data, char *out);
};

struct tiXMLrdwr {
    int (*load)(FILE *fp, int f, tiXMLSearch search);  // 0 when the chunk exists, else -1
    // Writes the text buffer as the chunk: in place when an existing chunk has
    // the same size, else appended (an old chunk is removed with del).
    int (*save)(FILE *fp, int f, int existing, tiXMLSearch search, tiXMLDelete del);
    int (*read)(int f);  // -1
    // how 0 copies, 1 appends text into the buffer; kiXMLErrArg when it does
    // not fit.
    int (*write)(int f, const char *text, int how);
};

extern const tiXMLHandler giXMLHandler;
extern const tiXMLControl giXMLControlMain;
extern const tiXMLrdwr giXML_rdwr;

// 47952 and 48048 (pull-down, pull-up) give 48000; other rates unchanged.
uint32_t convRealFsToBase(uint32_t rate);

// What differs between the program's texts and the conversion library's:
// the PROJECT value (16-bit text and its converter to UTF-8) and the
// version in USER.
struct tiXMLFlavour {
    const wchar16 *project;
    int (*toUtf8)(const wchar16 *src, char *dst, int size);
    int major, minor, build;
};
// The control operations for a flavour; giXMLControlMain uses the program's.
int ixml_createData(int f, const tiXMLData *data, const tiXMLFlavour *flavour);
int ixml_saveFile(FILE *fp, int f, const tiXMLData *data, tiXMLSearch search, tiXMLDelete del,
                  const tiXMLFlavour *flavour);
// Read-only view of a file's joined text (for tests and the writer).
const char *ixml_text(int f);
