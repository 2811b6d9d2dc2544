#include "audiofile/queuectrl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const tQueueCtrl &Q = gQueueCtrl;

struct Fixture {
    tQueueCtrlBlock ctrl{};
    tQueueEntry entries[100]{};
    tQueue q{};
    explicit Fixture(int cap = 100) { EXPECT_EQ(Q.create(&q, &ctrl, entries, cap), kQueueOk); }

    int add(int pos, const std::string &name, int num = 0) { return Q.add(&q, pos, name.c_str(), num, 0, nullptr, 0); }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        int32_t n = 0;
        Q.getRegCnt(&q, &n);
        for (int32_t i = 0; i < n; ++i) {
            char buf[kQueueNameBytes];
            EXPECT_EQ(Q.getName(&q, i, buf), kQueueOk);
            out.emplace_back(buf);
        }
        return out;
    }
    int32_t curPos() const {
        int32_t p = 0;
        Q.getCurSeqNum(&q, &p);
        return p;
    }
    std::string curName() const {
        char buf[kQueueNameBytes] = "?";
        if (Q.getCurName(&q, buf) != kQueueOk) return "<none>";
        return buf;
    }
};

using V = std::vector<std::string>;

TEST(QueueCtrl, CreateLaysOutTheFreeList) {
    Fixture f(5);
    EXPECT_EQ(f.ctrl.freeCount, 5);
    EXPECT_EQ(f.ctrl.freeHead, 0);
    EXPECT_EQ(f.ctrl.freeTail, 4);
    EXPECT_EQ(f.ctrl.head, kQueueEnd);
    EXPECT_EQ(f.ctrl.tail, kQueueStart);
    EXPECT_EQ(f.ctrl.curEntry, -1);
    EXPECT_EQ(f.ctrl.curPos, -1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.entries[i].number, i);
        EXPECT_EQ(f.entries[i].prev, i - 1);
        EXPECT_EQ(f.entries[i].next, i < 4 ? i + 1 : kQueueEnd);
    }
}

TEST(QueueCtrl, CapacityAndFullQueue) {
    Fixture f;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(f.add(kQueueAtTail, "e" + std::to_string(i)), kQueueOk);
    EXPECT_EQ(f.ctrl.freeCount, 0);
    EXPECT_EQ(f.ctrl.freeHead, kQueueEnd);
    EXPECT_EQ(f.add(kQueueAtTail, "over"), kQueueFull);
    int32_t n = 0;
    Q.getRegCnt(&f.q, &n);
    EXPECT_EQ(n, 100);

    // Freed entries are reused, and the queue fills up again at the same count.
    ASSERT_EQ(Q.del(&f.q, 50), kQueueOk);
    ASSERT_EQ(Q.del(&f.q, 0), kQueueOk);
    EXPECT_EQ(f.add(kQueueAtHead, "a"), kQueueOk);
    EXPECT_EQ(f.add(kQueueAtHead, "b"), kQueueOk);
    EXPECT_EQ(f.add(kQueueAtHead, "c"), kQueueFull);
}

TEST(QueueCtrl, InsertionPositions) {
    Fixture f;
    ASSERT_EQ(f.add(0, "A"), kQueueOk);  // into an empty list
    EXPECT_EQ(f.add(0, "B"), kQueueOk);  // after position 0 of one entry
    EXPECT_EQ(f.names(), (V{"A", "B"}));
    EXPECT_EQ(f.add(kQueueAtHead, "H"), kQueueOk);
    EXPECT_EQ(f.add(kQueueAtTail, "T"), kQueueOk);
    EXPECT_EQ(f.names(), (V{"H", "A", "B", "T"}));
    EXPECT_EQ(f.add(1, "M"), kQueueOk);   // after A
    EXPECT_EQ(f.add(99, "Z"), kQueueOk);  // beyond the end appends
    EXPECT_EQ(f.names(), (V{"H", "A", "M", "B", "T", "Z"}));
    EXPECT_STREQ(f.entries[f.ctrl.tail].name, "Z");
    EXPECT_EQ(f.entries[f.ctrl.tail].next, kQueueEnd);

    // A position below -2 is refused without losing a free entry.
    int32_t freeBefore = f.ctrl.freeCount;
    EXPECT_EQ(f.add(-3, "X"), kQueueBadArg);
    EXPECT_EQ(f.ctrl.freeCount, freeBefore);

    // Links agree in both directions.
    std::vector<std::string> backwards;
    for (int32_t e = f.ctrl.tail; e >= 0; e = f.entries[e].prev) backwards.emplace_back(f.entries[e].name);
    EXPECT_EQ(backwards, (V{"Z", "T", "B", "M", "A", "H"}));
}

TEST(QueueCtrl, OutOfRangeLookUps) {
    Fixture f;
    f.add(kQueueAtTail, "a");
    f.add(kQueueAtTail, "b");
    f.add(kQueueAtTail, "c");
    char name[kQueueNameBytes] = "junk";
    EXPECT_EQ(Q.getName(&f.q, 5, name), kQueueBadArg);
    EXPECT_STREQ(name, "");
    int32_t v = 1234;
    uint32_t u = 4321;
    uint8_t prm[kQueuePrmBytes];
    for (int32_t pos : {-1, 3, 100, 1000}) {
        SCOPED_TRACE(pos);
        EXPECT_EQ(Q.getNum(&f.q, pos, &v), kQueueBadArg);
        EXPECT_EQ(Q.getNum1(&f.q, pos, &v), kQueueBadArg);
        EXPECT_EQ(Q.getBufNum(&f.q, pos, &v), kQueueBadArg);
        EXPECT_EQ(Q.getCount(&f.q, pos, &u), kQueueBadArg);
        EXPECT_EQ(Q.getStatus(&f.q, pos, &u), kQueueBadArg);
        EXPECT_EQ(Q.getPrm(&f.q, pos, prm), kQueueBadArg);
        EXPECT_EQ(Q.setName(&f.q, pos, "x"), kQueueBadArg);
        EXPECT_EQ(Q.setNum(&f.q, pos, 1), kQueueBadArg);
        EXPECT_EQ(Q.del(&f.q, pos), kQueueBadArg);
        EXPECT_EQ(Q.chg(&f.q, 0, pos), kQueueBadArg);
        EXPECT_EQ(Q.seek(&f.q, pos, kQueueSeekAbs), kQueueBadArg);
    }
    EXPECT_EQ(v, 1234);  // out values stay unwritten
    EXPECT_EQ(u, 4321u);

    Fixture empty;
    EXPECT_EQ(Q.del(&empty.q, 0), kQueueBadArg);
    EXPECT_EQ(Q.getCurNum(&empty.q, &v), kQueueBadArg);
}

TEST(QueueCtrl, NamesAreCutAndFieldsCopied) {
    Fixture f;
    std::string longName(300, 'n');
    uint8_t prm[kQueuePrmBytes];
    for (int i = 0; i < kQueuePrmBytes; ++i) prm[i] = static_cast<uint8_t>(i + 1);
    ASSERT_EQ(Q.add(&f.q, kQueueAtTail, longName.c_str(), 7, 0xDEADBEEF, prm, 1), kQueueOk);
    char out[kQueueNameBytes];
    ASSERT_EQ(Q.getName(&f.q, 0, out), kQueueOk);
    EXPECT_EQ(std::string(out), std::string(257, 'n'));
    int32_t num = 0, serial = 0;
    uint32_t cnt = 0, st = 9;
    Q.getNum(&f.q, 0, &num);
    Q.getCount(&f.q, 0, &cnt);
    Q.getStatus(&f.q, 0, &st);
    Q.getSerialNum(&f.q, &serial);
    EXPECT_EQ(num, 7);
    EXPECT_EQ(cnt, 0xDEADBEEFu);
    EXPECT_EQ(st, 0u);
    EXPECT_EQ(serial, 1);  // flags bit 0
    uint8_t back[kQueuePrmBytes];
    Q.getPrm(&f.q, 0, back);
    EXPECT_EQ(std::memcmp(back, prm, sizeof prm), 0);
}

TEST(QueueCtrl, ChgExchangesPayloadOnly) {
    Fixture f;
    Q.add(&f.q, kQueueAtTail, "a", 1, 10, nullptr, 0);
    Q.add(&f.q, kQueueAtTail, "b", 2, 20, nullptr, 0);
    Q.setNum1(&f.q, 0, 100);
    Q.setStatus(&f.q, 0, 5);
    ASSERT_EQ(Q.chg(&f.q, 0, 0), kQueueOk);
    EXPECT_EQ(f.names(), (V{"a", "b"}));
    ASSERT_EQ(Q.chg(&f.q, 0, 1), kQueueOk);
    EXPECT_EQ(f.names(), (V{"b", "a"}));
    int32_t num = 0, n1 = 0;
    uint32_t cnt = 0, st = 0;
    Q.getNum(&f.q, 0, &num);
    Q.getCount(&f.q, 0, &cnt);
    Q.getNum1(&f.q, 0, &n1);
    Q.getStatus(&f.q, 0, &st);
    EXPECT_EQ(num, 2);
    EXPECT_EQ(cnt, 20u);
    EXPECT_EQ(n1, 100);  // stays with the slot
    EXPECT_EQ(st, 5u);
}

TEST(QueueCtrl, CursorFollowsDeletionsAndSeeks) {
    Fixture f;
    for (const char *n : {"a", "b", "c", "d"}) f.add(kQueueAtTail, n);
    EXPECT_EQ(f.curName(), "a");  // the first entry into an empty list

    ASSERT_EQ(Q.seek(&f.q, 0, kQueueSeekTail), kQueueOk);
    EXPECT_EQ(f.curName(), "d");
    ASSERT_EQ(Q.del(&f.q, 3), kQueueOk);  // the cursor's entry was the last one
    EXPECT_EQ(f.curName(), "c");
    EXPECT_EQ(f.curPos(), 2);

    ASSERT_EQ(Q.seek(&f.q, 1, kQueueSeekAbs), kQueueOk);
    ASSERT_EQ(Q.del(&f.q, 1), kQueueOk);  // on the cursor: the next entry takes its place
    EXPECT_EQ(f.curName(), "c");
    EXPECT_EQ(f.curPos(), 1);

    ASSERT_EQ(Q.del(&f.q, 0), kQueueOk);  // before the cursor: it moves back by one
    EXPECT_EQ(f.curName(), "c");
    EXPECT_EQ(f.curPos(), 0);

    ASSERT_EQ(Q.del(&f.q, 0), kQueueOk);  // now empty
    EXPECT_EQ(f.curName(), "<none>");
    EXPECT_EQ(f.ctrl.head, kQueueEnd);
    EXPECT_EQ(f.ctrl.tail, kQueueStart);
    EXPECT_EQ(f.ctrl.freeCount, 100);

    for (const char *n : {"a", "b", "c"}) f.add(kQueueAtTail, n);
    ASSERT_EQ(Q.seek(&f.q, 1, kQueueSeekAbs), kQueueOk);
    EXPECT_EQ(Q.seek(&f.q, 1, kQueueSeekRel), kQueueOk);
    EXPECT_EQ(f.curName(), "c");
    EXPECT_EQ(Q.seek(&f.q, 1, kQueueSeekRel), kQueueBadArg);
    EXPECT_EQ(f.curName(), "c");
    EXPECT_EQ(Q.seek(&f.q, 0, kQueueSeekHead), kQueueOk);
    EXPECT_EQ(f.curName(), "a");
    // An insertion before the cursor keeps position and entry in step.
    ASSERT_EQ(f.add(kQueueAtHead, "h"), kQueueOk);
    EXPECT_EQ(f.curName(), "a");
    EXPECT_EQ(f.curPos(), 1);
    EXPECT_EQ(Q.seek(&f.q, 7, kQueueSeekDetach), kQueueOk);
    EXPECT_EQ(f.curName(), "<none>");
    EXPECT_EQ(f.curPos(), 7);
}

TEST(QueueCtrl, InitBindsACopiedList) {
    struct Block {
        tQueueCtrlBlock ctrl;
        tQueueEntry entries[10];
    } a{}, b{};
    tQueue qa{}, qb{};
    Q.create(&qa, &a.ctrl, a.entries, 10);
    Q.add(&qa, kQueueAtTail, "x", 0, 0, nullptr, 0);
    Q.add(&qa, kQueueAtHead, "y", 0, 0, nullptr, 0);
    std::memcpy(&b, &a, sizeof b);
    ASSERT_EQ(Q.init(&qb, &b.ctrl, b.entries), kQueueOk);
    char out[kQueueNameBytes];
    Q.getName(&qb, 0, out);
    EXPECT_STREQ(out, "y");
    Q.getName(&qb, 1, out);
    EXPECT_STREQ(out, "x");
}

}  // namespace

TEST(QueueCtrl, AddRefusesBoundStorageWhoseLinksLeaveTheArray) {
    // init binds storage as the caller hands it (a whole-list copy, say);
    // damaged head or tail links must not become writes outside the array.
    for (int32_t bad : {-7, 100, 5000}) {
        Fixture f(8);
        ASSERT_EQ(f.add(kQueueAtTail, "a"), kQueueOk);
        for (bool head : {true, false}) {
            tQueueCtrlBlock ctrl = f.ctrl;
            tQueueEntry entries[8];
            std::memcpy(entries, f.entries, sizeof entries);
            (head ? ctrl.head : ctrl.tail) = bad;
            tQueue q{};
            ASSERT_EQ(Q.init(&q, &ctrl, entries), kQueueOk);
            const int32_t freeBefore = ctrl.freeCount;
            EXPECT_EQ(Q.add(&q, kQueueAtTail, "b", 0, 0, nullptr, 0), kQueueBadArg) << bad;
            EXPECT_EQ(Q.add(&q, kQueueAtHead, "c", 0, 0, nullptr, 0), kQueueBadArg) << bad;
            EXPECT_EQ(ctrl.freeCount, freeBefore);  // no free entry taken
        }
    }
}
