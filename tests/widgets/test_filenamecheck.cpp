#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <memory>

#include "widgets/filenamecheck.h"

namespace {

// What a check showed: the boxes it opened (title, text, buttons), each
// closed with Ok as soon as it appeared.
struct Shown {
    int boxes = 0;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool done = false;  // the check has returned; stop watching
};

// Polls for the modal box every 10 ms while the check runs (its own event
// loop keeps the timers going) and closes it with its Ok button.
void watch(const std::shared_ptr<Shown> &seen) {
    QTimer::singleShot(10, [seen] {
        if (seen->done) return;
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box) {
            ++seen->boxes;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->buttons = box->standardButtons();
            seen->icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        }
        watch(seen);
    });
}

Shown run(const std::function<void()> &check) {
    auto seen = std::make_shared<Shown>();
    watch(seen);
    check();
    seen->done = true;
    return *seen;
}

}  // namespace

TEST(FileNameCheck, ExtensionTableForOpenAndCombine) {
    struct Row {
        const char *path;
        bool ok;
        const char *shownName;  // the name line of the warning
    };
    const Row rows[] = {
        {"/music/take.wav", true, ""},
        {"/music/Take.WAV", true, ""},
        {"/music/a.b.c.Dsf", true, ""},
        {"relative.dff", true, ""},
        {"/music/take.wav.bak", false, "take.wav.bak"},
        {"/music/take", false, "take"},  // no dot: the whole path is compared
        {"/music/take.", false, "take."},
        {"/music/take.flac", false, "take.flac"},
        {"/music/take.wsd", false, "take.wsd"},
        {"/music.wav/take", false, "take"},  // the dot sits in a folder name
        {"", false, ""},
    };
    for (const Row &r : rows) {
        for (int combine = 0; combine < 2; ++combine) {
            SCOPED_TRACE(std::string(r.path) + (combine ? " (combine)" : " (open)"));
            bool result = !r.ok;
            Shown seen = run([&] {
                result = combine ? isValidFileExtensionForCombine(nullptr, QString::fromUtf8(r.path))
                                 : isValidFileExtension(nullptr, QString::fromUtf8(r.path));
            });
            EXPECT_EQ(result, r.ok);
            if (r.ok) {
                EXPECT_EQ(seen.boxes, 0);
                continue;
            }
            ASSERT_EQ(seen.boxes, 1);
            EXPECT_EQ(seen.title, QStringLiteral("Cannot Open"));
            EXPECT_EQ(seen.text, QString::fromUtf8(r.shownName) + QStringLiteral("\nUnsupported audio file."));
            EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            EXPECT_EQ(seen.icon, QMessageBox::Warning);
        }
    }
}

TEST(FileNameCheck, ParseFailureNamesTheFile) {
    Shown seen = run([] { showMessageBox_parseFailed(nullptr, QStringLiteral("/a/b/broken.dsf")); });
    ASSERT_EQ(seen.boxes, 1);
    EXPECT_EQ(seen.title, QStringLiteral("Cannot Open"));
    EXPECT_EQ(seen.text, QStringLiteral("broken.dsf\nUnsupported audio file."));
}

TEST(FileNameCheck, RateRanges) {
    struct Row {
        uint32_t rate;
        bool ok;
    };
    const Row rows[] = {
        {44099, false},    {44100, true},     {48000, true},    {352800, true},       {384000, true},  {384001, false},
        {705600, false},   {768000, false},   {2822399, false}, {2822400, true},      {5644800, true}, {11289600, true},
        {11289601, false}, {22579200, false}, {0, false},       {0xFFFFFFFFu, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.rate);
        bool result = !r.ok;
        Shown seen = run([&] { result = isValidFs(nullptr, r.rate); });
        EXPECT_EQ(result, r.ok);
        if (r.ok) {
            EXPECT_EQ(seen.boxes, 0);
        } else {
            ASSERT_EQ(seen.boxes, 1);
            EXPECT_EQ(seen.title, QStringLiteral("Cannot Open"));
            EXPECT_EQ(seen.text, QStringLiteral("Unsupported sampling frequency."));
            EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
    }
}

TEST(FileNameCheck, FileNameIsTheLastSlashPart) {
    EXPECT_EQ(fileNameString(QStringLiteral("/a/b/c.dsf")), QStringLiteral("c.dsf"));
    EXPECT_EQ(fileNameString(QStringLiteral("c.dsf")), QStringLiteral("c.dsf"));
    EXPECT_EQ(fileNameString(QStringLiteral("/a/b/")), QString());
    EXPECT_EQ(fileNameString(QString()), QString());
}

TEST(FileNameCheck, ElidedKeepsBothEndsInANarrowLabel) {
    QLabel label;
    label.resize(2000, 20);
    const QString text = QStringLiteral("BeginningOfAVeryLongFileNameThatGoesOnAndOnUntilTheEnd.wav");
    EXPECT_EQ(elidedString(text, &label), text);  // fits

    label.resize(120, 20);
    const QString shown = elidedString(text, &label);
    EXPECT_LT(shown.size(), text.size());
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Beg")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".wav")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(shown), 120);
}
