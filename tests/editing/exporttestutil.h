// The export window under test, as the main window would hold it: the built
// library, a folder of its own as the current folder, and helpers that act
// as the main window (describe a source, show the window, answer
// convertExecute) and read exported files from outside.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "editing/dialogedit.h"
#include "editingtestutil.h"
#include "engine/enginetestutil.h"
#include "morphex/audiogen.h"
#include "tagrecord.h"
#include "testutil.h"
#include "tools.h"
#include "wavwriter.h"
#include "widgets/snxprogressdialog.h"

namespace extest {

using edtest::q;

// A 32-bit float stereo WAV: left and right hold the given constant
// levels, so fades show as straight ramps.
inline std::vector<uint8_t> dcWav(uint32_t rate, size_t frames, float left, float right) {
    std::vector<uint8_t> audio;
    for (size_t i = 0; i < frames; ++i) {
        sxtest::appendFloat(audio, left);
        sxtest::appendFloat(audio, right);
    }
    return sxtest::wavFile(rate, 32, 2, audio, sxtest::kWavTagFloat);
}

// Samples of a file decoded by ffmpeg (interleaved doubles at the file's
// own rate; DSD at rate / 8).
inline std::vector<double> decode(const std::string &path, int *channels = nullptr) {
    const auto kv = sxtest::probeStream(path, "stream=channels");
    if (channels) *channels = std::atoi(kv.count("channels") ? kv.at("channels").c_str() : "0");
    const std::string raw = path + ".f64";
    std::system(("ffmpeg -v error -y -i '" + path + "' -f f64le -acodec pcm_f64le '" + raw + "' 2>/dev/null").c_str());
    std::vector<double> out;
    if (FILE *f = std::fopen(raw.c_str(), "rb")) {
        double buf[4096];
        size_t n;
        while ((n = std::fread(buf, sizeof(double), 4096, f)) > 0) out.insert(out.end(), buf, buf + n);
        std::fclose(f);
    }
    std::remove(raw.c_str());
    return out;
}

class ExportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        engtest::useBuiltLibrary();
        DialogEdit::setLibraryPath(edtest::builtLibrary());
        mOldCurrent = QDir::currentPath();
        QDir::setCurrent(q(dir.path()));
        dlg = std::make_unique<DialogEdit>();
        for (peakEq &b : peq.band) b.reCalcCoef(kPlayRate);
        dlg->sendParameters(&peq, 0.0, kPlayRate);
        QObject::connect(dlg.get(), &DialogEdit::convertExecute, [this] { onConvertExecute(); });
    }
    void TearDown() override {
        dlg.reset();
        QDir::setCurrent(mOldCurrent);
        DialogEdit::sGetExistingDirectory = mOpenDir;
    }

    // What the main window does on convertExecute with one track.
    virtual void onConvertExecute() {
        ++executed;
        if (!mRunOnExecute) return;
        dlg->setBounceMonoFromRight(false);
        dlg->convertPlay(1);
    }

    template <class T>
    T *child(const char *name) {
        T *w = dlg->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox *list(const char *name) { return child<QComboBox>(name); }
    QLineEdit *field(const char *name) { return child<QLineEdit>(name); }
    QStringList items(const char *name) {
        QStringList s;
        QComboBox *c = list(name);
        for (int i = 0; i < c->count(); ++i) s << c->itemText(i);
        return s;
    }

    // EXPORT as the main window runs it: the source and its region, the
    // description, the folder and the tag, then the window shown.
    void describe(const std::string &source, const QString &name, int channels, int tracks = 1, int64_t in = 0,
                  int64_t out = 0) {
        dlg->mSourcePath = q(source);
        dlg->mExportRegion = tWaveEditParam{};
        dlg->mExportRegion.inPoint = in;
        dlg->mExportRegion.outPoint = out;
        dlg->mExportRegion.gain = 1.0;
        dlg->setEditFileName(name, QStringLiteral("WAV(PCM)"), QStringLiteral("44.1kHz"), QStringLiteral("32bit"),
                             channels == 1 ? QStringLiteral("MONO") : QStringLiteral("STEREO"), channels, tracks);
        dlg->setDestination(nullptr);
        dlg->sendID3tagInfo(&tag.info, 44100, static_cast<tTcFrameType>(0));
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    void pressExport() { QTest::mouseClick(child<QPushButton>("pushBounce"), Qt::LeftButton); }

    std::string source(const std::string &name, size_t frames = 44100, float left = 0.5f, float right = -0.25f) {
        EXPECT_TRUE(sxtest::writeAll(dir.file(name), dcWav(44100, frames, left, right)));
        return dir.file(name);
    }

    static constexpr int kPlayRate = 96000;
    sxtest::TempDir dir;
    sxtest::TagRecord tag;
    tPEQ peq;
    std::unique_ptr<DialogEdit> dlg;
    int executed = 0;
    bool mRunOnExecute = false;

private:
    QString mOldCurrent;
    DialogEdit::tExistingDirectoryFunc mOpenDir = DialogEdit::sGetExistingDirectory;
};

}  // namespace extest
