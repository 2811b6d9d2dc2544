#include "audiofile/marklist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const tMarkListCtrl &M = gMarkList;

// Adds a mark through a buffer large enough for the appended label digits.
int add(int list, uint64_t pos, const std::string &name = "M", int flags = 4, int32_t number = -1) {
    char buf[kMarkNameBytes + 4] = {};
    std::strncpy(buf, name.c_str(), kMarkNameBytes - 1);
    return M.addMark(list, 1, number, buf, pos, pos, flags);
}

std::vector<uint64_t> positions(int list) {
    int32_t n = 0;
    M.getMarkCnt(list, &n);
    std::vector<uint64_t> out;
    for (int32_t i = 0; i < n; ++i) {
        uint64_t p = 0;
        EXPECT_EQ(M.getMarkFs(list, i, &p), kMarkOk);
        out.push_back(p);
    }
    return out;
}

std::string nameAt(int list, int32_t i) {
    char buf[kMarkNameBytes];
    if (M.getMarkName(list, i, buf) != kMarkOk) return "<bad>";
    return buf;
}

int32_t numAt(int list, int32_t i) {
    int32_t v = -99;
    M.getMarkNum(list, i, &v);
    return v;
}

uint32_t nextLabel(int list) {
    uint32_t v = 0;
    M.getNextMarkNum(list, &v);
    return v;
}

int32_t modifyFlag(int list) {
    int32_t v = -1;
    M.getModifyFlag(list, &v);
    return v;
}

using U = std::vector<uint64_t>;

TEST(MarkList, KeptSortedWhateverTheOrder) {
    ASSERT_EQ(M.create(1), kMarkOk);
    EXPECT_EQ(modifyFlag(1), 0);
    for (uint64_t p : {300u, 100u, 200u, 50u, 250u}) ASSERT_EQ(add(1, p, "M", 0), kMarkOk);
    EXPECT_EQ(positions(1), (U{50, 100, 200, 250, 300}));
    EXPECT_EQ(modifyFlag(1), 1);
    // Numbers were the mark count at the time of adding; renumber follows
    // the position order.
    EXPECT_EQ(numAt(1, 0), 4);
    ASSERT_EQ(M.renumber(1), kMarkOk);
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(numAt(1, i), i + 1);

    // Positions above 32 bits keep their order and their full value.
    ASSERT_EQ(M.create(1), kMarkOk);
    ASSERT_EQ(add(1, 0x100000010ull), kMarkOk);
    ASSERT_EQ(add(1, 0x20), kMarkOk);
    EXPECT_EQ(positions(1), (U{0x20, 0x100000010ull}));
    ASSERT_EQ(M.seekMark(1, 1, kQueueSeekAbs), kMarkOk);
    uint32_t cnt = 0;
    uint64_t fs = 0;
    M.getCurCount(1, &cnt);
    M.getCurMarkFs(1, &fs);
    EXPECT_EQ(cnt, 0x10u);
    EXPECT_EQ(fs, 0x100000010ull);
}

TEST(MarkList, HundredthMarkIsRefused) {
    ASSERT_EQ(M.create(2), kMarkOk);
    for (int i = 0; i < kMarkMax; ++i) ASSERT_EQ(add(2, 1000 - i * 10, "M", 0), kMarkOk) << i;
    EXPECT_EQ(add(2, 5, "M", 0), kMarkListFull);
    EXPECT_EQ(add(2, 5, "MARK01", 4), kMarkListFull);
    int32_t n = 0;
    M.getMarkCnt(2, &n);
    EXPECT_EQ(n, kMarkMax);
    EXPECT_EQ(nextLabel(2), 100u);  // every label number 1..99 is taken
    ASSERT_EQ(M.delMark(2, -2), kMarkOk);
    EXPECT_EQ(add(2, 5, "M", 0), kMarkOk);
    EXPECT_EQ(positions(2).front(), 5u);
}

TEST(MarkList, SamePositionRefusedOrReplacedByFlags) {
    ASSERT_EQ(M.create(3), kMarkOk);
    ASSERT_EQ(add(3, 100, "A", 4), kMarkOk);
    ASSERT_EQ(add(3, 200, "B", 4), kMarkOk);
    EXPECT_EQ(add(3, 100, "C", 0), kMarkBadArg);
    EXPECT_EQ(add(3, 100, "C", 4), kMarkBadArg);
    EXPECT_EQ(nameAt(3, 0), "A");
    EXPECT_EQ(add(3, 100, "C", 2 | 4), kMarkOk);
    EXPECT_EQ(positions(3), (U{100, 200}));
    EXPECT_EQ(nameAt(3, 0), "C");
}

TEST(MarkList, LabelNumbering) {
    ASSERT_EQ(M.create(4), kMarkOk);
    char buf[32] = "MARK07";
    ASSERT_EQ(M.addMark(4, 1, -1, buf, 10, 10, 0), kMarkOk);
    EXPECT_STREQ(buf, "MARK0701");  // the caller's buffer gets the number too
    EXPECT_EQ(nameAt(4, 0), "MARK0701");
    EXPECT_EQ(nextLabel(4), 2u);

    ASSERT_EQ(M.create(4), kMarkOk);
    ASSERT_EQ(add(4, 10, "MARK07", 4), kMarkOk);
    EXPECT_EQ(nameAt(4, 0), "MARK07");
    EXPECT_EQ(nextLabel(4), 1u);  // 7 is taken, 1 is still free

    // Labels 1, 2 and 4 taken: next is 3; deleting the holder of 2 frees 2.
    ASSERT_EQ(M.create(4), kMarkOk);
    ASSERT_EQ(add(4, 100, "MARK01", 4), kMarkOk);
    ASSERT_EQ(add(4, 200, "REC 02", 4), kMarkOk);
    ASSERT_EQ(add(4, 300, "TIME04", 4), kMarkOk);
    ASSERT_EQ(add(4, 400, "BC$X12", 4), kMarkOk);  // never has a label
    EXPECT_EQ(nextLabel(4), 3u);
    ASSERT_EQ(M.delMark(4, 1), kMarkOk);
    EXPECT_EQ(nextLabel(4), 2u);
    // Renaming moves the label: 1 becomes free, 2 taken.
    ASSERT_EQ(M.setMarkName(4, 0, "OVER02"), kMarkOk);
    EXPECT_EQ(nextLabel(4), 1u);
    EXPECT_EQ(M.setMarkName(4, 9, "OVER03"), kMarkBadArg);

    // A bad index still leaves the list marked as modified.
    M.clrModifyFlag(4);
    EXPECT_EQ(M.delMark(4, 7), kMarkBadArg);
    EXPECT_EQ(modifyFlag(4), 1);
}

TEST(MarkList, ReservedNames) {
    struct Row {
        const char *name;
        int expect;
    } rows[] = {
        {"TIME12", 12}, {"MARK07", 7},   {"PRE 00", 0},  {"END 99", 99}, {"UNLK42", 42}, {"TIME1", -1},
        {"NOTE12", -1}, {"MARK123", -1}, {"MARK1a", -1}, {"mark12", -1}, {"", -1},
    };
    for (const Row &r : rows) EXPECT_EQ(checkReservedNumber(r.name), r.expect) << r.name;
}

TEST(MarkList, SearchMarkModes) {
    ASSERT_EQ(M.create(5), kMarkOk);
    EXPECT_EQ(M.searchMark(5, 150, 1), -1);
    EXPECT_EQ(M.searchMark(5, 150, 4), 0);
    for (uint64_t p : {100u, 200u, 300u}) ASSERT_EQ(add(5, p), kMarkOk);
    struct Row {
        uint64_t pos;
        int mode;
        int expect;
    } rows[] = {
        {150, 4, 1}, {150, 2, 0}, {150, 1, -1}, {150, 0, -1}, {200, 1, 1}, {200, 5, 1}, {200, 4, 2},
        {200, 2, 0}, {200, 0, 0}, {50, 2, -1},  {50, 4, 0},   {350, 2, 2}, {350, 4, 3},
    };
    for (const Row &r : rows) EXPECT_EQ(M.searchMark(5, r.pos, r.mode), r.expect) << r.pos << " mode " << r.mode;

    M.renumber(5);
    EXPECT_EQ(M.searchMarkNum(5, 3, 1), 2);
    EXPECT_EQ(M.searchMarkNum(5, 9, 1), -1);
    M.create(5);
    EXPECT_EQ(M.searchMarkNum(5, 3, 1), -1);
    EXPECT_EQ(M.searchMarkNum(5, 3, 0), 0);
}

TEST(MarkList, CurrentListAndBadLists) {
    ASSERT_EQ(M.create(6), kMarkOk);
    ASSERT_EQ(M.setCurList(6), kMarkOk);
    ASSERT_EQ(add(kMarkCurrentList, 42), kMarkOk);
    EXPECT_EQ(positions(6), (U{42}));
    EXPECT_EQ(M.setCurList(8), kMarkBadArg);
    EXPECT_EQ(add(8, 1), kMarkBadArg);
    EXPECT_EQ(add(-2, 1), kMarkBadArg);
    M.setCurList(0);

    // Empty-list look-ups.
    ASSERT_EQ(M.create(6), kMarkOk);
    uint64_t fs = 77;
    char name[kMarkNameBytes] = "x";
    EXPECT_EQ(M.getMarkFs(6, 0, &fs), kMarkBadArg);
    EXPECT_EQ(fs, 0u);
    EXPECT_EQ(M.getMarkName(6, 0, name), kMarkBadArg);
    EXPECT_STREQ(name, "");
}

TEST(MarkList, DataRoundTripAndEdit) {
    ASSERT_EQ(M.create(7), kMarkOk);
    ASSERT_EQ(add(7, 100, "MARK01", 4, 1), kMarkOk);
    ASSERT_EQ(add(7, 200, "MARK02", 4, 2), kMarkOk);
    ASSERT_EQ(M.setExecFlag(7, 1, 0), kMarkOk);

    static tMarkListData data;
    ASSERT_EQ(M.getData(7, &data), kMarkOk);
    ASSERT_EQ(M.create(0), kMarkOk);
    ASSERT_EQ(M.init(0, &data), kMarkOk);
    EXPECT_EQ(positions(0), (U{100, 200}));
    EXPECT_EQ(nameAt(0, 1), "MARK02");
    data.ctrl.capacity = 5;
    EXPECT_EQ(M.init(0, &data), kMarkBadArg);

    // Exchange track values in edit mode; they take effect on commit, and
    // label numbers, exec flags and the modify flag survive the rebuild.
    M.clrModifyFlag(7);
    ASSERT_EQ(M.edit(7, kMarkEditBegin, 0, 0), kMarkOk);
    ASSERT_EQ(M.edit(7, kMarkEditSwapTrk, 1, 2), kMarkOk);
    int32_t trk = 0;
    M.getMarkTrk(7, 0, &trk);
    EXPECT_EQ(trk, 1);  // not yet
    ASSERT_EQ(M.edit(7, kMarkEditCommit, 0, 0), kMarkOk);
    M.getMarkTrk(7, 0, &trk);
    EXPECT_EQ(trk, 2);
    M.getMarkTrk(7, 1, &trk);
    EXPECT_EQ(trk, 1);
    EXPECT_EQ(positions(7), (U{100, 200}));
    EXPECT_EQ(modifyFlag(7), 1);
    uint32_t exec = 9;
    M.getExecFlag(7, 1, &exec);
    EXPECT_EQ(exec, 0u);
    EXPECT_EQ(nextLabel(7), 3u);

    // Commit outside edit mode does nothing.
    ASSERT_EQ(M.edit(7, kMarkEditCommit, 0, 0), kMarkOk);
    EXPECT_EQ(positions(7), (U{100, 200}));
}

}  // namespace
