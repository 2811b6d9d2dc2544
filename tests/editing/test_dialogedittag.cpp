// The tag editor, driven as its owners drive it: the tag type, a record
// in, OK, the record out; Load Tag Data against the built library and DSF
// files with tags; Copy and Paste, Select, Get Current Time and Reset; the
// DSDIFF Latin-1 rule; texts longer than the record's buffers; the private
// folder of loaded pictures; the editor without its library.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "editing/dialogedittag.h"
#include "editing/tagtexts.h"
#include "editingtestutil.h"
#include "morphex/dsftagfixture.h"
#include "testutil.h"

namespace {

using edtest::MessageBoxes;
using edtest::q;

QString tagLibrary() {
    const char *dir = std::getenv("SONVEX_BIN_DIR");
    return q(dir ? dir : ".") + QStringLiteral("/libmorphex.so");
}

// A record with buffers of the sizes owners allocate, plus a guard area
// behind each buffer that a writer must never touch.
struct Record {
    static constexpr wchar16 kGuard = 0x7777;
    static constexpr int kGuardUnits = 16;

    Record() {
        for (auto *b : {&title, &artist, &album, &genre, &picture})
            b->assign(kTagTextUnits + kGuardUnits, kGuard), (*b)[0] = 0;
        comment.assign(kTagCommentUnits + kGuardUnits, kGuard);
        comment[0] = 0;
        info.title = title.data();
        info.artist = artist.data();
        info.album = album.data();
        info.genre = genre.data();
        info.picturePath = picture.data();
        info.comment = comment.data();
        info.year = info.hour = info.minute = info.second = info.frame = -1;
    }
    static void put(std::vector<wchar16> &b, const QString &s) {
        ASSERT_LT(s.size(), static_cast<qsizetype>(b.size() - kGuardUnits));
        for (int i = 0; i < s.size(); ++i) b[i] = static_cast<wchar16>(s.at(i).unicode());
        b[s.size()] = 0;
    }
    static QString get(const std::vector<wchar16> &b) { return QString::fromStdU16String(sxtest::s16(b.data())); }
    bool guardsIntact() const {
        for (const auto *b : {&title, &artist, &album, &genre, &picture, &comment})
            for (size_t i = b->size() - kGuardUnits; i < b->size(); ++i)
                if ((*b)[i] != kGuard) return false;
        return true;
    }

    std::vector<wchar16> title, artist, album, genre, picture, comment;
    tID3tagInfo info{};
};

// A small PNG of one colour.
std::vector<uint8_t> png(QColor colour) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A DSF file with an ID3v2.3 tag: texts, date, time, comment, genre and,
// when given, a PNG picture.
std::vector<uint8_t> taggedDsf(const std::string &title, const std::vector<uint8_t> &picture) {
    using namespace dsffix;
    std::vector<std::vector<uint8_t>> frames = {
        frame("TIT2", latin(title)),  frame("TPE1", latin("Quartet")),
        frame("TALB", latin("Live")), frame("TCON", latin("Jazz")),
        frame("TYER", latin("2019")), frame("TDAT", latin("2403")),
        frame("TIME", latin("2107")), frame("COMM", {0, 'e', 'n', 'g', 0, 'n', 'o', 't', 'e', 's'}),
    };
    if (!picture.empty()) {
        std::vector<uint8_t> apic = {0};
        for (char c : std::string("image/png")) apic.push_back(static_cast<uint8_t>(c));
        apic.insert(apic.end(), {0, 3, 0});
        apic.insert(apic.end(), picture.begin(), picture.end());
        frames.push_back(frame("APIC", apic));
    }
    return withTag(dsfFile(), tag(3, frames));
}

class TagEditor : public ::testing::Test {
protected:
    void SetUp() override {
        DialogEditTag::setLibraryPath(tagLibrary());
        mOldCurrent = QDir::currentPath();
        dlg = std::make_unique<DialogEditTag>();
    }
    void TearDown() override {
        dlg.reset();
        QDir::setCurrent(mOldCurrent);
        DialogEditTag::sGetOpenFileName = mOpenFile;
        DialogEditTag::sCurrentDateTime = mClock;
        DialogEditTag::setLibraryPath(QString());
    }

    template <class T>
    T *child(const char *name) {
        T *w = dlg->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit *field(const char *name) { return child<QLineEdit>(name); }
    QComboBox *box(const char *name) { return child<QComboBox>(name); }
    void click(const char *name) { child<QPushButton>(name)->click(); }
    void ok() { child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok)->click(); }
    void cancel() { child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Cancel)->click(); }

    bool showsNoPhoto() {
        const QPixmap shown = child<QLabel>("labelPhoto")->pixmap();
        return !shown.isNull() &&
               shown.toImage() == QPixmap(QStringLiteral(":/resources2/parts/NoPhoto.png")).toImage();
    }
    QColor photoColour() { return child<QLabel>("labelPhoto")->pixmap().toImage().pixelColor(1, 1); }

    // The picker answers with this path (empty: cancelled) and remembers
    // what it was asked.
    void pick(const QString &path) {
        sPicked = path;
        sAsked.clear();
        DialogEditTag::sGetOpenFileName = [](QWidget *, const QString &caption, const QString &dir,
                                             const QString &filter) {
            sAsked.push_back({caption, dir, filter});
            return sPicked;
        };
    }
    struct Asked {
        QString caption, dir, filter;
    };
    static inline QString sPicked;
    static inline std::vector<Asked> sAsked;

    // A full record: every field set.
    Record fullRecord() {
        Record r;
        Record::put(r.title, QStringLiteral("Song"));
        Record::put(r.artist, QStringLiteral("Band"));
        Record::put(r.album, QStringLiteral("Album"));
        Record::put(r.comment, QStringLiteral("Comment"));
        Record::put(r.genre, QStringLiteral("Rock"));
        r.info.year = 2021;
        r.info.month = 3;
        r.info.day = 14;
        r.info.hour = 15;
        r.info.minute = 9;
        r.info.second = 26;
        r.info.frame = 5;
        return r;
    }

    std::string file(const std::string &name) { return dir.file(name); }

    sxtest::TempDir dir;
    std::unique_ptr<DialogEditTag> dlg;

private:
    QString mOldCurrent;
    DialogEditTag::tOpenFileNameFunc mOpenFile = DialogEditTag::sGetOpenFileName;
    DialogEditTag::tCurrentDateTimeFunc mClock = DialogEditTag::sCurrentDateTime;
};

}  // namespace

TEST(TagTexts, LatinCheckAndGenreTables) {
    struct {
        QString text;
        bool latin;
    } cases[] = {
        {QString(), true},
        {QStringLiteral("Abc 123"), true},
        {QString::fromUtf16(u"Caf\u00E9 \u00FF"), true},
        {QString::fromUtf16(u"\u0100"), false},
        {QString::fromUtf16(u"Dvo\u0159\u00E1k"), false},
        {QString::fromUtf16(u"\u65E5\u672C"), false},
        {QString::fromUtf16(u"a\U0001F3B5"), false},
    };
    for (const auto &c : cases) EXPECT_EQ(DialogEditTag::checkLatinCharacter(c.text), c.latin) << c.text.toStdString();

    // Both genre tables hold the same 126 names once each.
    const QStringList &list = tagGenreList();
    ASSERT_EQ(list.size(), 127);
    EXPECT_TRUE(list.first().isEmpty());
    std::set<QString> numbered;
    for (int n = 0; n < 126; ++n) numbered.insert(tagGenreNameOfNumber(n));
    EXPECT_EQ(numbered, std::set<QString>(list.begin() + 1, list.end()));
    EXPECT_TRUE(tagGenreNameOfNumber(-1).isEmpty());
    EXPECT_TRUE(tagGenreNameOfNumber(126).isEmpty());
}

TEST(TagTexts, LongTextsAreCutToTheBufferAndNeverSplitAPair) {
    std::vector<wchar16> buf(kTagTextUnits + 4, 0x7777);
    struct {
        QString text;
        int written;
    } cases[] = {
        {QString(255, QLatin1Char('a')), 255},
        {QString(300, QLatin1Char('b')), 255},
        {QString(254, QLatin1Char('c')) + QString::fromUtf16(u"\U0001F3B5"), 254},  // pair would straddle the end
        {QString(253, QLatin1Char('d')) + QString::fromUtf16(u"\U0001F3B5"), 255},  // pair fits whole
    };
    for (const auto &c : cases) {
        EXPECT_EQ(tagTextToBuffer(c.text, buf.data(), kTagTextUnits), c.written);
        EXPECT_EQ(buf[c.written], 0);
        EXPECT_EQ(tagTextFromBuffer(buf.data(), kTagTextUnits), c.text.left(c.written));
        for (int i = kTagTextUnits; i < kTagTextUnits + 4; ++i) EXPECT_EQ(buf[i], 0x7777);
    }
    // A buffer without a terminator is read up to its capacity only.
    std::vector<wchar16> full(8, 'x');
    EXPECT_EQ(tagTextFromBuffer(full.data(), 5), QStringLiteral("xxxxx"));
    EXPECT_TRUE(tagTextFromBuffer(nullptr, 5).isEmpty());
}

TEST_F(TagEditor, FormAndGenreBox) {
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Editing Tag Information"));
    EXPECT_EQ(dlg->size(), QSize(430, 468));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    EXPECT_EQ(dlg->windowModality(), Qt::ApplicationModal);
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(box("comboBoxGenre")->geometry(), QRect(110, 140, 160, 22));
    EXPECT_EQ(child<QDialogButtonBox>("buttonBox")->geometry(), QRect(245, 420, 161, 32));

    QComboBox *genre = box("comboBoxGenre");
    EXPECT_EQ(genre->currentIndex(), -1);
    EXPECT_EQ(genre->count(), 127);
    EXPECT_EQ(genre->maxVisibleItems(), 20);
    EXPECT_EQ(genre->itemText(1), QStringLiteral("A capella"));
    EXPECT_EQ(genre->itemText(126), QStringLiteral("Vocal"));
    EXPECT_EQ(box("comboBox_Month")->itemText(8), QStringLiteral("Sept."));
    EXPECT_EQ(box("comboBox_Day")->count(), 31);
    EXPECT_EQ(box("comboBox_Hour")->count(), 24);
    EXPECT_EQ(box("comboBoxFrm")->count(), 30);

    // ID3v1 number -> position in the box without the empty entry.
    const std::map<int, QString> numbers = {{0, "Blues"}, {17, "Rock"}, {123, "A capella"}, {125, "Dance Hall"}};
    for (const auto &[n, name] : numbers) EXPECT_EQ(genre->itemText(dlg->getGenreUiIndexFromGenreNumber(n) + 1), name);
    EXPECT_EQ(dlg->getGenreUiIndexFromGenreNumber(-1), -1);
    EXPECT_EQ(dlg->getGenreUiIndexFromGenreNumber(126), -1);

    if (const char *shot = std::getenv("SONVEX_SHOT")) {
        Record r = fullRecord();
        dlg->setTagType(kTagTypeDsf);
        dlg->setID3tagInfo(&r.info);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->grab().save(QString::fromLocal8Bit(shot));
    }
}

TEST_F(TagEditor, EachTagTypeEnablesItsColumnsOnly) {
    // Column -> its widgets.
    const std::vector<std::vector<const char *>> columns = {
        {"labelNo", "lineEditTrack", "labelSlash_track", "lineEditTotalTrack"},
        {"labelTitle", "lineEditTitle"},
        {"labelAlbum", "lineEditAlbum"},
        {"labelArtist", "lineEditArtist"},
        {"labelGenre", "comboBoxGenre"},
        {"comboBox_Month", "labelSlash", "labelSlash2"},
        {"comboBox_Day"},
        {"lineEditYear"},
        {"comboBox_Hour"},
        {"comboBoxMin", "labelColon"},
        {"comboBoxSec", "labelColon_2"},
        {"comboBoxFrm", "labelSemiColon"},
        {},
        {"labelDateTime"},
        {},
        {"labelComment", "lineEditComment"},
        {"labelJacket", "labelPhoto", "pushButtonPhoto"},
    };
    struct {
        int type;
        std::set<int> editable;
        bool startTc;
    } cases[] = {
        {kTagTypeWav, {8, 9, 10, 11}, true},
        {kTagTypeFlac, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 15, 16}, false},
        {kTagTypeDsdiff, {1, 3, 8, 9, 10, 11}, true},
        {kTagTypeDsf, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 15, 16}, false},
        {kTagTypeWsd, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 15}, false},
        {7, {8, 9, 10, 11}, true},  // unknown: as a WAV export
    };
    dlg->show();
    for (const auto &c : cases) {
        field("lineEditTitle")->setText(QStringLiteral("kept"));
        dlg->setTagType(static_cast<tEnumTagType>(c.type));
        for (int col = 0; col < static_cast<int>(columns.size()); ++col)
            for (const char *name : columns[col])
                EXPECT_EQ(child<QWidget>(name)->isEnabled(), c.editable.count(col) == 1)
                    << "type " << c.type << " " << name;
        EXPECT_EQ(child<QLabel>("labelTC")->isVisible(), c.startTc) << c.type;
        EXPECT_TRUE(child<QPushButton>("pushButtonGetTime")->isEnabled());
        EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("kept"));
    }
}

TEST_F(TagEditor, FillingEmptiesTheFieldsOfDisabledColumns) {
    Record r = fullRecord();
    field("lineEditTrack")->setText(QStringLiteral("3"));
    field("lineEditTotalTrack")->setText(QStringLiteral("12"));
    r.info.trackNo = 9;

    dlg->setTagType(kTagTypeWav);
    dlg->setID3tagInfo(&r.info);
    for (const char *f : {"lineEditTitle", "lineEditAlbum", "lineEditArtist", "lineEditComment", "lineEditYear"})
        EXPECT_TRUE(field(f)->text().isEmpty()) << f;
    EXPECT_EQ(box("comboBox_Month")->currentIndex(), -1);
    EXPECT_EQ(box("comboBox_Day")->currentIndex(), -1);
    EXPECT_EQ(box("comboBox_Hour")->currentIndex(), 15);
    EXPECT_EQ(box("comboBoxMin")->currentIndex(), 9);
    EXPECT_EQ(box("comboBoxSec")->currentIndex(), 26);
    EXPECT_EQ(box("comboBoxFrm")->currentIndex(), 5);
    EXPECT_EQ(box("comboBoxGenre")->currentText(), QStringLiteral("Rock"));  // genre follows the record regardless

    dlg->setTagType(kTagTypeDsf);
    dlg->setID3tagInfo(&r.info);
    EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("Song"));
    EXPECT_EQ(field("lineEditAlbum")->text(), QStringLiteral("Album"));
    EXPECT_EQ(field("lineEditArtist")->text(), QStringLiteral("Band"));
    EXPECT_EQ(field("lineEditComment")->text(), QStringLiteral("Comment"));
    EXPECT_EQ(field("lineEditYear")->text(), QStringLiteral("2021"));
    EXPECT_EQ(box("comboBox_Month")->currentText(), QStringLiteral("Mar."));
    EXPECT_EQ(box("comboBox_Day")->currentText(), QStringLiteral("14"));
    EXPECT_EQ(box("comboBoxSec")->currentIndex(), -1);
    EXPECT_EQ(box("comboBoxFrm")->currentIndex(), -1);
    // The track number fields keep what was typed.
    EXPECT_EQ(field("lineEditTrack")->text(), QStringLiteral("3"));
    EXPECT_EQ(field("lineEditTotalTrack")->text(), QStringLiteral("12"));

    // Unset values show nothing; a genre not in the list keeps the
    // selection; an empty genre selects the empty entry.
    r.info.year = -1;
    r.info.month = 0;
    r.info.day = 0;
    r.info.hour = -1;
    r.info.minute = 60;  // beyond the box
    Record::put(r.genre, QStringLiteral("Polka-Metal"));
    dlg->setID3tagInfo(&r.info);
    EXPECT_TRUE(field("lineEditYear")->text().isEmpty());
    for (const char *b : {"comboBox_Month", "comboBox_Day", "comboBox_Hour", "comboBoxMin"})
        EXPECT_EQ(box(b)->currentIndex(), -1) << b;
    EXPECT_EQ(box("comboBoxGenre")->currentText(), QStringLiteral("Rock"));
    Record::put(r.genre, QString());
    dlg->setID3tagInfo(&r.info);
    EXPECT_EQ(box("comboBoxGenre")->currentIndex(), 0);

    dlg->setID3tagInfo(nullptr);  // nothing happens
    EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("Song"));
}

TEST_F(TagEditor, OkStoresTheFormAndTheOwnerReadsIt) {
    QSignalSpy confirmed(dlg.get(), &DialogEditTag::id3paramsConfirmed);
    dlg->setTagType(kTagTypeDsf);
    // The owner fills the form first; a record with nothing set leaves the
    // date and time boxes without a selection.
    Record unset;
    dlg->setID3tagInfo(&unset.info);
    dlg->show();
    field("lineEditTrack")->setText(QStringLiteral("4"));
    field("lineEditTotalTrack")->setText(QStringLiteral("x"));
    field("lineEditTitle")->setText(QString::fromUtf16(u"\u65E5\u672C"));
    field("lineEditArtist")->setText(QStringLiteral("Artist"));
    field("lineEditYear")->clear();
    box("comboBoxGenre")->setCurrentText(QStringLiteral("Jazz"));
    box("comboBox_Month")->setCurrentIndex(11);
    box("comboBox_Hour")->setCurrentIndex(23);

    Record r;
    r.info.startSample = 123456;
    ok();
    EXPECT_EQ(confirmed.count(), 1);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->getEditedTagInfo(&r.info));
    EXPECT_EQ(r.info.trackNo, 4);
    EXPECT_EQ(r.info.totalTracks, 0);  // not a number
    EXPECT_EQ(r.info.year, 0);         // empty
    EXPECT_EQ(r.info.month, 12);
    EXPECT_EQ(r.info.day, 0);  // no selection
    EXPECT_EQ(r.info.hour, 23);
    EXPECT_EQ(r.info.minute, -1);
    EXPECT_EQ(r.info.second, -1);
    EXPECT_EQ(Record::get(r.title), QString::fromUtf16(u"\u65E5\u672C"));  // any text outside DSDIFF
    EXPECT_EQ(Record::get(r.artist), QStringLiteral("Artist"));
    EXPECT_EQ(Record::get(r.genre), QStringLiteral("Jazz"));
    EXPECT_EQ(Record::get(r.picture), QString());
    EXPECT_EQ(r.info.hasPicture, 0);
    EXPECT_EQ(r.info.startSample, 123456u);

    // The empty genre entry stores an empty genre; Cancel stores nothing.
    dlg->show();
    box("comboBoxGenre")->setCurrentIndex(0);
    ok();
    dlg->getEditedTagInfo(&r.info);
    EXPECT_EQ(Record::get(r.genre), QString());
    dlg->show();
    field("lineEditArtist")->setText(QStringLiteral("Other"));
    cancel();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(confirmed.count(), 2);
    dlg->getEditedTagInfo(&r.info);
    EXPECT_EQ(Record::get(r.artist), QStringLiteral("Artist"));
}

TEST_F(TagEditor, DsdiffTitleBeyondLatin1IsRefusedAndShownEmpty) {
    QSignalSpy confirmed(dlg.get(), &DialogEditTag::id3paramsConfirmed);
    const QString japanese = QString::fromUtf16(u"\u65E5\u672C");
    Record r = fullRecord();
    Record::put(r.title, japanese);
    Record::put(r.artist, japanese);
    dlg->setTagType(kTagTypeDsdiff);
    dlg->setID3tagInfo(&r.info);
    EXPECT_TRUE(field("lineEditTitle")->text().isEmpty());
    EXPECT_TRUE(field("lineEditArtist")->text().isEmpty());
    EXPECT_EQ(Record::get(r.title), japanese);  // the record stays

    Record::put(r.title, QString::fromUtf16(u"Caf\u00E9"));
    dlg->setID3tagInfo(&r.info);
    EXPECT_EQ(field("lineEditTitle")->text(), QString::fromUtf16(u"Caf\u00E9"));

    dlg->show();
    field("lineEditTitle")->setText(japanese);
    {
        MessageBoxes boxes;
        ok();
        ASSERT_EQ(boxes.seen().size(), 1u);
        EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Warning"));
        EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Latin Characters are only supported in the DSDIFF file."));
        EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);
    }
    EXPECT_EQ(confirmed.count(), 0);
    EXPECT_TRUE(dlg->isVisible());
    Record out;
    dlg->getEditedTagInfo(&out.info);
    EXPECT_EQ(Record::get(out.title), QString());  // nothing stored

    // The artist is not checked at OK.
    field("lineEditTitle")->setText(QStringLiteral("Title"));
    field("lineEditArtist")->setText(japanese);
    {
        MessageBoxes boxes;
        ok();
        EXPECT_TRUE(boxes.seen().empty()) << boxes.list();
    }
    EXPECT_EQ(confirmed.count(), 1);
    dlg->getEditedTagInfo(&out.info);
    EXPECT_EQ(Record::get(out.artist), japanese);
}

TEST_F(TagEditor, TextsLongerThanTheBuffersAreCut) {
    dlg->setTagType(kTagTypeFlac);
    dlg->show();
    field("lineEditTitle")->setText(QString(400, QLatin1Char('t')));
    field("lineEditAlbum")->setText(QString(255, QLatin1Char('a')));
    field("lineEditArtist")->setText(QString(254, QLatin1Char('r')) + QString::fromUtf16(u"\U0001F3B5"));
    field("lineEditComment")->setText(QString(1000, QLatin1Char('c')));
    ok();
    Record r;
    dlg->getEditedTagInfo(&r.info);
    EXPECT_TRUE(r.guardsIntact());
    EXPECT_EQ(Record::get(r.title), QString(255, QLatin1Char('t')));
    EXPECT_EQ(Record::get(r.album), QString(255, QLatin1Char('a')));
    EXPECT_EQ(Record::get(r.artist), QString(254, QLatin1Char('r')));
    EXPECT_EQ(Record::get(r.comment), QString(511, QLatin1Char('c')));

    // A record filled by someone else without terminators is read up to its
    // capacities only.
    Record full;
    for (auto *b : {&full.title, &full.artist, &full.album, &full.genre, &full.comment})
        std::fill(b->begin(), b->end(), wchar16('z'));
    dlg->setID3tagInfo(&full.info);
    EXPECT_EQ(field("lineEditTitle")->text().size(), kTagTextUnits);
    EXPECT_EQ(field("lineEditComment")->text().size(), kTagCommentUnits);
}

TEST_F(TagEditor, CopyTakesTheLastConfirmedTagAndPasteFillsTheForm) {
    dlg->setTagType(kTagTypeDsf);
    // The copy record starts zeroed: pasting it before any copy shows a
    // zero year and the first hour and minute.
    click("pushButtonPaste");
    EXPECT_EQ(field("lineEditYear")->text(), QStringLiteral("0"));
    EXPECT_EQ(box("comboBox_Hour")->currentText(), QStringLiteral("0"));
    EXPECT_EQ(box("comboBox_Month")->currentIndex(), -1);

    Record r = fullRecord();
    dlg->setID3tagInfo(&r.info);
    dlg->show();
    ok();
    dlg->show();
    field("lineEditTitle")->setText(QStringLiteral("edited, not confirmed"));
    box("comboBox_Day")->setCurrentIndex(0);
    click("pushButtonCopy");
    click("pushButtonReset");
    click("pushButtonPaste");
    EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("Song"));
    EXPECT_EQ(box("comboBox_Day")->currentText(), QStringLiteral("14"));
    EXPECT_EQ(box("comboBoxGenre")->currentText(), QStringLiteral("Rock"));
    EXPECT_EQ(field("lineEditYear")->text(), QStringLiteral("2021"));

    // Paste follows the tag type of the moment. The frame was not editable
    // for DSF, so the confirmed tag holds none.
    dlg->setTagType(kTagTypeWav);
    click("pushButtonPaste");
    EXPECT_TRUE(field("lineEditTitle")->text().isEmpty());
    EXPECT_EQ(box("comboBox_Hour")->currentIndex(), 15);
    EXPECT_EQ(box("comboBoxFrm")->currentIndex(), -1);
}

TEST_F(TagEditor, LoadFillsTheFormFromAFileAndKeepsItsPicturePrivate) {
    const auto red = png(Qt::red);
    ASSERT_TRUE(sxtest::writeAll(file("a.dsf"), taggedDsf("First", red)));
    dlg->setTagType(kTagTypeDsf);
    field("lineEditTrack")->setText(QStringLiteral("2"));
    pick(q(file("a.dsf")));
    click("pushButtonLoad");
    ASSERT_EQ(sAsked.size(), 1u);
    EXPECT_EQ(sAsked[0].caption, QStringLiteral("Please Select the Audio file to load tag data"));
    EXPECT_EQ(sAsked[0].filter, QStringLiteral("Supported files (*.wav *.dsf *.dff);;All files (*.*)"));

    EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("First"));
    EXPECT_EQ(field("lineEditArtist")->text(), QStringLiteral("Quartet"));
    EXPECT_EQ(field("lineEditAlbum")->text(), QStringLiteral("Live"));
    EXPECT_EQ(field("lineEditComment")->text(), QStringLiteral("notes"));
    EXPECT_EQ(box("comboBoxGenre")->currentText(), QStringLiteral("Jazz"));
    EXPECT_EQ(field("lineEditYear")->text(), QStringLiteral("2019"));
    EXPECT_EQ(box("comboBox_Month")->currentText(), QStringLiteral("Mar."));
    EXPECT_EQ(box("comboBox_Day")->currentText(), QStringLiteral("24"));
    EXPECT_EQ(box("comboBox_Hour")->currentText(), QStringLiteral("21"));
    EXPECT_EQ(box("comboBoxMin")->currentText(), QStringLiteral("7"));
    EXPECT_EQ(field("lineEditTrack")->text(), QStringLiteral("2"));
    EXPECT_EQ(photoColour(), QColor(Qt::red));
    EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(), QFileInfo(q(dir.path())).canonicalFilePath());

    dlg->show();
    ok();
    Record r;
    ASSERT_TRUE(dlg->getEditedTagInfo(&r.info));
    const QString picture = Record::get(r.picture);
    EXPECT_EQ(sxtest::readAll(picture.toStdString()), red);
    // The picture lies in a folder of its own that only this user can enter.
    const QString folder = QFileInfo(picture).absolutePath();
    EXPECT_NE(folder, QDir::tempPath());
    struct stat st {};
    ASSERT_EQ(::stat(folder.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());

    // A later load (then Cancel) leaves the confirmed picture as it was.
    ASSERT_TRUE(sxtest::writeAll(file("b.dsf"), taggedDsf("Second", png(Qt::blue))));
    dlg->show();
    pick(q(file("b.dsf")));
    click("pushButtonLoad");
    EXPECT_EQ(photoColour(), QColor(Qt::blue));
    cancel();
    EXPECT_EQ(sxtest::readAll(picture.toStdString()), red);

    // A cancelled file dialog changes nothing.
    pick(QString());
    click("pushButtonLoad");
    EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("Second"));

    // The pictures go with the editor.
    dlg.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(TagEditor, LoadOfAFileWithoutATagShowsTheEmptyRecord) {
    Record r = fullRecord();
    dlg->setTagType(kTagTypeDsf);
    dlg->setID3tagInfo(&r.info);
    field("lineEditTrack")->setText(QStringLiteral("7"));
    ASSERT_TRUE(sxtest::writeAll(file("noise.dsf"), {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'}));
    for (const std::string &name : {std::string("noise.dsf"), std::string("missing.dff")}) {
        pick(q(file(name)));
        click("pushButtonLoad");
        for (const char *f : {"lineEditTitle", "lineEditAlbum", "lineEditArtist", "lineEditComment", "lineEditYear"})
            EXPECT_TRUE(field(f)->text().isEmpty()) << name << " " << f;
        for (const char *b : {"comboBox_Month", "comboBox_Day", "comboBox_Hour", "comboBoxMin"})
            EXPECT_EQ(box(b)->currentIndex(), -1) << name << " " << b;
        EXPECT_TRUE(showsNoPhoto()) << name;
        EXPECT_EQ(field("lineEditTrack")->text(), QStringLiteral("7"));
    }
}

TEST_F(TagEditor, SelectGetCurrentTimeAndReset) {
    const QString red = q(file("cover.png"));
    ASSERT_TRUE(sxtest::writeAll(red.toStdString(), png(Qt::red)));
    dlg->setTagType(kTagTypeFlac);
    EXPECT_TRUE(showsNoPhoto());
    pick(red);
    click("pushButtonPhoto");
    ASSERT_EQ(sAsked.size(), 1u);
    EXPECT_EQ(sAsked[0].caption, QStringLiteral("Please select the album art file"));
    EXPECT_EQ(sAsked[0].filter, QStringLiteral("Supported files (*.jpg *.jpeg *.png) ;;All files (*.*)"));
    EXPECT_EQ(photoColour(), QColor(Qt::red));
    // The next Select starts in the picture's folder.
    pick(QString());
    click("pushButtonPhoto");
    EXPECT_EQ(QDir(sAsked[0].dir), QDir(q(dir.path())));
    EXPECT_EQ(photoColour(), QColor(Qt::red));

    // A path that the record's buffer cannot hold whole is refused.
    const QString longPath = q(dir.path()) + QLatin1Char('/') + QString(300, QLatin1Char('p')) + ".png";
    pick(longPath);
    {
        MessageBoxes boxes;
        click("pushButtonPhoto");
        ASSERT_EQ(boxes.seen().size(), 1u);
        EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Warning"));
    }
    dlg->show();
    ok();
    Record r;
    EXPECT_TRUE(dlg->getEditedTagInfo(&r.info));
    EXPECT_EQ(Record::get(r.picture), red);

    // The clock, per tag type.
    DialogEditTag::sCurrentDateTime = [] { return QDateTime(QDate(2024, 5, 17), QTime(9, 5, 7)); };
    struct {
        tEnumTagType type;
        QString year;
        int month, day, hour, minute, second, frame;
    } cases[] = {
        {kTagTypeFlac, "2024", 4, 16, 9, 5, -1, -1},
        {kTagTypeWav, "", -1, -1, 9, 5, 7, 0},
        {kTagTypeWsd, "2024", 4, 16, 9, 5, 7, -1},
    };
    for (const auto &c : cases) {
        dlg->setTagType(c.type);
        click("pushButtonReset");
        click("pushButtonGetTime");
        EXPECT_EQ(field("lineEditYear")->text(), c.year) << c.type;
        EXPECT_EQ(box("comboBox_Month")->currentIndex(), c.month) << c.type;
        EXPECT_EQ(box("comboBox_Day")->currentIndex(), c.day) << c.type;
        EXPECT_EQ(box("comboBox_Hour")->currentIndex(), c.hour) << c.type;
        EXPECT_EQ(box("comboBoxMin")->currentIndex(), c.minute) << c.type;
        EXPECT_EQ(box("comboBoxSec")->currentIndex(), c.second) << c.type;
        EXPECT_EQ(box("comboBoxFrm")->currentIndex(), c.frame) << c.type;
    }

    // Reset empties texts and selections and drops the picture; the track
    // numbers stay.
    dlg->setTagType(kTagTypeFlac);
    Record full = fullRecord();
    dlg->setID3tagInfo(&full.info);
    field("lineEditTrack")->setText(QStringLiteral("5"));
    click("pushButtonReset");
    for (const char *f : {"lineEditTitle", "lineEditAlbum", "lineEditArtist", "lineEditComment", "lineEditYear"})
        EXPECT_TRUE(field(f)->text().isEmpty()) << f;
    for (const char *b : {"comboBoxGenre", "comboBox_Month", "comboBox_Day", "comboBox_Hour", "comboBoxMin"})
        EXPECT_EQ(box(b)->currentIndex(), -1) << b;
    EXPECT_TRUE(showsNoPhoto());
    EXPECT_EQ(field("lineEditTrack")->text(), QStringLiteral("5"));
    dlg->show();
    ok();
    EXPECT_FALSE(dlg->getEditedTagInfo(&r.info));
    EXPECT_EQ(r.info.trackNo, 5);
    EXPECT_EQ(r.info.year, 0);
}

TEST_F(TagEditor, WithoutTheLibraryLoadSaysSoAndKeepsTheForm) {
    DialogEditTag::setLibraryPath(QStringLiteral("/nonexistent/libmorphex.so"));
    dlg = std::make_unique<DialogEditTag>();
    Record r = fullRecord();
    dlg->setTagType(kTagTypeDsf);
    dlg->setID3tagInfo(&r.info);
    pick(q(file("any.dsf")));
    {
        MessageBoxes boxes;
        click("pushButtonLoad");
        ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
        EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Warning"));
        EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("The conversion library could not be loaded."));
    }
    EXPECT_TRUE(sAsked.empty());
    EXPECT_EQ(field("lineEditTitle")->text(), QStringLiteral("Song"));
    // Everything else still works.
    dlg->show();
    ok();
    Record out;
    dlg->getEditedTagInfo(&out.info);
    EXPECT_EQ(Record::get(out.title), QStringLiteral("Song"));
}
