#include "audiofile/queuectrl.h"

#include <cstring>

namespace {

bool validIndex(const tQueue *q, int32_t e) { return e >= 0 && e < q->ctrl->capacity; }

// Array index of the entry at list position pos, or -1. The walk is bounded
// by the capacity so that damaged links cannot make it loop.
int32_t entryAt(const tQueue *q, int32_t pos) {
    if (!q || !q->ctrl || !q->entries) return -1;
    const tQueueCtrlBlock *c = q->ctrl;
    if (pos < 0 || pos >= c->count || pos >= c->capacity) return -1;
    int32_t e = c->head;
    for (int32_t i = 0; i < pos; ++i) {
        if (!validIndex(q, e)) return -1;
        e = q->entries[e].next;
    }
    return validIndex(q, e) ? e : -1;
}

int32_t cursorEntry(const tQueue *q) {
    if (!q || !q->ctrl || !q->entries) return -1;
    int32_t e = q->ctrl->curEntry;
    return validIndex(q, e) ? e : -1;
}

void copyName(char *dst, const char *src) {
    size_t n = 0;
    if (src) {
        while (n < kQueueNameBytes - 1 && src[n]) ++n;
        std::memcpy(dst, src, n);
    }
    std::memset(dst + n, 0, kQueueNameBytes - n);
}

int qInit(tQueue *q, tQueueCtrlBlock *ctrl, tQueueEntry *entries) {
    if (!q || !ctrl || !entries) return kQueueBadArg;
    q->ctrl = ctrl;
    q->entries = entries;
    return kQueueOk;
}

int qCreate(tQueue *q, tQueueCtrlBlock *ctrl, tQueueEntry *entries, int32_t n) {
    if (!q || !ctrl || !entries || n <= 0) return kQueueBadArg;
    q->ctrl = ctrl;
    q->entries = entries;
    for (int32_t i = 0; i < n; ++i) {
        tQueueEntry &en = entries[i];
        std::memset(&en, 0, sizeof en);
        en.next = (i + 1 < n) ? i + 1 : kQueueEnd;
        en.prev = i - 1;
        en.number = i;
    }
    ctrl->freeCount = n;
    ctrl->freeHead = 0;
    ctrl->freeTail = n - 1;
    ctrl->curEntry = -1;
    ctrl->curPos = -1;
    ctrl->head = kQueueEnd;
    ctrl->tail = kQueueStart;
    ctrl->count = 0;
    ctrl->capacity = n;
    ctrl->serialNum = 0;
    return kQueueOk;
}

int qAdd(tQueue *q, int32_t position, const char *name, int32_t number, uint32_t count, const void *prm, int flags) {
    if (!q || !q->ctrl || !q->entries) return kQueueBadArg;
    tQueueCtrlBlock *c = q->ctrl;
    if (c->freeCount <= 0) return kQueueFull;
    // Checked before a free entry is taken, so a bad position loses none.
    if (position < kQueueAtTail) return kQueueBadArg;
    int32_t after = -1;  // entry to insert after when inserting inside the list
    if (c->count > 0 && position >= 0 && position + 1 < c->count) {
        after = entryAt(q, position);
        if (after < 0) return kQueueBadArg;
    }
    // A control block bound by init may be damaged: the ends are written
    // through below, so they must name real entries.
    if (c->count > 0 && (!validIndex(q, c->head) || !validIndex(q, c->tail))) return kQueueBadArg;
    int32_t e = c->freeHead;
    if (!validIndex(q, e)) return kQueueFull;

    tQueueEntry *en = q->entries;
    c->freeHead = en[e].next;
    if (validIndex(q, c->freeHead))
        en[c->freeHead].prev = kQueueStart;
    else
        c->freeTail = kQueueStart;
    --c->freeCount;

    int32_t newPos;
    if (c->count == 0) {
        en[e].next = kQueueEnd;
        en[e].prev = kQueueStart;
        c->head = c->tail = e;
        c->curEntry = e;
        c->curPos = 0;
        newPos = 0;
    } else if (position == kQueueAtHead) {
        en[e].prev = kQueueStart;
        en[e].next = c->head;
        en[c->head].prev = e;
        c->head = e;
        newPos = 0;
    } else if (after < 0) {  // at the tail
        en[e].next = kQueueEnd;
        en[e].prev = c->tail;
        en[c->tail].next = e;
        c->tail = e;
        newPos = c->count;
    } else {
        int32_t nx = en[after].next;
        en[e].prev = after;
        en[e].next = nx;
        en[after].next = e;
        if (validIndex(q, nx))
            en[nx].prev = e;
        else
            c->tail = e;
        newPos = position + 1;
    }
    // Keep the cursor position in step with the cursor's entry.
    if (c->count > 0 && c->curEntry >= 0 && newPos <= c->curPos) ++c->curPos;
    ++c->count;

    copyName(en[e].name, name);
    en[e].number = number;
    en[e].count = count;
    en[e].status = 0;
    if (prm)
        std::memcpy(en[e].prm, prm, kQueuePrmBytes);
    else
        std::memset(en[e].prm, 0, kQueuePrmBytes);
    if (flags & 1) ++c->serialNum;
    return kQueueOk;
}

int qDel(tQueue *q, int32_t position) {
    int32_t e = entryAt(q, position);
    if (e < 0) return kQueueBadArg;
    tQueueCtrlBlock *c = q->ctrl;
    tQueueEntry *en = q->entries;
    int32_t pv = en[e].prev, nx = en[e].next;
    if (validIndex(q, pv))
        en[pv].next = nx;
    else
        c->head = nx;
    if (validIndex(q, nx))
        en[nx].prev = pv;
    else
        c->tail = pv;
    if (c->count == 1) {
        c->head = kQueueEnd;
        c->tail = kQueueStart;
    }
    --c->count;

    if (c->curPos >= c->count) {
        c->curPos = c->count - 1;
        c->curEntry = c->count > 0 ? c->tail : -1;
    } else if (c->curPos > position) {
        --c->curPos;
    } else if (c->curPos == position) {
        c->curEntry = nx;
    }

    en[e].next = kQueueEnd;
    en[e].prev = c->freeTail;
    if (validIndex(q, c->freeTail))
        en[c->freeTail].next = e;
    else
        c->freeHead = e;
    c->freeTail = e;
    ++c->freeCount;
    return kQueueOk;
}

int qSeek(tQueue *q, int32_t n, int mode) {
    if (!q || !q->ctrl || !q->entries) return kQueueBadArg;
    tQueueCtrlBlock *c = q->ctrl;
    int32_t target;
    switch (mode) {
    case kQueueSeekAbs: target = n; break;
    case kQueueSeekRel: target = c->curPos + n; break;
    case kQueueSeekHead: target = 0; break;
    case kQueueSeekTail: target = c->count - 1; break;
    case kQueueSeekDetach:
        c->curEntry = -1;
        c->curPos = n;
        return kQueueOk;
    default: return kQueueOk;
    }
    int32_t e = entryAt(q, target);
    if (e < 0) return kQueueBadArg;
    c->curEntry = e;
    c->curPos = target;
    return kQueueOk;
}

int qChg(tQueue *q, int32_t a, int32_t b) {
    int32_t ea = entryAt(q, a), eb = entryAt(q, b);
    if (ea < 0 || eb < 0) return kQueueBadArg;
    if (ea == eb) return kQueueOk;
    tQueueEntry &x = q->entries[ea], &y = q->entries[eb];
    char name[kQueueNameBytes];
    std::memcpy(name, x.name, sizeof name);
    std::memcpy(x.name, y.name, sizeof name);
    std::memcpy(y.name, name, sizeof name);
    uint8_t prm[kQueuePrmBytes];
    std::memcpy(prm, x.prm, sizeof prm);
    std::memcpy(x.prm, y.prm, sizeof prm);
    std::memcpy(y.prm, prm, sizeof prm);
    int32_t num = x.number;
    x.number = y.number;
    y.number = num;
    uint32_t cnt = x.count;
    x.count = y.count;
    y.count = cnt;
    return kQueueOk;
}

int qGetSerialNum(const tQueue *q, int32_t *out) {
    if (!q || !q->ctrl || !out) return kQueueBadArg;
    *out = q->ctrl->serialNum;
    return kQueueOk;
}

int qIncSerialNum(tQueue *q) {
    if (!q || !q->ctrl) return kQueueBadArg;
    ++q->ctrl->serialNum;
    return kQueueOk;
}

int qSetPrm(tQueue *q, int32_t position, const void *prm) {
    int32_t e = entryAt(q, position);
    if (e < 0 || !prm) return kQueueBadArg;
    std::memcpy(q->entries[e].prm, prm, kQueuePrmBytes);
    return kQueueOk;
}

// The plain field accessors, by position or at the cursor: one template per
// shape, instantiated per field in the table below.
template <class T, T tQueueEntry::*Field>
int qSetAt(tQueue *q, int32_t position, T value) {
    int32_t e = entryAt(q, position);
    if (e < 0) return kQueueBadArg;
    q->entries[e].*Field = value;
    return kQueueOk;
}

template <class T, T tQueueEntry::*Field>
int qGetAt(const tQueue *q, int32_t position, T *out) {
    int32_t e = entryAt(q, position);
    if (e < 0 || !out) return kQueueBadArg;
    *out = q->entries[e].*Field;
    return kQueueOk;
}

template <class T, T tQueueEntry::*Field>
int qSetCur(tQueue *q, T value) {
    int32_t e = cursorEntry(q);
    if (e < 0) return kQueueBadArg;
    q->entries[e].*Field = value;
    return kQueueOk;
}

template <class T, T tQueueEntry::*Field>
int qGetCur(const tQueue *q, T *out) {
    int32_t e = cursorEntry(q);
    if (e < 0 || !out) return kQueueBadArg;
    *out = q->entries[e].*Field;
    return kQueueOk;
}

int qGetCurName(const tQueue *q, char *out) {
    int32_t e = cursorEntry(q);
    if (e < 0 || !out) return kQueueBadArg;
    std::memcpy(out, q->entries[e].name, kQueueNameBytes);
    out[kQueueNameBytes - 1] = 0;
    return kQueueOk;
}

int qGetCurBufNum(const tQueue *q, int32_t *out) {
    int32_t e = cursorEntry(q);
    if (e < 0 || !out) return kQueueBadArg;
    *out = e;
    return kQueueOk;
}

int qGetCurSeqNum(const tQueue *q, int32_t *out) {
    if (!q || !q->ctrl || !out) return kQueueBadArg;
    *out = q->ctrl->curPos;
    return kQueueOk;
}

int qGetCurPrm(const tQueue *q, void *out) {
    int32_t e = cursorEntry(q);
    if (e < 0 || !out) return kQueueBadArg;
    std::memcpy(out, q->entries[e].prm, kQueuePrmBytes);
    return kQueueOk;
}

int qGetRegCnt(const tQueue *q, int32_t *out) {
    if (!q || !q->ctrl || !out) return kQueueBadArg;
    *out = q->ctrl->count;
    return kQueueOk;
}

int qSetName(tQueue *q, int32_t position, const char *name) {
    int32_t e = entryAt(q, position);
    if (e < 0) return kQueueBadArg;
    copyName(q->entries[e].name, name);
    return kQueueOk;
}

int qGetName(const tQueue *q, int32_t position, char *out) {
    if (!out) return kQueueBadArg;
    int32_t e = entryAt(q, position);
    if (e < 0) {
        out[0] = 0;
        return kQueueBadArg;
    }
    std::memcpy(out, q->entries[e].name, kQueueNameBytes);
    out[kQueueNameBytes - 1] = 0;
    return kQueueOk;
}

int qGetBufNum(const tQueue *q, int32_t position, int32_t *out) {
    int32_t e = entryAt(q, position);
    if (e < 0 || !out) return kQueueBadArg;
    *out = e;
    return kQueueOk;
}

int qGetPrm(const tQueue *q, int32_t position, void *out) {
    int32_t e = entryAt(q, position);
    if (e < 0 || !out) return kQueueBadArg;
    std::memcpy(out, q->entries[e].prm, kQueuePrmBytes);
    return kQueueOk;
}

}  // namespace

const tQueueCtrl gQueueCtrl = {
    qInit,                                   // init
    qCreate,                                 // create
    qAdd,                                    // add
    qDel,                                    // del
    qSeek,                                   // seek
    qChg,                                    // chg
    qGetSerialNum,                           // getSerialNum
    qIncSerialNum,                           // incSerialNum
    qSetPrm,                                 // setPrm
    qSetAt<int32_t, &tQueueEntry::number>,   // setNum
    qGetCurName,                             // getCurName
    qGetCurBufNum,                           // getCurBufNum
    qGetCurSeqNum,                           // getCurSeqNum
    qGetCur<int32_t, &tQueueEntry::number>,  // getCurNum
    qSetCur<uint32_t, &tQueueEntry::count>,  // setCurCount
    qGetCur<uint32_t, &tQueueEntry::count>,  // getCurCount
    qGetCurPrm,                              // getCurPrm
    qGetRegCnt,                              // getRegCnt
    qSetName,                                // setName
    qGetName,                                // getName
    qGetBufNum,                              // getBufNum
    qGetAt<int32_t, &tQueueEntry::number>,   // getNum
    qSetAt<uint32_t, &tQueueEntry::count>,   // setCount
    qGetAt<uint32_t, &tQueueEntry::count>,   // getCount
    qGetPrm,                                 // getPrm
    qSetAt<int32_t, &tQueueEntry::number1>,  // setNum1
    qGetAt<int32_t, &tQueueEntry::number1>,  // getNum1
    qSetAt<uint32_t, &tQueueEntry::status>,  // setStatus
    qGetAt<uint32_t, &tQueueEntry::status>,  // getStatus
};
static_assert(sizeof(tQueueCtrl) == 29 * sizeof(void (*)()), "one slot per queue operation");
