// The combine window against the built conversion library: accepting and
// refusing files, the refusals of "COMBINE", both modes run to the end and
// their files checked from outside, failures, the overwrite question and
// the three faults mended here (a destination that is a source, the
// output's permissions, "COMBINE" while a job runs).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>

#include <filesystem>

#include "editing/dialogcombine.h"
#include "editing/labelcombine.h"
#include "editingtestutil.h"
#include "filejobs/jobtestutil.h"
#include "morphex/audiogen.h"
#include "tools.h"
#include "widgets/snxprogressdialog.h"

namespace {

using edtest::MessageBoxes;
using edtest::q;
namespace fs = std::filesystem;

std::vector<int32_t> ramp(size_t n, int32_t from, int32_t step) {
    std::vector<int32_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<int32_t>((from + step * static_cast<int64_t>(i)) % 30000);
    return v;
}

std::string soxi(const std::string &option, const std::string &path) {
    return sxtest::commandOutput("soxi " + option + " '" + path + "' 2>/dev/null");
}

// Drops a list of URLs on a widget the way a desktop drag does: the drag
// enters first, and only a widget that took it receives the drop.
void dropOn(QWidget *area, const QList<QUrl> &urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &drop);
}

class CombineWindow : public ::testing::Test {
protected:
    void SetUp() override {
        DialogCombine::setLibraryPath(edtest::builtLibrary());
        mOldCurrent = QDir::currentPath();
        QDir::setCurrent(q(dir.path()));
        dlg = std::make_unique<DialogCombine>();
        dlg->setDestination(nullptr);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    void TearDown() override {
        dlg.reset();
        QDir::setCurrent(mOldCurrent);
        DialogCombine::sGetOpenFileName = mOpenFile;
        DialogCombine::sGetExistingDirectory = mOpenDir;
    }

    template <class T>
    T *child(const char *name) {
        T *w = dlg->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    labelCombine *head() { return child<labelCombine>("label_HeadName"); }
    labelCombine *tail() { return child<labelCombine>("label_TailName"); }
    QString text(const char *label) { return child<QLabel>(label)->text(); }
    QLineEdit *field(const char *name) { return child<QLineEdit>(name); }
    void setMode(int mode) { child<QComboBox>("comboBox")->setCurrentIndex(mode); }

    std::string file(const std::string &name) { return dir.file(name); }
    std::string wav(const std::string &name, uint32_t rate, int bits, int channels, const std::vector<int32_t> &s) {
        EXPECT_TRUE(sxtest::writeAll(file(name), sxgen::wav(rate, bits, channels, s)));
        return file(name);
    }

    void drop(QWidget *area, const std::string &path) { dropOn(area, {QUrl::fromLocalFile(q(path))}); }

    void combine() { child<QPushButton>("pushButton")->click(); }
    // Runs a combine and waits for its result box; the box's text.
    QString combineAndWait(MessageBoxes &boxes) {
        combine();
        EXPECT_TRUE(boxes.waitFor(QStringLiteral("Combine Files"))) << boxes.list();
        for (const auto &b : boxes.seen())
            if (b.title == QStringLiteral("Combine Files")) return b.text;
        return QString();
    }

    sxtest::TempDir dir;
    std::unique_ptr<DialogCombine> dlg;

private:
    QString mOldCurrent;
    DialogCombine::tOpenFileNameFunc mOpenFile = DialogCombine::sGetOpenFileName;
    DialogCombine::tExistingDirectoryFunc mOpenDir = DialogCombine::sGetExistingDirectory;
};

}  // namespace

TEST_F(CombineWindow, AcceptedFilesNameTheCombinedFile) {
    MessageBoxes boxes;
    const auto s = ramp(2000, 1, 3);
    drop(head(), wav("a.b.wav", 44100, 16, 2, s));
    drop(tail(), wav("c.wav", 44100, 24, 1, s));
    EXPECT_TRUE(boxes.seen().empty()) << boxes.list();
    EXPECT_EQ(head()->text(), QStringLiteral("a.b.wav"));
    EXPECT_EQ(text("label_HeadFreq"), QStringLiteral("44.1kHz"));
    EXPECT_EQ(text("label_HeadBit"), QStringLiteral("16bit"));
    EXPECT_EQ(text("label_HeadCh"), QStringLiteral("STEREO"));
    EXPECT_EQ(tail()->text(), QStringLiteral("c.wav"));
    EXPECT_EQ(text("label_TailBit"), QStringLiteral("24bit"));
    EXPECT_EQ(text("label_TailCh"), QStringLiteral("MONO"));
    EXPECT_EQ(field("plainTextEditDir")->text(), q(dir.path()));
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("ab_c"));
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".wav"));

    // A head named in upper case keeps its type's case.
    drop(head(), wav("x.WAV", 44100, 16, 2, s));
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("x_c"));
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".WAV"));

    // Only file lists are taken.
    QMimeData files, plain;
    files.setUrls({QUrl::fromLocalFile(q(file("c.wav")))});
    plain.setText(QStringLiteral("c.wav"));
    QDragEnterEvent enterFiles(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enterText(QPoint(5, 5), Qt::CopyAction, &plain, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tail(), &enterFiles);
    QApplication::sendEvent(tail(), &enterText);
    EXPECT_TRUE(enterFiles.isAccepted());
    EXPECT_FALSE(enterText.isAccepted());
}

TEST_F(CombineWindow, RefusedFilesLeaveTheEarlierFileInPlace) {
    MessageBoxes boxes;
    drop(head(), wav("a.wav", 44100, 16, 2, ramp(2000, 1, 3)));
    ASSERT_TRUE(sxtest::writeAll(file("garbage.wav"), std::vector<uint8_t>(300, 0x41)));
    ASSERT_TRUE(sxtest::writeAll(file("song.flac"), std::vector<uint8_t>(300, 0x41)));
    wav("fast.wav", 705600, 16, 2, ramp(2000, 1, 3));
    wav("slow.wav", 22050, 16, 2, ramp(2000, 1, 3));

    struct Row {
        std::string path;
        const char *title;
        const char *message;
    };
    const Row rows[] = {
        {file("song.flac"), "Cannot Open", "song.flac\nUnsupported audio file."},
        {file("garbage.wav"), "Cannot Open", "garbage.wav\nUnsupported audio file."},
        {file("missing.dsf"), "Cannot Open", "missing.dsf\nUnsupported audio file."},
        {file("fast.wav"), "Cannot Open", "Unsupported sampling frequency."},
        {file("slow.wav"), "Cannot Open", "Unsupported sampling frequency."},
    };
    for (const Row &r : rows) {
        boxes.clear();
        drop(head(), r.path);
        ASSERT_EQ(boxes.seen().size(), 1u) << r.path << "\n" << boxes.list();
        EXPECT_EQ(boxes.seen()[0].title, QString::fromLatin1(r.title));
        EXPECT_EQ(boxes.seen()[0].text, QString::fromLatin1(r.message));
        EXPECT_EQ(head()->text(), QStringLiteral("a.wav")) << r.path;
        EXPECT_EQ(text("label_HeadFreq"), QStringLiteral("44.1kHz"));
    }

    // Drops that carry no local file do nothing.
    boxes.clear();
    dropOn(head(), {});
    dropOn(head(), {QUrl(QStringLiteral("https://example.org/a.wav"))});
    EXPECT_TRUE(boxes.seen().empty()) << boxes.list();
    EXPECT_EQ(head()->text(), QStringLiteral("a.wav"));
}

TEST_F(CombineWindow, SelectButtonsAndTheFolderButton) {
    MessageBoxes boxes;
    fs::create_directories(file("in"));
    fs::create_directories(file("out"));
    static std::string chosen;
    static QString caption, filter;
    DialogCombine::sGetOpenFileName = [](QWidget *, const QString &c, const QString &, const QString &f) {
        caption = c;
        filter = f;
        return q(chosen);
    };
    chosen = wav("in/h.wav", 96000, 24, 2, ramp(600, 1, 3));
    child<QPushButton>("pushButtonSelectHead")->click();
    EXPECT_EQ(caption, QStringLiteral("Select Audio File"));
    EXPECT_EQ(filter, QStringLiteral("Supported files (*.wav *.dsf *.dff);;All files (*.*)"));
    EXPECT_EQ(head()->text(), QStringLiteral("h.wav"));
    EXPECT_EQ(text("label_HeadFreq"), QStringLiteral("96kHz"));
    EXPECT_EQ(QDir::currentPath(), q(file("in")));  // the chosen file's folder

    // Cancelled: nothing changes.
    chosen.clear();
    child<QPushButton>("pushButtonSelectTail")->click();
    EXPECT_TRUE(tail()->text().isEmpty());
    EXPECT_TRUE(boxes.seen().empty()) << boxes.list();

    // The folder button sets the folder and the current folder; the name
    // stays as the name rule made it.
    const QString nameBefore = field("plainTextEditFile")->text();
    DialogCombine::sGetExistingDirectory = [](QWidget *, const QString &c, const QString &, QFileDialog::Options o) {
        EXPECT_EQ(c, QStringLiteral("Select Folder to Export"));
        EXPECT_TRUE(o & QFileDialog::ShowDirsOnly);
        EXPECT_TRUE(o & QFileDialog::DontResolveSymlinks);
        return QDir::currentPath() + QStringLiteral("/../out");
    };
    child<QPushButton>("pushSelDir")->click();
    EXPECT_EQ(field("plainTextEditDir")->text(), q(file("in")) + QStringLiteral("/../out"));
    EXPECT_EQ(QDir::currentPath(), q(file("out")));
    EXPECT_EQ(field("plainTextEditFile")->text(), nameBefore);
}

TEST_F(CombineWindow, CombineRefusesMissingAndMismatchedFiles) {
    MessageBoxes boxes;
    auto refusal = [&] {
        boxes.clear();
        combine();
        EXPECT_EQ(boxes.seen().size(), 1u) << boxes.list();
        if (boxes.seen().empty()) return QString();
        EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Combine"));
        EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);
        return boxes.seen()[0].text;
    };
    EXPECT_EQ(refusal(), QStringLiteral("The head file has not been selected.\nThe tail file has not been selected."));
    setMode(1);
    EXPECT_EQ(refusal(), QStringLiteral("The L-ch file has not been selected.\nThe R-ch file has not been selected."));
    setMode(0);

    // A WAV head and a DSF tail at other rates: the format alone.
    drop(head(), wav("a.wav", 44100, 16, 2, ramp(2000, 1, 3)));
    ASSERT_TRUE(
        sxtest::writeAll(file("t.dsf"), sxgen::dsf(2822400, {sxgen::noiseBytes(5000, 1), sxgen::noiseBytes(5000, 2)})));
    drop(tail(), file("t.dsf"));
    EXPECT_EQ(refusal(), QStringLiteral("File formats of two files do not match."));

    drop(tail(), wav("t.wav", 48000, 24, 2, ramp(2000, 1, 3)));
    EXPECT_EQ(refusal(),
              QStringLiteral("Sampling frequencies of two files do not match.\nBit length of two files do not match."));

    // Two mono files: a stereo file is refused on either side and that side
    // counts as not chosen.
    setMode(1);
    EXPECT_EQ(text("labelHeadFile"), QStringLiteral("Mono File 1(L)"));
    EXPECT_EQ(text("labelCombined"), QStringLiteral("Output Stereo File"));
    EXPECT_TRUE(head()->text().isEmpty());
    EXPECT_TRUE(text("label_TailFreq").isEmpty());
    drop(head(), wav("l.wav", 44100, 16, 1, ramp(2000, 1, 3)));
    boxes.clear();
    drop(tail(), file("a.wav"));
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Combine"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("The selected file is not monaural."));
    EXPECT_TRUE(tail()->text().isEmpty());
    EXPECT_TRUE(text("label_TailCh").isEmpty());
    EXPECT_EQ(refusal(), QStringLiteral("The R-ch file has not been selected."));

    // Switching back empties both sides again.
    setMode(0);
    EXPECT_EQ(text("labelHeadFile"), QStringLiteral("Head File"));
    EXPECT_EQ(refusal(), QStringLiteral("The head file has not been selected.\nThe tail file has not been selected."));
}

TEST_F(CombineWindow, DestinationOf254UnitsIsTakenAnd255Refused) {
    MessageBoxes boxes;
    const auto s = ramp(2000, 1, 3);
    drop(head(), wav("a.wav", 44100, 16, 2, s));
    drop(tail(), wav("c.wav", 44100, 16, 2, s));

    // Folder + "/" + "a_c" + ".wav" at 254 units, in a real folder.
    const int folderLength = 254 - 1 - 3 - 4;
    const int sub = folderLength - static_cast<int>(dir.path().size()) - 1;
    ASSERT_GT(sub, 0);
    ASSERT_LE(sub, 255);
    const std::string folder = dir.path() + "/" + std::string(static_cast<size_t>(sub), 'd');
    ASSERT_TRUE(fs::create_directory(folder));
    field("plainTextEditDir")->setText(q(folder));
    field("plainTextEditFile")->setText(QStringLiteral("a_cc"));
    boxes.clear();
    combine();
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Combine"));
    EXPECT_TRUE(boxes.seen()[0].text.startsWith(QStringLiteral("The file name would be too long.\n")));
    EXPECT_FALSE(fs::exists(folder + "/a_cc.wav"));

    field("plainTextEditFile")->setText(QStringLiteral("a_c"));
    boxes.clear();
    EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine completed."));
    EXPECT_EQ((q(folder) + QStringLiteral("/a_c.wav")).length(), 254);
    EXPECT_TRUE(fs::exists(folder + "/a_c.wav"));
}

TEST_F(CombineWindow, TimeAxisWavJoinedAndCheckedFromOutside) {
    if (!sxtest::haveTool("sox")) GTEST_SKIP() << "sox missing";
    MessageBoxes boxes;
    const std::string a = wav("a.wav", 44100, 16, 2, ramp(2 * 44100, 1, 3));
    const std::string c = wav("c.wav", 44100, 16, 2, ramp(2 * 22050, -7, 5));
    const auto headBytes = sxtest::readAll(a);
    // A read-only head: the output is still a normal, owner-writable file,
    // and nobody else may write it.
    ASSERT_EQ(::chmod(a.c_str(), 0444), 0);
    const mode_t oldMask = ::umask(022);
    drop(head(), a);
    drop(tail(), c);
    const QString result = combineAndWait(boxes);
    ::umask(oldMask);

    EXPECT_EQ(result, QStringLiteral("Combine completed."));
    EXPECT_EQ(boxes.seen().back().icon, QMessageBox::Information);
    EXPECT_FALSE(dlg->isVisible());
    const std::string out = file("a_c.wav");
    EXPECT_EQ(soxi("-s", out), "66150");
    EXPECT_EQ(soxi("-D", out), "1.500000");
    EXPECT_EQ(soxi("-c", out), "2");
    ASSERT_TRUE(jobtest::run("sox '" + a + "' '" + c + "' '" + file("want.wav") + "' 2>/dev/null"));
    EXPECT_EQ(jobtest::soxRaw(out, file("x.raw")), jobtest::soxRaw(file("want.wav"), file("y.raw")));
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_FALSE(fs::exists(file("_SonvexEditorRiffTemp.bin")));
    EXPECT_EQ(sxtest::readAll(a), headBytes);

    // The progress window came and went.
    const auto progress = dlg->findChildren<snxProgressDialog *>();
    ASSERT_EQ(progress.size(), 1);
    EXPECT_EQ(progress[0]->windowTitle(), QStringLiteral("Combining..."));
    EXPECT_EQ(progress[0]->labelText(), QStringLiteral("Combining files..."));
    EXPECT_FALSE(progress[0]->isVisible());

    // Shown again, the window still holds its files.
    dlg->show();
    EXPECT_EQ(head()->text(), QStringLiteral("a.wav"));
    EXPECT_EQ(tail()->text(), QStringLiteral("c.wav"));
}

TEST_F(CombineWindow, TimeAxisDsdJoinedBitForBit) {
    struct Row {
        const char *type;
        size_t headBytes, tailBytes;  // per channel
    };
    // DSF lengths off whole blocks: the tail continues inside the head's
    // padded last block.
    const Row rows[] = {{"dsf", 40000 + 1000, 20000 - 1000}, {"dff", 40000, 20000}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.type);
        MessageBoxes boxes;
        const bool dsf = std::string(r.type) == "dsf";
        const std::vector<std::vector<uint8_t>> h = {sxgen::noiseBytes(r.headBytes, 1),
                                                     sxgen::noiseBytes(r.headBytes, 2)};
        const std::vector<std::vector<uint8_t>> t = {sxgen::noiseBytes(r.tailBytes, 3),
                                                     sxgen::noiseBytes(r.tailBytes, 4)};
        const std::string a = file(std::string("h.") + r.type), c = file(std::string("t.") + r.type);
        ASSERT_TRUE(sxtest::writeAll(a, dsf ? sxgen::dsf(2822400, h) : sxgen::dsdiff(2822400, h)));
        ASSERT_TRUE(sxtest::writeAll(c, dsf ? sxgen::dsf(2822400, t) : sxgen::dsdiff(2822400, t)));
        dlg->show();
        drop(head(), a);
        drop(tail(), c);
        EXPECT_EQ(text("label_HeadBit"), QStringLiteral("1bit"));
        EXPECT_EQ(text("label_HeadFreq"), QStringLiteral("2.8MHz"));
        EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine completed."));

        const auto bytes = sxtest::readAll(file(std::string("h_t.") + r.type));
        std::vector<std::vector<uint8_t>> joined = h;
        for (int ch = 0; ch < 2; ++ch) joined[ch].insert(joined[ch].end(), t[ch].begin(), t[ch].end());
        if (dsf) {
            EXPECT_EQ(sxgen::dsfChannels(bytes), joined);  // its stated sample count included
        } else {
            std::vector<uint8_t> interleaved;
            for (size_t k = 0; k < joined[0].size(); ++k) {
                interleaved.push_back(joined[0][k]);
                interleaved.push_back(joined[1][k]);
            }
            EXPECT_EQ(sxgen::dsdiffData(bytes), interleaved);
        }
        if (sxtest::haveTool("ffprobe")) {
            const auto probe = sxtest::probeStream(file(std::string("h_t.") + r.type), "stream=channels,sample_rate");
            EXPECT_EQ(probe.count("channels") ? probe.at("channels") : "", "2");
        }
    }
}

TEST_F(CombineWindow, TwoMonoFilesBecomeOneStereoFile) {
    if (!sxtest::haveTool("sox")) GTEST_SKIP() << "sox missing";
    MessageBoxes boxes;
    setMode(1);
    // Different lengths: the shorter side is padded with silence, as sox -M
    // pads its shorter input.
    const std::string l = wav("left.wav", 48000, 24, 1, ramp(4800, 11, 7));
    const std::string r = wav("right.wav", 48000, 24, 1, ramp(3000, -5, 9));
    drop(head(), l);
    drop(tail(), r);
    EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine completed."));
    EXPECT_FALSE(dlg->isVisible());
    const std::string out = file("left_right.wav");
    EXPECT_EQ(soxi("-c", out), "2");
    EXPECT_EQ(soxi("-s", out), "4800");
    ASSERT_TRUE(jobtest::run("sox -M '" + l + "' '" + r + "' '" + file("want.wav") + "' 2>/dev/null"));
    EXPECT_EQ(jobtest::soxRaw(out, file("x.raw")), jobtest::soxRaw(file("want.wav"), file("y.raw")));

    const auto progress = dlg->findChildren<snxProgressDialog *>();
    ASSERT_EQ(progress.size(), 1);
    EXPECT_EQ(progress[0]->windowTitle(), QStringLiteral("Rebuilding 2xMono to Stereo file..."));
    EXPECT_FALSE(progress[0]->isVisible());

    // DSF: the two channels' bits side by side.
    boxes.clear();
    dlg->show();
    const auto lb = sxgen::noiseBytes(9000, 5), rb = sxgen::noiseBytes(9000, 6);
    ASSERT_TRUE(sxtest::writeAll(file("l.dsf"), sxgen::dsf(5644800, {lb})));
    ASSERT_TRUE(sxtest::writeAll(file("r.dsf"), sxgen::dsf(5644800, {rb})));
    drop(head(), file("l.dsf"));
    drop(tail(), file("r.dsf"));
    EXPECT_EQ(text("label_TailCh"), QStringLiteral("MONO"));
    EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine completed."));
    EXPECT_EQ(sxgen::dsfChannels(sxtest::readAll(file("l_r.dsf"))), (std::vector<std::vector<uint8_t>>{lb, rb}));
}

TEST_F(CombineWindow, FailuresAreReportedAndLeaveNoFile) {
    const auto s = ramp(4000, 1, 3);
    drop(head(), wav("a.wav", 44100, 16, 2, s));
    drop(tail(), wav("c.wav", 44100, 16, 2, s));

    // The head cannot be copied into a folder that does not exist.
    {
        MessageBoxes boxes;
        field("plainTextEditDir")->setText(q(file("nowhere")));
        const QString result = combineAndWait(boxes);
        EXPECT_EQ(result, QStringLiteral("Combine failed.\n\n[Code = -1]"));
        EXPECT_EQ(boxes.seen().back().icon, QMessageBox::Warning);
        EXPECT_TRUE(dlg->isVisible());
    }
    // The library cannot open the tail: its code, and no half-made file.
    field("plainTextEditDir")->setText(q(dir.path()));
    ASSERT_TRUE(fs::remove(file("c.wav")));
    {
        MessageBoxes boxes;
        EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine failed.\n\n[Code = -3]"));
        EXPECT_FALSE(fs::exists(file("a_c.wav")));
        EXPECT_FALSE(fs::exists(file("_SonvexEditorRiffTemp.bin")));
        EXPECT_TRUE(dlg->isVisible());
    }
    // The join job cannot read its right source either.
    setMode(1);
    drop(head(), wav("l.wav", 44100, 16, 1, s));
    drop(tail(), wav("r.wav", 44100, 16, 1, s));
    ASSERT_TRUE(fs::remove(file("r.wav")));
    {
        MessageBoxes boxes;
        const QString result = combineAndWait(boxes);
        EXPECT_TRUE(result.startsWith(QStringLiteral("Combine failed.\n\n[Code = -"))) << result.toStdString();
        EXPECT_FALSE(fs::exists(file("l_r.wav")));
    }
}

TEST_F(CombineWindow, OverwriteQuestion) {
    const auto s = ramp(4000, 1, 3);
    drop(head(), wav("a.wav", 44100, 16, 2, s));
    drop(tail(), wav("c.wav", 44100, 16, 2, s));
    ASSERT_TRUE(sxtest::writeAll(file("a_c.wav"), {'o', 'l', 'd'}));
    {
        MessageBoxes boxes;
        boxes.answer(QMessageBox::Cancel);
        combine();
        ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
        EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Confirmation"));
        EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("a_c.wav already exists.\nDo you want to overwrite?"));
        QTest::qWait(300);
        EXPECT_EQ(boxes.seen().size(), 1u) << boxes.list();
        EXPECT_EQ(sxtest::readAll(file("a_c.wav")), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_TRUE(dlg->findChildren<snxProgressDialog *>().isEmpty());
    }
    {
        MessageBoxes boxes;
        EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine completed."));
        EXPECT_EQ(boxes.seen().front().title, QStringLiteral("Confirmation"));
        EXPECT_EQ(sxgen::wavData(sxtest::readAll(file("a_c.wav"))).size(), 2 * 4000 * 2u);
    }
}

TEST_F(CombineWindow, DestinationThatIsOneOfTheSourcesIsRefused) {
    const auto s = ramp(4000, 1, 3);
    const std::string a = wav("a.wav", 44100, 16, 2, s);
    const std::string c = wav("c.wav", 44100, 16, 2, s);
    const auto before = sxtest::readAll(a);
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        setMode(mode);
        if (mode == 1) {
            wav("a.wav", 44100, 16, 1, s);
            wav("c.wav", 44100, 16, 1, s);
        }
        drop(head(), a);
        drop(tail(), c);
        for (const char *name : {"a", "c"}) {
            MessageBoxes boxes;
            field("plainTextEditFile")->setText(QString::fromLatin1(name));
            combine();
            ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
            EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Combine"));
            EXPECT_TRUE(boxes.seen()[0].text.startsWith(
                QStringLiteral("The combined file would replace one of the two files to combine.")));
            EXPECT_TRUE(fs::exists(file(std::string(name) + ".wav")));
        }
    }
    // The same file reached through a link is the same file.
    wav("a.wav", 44100, 16, 2, s);
    wav("c.wav", 44100, 16, 2, s);
    setMode(0);
    drop(head(), a);
    drop(tail(), c);
    fs::create_symlink(a, file("link.wav"));
    MessageBoxes boxes;
    field("plainTextEditFile")->setText(QStringLiteral("link"));
    combine();
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Combine"));
    EXPECT_EQ(sxtest::readAll(a), before);
}

TEST_F(CombineWindow, CombineWhileAJobRunsIsIgnored) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        dlg->show();
        setMode(mode);
        const int channels = mode == 0 ? 2 : 1;
        const auto s = ramp(8 * 44100, 1, 3);
        drop(head(), wav("a.wav", 44100, 16, channels, s));
        drop(tail(), wav("c.wav", 44100, 16, channels, s));
        fs::remove(file("a_c.wav"));
        MessageBoxes boxes;
        combine();
        combine();  // before the first one can have reported
        combine();
        ASSERT_TRUE(boxes.waitFor(QStringLiteral("Combine Files"))) << boxes.list();
        QTest::qWait(300);
        ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
        EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Combine completed."));
        EXPECT_EQ(sxgen::wavData(sxtest::readAll(file("a_c.wav"))).size(), 2 * s.size() * 2u);
    }
}

TEST_F(CombineWindow, PresetHeadFile) {
    MessageBoxes boxes;
    const std::string a = wav("take.one.wav", 96000, 24, 2, ramp(960, 1, 3));
    dlg->setHeadFile(q(a), QStringLiteral("take.one.wav"), 0, 96000, 24, 2, 1, QStringLiteral("24bit"));
    EXPECT_EQ(head()->text(), QStringLiteral("take.one.wav"));
    EXPECT_EQ(text("label_HeadFreq"), QStringLiteral("96kHz"));
    EXPECT_EQ(text("label_HeadBit"), QStringLiteral("24bit"));
    EXPECT_EQ(text("label_HeadCh"), QStringLiteral("STEREO"));
    EXPECT_EQ(field("plainTextEditFile")->text(), QStringLiteral("takeone_"));
    EXPECT_EQ(field("plainTextEditFileType")->text(), QStringLiteral(".wav"));

    // The preset record is what the tail is compared with.
    drop(tail(), wav("b.wav", 96000, 24, 2, ramp(480, 5, 3)));
    EXPECT_EQ(combineAndWait(boxes), QStringLiteral("Combine completed."));
    EXPECT_EQ(sxgen::wavData(sxtest::readAll(file("takeone_b.wav"))).size(), (960u + 480u) * 3);
}

TEST(CombineWindowWithoutLibrary, FilesAreRefusedWithAClearMessage) {
    DialogCombine::setLibraryPath(QStringLiteral("/nonexistent/libmorphex.so.1"));
    sxtest::TempDir dir;
    ASSERT_TRUE(sxtest::writeAll(dir.file("a.wav"), sxgen::wav(44100, 16, 2, ramp(100, 1, 1))));
    DialogCombine dlg;
    MessageBoxes boxes;
    auto *area = dlg.findChild<labelCombine *>(QStringLiteral("label_HeadName"));
    dropOn(area, {QUrl::fromLocalFile(q(dir.file("a.wav")))});
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Combine"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("The conversion library could not be loaded."));
    EXPECT_TRUE(area->text().isEmpty());
    DialogCombine::setLibraryPath(QString());
}
