// The program's one binding to the conversion library: every entry point
// resolved once per library file, the same record for every caller, and a
// clear line on the standard error for a file that does not load or a name
// it lacks.
#include <gtest/gtest.h>

#include <QLibrary>
#include <QString>

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/morphexbinding.h"
#include "enginetestutil.h"

namespace {

// Every entry of a record with the name the library exports it under.
std::vector<std::pair<std::string, const void *>> entriesOf(const tMorphexBinding &b) {
    return {
        {"morphexert", reinterpret_cast<const void *>(b.morphexert)},
        {"getAudioFileInformation", reinterpret_cast<const void *>(b.getAudioFileInformation)},
        {"id3tagInformation", reinterpret_cast<const void *>(b.id3tagInformation)},
        {"combineFiles", reinterpret_cast<const void *>(b.combineFiles)},
        {"getAudioWaveForm", reinterpret_cast<const void *>(b.getAudioWaveForm)},
        {"analyzeFFTspectrum", reinterpret_cast<const void *>(b.analyzeFFTspectrum)},
        {"initAnalyzingFFTparams", reinterpret_cast<const void *>(b.initAnalyzingFFTparams)},
        {"setDecimationFirParam", reinterpret_cast<const void *>(b.setDecimationFirParam)},
        {"setMeterFirParam", reinterpret_cast<const void *>(b.setMeterFirParam)},
        {"gAudioDecimationFir", reinterpret_cast<const void *>(b.gAudioDecimationFir)},
    };
}

QString builtLibrary() { return QString::fromStdString(engtest::libraryFile()); }

}  // namespace

TEST(MorphexBinding, TheBuiltLibraryBindsEveryEntryPointToItsExport) {
    const tMorphexBinding &b = morphexBinding(builtLibrary());
    ASSERT_TRUE(b.loaded);
    QLibrary lib(builtLibrary());
    ASSERT_TRUE(lib.load());
    for (const auto &[name, entry] : entriesOf(b)) {
        EXPECT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry, reinterpret_cast<const void *>(lib.resolve(name.c_str()))) << name;
    }
    // Typed as the library declares it: a file that is not there is the
    // library's "cannot open" code, not a crash.
    tAudioFileInfoAFile info;
    const char16_t missing[] = u"/nonexistent/a.wav";
    EXPECT_EQ(b.getAudioFileInformation(reinterpret_cast<const wchar16 *>(missing), &info), -3);
}

TEST(MorphexBinding, EveryCallerOfAFileGetsTheSameRecordAndTheDefaultFollowsThePath) {
    const QString saved = morphexLibraryPath();
    setMorphexLibraryPath(builtLibrary());
    const tMorphexBinding *first = &morphexBinding(builtLibrary());
    EXPECT_EQ(&morphexBinding(builtLibrary()), first);
    EXPECT_EQ(&morphexBinding(), first);
    setMorphexLibraryPath(QStringLiteral("/nonexistent/other/libmorphex.so.1"));
    testing::internal::CaptureStderr();
    EXPECT_NE(&morphexBinding(), first);
    (void)testing::internal::GetCapturedStderr();
    setMorphexLibraryPath(saved);
}

TEST(MorphexBinding, AMissingFileIsReportedOnceAndLeavesEveryEntryNull) {
    const QString path = QStringLiteral("/nonexistent/binding-test/libmorphex.so.1");
    testing::internal::CaptureStderr();
    const tMorphexBinding &b = morphexBinding(path);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(b.loaded);
    for (const auto &[name, entry] : entriesOf(b)) EXPECT_EQ(entry, nullptr) << name;
    EXPECT_NE(said.find("the conversion library " + path.toStdString() + " could not be loaded"), std::string::npos)
        << said;

    // Asked again, the same record, and nothing more is said.
    testing::internal::CaptureStderr();
    EXPECT_EQ(&morphexBinding(path), &b);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(MorphexBinding, AFileWithoutTheEntryPointsNamesEachMissingOne) {
    // A library that certainly loads and exports none of the names: the
    // Qt Core this test runs on.
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<const void *>(&qVersion), &where), 0);
    const QString path = QString::fromLocal8Bit(where.dli_fname);
    testing::internal::CaptureStderr();
    const tMorphexBinding &b = morphexBinding(path);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(b.loaded);
    for (const auto &[name, entry] : entriesOf(b)) {
        EXPECT_EQ(entry, nullptr) << name;
        EXPECT_NE(said.find("has no entry point " + name + "\n"), std::string::npos) << name << ": " << said;
    }
}
