// The small dialogs: progress, PCM-or-DSD question, splash, About and
// licences.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "widgets/dialogabout.h"
#include "widgets/dialoglicenses.h"
#include "widgets/dialogselectfs.h"
#include "widgets/snxprogressdialog.h"
#include "widgets/splashscreen.h"

namespace {

template <class T>
T *child(QWidget &parent, const char *name) {
    T *w = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Runs the dialog modally and clicks its OK button from inside the loop.
int execAndPressOk(QDialog &dialog) {
    QTimer::singleShot(0, &dialog, [&dialog] {
        QPushButton *ok = dialog.findChild<QPushButton *>(QStringLiteral("pushButtonOK"));
        if (ok)
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            dialog.done(-1);
    });
    return dialog.exec();
}

// Clicks the first link of the browser whose target starts with prefix and
// returns that target (empty when there is none).
QString clickFirstLink(QTextBrowser &browser, const QString &prefix) {
    for (QTextBlock b = browser.document()->begin(); b.isValid(); b = b.next()) {
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QString href = f.charFormat().anchorHref();
            if (!f.charFormat().isAnchor() || !href.startsWith(prefix)) continue;
            QTextCursor cursor(browser.document());
            cursor.setPosition(f.position() + f.length() / 2);
            browser.setTextCursor(cursor);
            browser.ensureCursorVisible();
            QTest::mouseClick(browser.viewport(), Qt::LeftButton, Qt::NoModifier, browser.cursorRect(cursor).center());
            return href;
        }
    }
    return QString();
}

}  // namespace

// ---- progress dialog ----

TEST(ProgressDialog, HiddenUntilItsOwnerShowsItAndNeverBlocking) {
    QWidget owner;
    owner.show();
    snxProgressDialog dlg(QString(), QStringLiteral("Abort"), 0, 100, &owner, Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.isModal());

    // The flags given survive; the close and help buttons do not.
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowContextHelpButtonHint);

    dlg.setValue(dlg.minimum());
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(dlg.windowModality(), Qt::NonModal);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);

    // Reaching the maximum resets and closes it, as the base class does.
    dlg.setValue(100);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(ProgressDialog, DoesNotShowItselfWhileNobodyAsks) {
    // QProgressDialog alone pops up by itself a few seconds after it is
    // made; the owner decides here. The parentless constructor too.
    snxProgressDialog labelled(QString(), QStringLiteral("Abort"), 0, 100);
    snxProgressDialog plain;
    EXPECT_EQ(plain.windowFlags() & Qt::WindowCloseButtonHint, Qt::WindowFlags());
    QTest::qWait(4300);
    EXPECT_FALSE(labelled.isVisible());
    EXPECT_FALSE(plain.isVisible());
}

// ---- PCM-or-DSD question ----

TEST(DialogSelectFs, ButtonTextsForTheDsdRates) {
    struct Row {
        int rate;
        const char *pcm;
        const char *dsd;
    };
    const Row rows[] = {
        {2822400, "176.4kHz(PCM)", "2.8MHz(DSD)"},
        {5644800, "352.8kHz(PCM)", "5.6MHz(DSD)"},
        {11289600, "705.6kHz(PCM)", "11.3MHz(DSD)"},  // rounded, not cut to 11.2
        {22579200, "1411.2kHz(PCM)", "22.6MHz(DSD)"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(selectFsPcmButtonText(r.rate), QString::fromLatin1(r.pcm)) << r.rate;
        EXPECT_EQ(selectFsDsdButtonText(r.rate), QString::fromLatin1(r.dsd)) << r.rate;
    }
    // Centred over the main window, a third of the way down, in integers.
    EXPECT_EQ(selectFsPosition(QRect(100, 50, 901, 601), QSize(348, 138)), QPoint(100 + 450 - 174, 50 + 200));
}

TEST(DialogSelectFs, ReportsTheButtonAndLeavesHidingToTheReceiver) {
    QWidget owner;
    DialogSelectFs dlg(&owner);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("DSD-compatible audio device?"));
    QPushButton *pcm = child<QPushButton>(dlg, "pushButtonPCM");
    QPushButton *dsd = child<QPushButton>(dlg, "pushButtonDSD");
    ASSERT_TRUE(pcm && dsd);
    EXPECT_EQ(pcm->text(), QStringLiteral("176.4kHz(PCM)"));
    EXPECT_EQ(dsd->text(), QStringLiteral("2.8MHz(DSD)"));

    dlg.setPCMButtonText(selectFsPcmButtonText(11289600));
    dlg.setDSDButtonText(selectFsDsdButtonText(11289600));
    EXPECT_EQ(pcm->text(), QStringLiteral("705.6kHz(PCM)"));
    EXPECT_EQ(dsd->text(), QStringLiteral("11.3MHz(DSD)"));

    QSignalSpy pcmSpy(&dlg, &DialogSelectFs::diagSelFsPCMpushed);
    QSignalSpy dsdSpy(&dlg, &DialogSelectFs::diagSelFsDSDpushed);

    // show() returns at once, yet the rest of the program is locked out.
    owner.show();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), &dlg);

    QTest::mouseClick(pcm, Qt::LeftButton);
    EXPECT_EQ(pcmSpy.count(), 1);
    EXPECT_EQ(dsdSpy.count(), 0);
    EXPECT_TRUE(dlg.isVisible());
    QTest::mouseClick(dsd, Qt::LeftButton);
    EXPECT_EQ(dsdSpy.count(), 1);
    EXPECT_TRUE(dlg.isVisible());

    // Escape and the title-bar close hide it and answer nothing.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(pcmSpy.count(), 1);
    EXPECT_EQ(dsdSpy.count(), 1);

    // Shown again, it keeps the texts it was given.
    dlg.show();
    EXPECT_EQ(dsd->text(), QStringLiteral("11.3MHz(DSD)"));
    dlg.hide();
}

// ---- splash, About, licences ----

TEST(VersionTexts, SplashAndAboutEachInTheirFormat) {
    snxSplashScreen splash{QPixmap(600, 444)};
    QLabel *splashVersion = child<QLabel>(splash, "labelVersion");
    QLabel *splashNotice = child<QLabel>(splash, "labelCopyright");
    ASSERT_TRUE(splashVersion && splashNotice);
    EXPECT_EQ(splashVersion->text(), QStringLiteral("Version 1.10 Build 96"));
    EXPECT_EQ(splashVersion->geometry(), QRect(264, 331, 200, 21));
    EXPECT_EQ(splashNotice->geometry(), QRect(264, 362, 220, 21));
    EXPECT_EQ(splashNotice->text().count(QLatin1Char('\n')), 1);

    DialogAbout about;
    QLabel *version = child<QLabel>(about, "labelVersion");
    QLabel *build = child<QLabel>(about, "labelBuild");
    QLabel *line1 = child<QLabel>(about, "labelCopyright");
    QLabel *line2 = child<QLabel>(about, "labelCopyright2");
    ASSERT_TRUE(version && build && line1 && line2);
    // The word's own space and the one "%5.2f" pads with.
    EXPECT_EQ(version->text(), QStringLiteral("Version  1.10"));
    EXPECT_EQ(build->text(), QStringLiteral("Build 0096"));
    // The same notice as the splash's, one line per label.
    EXPECT_EQ(line1->text() + QLatin1Char('\n') + line2->text(), splashNotice->text());
}

TEST(DialogAbout, FixedSizeAndOkClosesAsRejected) {
    QWidget owner;
    DialogAbout about(&owner);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About This Application"));
    EXPECT_EQ(about.minimumSize(), QSize(380, 144));
    EXPECT_EQ(about.maximumSize(), QSize(380, 144));
    EXPECT_FALSE(about.windowFlags() & Qt::WindowContextHelpButtonHint);
    QLabel *back = child<QLabel>(about, "labelBackground");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixmap().size(), QSize(380, 144));
    EXPECT_EQ(execAndPressOk(about), int(QDialog::Rejected));
    EXPECT_FALSE(about.isVisible());
}

TEST(DialogAbout, EditionOneChangesTheLookOnly) {
    DialogAbout about;
    QLabel *name = child<QLabel>(about, "labelAppName");
    QLabel *version = child<QLabel>(about, "labelVersion");
    ASSERT_TRUE(name && version);
    EXPECT_EQ(name->text(), QStringLiteral("KAVELO Sonvex Editor"));

    about.setEdition(kEditionDefault);
    about.setEdition(static_cast<tSetEdition>(5));
    EXPECT_EQ(name->text(), QStringLiteral("KAVELO Sonvex Editor"));

    about.setEdition(kEditionZolt);
    EXPECT_EQ(name->text(), QStringLiteral("ZOLT Sonvex Editor"));
    EXPECT_EQ(version->styleSheet(), QStringLiteral("QLabel{color: rgb(0, 0, 0);}"));
    EXPECT_EQ(version->text(), QStringLiteral("Version  1.10"));
}

TEST(DialogLicenses, FixedSizeAndOkAccepts) {
    QWidget owner;
    dialogLicenses dlg(&owner);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Licenses"));
    EXPECT_EQ(dlg.minimumSize(), QSize(600, 600));
    EXPECT_EQ(dlg.maximumSize(), QSize(600, 600));
    EXPECT_EQ(execAndPressOk(dlg), int(QDialog::Accepted));
}

TEST(DialogLicenses, ShowsTheNoticesAndOpensLinksOutside) {
    dialogLicenses dlg;
    QTextBrowser *browser = child<QTextBrowser>(dlg, "textBrowserLicenses");
    ASSERT_TRUE(browser);
    EXPECT_TRUE(browser->isReadOnly());
    const QString text = browser->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("GNU LESSER GENERAL PUBLIC LICENSE")));
    EXPECT_TRUE(text.contains(QStringLiteral("IPA Font License")));

    // Catch what the system would be asked to open.
    QTextBrowser sink;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "setSource");
    QSignalSpy opened(&sink, &QTextBrowser::sourceChanged);

    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const QString external = clickFirstLink(*browser, QStringLiteral("https:"));
    ASSERT_FALSE(external.isEmpty());
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(sink.source(), QUrl(external));
    EXPECT_TRUE(browser->source().isEmpty());
    EXPECT_EQ(browser->toPlainText(), text);

    // The index's anchors stay inside the page: it scrolls to the section.
    browser->verticalScrollBar()->setValue(0);
    const QString internal = clickFirstLink(*browser, QStringLiteral("#"));
    ASSERT_FALSE(internal.isEmpty());
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(browser->toPlainText(), text);
    EXPECT_GT(browser->verticalScrollBar()->value(), 0) << internal.toStdString();

    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    dlg.hide();
}
