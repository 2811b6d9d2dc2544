// Whole conversions through the command-line driver, which loads the built
// library at run time as the program does; the files are checked from
// outside (ffprobe and numpy, tests/morphex/morphex_blackbox.py).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/testutil.h"
#include "support/tools.h"

namespace {

// build/bin/, beside which the test programs' folder build/tests/ lies.
std::string binDir() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "bin";
    std::string p(self, size_t(n));
    p.resize(p.rfind('/'));
    return p.substr(0, p.rfind('/')) + "/bin";
}

// Runs one case of the script; its output is shown on failure.
void runCase(const char *name) {
    sxtest::TempDir dir;
    const std::string cmd = sxtest::pythonScript("tests/morphex/morphex_blackbox.py") + " " + binDir() +
                            "/morphex-convert " + dir.path() + " " + name + " 2>&1";
    int status = -1;
    const std::string out = sxtest::commandOutput(cmd, &status) + "\n";
    ASSERT_NE(status, -1) << cmd;
    std::printf("%s", out.c_str());
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("OK\n"), std::string::npos) << out;
}

}  // namespace

TEST(MorphexConvert, WavToAndFromDsfAndDsdiffAtEveryDsdRate) { runCase("dsd_table"); }

TEST(MorphexConvert, PcmToEveryPcmRateMonoAndStereo) { runCase("pcm_rates"); }

TEST(MorphexConvert, SineSurvivesWavToDsfToWav) { runCase("roundtrip"); }

TEST(MorphexConvert, FrequencyDomainModeMatchesTheTimeDomainOne) { runCase("mode3"); }

TEST(MorphexConvert, DriverReportsTheLibraryCode) {
    sxtest::TempDir dir;
    const std::string cmd =
        binDir() + "/morphex-convert " + dir.file("missing.wav") + " " + dir.file("o.wav") + " 2>&1 >/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[64] = {};
    ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
    const int status = pclose(p);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // The file query fails first with its own code for an unreadable file.
    EXPECT_LT(std::atoi(buf), 0) << buf;
}
