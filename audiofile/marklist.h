// Mark lists: eight numbered lists of at most 99 marks each, kept in
// ascending sample position, built on the list queues. The format handlers
// fill a list when they read a file's marks and write a list back into a
// file; the conversion library carries marks from a source to the converted
// file in list 0.
//
// A table of functions over file-scope storage; list -1 in any call means
// the current list. No locks: every caller in one deliverable shares the
// lists, so only one thread at a time may use a list.
#pragma once

#include <cstdint>

#include "audiofile/queuectrl.h"

// Result codes.
enum : int {
    kMarkOk = 0,
    kMarkBadArg = -17,  // bad list, index or argument; same position without replace
    kMarkQueueFull = -25,
    kMarkListFull = -41,  // the list already holds kMarkMax marks
};

enum : int {
    kMarkLists = 8,
    kMarkQueueCapacity = 100,
    kMarkMax = 99,  // marks per list
    kMarkCurrentList = -1,
    kMarkNameBytes = kQueueNameBytes,  // name outputs: at most 257 bytes + NUL
};

// addMark flags.
enum : int {
    kMarkFlagSerial = 1,    // raise the list's serial number
    kMarkFlagReplace = 2,   // a mark at the same position is replaced
    kMarkFlagReserved = 4,  // label number from a reserved name ("MARK07" -> 7)
};

// searchMark mode bits: bit 0 exact hit gives its index; bit 2 the first
// mark after the position; bit 1 the last mark before it.
enum : int {
    kMarkSearchExact = 1,
    kMarkSearchBefore = 2,
    kMarkSearchAfter = 4,
};

// edit types.
enum : int {
    kMarkEditBegin = 0,    // snapshot the list, enter edit mode
    kMarkEditCommit = 1,   // rebuild the list from the snapshot, leave edit mode
    kMarkEditCancel = 2,   // leave edit mode
    kMarkEditSwapTrk = 4,  // exchange track values a and b in the snapshot
};

// The parameter block of a mark's queue entry.
struct tMarkParam {
    int32_t track;      // the number given to addMark
    uint32_t reserved;  // 0
    uint64_t position;  // sample position
    uint64_t time;      // 0
    uint8_t zero[8];
};
static_assert(sizeof(tMarkParam) == kQueuePrmBytes, "a mark's parameters fill the queue's block");

// One list, copied whole by init and getData. A mark is a queue entry: name,
// number (the queue number; renumber makes it 1, 2, 3 ... in position
// order), count (low 32 bits of the position), number1 (label number, -1 for
// none), status (exec flag) and a tMarkParam.
struct tMarkListData {
    tQueueCtrlBlock ctrl;
    tQueueEntry entries[kMarkQueueCapacity];
    uint32_t nextLabel;                       // smallest free label number 1..99, 100 when none
    uint32_t labelCount[kMarkQueueCapacity];  // marks per label number (modulo 100)
};

// Index arguments are positions in the list (0 = earliest mark). Names are
// byte strings; outputs take kMarkNameBytes bytes. Results 0 or -17 unless
// said.
struct tMarkListCtrl {
    // Copies data into the list (the control block must be a consistent
    // queue of capacity 100, else -17), clears the modify flag.
    int (*init)(int list, const tMarkListData *data);
    int (*setCurList)(int list);
    // Empties the list; clears the modify flag.
    int (*create)(int list);
    int (*getData)(int list, tMarkListData *out);
    // Adds a mark in position order; type and trackPosition are not kept.
    // A negative number gives the mark count after adding as its number.
    // Without kMarkFlagReserved the list's next label number is appended to
    // name as two digits, so the buffer must hold strlen(name) + 3 bytes
    // (names are cut to 257 bytes). 0, -17, -25 or -41.
    int (*addMark)(int list, int type, int32_t number, char *name, uint64_t position, uint64_t trackPosition,
                   int flags);
    // index -1 the first mark, -2 the last; -17 when there is no such mark.
    int (*delMark)(int list, int32_t index);
    int (*seekMark)(int list, int32_t n, int mode);  // the queue's seek
    int (*chgMark)(int list, int32_t a, int32_t b);  // does nothing; 0
    int (*getSerialNum)(int list, int32_t *out);
    int (*edit)(int list, int type, int32_t a, int32_t b);  // always 0
    int (*getCurMarkName)(int list, char *out);
    int (*getCurListNum)(int list, int32_t *out);
    int (*getCurMarkNum)(int list, int32_t *out);
    int (*getCurCount)(int list, uint32_t *out);
    int (*getCurMarkFs)(int list, uint64_t *out);
    int (*getMarkCnt)(int list, int32_t *out);
    int (*getMarkName)(int list, int32_t index, char *out);  // empty name on -17
    int (*getMarkNum)(int list, int32_t index, int32_t *out);
    int (*getMarkFs)(int list, int32_t index, uint64_t *out);  // 0 on -17
    // Changes the position without re-sorting; sets the modify flag.
    int (*setMarkFs)(int list, int32_t index, uint64_t position);
    int (*getMarkTrk)(int list, int32_t index, int32_t *out);
    int (*getMarkTrkFs)(int list, int32_t index, uint64_t *out);
    int (*getMarkTime)(int list, int32_t index, uint64_t *out);
    // Renames; the label number follows the new name (checkReservedNumber).
    int (*setMarkName)(int list, int32_t index, const char *name);
    int (*setMarkTime)(int list, int32_t index, int type, uint64_t time);  // does nothing; 0
    // Index by position, see the mode bits; an empty list gives -1 with
    // mode 1, else 0.
    int (*searchMark)(int list, uint64_t position, int mode);
    int (*setModifyFlag)(int list);
    int (*clrModifyFlag)(int list);
    int (*getModifyFlag)(int list, int32_t *out);
    // Index of the first mark with that number, -1 when none; an empty list
    // gives -1 with mode 1, else 0.
    int (*searchMarkNum)(int list, int32_t number, int mode);
    int (*renumber)(int list);  // 1, 2, 3 ... in list order; sets the modify flag
    int (*getNextMarkNum)(int list, uint32_t *out);
    int (*setExecFlag)(int list, int32_t index, uint32_t flag);
    int (*getExecFlag)(int list, int32_t index, uint32_t *out);
};

extern const tMarkListCtrl gMarkList;

// The number of a reserved mark name: exactly six characters, one of the
// prefixes "MARK", "PRE ", "REC ", "END ", "TIME", "OVER", "UNLK" and two
// decimal digits. -1 for any other name.
[[nodiscard]] int checkReservedNumber(const char *name);
