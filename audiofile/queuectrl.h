// List queues: an ordered list of named entries kept in a caller-supplied
// array of fixed-size records, with a free list, a cursor and a serial
// number. The module allocates nothing, so a queue can live inside a record
// that is copied whole with memcpy (links are array indexes, not pointers).
// Entries are addressed by their position in the list (0 = head); every
// access by position walks the links from the head, which is cheap for the
// short lists kept here (at most 100 entries).
//
// No locks: a queue belongs to whoever owns its storage.
#pragma once

#include <cstdint>

// Result codes.
enum : int {
    kQueueOk = 0,
    kQueueBadArg = -17,  // bad position, mode or argument
    kQueueFull = -25,    // no free entry for add
};

// End markers of the links.
enum : int32_t {
    kQueueEnd = -2,    // next of the last entry, free head of an empty free list
    kQueueStart = -1,  // prev of the first entry, free tail of an empty free list
};

enum : int {
    kQueueNameBytes = 258,  // name buffer: at most 257 bytes and a terminator
    kQueuePrmBytes = 32,    // parameter block, copied in and out whole
};

// Positions that add accepts besides 0..count-1 ("after the entry there").
enum : int {
    kQueueAtHead = -1,
    kQueueAtTail = -2,
};

// Seek modes.
enum : int {
    kQueueSeekAbs = 0,  // to position n
    kQueueSeekRel = 1,  // to the cursor position + n
    kQueueSeekHead = 2,
    kQueueSeekTail = 3,
    kQueueSeekDetach = 4,  // cursor entry -1, cursor position n
};

// Control block, owned by the caller and set up by create. All fields are
// array indexes or counts.
struct tQueueCtrlBlock {
    int32_t freeCount;  // entries on the free list
    int32_t freeHead;   // first free entry, kQueueEnd when none
    int32_t freeTail;   // last free entry, kQueueStart when none
    int32_t curEntry;   // array index of the cursor's entry, -1 when none
    int32_t curPos;     // list position of the cursor
    int32_t head;       // first entry, kQueueEnd when the list is empty
    int32_t tail;       // last entry, kQueueStart when the list is empty
    int32_t count;      // entries in the list
    int32_t capacity;   // size of the entry array
    int32_t serialNum;  // raised by incSerialNum and by flagged additions
};

// One record of the caller's entry array.
struct tQueueEntry {
    int32_t next;                 // next entry, kQueueEnd at the end (also on the free list)
    int32_t prev;                 // previous entry, kQueueStart at the start
    uint32_t status;              // free for the user
    int32_t number;               // free for the user; set by add
    uint32_t count;               // free for the user; set by add
    int32_t number1;              // free for the user
    char name[kQueueNameBytes];   // NUL-terminated byte string
    uint8_t prm[kQueuePrmBytes];  // parameter block
};

// The handle a caller keeps per queue.
struct tQueue {
    tQueueCtrlBlock *ctrl;
    tQueueEntry *entries;
};

// Results: kQueueOk, kQueueBadArg or kQueueFull (add only). Every operation
// that takes a position needs 0 <= position < count and otherwise returns
// kQueueBadArg with its out value unwritten (getName writes an empty name).
// Cursor operations act on the cursor's entry (kQueueBadArg when there is
// none); callers seek first. Out pointers must not be null; names are read
// up to 257 bytes, name outputs take kQueueNameBytes bytes, parameter blocks
// are kQueuePrmBytes bytes.
struct tQueueCtrl {
    // Binds the handle to existing storage (e.g. after a whole-list copy).
    int (*init)(tQueue *q, tQueueCtrlBlock *ctrl, tQueueEntry *entries);
    // Binds and empties: all n entries on the free list in array order.
    int (*create)(tQueue *q, tQueueCtrlBlock *ctrl, tQueueEntry *entries, int32_t n);
    // Takes a free entry and puts it after the entry at position (>= 0),
    // first (kQueueAtHead) or last (kQueueAtTail, or any position at or after
    // the last entry). Flags bit 0 raises the serial number. Status is
    // cleared; name, number, count and parameters (may be null: zero) set.
    int (*add)(tQueue *q, int32_t position, const char *name, int32_t number, uint32_t count, const void *prm,
               int flags);
    // Unlinks the entry at position and returns it to the free list; the
    // cursor stays on a valid entry (see the .cpp).
    int (*del)(tQueue *q, int32_t position);
    int (*seek)(tQueue *q, int32_t n, int mode);
    // Exchanges name, number, count and parameters of two entries; links,
    // status and number1 stay.
    int (*chg)(tQueue *q, int32_t a, int32_t b);
    int (*getSerialNum)(const tQueue *q, int32_t *out);
    int (*incSerialNum)(tQueue *q);
    int (*setPrm)(tQueue *q, int32_t position, const void *prm);
    int (*setNum)(tQueue *q, int32_t position, int32_t value);
    int (*getCurName)(const tQueue *q, char *out);
    int (*getCurBufNum)(const tQueue *q, int32_t *out);  // array index
    int (*getCurSeqNum)(const tQueue *q, int32_t *out);  // list position
    int (*getCurNum)(const tQueue *q, int32_t *out);
    int (*setCurCount)(tQueue *q, uint32_t value);
    int (*getCurCount)(const tQueue *q, uint32_t *out);
    int (*getCurPrm)(const tQueue *q, void *out);
    int (*getRegCnt)(const tQueue *q, int32_t *out);
    int (*setName)(tQueue *q, int32_t position, const char *name);
    int (*getName)(const tQueue *q, int32_t position, char *out);
    int (*getBufNum)(const tQueue *q, int32_t position, int32_t *out);
    int (*getNum)(const tQueue *q, int32_t position, int32_t *out);
    int (*setCount)(tQueue *q, int32_t position, uint32_t value);
    int (*getCount)(const tQueue *q, int32_t position, uint32_t *out);
    int (*getPrm)(const tQueue *q, int32_t position, void *out);
    int (*setNum1)(tQueue *q, int32_t position, int32_t value);
    int (*getNum1)(const tQueue *q, int32_t position, int32_t *out);
    int (*setStatus)(tQueue *q, int32_t position, uint32_t value);
    int (*getStatus)(const tQueue *q, int32_t position, uint32_t *out);
};

extern const tQueueCtrl gQueueCtrl;
