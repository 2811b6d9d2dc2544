// The channel-selection dialog: its lists, the choice it reports, Cancel,
// the Stereo/Mono choice carried to the next file, and the road a choice
// takes through the split job to the file the main window opens.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "audiofile/audiohelpers.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "editing/dialogpolyfile.h"
#include "editingtestutil.h"
#include "engine/morphexbinding.h"
#include "filejobs/jobtestutil.h"
#include "morphex/morphexapi.h"
#include "tools.h"

namespace {

using edtest::q;

QStringList entries(DialogPolyfile &dlg) {
    QStringList list;
    auto *box = dlg.findChild<QComboBox *>(QStringLiteral("comboBoxSelectCh"));
    for (int i = 0; box && i < box->count(); ++i) list << box->itemText(i);
    return list;
}

QComboBox *combo(DialogPolyfile &dlg) { return dlg.findChild<QComboBox *>(QStringLiteral("comboBoxSelectCh")); }

QRadioButton *radio(DialogPolyfile &dlg, const char *name) {
    return dlg.findChild<QRadioButton *>(QString::fromLatin1(name));
}

void press(DialogPolyfile &dlg, QDialogButtonBox::StandardButton which) {
    auto *box = dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
}

// What channelSelected carried, read in the slot as the main window does.
struct Choices {
    std::vector<tPoly2MonosteMsgParam> got;
    void connectTo(DialogPolyfile &dlg) {
        QObject::connect(&dlg, &DialogPolyfile::channelSelected,
                         [this](tPoly2MonosteMsgParam *m) { got.push_back(*m); });
    }
};

}  // namespace

TEST(DialogPolyfile, ChannelLists) {
    struct Row {
        int channels;
        bool stereo;
        QStringList list;
    };
    const Row rows[] = {
        {3, true, {"Channel 1-2", "Channel 3"}},
        {6, true, {"Channel 1-2", "Channel 3-4", "Channel 5-6"}},
        {1, true, {"Channel 1"}},
        {4, false, {"Channel 1", "Channel 2", "Channel 3", "Channel 4"}},
        {0, true, {}},
        {0, false, {}},
    };
    for (const Row &r : rows) EXPECT_EQ(polyfileChannelEntries(r.channels, r.stereo), r.list) << r.channels;

    const QStringList pairs = polyfileChannelEntries(16, true);
    ASSERT_EQ(pairs.size(), 8);
    EXPECT_EQ(pairs.last(), QStringLiteral("Channel 15-16"));
    const QStringList singles = polyfileChannelEntries(16, false);
    ASSERT_EQ(singles.size(), 16);
    EXPECT_EQ(singles.last(), QStringLiteral("Channel 16"));
}

TEST(DialogPolyfile, FormAsBuilt) {
    DialogPolyfile dlg;
    EXPECT_EQ(dlg.objectName(), QStringLiteral("DialogPolyfile"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Please select channel(s)"));
    EXPECT_EQ(dlg.minimumSize(), QSize(280, 220));
    EXPECT_EQ(dlg.maximumSize(), QSize(280, 220));
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(dlg.findChild<QLabel *>(QStringLiteral("label"))->text(),
              QStringLiteral("This file has more than 2 channels.\nPlease Select 1 or 2 channels."));
    EXPECT_TRUE(radio(dlg, "radioButtonStereo")->isChecked());
    EXPECT_FALSE(radio(dlg, "radioButtonMono")->isChecked());
    EXPECT_EQ(radio(dlg, "radioButtonStereo")->group(), radio(dlg, "radioButtonMono")->group());
    EXPECT_EQ(entries(dlg), QStringList{QStringLiteral("Channel 1-2")});
    EXPECT_EQ(combo(dlg)->maxVisibleItems(), 16);
    EXPECT_EQ(combo(dlg)->geometry(), QRect(50, 100, 151, 22));
    EXPECT_FALSE(dlg.isVisible());
}

TEST(DialogPolyfile, ReportsTheChosenEntryOnOkOnly) {
    DialogPolyfile dlg;
    Choices choices;
    choices.connectTo(dlg);

    // Three channels in stereo mode; "Channel 3" is entry 1 of a stereo list.
    dlg.setTotalChannels(3);
    EXPECT_EQ(entries(dlg), (QStringList{"Channel 1-2", "Channel 3"}));
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    combo(dlg)->setCurrentIndex(1);
    press(dlg, QDialogButtonBox::Ok);
    ASSERT_EQ(choices.got.size(), 1u);
    EXPECT_EQ(choices.got[0].entry, 1);
    EXPECT_TRUE(choices.got[0].stereo);
    EXPECT_FALSE(dlg.isVisible());

    // Mono with four channels: "Channel 3" is entry 2.
    dlg.setTotalChannels(4);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(radio(dlg, "radioButtonMono"), Qt::LeftButton);
    EXPECT_EQ(entries(dlg), (QStringList{"Channel 1", "Channel 2", "Channel 3", "Channel 4"}));
    combo(dlg)->setCurrentIndex(2);
    press(dlg, QDialogButtonBox::Ok);
    ASSERT_EQ(choices.got.size(), 2u);
    EXPECT_EQ(choices.got[1].entry, 2);
    EXPECT_FALSE(choices.got[1].stereo);

    // Cancel closes the dialog and reports nothing.
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    combo(dlg)->setCurrentIndex(3);
    press(dlg, QDialogButtonBox::Cancel);
    EXPECT_EQ(choices.got.size(), 2u);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(DialogPolyfile, ModeCarriesOverAndEveryRebuildStartsAtTheFirstEntry) {
    DialogPolyfile dlg;
    Choices choices;
    choices.connectTo(dlg);
    dlg.setTotalChannels(16);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(entries(dlg).size(), 8);
    QTest::mouseClick(radio(dlg, "radioButtonMono"), Qt::LeftButton);
    EXPECT_EQ(entries(dlg).size(), 16);
    combo(dlg)->setCurrentIndex(9);

    // Back to stereo: the list is rebuilt and the first pair is current.
    QTest::mouseClick(radio(dlg, "radioButtonStereo"), Qt::LeftButton);
    EXPECT_EQ(combo(dlg)->currentIndex(), 0);
    QTest::mouseClick(radio(dlg, "radioButtonMono"), Qt::LeftButton);
    press(dlg, QDialogButtonBox::Ok);
    ASSERT_EQ(choices.got.size(), 1u);
    EXPECT_EQ(choices.got[0].entry, 0);
    EXPECT_FALSE(choices.got[0].stereo);

    // The next file: Mono is still chosen and its channels are listed.
    dlg.setTotalChannels(6);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_TRUE(radio(dlg, "radioButtonMono")->isChecked());
    EXPECT_EQ(entries(dlg).size(), 6);
    EXPECT_EQ(combo(dlg)->currentIndex(), 0);
    combo(dlg)->setCurrentIndex(5);
    press(dlg, QDialogButtonBox::Ok);
    ASSERT_EQ(choices.got.size(), 2u);
    EXPECT_EQ(choices.got[1].entry, 5);
    EXPECT_FALSE(choices.got[1].stereo);
}

// The main window's side of a choice, as far as it exists: the choice goes
// to the split job unchanged (stereo flag and entry) with the file's type,
// the job writes the temporary file in the music folder, and the file the
// main window then opens describes itself as MONO or STEREO. The dialog's
// entry numbering must therefore be the job's pair or channel index.
TEST(DialogPolyfile, ASixChannelWavOpensAsTheSplitFileOfTheChosenChannels) {
    if (!sxtest::haveTool("sox")) GTEST_SKIP() << "sox missing";
    sxtest::TempDir dir;  // stands for the music folder
    const std::string source = dir.file("six.wav");
    ASSERT_TRUE(jobtest::run("sox -n -r 48000 -b 24 -c 6 '" + source +
                             "' synth 0.2 sine 100 sine 200 sine 300 sine 400 sine 500 sine 600 2>/dev/null"));

    const tGetAudioFileInformationFunc info = morphexBinding(edtest::builtLibrary()).getAudioFileInformation;
    ASSERT_NE(info, nullptr);
    auto describe = [&](const std::string &path, tAudioFileInfoAFile *out) {
        const std::u16string units = q(path).toStdU16String();
        std::vector<wchar16> p(units.begin(), units.end());
        p.push_back(0);
        return info(p.data(), out);
    };
    tAudioFileInfoAFile src;
    ASSERT_EQ(describe(source, &src), 0);
    ASSERT_EQ(src.channels, 6u);

    struct Row {
        bool mono;  // click Mono first
        int entry;
        const char *remix;  // sox's channels of the source
        const char *label;
    };
    const Row rows[] = {{false, 2, "5 6", "STEREO"}, {true, 3, "4", "MONO"}, {false, 0, "1 2", "STEREO"}};

    DialogPolyfile dlg;
    poly2monosteThread worker;
    int progress = 0;
    int result = 1;
    const QString temp = q(dir.path()) + QStringLiteral("/SonvexEditorMonoSteTemp.wav");
    QObject::connect(&dlg, &DialogPolyfile::channelSelected, [&](tPoly2MonosteMsgParam *choice) {
        tPoly2MonosteParam param;
        param.stereo = choice->stereo;
        param.channel = choice->entry;
        param.twoSources = 0;
        param.fileType = kAudioFileWAV;
        worker.setParams(temp, q(source), QString(), &progress, &param);
        worker.addTransaction(new ClassPoly2Monoste);
    });
    QObject::connect(
        &worker, &poly2monosteThread::poly2monosteConverted, &dlg,
        [&](tPoly2MonosteMessages *m) { result = m->result; }, Qt::QueuedConnection);

    for (const Row &r : rows) {
        SCOPED_TRACE(r.remix);
        result = 1;
        dlg.setTotalChannels(static_cast<int>(src.channels));
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(radio(dlg, r.mono ? "radioButtonMono" : "radioButtonStereo"), Qt::LeftButton);
        combo(dlg)->setCurrentIndex(r.entry);
        press(dlg, QDialogButtonBox::Ok);
        ASSERT_TRUE(edtest::waitUntil([&] { return result != 1; }));
        ASSERT_EQ(result, 0);

        tAudioFileInfoAFile out;
        ASSERT_EQ(describe(temp.toStdString(), &out), 0);
        EXPECT_EQ(q(getChStringFromParam(static_cast<int>(out.channels))), QString::fromLatin1(r.label));
        const std::string want = dir.file("want.wav");
        ASSERT_TRUE(jobtest::run("sox '" + source + "' '" + want + "' remix " + r.remix + " 2>/dev/null"));
        EXPECT_EQ(jobtest::soxRaw(temp.toStdString(), dir.file("a.raw")), jobtest::soxRaw(want, dir.file("b.raw")));
    }
}
