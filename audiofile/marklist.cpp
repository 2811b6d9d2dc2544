#include "audiofile/marklist.h"

#include <cstdio>
#include <cstring>

namespace {

tMarkListData sList[kMarkLists];
tQueue sQueue[kMarkLists];
uint8_t sModify[kMarkLists];
int sCurList = 0;

// edit: a snapshot of one list with its own queue handle.
tMarkListData sSnap;
tQueue sSnapQueue;
bool sEditMode = false;

const tQueueCtrl &Q = gQueueCtrl;

// List number, with -1 standing for the current list; -1 when out of range.
int resolve(int list) {
    if (list == kMarkCurrentList) list = sCurList;
    if (list < 0 || list >= kMarkLists) return -1;
    // The handles point into file-scope storage; bind on first use so that a
    // list that was never created reads as empty rather than unbound.
    if (!sQueue[list].ctrl) Q.init(&sQueue[list], &sList[list].ctrl, sList[list].entries);
    return list;
}

uint64_t entryPosition(const tQueueEntry &e) {
    tMarkParam p;
    std::memcpy(&p, e.prm, sizeof p);
    return p.position;
}

// Positions of the marks in list order; returns the count. One walk over the
// links instead of a walk per look-up.
int32_t collectPositions(const tQueue *q, uint64_t *pos) {
    const tQueueCtrlBlock *c = q->ctrl;
    int32_t n = 0;
    int32_t e = c->head;
    while (n < c->count && n < kMarkQueueCapacity && e >= 0 && e < c->capacity) {
        pos[n++] = entryPosition(q->entries[e]);
        e = q->entries[e].next;
    }
    return n;
}

// First index whose position is not below position.
int32_t lowerBound(const uint64_t *pos, int32_t n, uint64_t position) {
    int32_t lo = 0, hi = n;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (pos[mid] < position)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// First index whose position is above position: where a new mark goes.
int32_t upperBound(const uint64_t *pos, int32_t n, uint64_t position) {
    int32_t lo = 0, hi = n;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (pos[mid] <= position)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void recomputeNextLabel(tMarkListData &d) {
    uint32_t n = 1;
    while (n < kMarkQueueCapacity && d.labelCount[n] != 0) ++n;
    d.nextLabel = n;
}

void raiseLabel(tMarkListData &d, int32_t label) {
    if (label >= 0) ++d.labelCount[label % kMarkQueueCapacity];
}

void lowerLabel(tMarkListData &d, int32_t label) {
    if (label >= 0 && d.labelCount[label % kMarkQueueCapacity] > 0) --d.labelCount[label % kMarkQueueCapacity];
}

// Inserts a queue entry at the place that keeps positions ascending (after
// marks at the same position); returns its index or a queue code.
int insertSorted(tQueue *q, const char *name, int32_t number, uint32_t count, const tMarkParam &prm, int flags) {
    uint64_t pos[kMarkQueueCapacity];
    int32_t n = collectPositions(q, pos);
    int32_t at = upperBound(pos, n, prm.position);
    int32_t qpos = at == 0 ? kQueueAtHead : (at >= n ? kQueueAtTail : at - 1);
    int rc = Q.add(q, qpos, name, number, count, &prm, flags);
    return rc < 0 ? rc : at;
}

void emptyList(int li) {
    tMarkListData &d = sList[li];
    Q.create(&sQueue[li], &d.ctrl, d.entries, kMarkQueueCapacity);
    std::memset(d.labelCount, 0, sizeof d.labelCount);
    d.nextLabel = 1;
}

bool startsWith(const char *s, const char *prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

int mInit(int list, const tMarkListData *data) {
    int li = resolve(list);
    if (li < 0 || !data) return kMarkBadArg;
    const tQueueCtrlBlock &c = data->ctrl;
    if (c.capacity != kMarkQueueCapacity || c.count < 0 || c.count > kMarkQueueCapacity ||
        c.freeCount != kMarkQueueCapacity - c.count)
        return kMarkBadArg;
    std::memcpy(&sList[li], data, sizeof sList[li]);
    Q.init(&sQueue[li], &sList[li].ctrl, sList[li].entries);
    sModify[li] = 0;
    return kMarkOk;
}

int mSetCurList(int list) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    sCurList = li;
    return kMarkOk;
}

int mCreate(int list) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    emptyList(li);
    sModify[li] = 0;
    return kMarkOk;
}

int mGetData(int list, tMarkListData *out) {
    int li = resolve(list);
    if (li < 0 || !out) return kMarkBadArg;
    std::memcpy(out, &sList[li], sizeof *out);
    return kMarkOk;
}

int mDelMark(int list, int32_t index);

int mAddMark(int list, int type, int32_t number, char *name, uint64_t position, uint64_t trackPosition, int flags) {
    (void)type;
    (void)trackPosition;
    int li = resolve(list);
    if (li < 0 || !name) return kMarkBadArg;
    tMarkListData &d = sList[li];
    tQueue *q = &sQueue[li];

    {
        uint64_t pos[kMarkQueueCapacity];
        int32_t n = collectPositions(q, pos);
        int32_t i = lowerBound(pos, n, position);
        if (i < n && pos[i] == position) {
            if (!(flags & kMarkFlagReplace)) return kMarkBadArg;
            (void)mDelMark(li, i);
        }
    }
    if (d.ctrl.count >= kMarkMax) return kMarkListFull;

    tMarkParam prm{};
    prm.track = number;
    prm.position = position;
    int32_t qnum = number >= 0 ? number : d.ctrl.count + 1;

    int32_t label;
    if (flags & kMarkFlagReserved) {
        label = startsWith(name, "BC$") ? -1 : checkReservedNumber(name);
    } else {
        label = static_cast<int32_t>(d.nextLabel);
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02d", static_cast<int>(label % 100));
        std::strcat(name, digits);
    }

    int at = insertSorted(q, name, qnum, static_cast<uint32_t>(position), prm, flags & kMarkFlagSerial);
    if (at < 0) return at;
    Q.setNum1(q, at, label);
    Q.setStatus(q, at, 1);
    if (label >= 0) {
        raiseLabel(d, label);
        recomputeNextLabel(d);
    }
    sModify[li] = 1;
    return kMarkOk;
}

int mDelMark(int list, int32_t index) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    tMarkListData &d = sList[li];
    tQueue *q = &sQueue[li];
    if (index == -1)
        index = 0;
    else if (index == -2)
        index = d.ctrl.count - 1;
    int32_t label = -1;
    int rc = Q.getNum1(q, index, &label);
    if (rc == kQueueOk) rc = Q.del(q, index);
    if (rc == kQueueOk) lowerLabel(d, label);
    recomputeNextLabel(d);
    sModify[li] = 1;
    return rc == kQueueOk ? kMarkOk : kMarkBadArg;
}

int mSeekMark(int list, int32_t n, int mode) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.seek(&sQueue[li], n, mode);
}

int mChgMark(int, int32_t, int32_t) { return kMarkOk; }

int mGetSerialNum(int list, int32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getSerialNum(&sQueue[li], out);
}

int mEdit(int list, int type, int32_t a, int32_t b) {
    int li = resolve(list);
    if (li < 0) return kMarkOk;
    switch (type) {
    case kMarkEditBegin:
        std::memcpy(&sSnap, &sList[li], sizeof sSnap);
        Q.init(&sSnapQueue, &sSnap.ctrl, sSnap.entries);
        sEditMode = true;
        break;
    case kMarkEditCommit: {
        if (!sEditMode) break;
        // Emptying goes through create, but the modify flag is kept: a swap
        // made in edit mode must still reach the file.
        emptyList(li);
        tMarkListData &d = sList[li];
        tQueue *q = &sQueue[li];
        int32_t e = sSnap.ctrl.head;
        for (int32_t k = 0; k < sSnap.ctrl.count && e >= 0 && e < kMarkQueueCapacity; ++k) {
            const tQueueEntry &src = sSnap.entries[e];
            tMarkParam prm;
            std::memcpy(&prm, src.prm, sizeof prm);
            int at = insertSorted(q, src.name, src.number, src.count, prm, 0);
            if (at >= 0) {
                // Label numbers and exec flags survive the round trip.
                Q.setNum1(q, at, src.number1);
                Q.setStatus(q, at, src.status);
                raiseLabel(d, src.number1);
            }
            e = src.next;
        }
        recomputeNextLabel(d);
        sEditMode = false;
        break;
    }
    case kMarkEditCancel: sEditMode = false; break;
    case kMarkEditSwapTrk: {
        if (!sEditMode) break;
        int32_t e = sSnap.ctrl.head;
        for (int32_t k = 0; k < sSnap.ctrl.count && e >= 0 && e < kMarkQueueCapacity; ++k) {
            tQueueEntry &en = sSnap.entries[e];
            tMarkParam prm;
            std::memcpy(&prm, en.prm, sizeof prm);
            if (prm.track == a)
                prm.track = b;
            else if (prm.track == b)
                prm.track = a;
            std::memcpy(en.prm, &prm, sizeof prm);
            e = en.next;
        }
        sModify[li] = 1;
        break;
    }
    default: break;
    }
    return kMarkOk;
}

int mGetCurMarkName(int list, char *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getCurName(&sQueue[li], out);
}

int mGetCurListNum(int list, int32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getCurSeqNum(&sQueue[li], out);
}

int mGetCurMarkNum(int list, int32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getCurNum(&sQueue[li], out);
}

int mGetCurCount(int list, uint32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getCurCount(&sQueue[li], out);
}

int mGetCurMarkFs(int list, uint64_t *out) {
    int li = resolve(list);
    if (li < 0 || !out) return kMarkBadArg;
    tMarkParam prm;
    int rc = Q.getCurPrm(&sQueue[li], &prm);
    if (rc == kQueueOk) *out = prm.position;
    return rc;
}

int mGetMarkCnt(int list, int32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getRegCnt(&sQueue[li], out);
}

int mGetMarkName(int list, int32_t index, char *out) {
    if (!out) return kMarkBadArg;
    int li = resolve(list);
    if (li < 0) {
        out[0] = 0;
        return kMarkBadArg;
    }
    return Q.getName(&sQueue[li], index, out);
}

int mGetMarkNum(int list, int32_t index, int32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getNum(&sQueue[li], index, out);
}

// The parameter block of the mark at index.
int markParam(int list, int32_t index, tMarkParam *prm) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getPrm(&sQueue[li], index, prm);
}

int mGetMarkFs(int list, int32_t index, uint64_t *out) {
    if (!out) return kMarkBadArg;
    tMarkParam prm;
    int rc = markParam(list, index, &prm);
    *out = rc == kQueueOk ? prm.position : 0;
    return rc;
}

int mSetMarkFs(int list, int32_t index, uint64_t position) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    tMarkParam prm;
    int rc = Q.getPrm(&sQueue[li], index, &prm);
    if (rc != kQueueOk) return rc;
    prm.position = position;
    Q.setPrm(&sQueue[li], index, &prm);
    // The count mirrors the low 32 bits of the position.
    Q.setCount(&sQueue[li], index, static_cast<uint32_t>(position));
    sModify[li] = 1;
    return kMarkOk;
}

int mGetMarkTrk(int list, int32_t index, int32_t *out) {
    if (!out) return kMarkBadArg;
    tMarkParam prm;
    int rc = markParam(list, index, &prm);
    if (rc == kQueueOk) *out = prm.track;
    return rc;
}

int mGetMarkTrkFs(int list, int32_t index, uint64_t *out) {
    if (!out) return kMarkBadArg;
    tMarkParam prm;
    int rc = markParam(list, index, &prm);
    if (rc == kQueueOk) *out = prm.position;
    return rc;
}

int mGetMarkTime(int list, int32_t index, uint64_t *out) {
    if (!out) return kMarkBadArg;
    tMarkParam prm;
    int rc = markParam(list, index, &prm);
    if (rc == kQueueOk) *out = prm.time;
    return rc;
}

int mSetMarkName(int list, int32_t index, const char *name) {
    int li = resolve(list);
    if (li < 0 || !name) return kMarkBadArg;
    tMarkListData &d = sList[li];
    tQueue *q = &sQueue[li];
    int32_t old = -1;
    if (Q.getNum1(q, index, &old) != kQueueOk) return kMarkBadArg;
    Q.setName(q, index, name);
    lowerLabel(d, old);
    int32_t label = checkReservedNumber(name);
    raiseLabel(d, label);
    recomputeNextLabel(d);
    Q.setNum1(q, index, label);
    Q.setStatus(q, index, 1);
    sModify[li] = 1;
    return kMarkOk;
}

int mSetMarkTime(int, int32_t, int, uint64_t) { return kMarkOk; }

int mSearchMark(int list, uint64_t position, int mode) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    uint64_t pos[kMarkQueueCapacity];
    int32_t n = collectPositions(&sQueue[li], pos);
    if (n == 0) return mode == kMarkSearchExact ? -1 : 0;
    int32_t i = lowerBound(pos, n, position);
    if (i < n && pos[i] == position) {
        if (mode & kMarkSearchExact) return i;
        return (mode & kMarkSearchAfter) ? i + 1 : i - 1;
    }
    if (mode & kMarkSearchAfter) return i;
    if (mode & kMarkSearchBefore) return i - 1;
    return -1;
}

int mSetModifyFlag(int list) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    sModify[li] = 1;
    return kMarkOk;
}

int mClrModifyFlag(int list) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    sModify[li] = 0;
    return kMarkOk;
}

int mGetModifyFlag(int list, int32_t *out) {
    int li = resolve(list);
    if (li < 0 || !out) return kMarkBadArg;
    *out = sModify[li];
    return kMarkOk;
}

int mSearchMarkNum(int list, int32_t number, int mode) {
    int li = resolve(list);
    if (li < 0) return -1;
    const tQueue *q = &sQueue[li];
    const tQueueCtrlBlock *c = q->ctrl;
    if (c->count == 0) return mode == 1 ? -1 : 0;
    int32_t e = c->head;
    for (int32_t i = 0; i < c->count && e >= 0 && e < c->capacity; ++i) {
        if (q->entries[e].number == number) return i;
        e = q->entries[e].next;
    }
    return -1;
}

int mRenumber(int list) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    tQueue *q = &sQueue[li];
    int32_t e = q->ctrl->head;
    for (int32_t i = 0; i < q->ctrl->count && e >= 0 && e < q->ctrl->capacity; ++i) {
        q->entries[e].number = i + 1;
        e = q->entries[e].next;
    }
    sModify[li] = 1;
    return kMarkOk;
}

int mGetNextMarkNum(int list, uint32_t *out) {
    int li = resolve(list);
    if (li < 0 || !out) return kMarkBadArg;
    *out = sList[li].nextLabel;
    return kMarkOk;
}

int mSetExecFlag(int list, int32_t index, uint32_t flag) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.setStatus(&sQueue[li], index, flag);
}

int mGetExecFlag(int list, int32_t index, uint32_t *out) {
    int li = resolve(list);
    if (li < 0) return kMarkBadArg;
    return Q.getStatus(&sQueue[li], index, out);
}

}  // namespace

int checkReservedNumber(const char *name) {
    static const char *const kPrefixes[] = {"MARK", "PRE ", "REC ", "END ", "TIME", "OVER", "UNLK"};
    if (!name || std::strlen(name) != 6) return -1;
    bool known = false;
    for (const char *p : kPrefixes) known = known || std::strncmp(name, p, 4) == 0;
    if (!known) return -1;
    char d1 = name[4], d2 = name[5];
    if (d1 < '0' || d1 > '9' || d2 < '0' || d2 > '9') return -1;
    return (d1 - '0') * 10 + (d2 - '0');
}

const tMarkListCtrl gMarkList = {
    mInit,            // init
    mSetCurList,      // setCurList
    mCreate,          // create
    mGetData,         // getData
    mAddMark,         // addMark
    mDelMark,         // delMark
    mSeekMark,        // seekMark
    mChgMark,         // chgMark
    mGetSerialNum,    // getSerialNum
    mEdit,            // edit
    mGetCurMarkName,  // getCurMarkName
    mGetCurListNum,   // getCurListNum
    mGetCurMarkNum,   // getCurMarkNum
    mGetCurCount,     // getCurCount
    mGetCurMarkFs,    // getCurMarkFs
    mGetMarkCnt,      // getMarkCnt
    mGetMarkName,     // getMarkName
    mGetMarkNum,      // getMarkNum
    mGetMarkFs,       // getMarkFs
    mSetMarkFs,       // setMarkFs
    mGetMarkTrk,      // getMarkTrk
    mGetMarkTrkFs,    // getMarkTrkFs
    mGetMarkTime,     // getMarkTime
    mSetMarkName,     // setMarkName
    mSetMarkTime,     // setMarkTime
    mSearchMark,      // searchMark
    mSetModifyFlag,   // setModifyFlag
    mClrModifyFlag,   // clrModifyFlag
    mGetModifyFlag,   // getModifyFlag
    mSearchMarkNum,   // searchMarkNum
    mRenumber,        // renumber
    mGetNextMarkNum,  // getNextMarkNum
    mSetExecFlag,     // setExecFlag
    mGetExecFlag,     // getExecFlag
};
static_assert(sizeof(tMarkListCtrl) == 34 * sizeof(void (*)()), "one slot per mark list operation");
