// The export window's form, lists and name, and the checks behind "EXPORT"
// (the path limit, a blank name, the overwrite question for the files the
// passes write, a destination that is the source, the DSDIFF title), driven
// on the real window as the main window shows it.
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>

#include <filesystem>

#include "editing/exportrules.h"
#include "exporttestutil.h"

namespace {

using edtest::MessageBoxes;
using edtest::q;
using extest::ExportWindow;

class ExportForm : public ExportWindow {};

}  // namespace

TEST_F(ExportForm, StateAfterConstruction) {
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Export File"));
    EXPECT_EQ(dlg->minimumSize(), QSize(540, 440));
    EXPECT_EQ(dlg->maximumSize(), QSize(540, 440));
    EXPECT_TRUE(dlg->isModal());
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(items("BounceFormat"), (QStringList{"WAV(PCM)", "DSDIFF(DSD)", "DSF(DSD)"}));
    EXPECT_EQ(items("BounceFreq").size(), 8);
    EXPECT_EQ(list("BounceFreq")->currentText(), QStringLiteral("48kHz"));
    EXPECT_EQ(list("BounceBit")->currentText(), QStringLiteral("32bit Float"));
    EXPECT_EQ(dlg->wordLength(), 32);
    EXPECT_EQ(items("BounceDither"), QStringList{"None"});
    EXPECT_EQ(dlg->mDitherMode, 0);
    EXPECT_EQ(dlg->outputRate(), 48000u);
    EXPECT_EQ(dlg->outputRateIndex(), 1);
    EXPECT_EQ(dlg->outputChannels(), 2);
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".wav"));
    EXPECT_TRUE(field("plainTextEditFileType")->isReadOnly());
    EXPECT_TRUE(dlg->checkBoxApplyShortFade->isChecked());
    // The settings file's aliases are the form's own widgets.
    EXPECT_EQ(dlg->BounceFormat, list("BounceFormat"));
    EXPECT_EQ(dlg->BounceFreq, list("BounceFreq"));
    EXPECT_EQ(dlg->BounceBit, list("BounceBit"));

    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    for (const char *hidden : {"pushEditTag", "BounceDither", "labelDstDither", "label_dstCh"})
        EXPECT_FALSE(dlg->findChild<QWidget *>(QString::fromLatin1(hidden))->isVisible()) << hidden;
    EXPECT_EQ(child<QPushButton>("pushBounce")->text(), QStringLiteral("EXPORT"));
    EXPECT_EQ(child<QWidget>("pushBounce")->geometry(), QRect(230, 387, 85, 27));
    EXPECT_FALSE(child<QLabel>("labelBackground")->pixmap().isNull());
    if (const char *shot = std::getenv("SONVEX_SHOT")) dlg->grab().save(QString::fromLocal8Bit(shot));
}

TEST_F(ExportForm, NameFollowsTheRateAndTheFormat) {
    describe(source("src.wav"), QStringLiteral("concert.final.wav"), 2);
    list("BounceFreq")->setCurrentText(QStringLiteral("96kHz"));
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("concertfinal_96k"));
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".wav"));
    EXPECT_EQ(child<QLabel>("label_orgFileName")->text(), QStringLiteral("concert.final.wav"));
    EXPECT_EQ(child<QLabel>("label_orgCh")->text(), QStringLiteral("STEREO"));

    // A typed name is replaced as soon as the rate or the format changes.
    field("plainTextEditFile")->setText(QStringLiteral("my own name"));
    list("BounceFreq")->setCurrentText(QStringLiteral("192kHz"));
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("concertfinal_192k"));

    list("BounceFormat")->setCurrentIndex(2);  // DSF
    EXPECT_EQ(items("BounceFreq"), (QStringList{"2.8MHz", "5.6MHz", "11.2MHz"}));
    EXPECT_EQ(list("BounceFreq")->currentText(), QStringLiteral("2.8MHz"));
    EXPECT_EQ(items("BounceBit"), QStringList{"1bit"});
    EXPECT_EQ(items("BounceDither"), QStringList{"None"});
    EXPECT_EQ(dlg->wordLength(), 1);
    EXPECT_EQ(dlg->outputFileType(), kExportDsf);
    EXPECT_EQ(dlg->outputRateIndex(), 16);
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("concertfinal_2.8M"));
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".dsf"));

    list("BounceFormat")->setCurrentIndex(1);  // DSDIFF
    EXPECT_EQ(dlg->outputFileType(), kExportDsdiff);
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".dff"));

    list("BounceFormat")->setCurrentIndex(0);  // back to WAV
    EXPECT_EQ(list("BounceBit")->currentText(), QStringLiteral("24bit"));
    EXPECT_EQ(list("BounceFreq")->currentText(), QStringLiteral("48kHz"));
    EXPECT_EQ(items("BounceDither"), (QStringList{"None", "Dither", "Noise Shape"}));
    EXPECT_EQ(dlg->wordLength(), 24);
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("concertfinal_48k"));

    // A name without a dot has no base name.
    describe(source("src.wav"), QStringLiteral("noext"), 2);
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("_48k"));
}

TEST_F(ExportForm, ChannelListAndTheStereoPreference) {
    describe(source("m.wav"), QStringLiteral("mono.wav"), 1);
    EXPECT_EQ(items("BounceCh"), QStringList{"MONO"});
    EXPECT_EQ(dlg->outputChannels(), 1);
    EXPECT_EQ(dlg->getBounceToStereoFlag(), 1);

    describe(source("s.wav"), QStringLiteral("stereo.wav"), 2);
    EXPECT_EQ(items("BounceCh"), (QStringList{"DUAL MONO", "STEREO"}));
    EXPECT_EQ(list("BounceCh")->currentText(), QStringLiteral("STEREO"));
    EXPECT_EQ(dlg->outputChannels(), 2);
    EXPECT_EQ(dlg->getBounceToStereoFlag(), 0);

    // Once the user chooses DUAL MONO, later sources open on it.
    list("BounceCh")->setCurrentIndex(0);
    EXPECT_EQ(dlg->outputChannels(), 1);
    describe(source("s.wav"), QStringLiteral("stereo.wav"), 2);
    EXPECT_EQ(list("BounceCh")->currentText(), QStringLiteral("DUAL MONO"));
    EXPECT_EQ(dlg->outputChannels(), 1);
    EXPECT_EQ(dlg->getBounceToStereoFlag(), 2);

    // A mono source among several tracks is exported from the mix: both
    // layouts are offered.
    list("BounceCh")->setCurrentIndex(1);
    describe(source("m.wav"), QStringLiteral("mono.wav"), 1, 3);
    EXPECT_EQ(items("BounceCh"), (QStringList{"DUAL MONO", "STEREO"}));
    // The channel text is MONO, so index 0 is chosen; the user's
    // preference is not changed by that.
    EXPECT_EQ(list("BounceCh")->currentText(), QStringLiteral("DUAL MONO"));
    EXPECT_EQ(dlg->outputChannels(), 1);
    EXPECT_EQ(dlg->stereoPreference(), 1);
}

TEST_F(ExportForm, FolderChoiceBecomesTheCurrentFolder) {
    describe(source("s.wav"), QStringLiteral("s.wav"), 2);
    EXPECT_EQ(field("plainTextEditDir")->text(), q(dir.path()));
    const std::string other = dir.file("chosen");
    std::filesystem::create_directory(other);
    static QString chosen;
    static QString caption;
    chosen = q(other);
    DialogEdit::sGetExistingDirectory = [](QWidget *, const QString &c, const QString &, QFileDialog::Options) {
        caption = c;
        return chosen;
    };
    QTest::mouseClick(child<QPushButton>("pushSelDir"), Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Please select the folder to export."));
    EXPECT_EQ(field("plainTextEditDir")->text(), q(other));
    EXPECT_EQ(QDir::currentPath(), q(other));
    dlg->setDestination(nullptr);
    EXPECT_EQ(field("plainTextEditDir")->text(), q(other));

    // Cancelling keeps the field; a typed folder does not become current.
    chosen.clear();
    field("plainTextEditDir")->setText(q(dir.path()));
    QTest::mouseClick(child<QPushButton>("pushSelDir"), Qt::LeftButton);
    EXPECT_EQ(field("plainTextEditDir")->text(), q(dir.path()));
    EXPECT_EQ(QDir::currentPath(), q(other));
}

TEST_F(ExportForm, PathLimitAndBlankName) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("s.wav"), 2);
    const QString folder = q(dir.path());
    // folder + "/" + name + ".wav": 255 units go, 256 are refused.
    const int room = 255 - static_cast<int>(folder.size()) - 1 - 4;
    ASSERT_GT(room, 10);
    field("plainTextEditFile")->setText(QString(room, QLatin1Char('n')));
    pressExport();
    EXPECT_EQ(executed, 1) << boxes.list();
    EXPECT_TRUE(boxes.seen().empty()) << boxes.list();

    field("plainTextEditFile")->setText(QString(room + 1, QLatin1Char('n')));
    pressExport();
    EXPECT_EQ(executed, 1);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes.seen()[0].text.startsWith(QStringLiteral("The file name would be too long.\n")));

    // DUAL MONO writes name_01 and name_02: those must fit.
    list("BounceCh")->setCurrentIndex(0);
    field("plainTextEditFile")->setText(QString(room - 2, QLatin1Char('n')));
    pressExport();
    EXPECT_EQ(executed, 1);
    EXPECT_EQ(boxes.seen().size(), 2u);
    field("plainTextEditFile")->setText(QString(room - 3, QLatin1Char('n')));
    pressExport();
    EXPECT_EQ(executed, 2);

    field("plainTextEditFile")->clear();
    pressExport();
    EXPECT_EQ(executed, 2);
    ASSERT_EQ(boxes.seen().size(), 3u);
    EXPECT_EQ(boxes.seen()[2].text, QStringLiteral("The file name is blank.\nPlease give the file a name."));
}

TEST_F(ExportForm, OverwriteQuestionForEveryFileThePassesWrite) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("take.wav"), 2);
    field("plainTextEditFile")->setText(QStringLiteral("take"));
    const std::string existing = dir.file("take.wav");
    ASSERT_TRUE(sxtest::writeAll(existing, {1, 2, 3}));

    boxes.answer(QMessageBox::Cancel);
    pressExport();
    EXPECT_EQ(executed, 0);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Confirmation"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("take.wav already exists.\nDo you want to overwrite?"));
    EXPECT_EQ(QFile(q(existing)).size(), 3);

    boxes.answer(QMessageBox::Ok);
    pressExport();
    EXPECT_EQ(executed, 1);

    // DUAL MONO: the plain name is not written, so it is not asked about;
    // an existing "_02" file is, and Cancel keeps it.
    boxes.clear();
    list("BounceCh")->setCurrentIndex(0);
    field("plainTextEditFile")->setText(QStringLiteral("take"));
    pressExport();
    EXPECT_EQ(executed, 2);
    EXPECT_TRUE(boxes.seen().empty()) << boxes.list();

    ASSERT_TRUE(sxtest::writeAll(dir.file("take_02.wav"), {4, 5}));
    boxes.answer(QMessageBox::Cancel);
    pressExport();
    EXPECT_EQ(executed, 2);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("take_02.wav already exists.\nDo you want to overwrite?"));
    EXPECT_EQ(QFile(q(dir.file("take_02.wav"))).size(), 2);

    // Both exist: both are asked, and Cancel on the second starts nothing.
    boxes.clear();
    ASSERT_TRUE(sxtest::writeAll(dir.file("take_01.wav"), {4, 5}));
    boxes.answer(QMessageBox::Ok);
    boxes.answer(QMessageBox::Cancel);
    pressExport();
    EXPECT_EQ(executed, 2);
    EXPECT_EQ(boxes.seen().size(), 2u) << boxes.list();
    boxes.answer(QMessageBox::Ok);
    boxes.answer(QMessageBox::Ok);
    pressExport();
    EXPECT_EQ(executed, 3);
}

TEST_F(ExportForm, DestinationThatIsTheSourceIsRefused) {
    MessageBoxes boxes;
    const std::string src = source("take.wav");
    describe(src, QStringLiteral("take.wav"), 2);
    field("plainTextEditFile")->setText(QStringLiteral("take"));
    pressExport();
    EXPECT_EQ(executed, 0);
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("The exported file would replace the file being exported.\n"
                                                   "Please choose another file name or folder."));
    EXPECT_TRUE(QFile::exists(q(src)));
}

TEST_F(ExportForm, DsdiffDropsTitlesItCannotHold) {
    describe(source("s.wav"), QStringLiteral("s.wav"), 2);
    sxtest::TagRecord::set(tag.title, "\xe6\x97\xa5\xe6\x9c\xac");  // CJK
    sxtest::TagRecord::set(tag.artist, "Beyonc\xc3\xa9");
    sxtest::TagRecord::set(tag.album, "\xe6\x97\xa5");  // not a DSDIFF text: kept

    pressExport();  // WAV keeps every text
    EXPECT_EQ(executed, 1);
    EXPECT_NE(tag.title[0], 0);

    list("BounceFormat")->setCurrentIndex(1);
    pressExport();
    EXPECT_EQ(executed, 2);
    EXPECT_EQ(tag.title[0], 0);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t *>(tag.artist.data())),
              QString::fromUtf8("Beyonc\xc3\xa9"));
    EXPECT_NE(tag.album[0], 0);

    sxtest::TagRecord::set(tag.artist, "Dvo\xc5\x99\xc3\xa1k");
    pressExport();
    EXPECT_EQ(tag.artist[0], 0);
}

TEST_F(ExportForm, OwnTagEditorEditsTheMainWindowsRecord) {
    describe(source("s.wav"), QStringLiteral("s.wav"), 2);
    sxtest::TagRecord::set(tag.title, "Song");
    sxtest::TagRecord::set(tag.artist, "\xe6\x97\xa5\xe6\x9c\xac");  // CJK: a DSDIFF tag cannot hold it
    sxtest::TagRecord::set(tag.album, "Album");
    tag.info.startSample = 4321;
    QSignalSpy confirmed(dlg.get(), &DialogEdit::tagParamConfirmedExportWindow);

    DialogEditTag *editor = dlg->tagEditor();
    auto editorField = [&](const char *name) { return editor->findChild<QLineEdit *>(QString::fromLatin1(name)); };

    // The hidden button opens the editor typed by the chosen format.
    list("BounceFormat")->setCurrentIndex(1);  // DSDIFF
    child<QPushButton>("pushEditTag")->click();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(editorField("lineEditTitle")->text(), QStringLiteral("Song"));
    EXPECT_TRUE(editorField("lineEditArtist")->text().isEmpty());
    EXPECT_FALSE(editorField("lineEditAlbum")->isEnabled());

    editorField("lineEditArtist")->setText(QStringLiteral("Quartet"));
    editor->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(confirmed.count(), 1);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t *>(tag.artist.data())), QStringLiteral("Quartet"));
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t *>(tag.title.data())), QStringLiteral("Song"));
    EXPECT_EQ(tag.album[0], 0);  // not a DSDIFF field: emptied in the form, so in the record
    EXPECT_EQ(tag.info.startSample, 4321u);

    // A WAV export edits the start time code only.
    list("BounceFormat")->setCurrentIndex(0);
    child<QPushButton>("pushEditTag")->click();
    EXPECT_FALSE(editorField("lineEditTitle")->isEnabled());
    EXPECT_TRUE(editor->findChild<QComboBox *>(QStringLiteral("comboBoxFrm"))->isEnabled());
    editor->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(confirmed.count(), 1);
}
