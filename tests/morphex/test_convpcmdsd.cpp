// PCM-to-DSD step: fade requests and acknowledgements, splices toward the
// source or the mute pattern, mute streams and pattern amounts.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "morphex/convpcmdsd.h"

namespace {

constexpr int kRate = 2822400;

// One job: a modulator, a step bound to a record of its own, and block
// buffers of n samples per channel.
struct Job {
    explicit Job(uint32_t n = 4096, bool pure = false)
        : n(n),
          dsm(new classDsm5th),
          step(&shared),
          in(2 * n, 0.0),
          outL(n / 8 + 8),
          outR(n / 8 + 8),
          srcL(n / 8 + 8, 0xA5),
          srcR(n / 8 + 8, 0xA5) {
        // Job start as the engine does it.
        dsm->initDsm5thIntegrators(kRate);
        dsm->initDsm5thPeakLevel();
        dsm->setMutePatVolume(0.0);
        step.initParamsConverting(dsm.get(), kRate);
        shared.dsdPure = pure;
        if (!pure)
            for (int ch = 0; ch < 2; ++ch) dsm->mSpliceReq[ch] = dsm->mSpliceCur[ch] = 0;
        step.setFadeLPF(false);
    }
    int run(double level, int taps = 1, tConvPcmDsdParam *p = nullptr) {
        uint8_t *const out[2] = {outL.data(), outR.data()};
        uint8_t *const src[2] = {srcL.data(), srcR.data()};
        tConvPcmDsdParam none{0};
        return step.convertPcm2Dsd(dsm.get(), out, in.data(), n, 0, nullptr, src, taps, level, p ? p : &none);
    }
    void setY(double l, double r) {
        const double y[2] = {l, r};
        shared.fadeLpf.setY_1direct(y);
    }
    uint32_t n;
    tConvFadeShared shared;
    std::unique_ptr<classDsm5th> dsm;
    cConvPcmDsd step;
    std::vector<double> in;
    std::vector<uint8_t> outL, outR, srcL, srcR;
};

TEST(ConvPcmDsd, MuteStreamsGrowToTheBlockAndStay) {
    Job job(16384);
    EXPECT_EQ(job.step.muteCapacity(), 2048);
    ASSERT_EQ(job.run(1.0), kConvPcmDsdOk);
    EXPECT_EQ(job.step.muteCapacity(), 2056);  // (n + 7) / 8 + 8
    const uint8_t *before = job.step.muteStream(0);
    ASSERT_EQ(job.run(1.0), kConvPcmDsdOk);
    EXPECT_EQ(job.step.muteCapacity(), 2056);
    EXPECT_EQ(job.step.muteStream(0), before);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 2056; ++i) ASSERT_EQ(job.step.muteStream(ch)[i], 0x2D) << ch << " " << i;
}

TEST(ConvPcmDsd, SpliceLengths) {
    struct Row {
        int taps, source;
    };
    const Row rows[] = {{1, 17}, {0, 17}, {45, 39}, {2047, 1040}, {32767, 16400}};
    for (const Row &r : rows) {
        Job job(256);
        ASSERT_EQ(job.run(1.0, r.taps), kConvPcmDsdOk);
        EXPECT_EQ(job.step.muteSplice(), 17) << r.taps;
        EXPECT_EQ(job.step.sourceSplice(), r.source) << r.taps;
    }
}

// The modulator keeps the pattern amounts it was given as its target.
TEST(ConvPcmDsd, PatternAmounts) {
    struct Row {
        double y, amount;
    };
    const Row rows[] = {{0.005, 0.995}, {0.5, 0.0}, {0.01, 0.99}, {0.0100001, 0.0}, {0.0, 1.0}};
    for (const Row &r : rows) {
        Job job(256);
        job.setY(r.y, 0.5);
        ASSERT_EQ(job.run(0.5), kConvPcmDsdOk);
        EXPECT_DOUBLE_EQ(job.dsm->mMutePatVolTarget[0], r.amount) << r.y;
        EXPECT_DOUBLE_EQ(job.dsm->mMutePatVolTarget[1], 0.0) << r.y;
    }
}

TEST(ConvPcmDsd, FirstExportBlockStartsWithoutPattern) {
    Job job(256);
    job.setY(0.005, 0.0);
    tConvPcmDsdParam p{1};
    ASSERT_EQ(job.run(0.5, 1, &p), kConvPcmDsdOk);
    EXPECT_EQ(p.firstExportBlock, 0);
    EXPECT_EQ(job.dsm->mMutePatVolTarget[0], 0.0);
    EXPECT_EQ(job.dsm->mMutePatVolTarget[1], 0.0);
    job.setY(0.005, 0.0);
    ASSERT_EQ(job.run(0.5, 1, &p), kConvPcmDsdOk);  // later blocks use the usual test
    EXPECT_DOUBLE_EQ(job.dsm->mMutePatVolTarget[0], 0.995);
    EXPECT_DOUBLE_EQ(job.dsm->mMutePatVolTarget[1], 1.0);
}

TEST(ConvPcmDsd, JobStartResetsTheSharedRecord) {
    Job job(256);
    job.step.reqDsdConvertWithFading(0, kDsdFadeIn);
    job.step.reqDsdConvertWithFading(1, kDsdFadeOut);
    job.step.reqDsdConvertWithFading(2, kDsdFadeOut);  // no such channel: ignored
    EXPECT_EQ(job.shared.fadeReq[0], 1u);
    EXPECT_EQ(job.shared.fadeReq[1], 2u);
    job.shared.fadeAck[0] = 3;
    job.setY(0.7, 0.7);
    job.step.initParamsConverting(job.dsm.get(), 5644800);
    EXPECT_EQ(job.shared.fadeReq[0] | job.shared.fadeReq[1] | job.shared.fadeAck[0] | job.shared.fadeAck[1], 0u);
    EXPECT_EQ(job.shared.fadeLpf.getCoefY_1_ch(0), 0.0);
    EXPECT_EQ(job.shared.fadeLpf.getCoefX_ch(1), 0.0);
    EXPECT_EQ(job.dsm->mSpliceReq[0] & job.dsm->mSpliceCur[1], 1u);
    EXPECT_EQ(job.step.rate(), 5644800);
    // The library-wide record is the default binding.
    cConvPcmDsd other;
    EXPECT_EQ(other.shared(), &gConvFadeShared);
}

// Decision rows whose effect shows in the state words. H3 (the first byte of
// the stream spliced toward, with flag set) tells source (0xA5) from mute
// (0x2D) on a pure job.
TEST(ConvPcmDsd, DecisionTable) {
    struct Row {
        const char *what;
        bool pure;
        uint32_t reqBits, ackBits, cur, req, cut;
        double level, y;
        uint32_t wantAck, wantReq, wantCut;
        int wantH3;  // -1: not checked
    };
    const Row rows[] = {
        {"fade-in done on the source", true, 1, 0, 1, 1, 0x9F, 1.0, 1.0, 1, 1, 0, 0xA5},
        {"fade-in not yet at unity: mute one", true, 1, 0, 1, 1, 0, 1.0, 0.5, 0, 0, 0, 0x2D},
        {"fade-in, leaving the source, silent", true, 1, 0, 1, 0, 0, 0.0, 0.0, 0, 0, 0, 0x2D},
        {"fade-in, leaving the source", true, 1, 0, 1, 0, 0, 1.0, 0.5, 0, 0, 0, 0xA5},
        {"fade-in reaches unity on a pure job", true, 1, 0, 0, 0, 0x1F, 1.0, 1.0, 0, 1, 0x9F, 0xA5},
        {"fade-in reaches unity, modulated job", false, 1, 0, 0, 0, 5, 1.0, 1.0, 1, 0, 5, -1},
        {"fade-in still silent", true, 1, 0, 0, 0, 0, 0.0, 0.0, 0, 0, 0, 0x2D},
        {"fade-in under way", true, 1, 0, 0, 0, 7, 1.0, 0.5, 0, 0, 0, 0xA5},
        {"fade-out done on the mute", true, 2, 0, 1, 1, 0xFF, 0.0, 0.0, 2, 1, 0, 0x2D},
        {"fade-out under way leaves the source", true, 2, 0, 1, 1, 9, 0.0, 0.5, 0, 0, 9, 0xA5},
        {"fade-out, going back, silent", true, 2, 0, 0, 1, 9, 0.0, 0.0, 0, 1, 9, 0x2D},
        {"fade-out, going back", true, 2, 0, 0, 1, 9, 0.5, 0.5, 0, 0, 0, 0xA5},
        {"fade-out reaches silence", true, 2, 0, 0, 0, 3, 0.0, 0.0, 0, 1, 0x83, 0x2D},
        {"acknowledged fade-in: idle row", true, 1, 1, 1, 1, 0, 0.5, 0.5, 1, 0, 0, 0xA5},
        {"idle and silent", true, 0, 0, 0, 0, 0, 0.0, 0.0, 0, 1, 0x80, 0x2D},
        {"idle at unity, pure, from modulated", true, 0, 0, 0, 0, 3, 1.0, 1.0, 0, 1, 0x83, 0xA5},
        {"idle at unity, pure, on the source", true, 0, 0, 1, 1, 3, 1.0, 1.0, 0, 1, 0, 0xA5},
        {"idle at unity, modulated job", false, 0, 0, 0, 0, 3, 1.0, 1.0, 0, 0, 0, -1},
        {"idle in between", true, 0, 0, 0, 1, 3, 0.5, 0.5, 0, 0, 0, 0xA5},
    };
    for (const Row &r : rows) {
        Job job(256, r.pure);
        for (int ch = 0; ch < 2; ++ch) {
            job.shared.fadeReq[ch] = r.reqBits;
            job.shared.fadeAck[ch] = r.ackBits;
            job.dsm->mSpliceCur[ch] = r.cur;
            job.dsm->mSpliceReq[ch] = r.req;
            job.dsm->mCutFlags[ch] = r.cut;
        }
        job.setY(r.y, r.y);
        ASSERT_EQ(job.run(r.level), kConvPcmDsdOk) << r.what;
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_EQ(job.shared.fadeAck[ch], r.wantAck) << r.what << ", channel " << ch;
            EXPECT_EQ(job.dsm->mSpliceReq[ch], r.wantReq) << r.what << ", channel " << ch;
            EXPECT_EQ(job.dsm->mCutFlags[ch], r.wantCut) << r.what << ", channel " << ch;
            if (r.wantH3 >= 0) {
                EXPECT_EQ(job.dsm->mSpliceHist[ch][3], r.wantH3) << r.what << ", channel " << ch;
            }
        }
    }
}

// While a fade-in waits with the modulated stream on, the step advances the
// smoother once per channel on a modulated job and not at all on a pure one.
TEST(ConvPcmDsd, FadeInAdvancesTheSmootherOnModulatedJobs) {
    for (bool pure : {false, true}) {
        Job job(256, pure);
        for (int ch = 0; ch < 2; ++ch) {
            job.shared.fadeReq[ch] = kDsdFadeIn;
            job.dsm->mSpliceReq[ch] = job.dsm->mSpliceCur[ch] = 0;
        }
        job.setY(0.5, 0.5);
        ASSERT_EQ(job.run(1.0), kConvPcmDsdOk);
        const double a = *job.shared.fadeLpf.mCoefA;
        const double once = (0.5 - 1.0) * a + 1.0, twice = (once - 1.0) * a + 1.0;
        EXPECT_DOUBLE_EQ(job.shared.fadeLpf.getCoefY_1_ch(0), pure ? 0.5 : twice) << pure;
    }
}

// A modulated job's fade-in: once the smoother snaps onto unity the request
// is acknowledged; the output stays modulated throughout.
TEST(ConvPcmDsd, FadeInIsAcknowledgedAtUnity) {
    Job job(4096);
    job.step.reqDsdConvertWithFading(0, kDsdFadeIn);
    job.step.reqDsdConvertWithFading(1, kDsdFadeIn);
    job.setY(0.99998, 0.99998);
    ASSERT_EQ(job.run(1.0), kConvPcmDsdOk);
    EXPECT_EQ(job.shared.fadeAck[0], 0u);                 // not yet exactly 1.0 when decided
    EXPECT_EQ(job.shared.fadeLpf.getCoefY_1_ch(0), 1.0);  // snapped at the end of the block
    ASSERT_EQ(job.run(1.0), kConvPcmDsdOk);
    EXPECT_EQ(job.shared.fadeAck[0], 1u);
    EXPECT_EQ(job.shared.fadeAck[1], 1u);
    EXPECT_EQ(job.dsm->mSpliceCur[0] | job.dsm->mSpliceReq[0], 0u);
}

// A modulated job fading out on silence: the modulator's integrators are
// cut clean, the output splices onto the mute pattern (which comes out 17
// bits late as the idle byte 0x96), and only then is the fade acknowledged.
TEST(ConvPcmDsd, FadeOutEndsOnTheMutePattern) {
    Job job(16384);
    job.step.reqDsdConvertWithFading(0, kDsdFadeOut);
    job.step.reqDsdConvertWithFading(1, kDsdFadeOut);
    job.setY(1e-5, 1e-5);
    int blocks = 0;
    while (job.shared.fadeAck[0] != kDsdFadeOut || job.shared.fadeAck[1] != kDsdFadeOut) {
        ASSERT_LT(++blocks, 400) << "fade-out never acknowledged";
        const uint32_t curBefore = job.dsm->mSpliceCur[0] & job.dsm->mSpliceCur[1];
        ASSERT_EQ(job.run(0.0), kConvPcmDsdOk);
        if (job.shared.fadeAck[0] & kDsdFadeOut) {
            EXPECT_EQ(curBefore, 1u) << "acknowledged before the output was on the mute";
        }
    }
    EXPECT_EQ(job.shared.fadeLpf.getCoefY_1_ch(0), 0.0);
    EXPECT_EQ(job.dsm->mCutFlags[0], 0u);
    EXPECT_GT(blocks, 2);  // cutting and the splice search take several blocks
    ASSERT_EQ(job.run(0.0), kConvPcmDsdOk);
    for (uint32_t i = 0; i < job.n / 8; ++i) {
        ASSERT_EQ(job.outL[i], 0x96) << i;
        ASSERT_EQ(job.outR[i], 0x96) << i;
    }
}

// A pure job at unity keeps splicing toward the source with flag 1: the
// output is the source stream 17 bits late, continuous across blocks.
TEST(ConvPcmDsd, PureJobFollowsTheSourceBits) {
    const uint32_t n = 1024, nb = n / 8;
    Job job(n, true);
    job.setY(1.0, 1.0);
    std::mt19937 rng(5);
    std::vector<uint8_t> source, output;
    for (int block = 0; block < 4; ++block) {
        for (uint32_t i = 0; i < nb; ++i) {
            job.srcL[i] = static_cast<uint8_t>(rng());
            job.srcR[i] = job.srcL[i] ^ 0xFF;
        }
        source.insert(source.end(), job.srcL.begin(), job.srcL.begin() + nb);
        ASSERT_EQ(job.run(1.0, 1), kConvPcmDsdOk);
        // The first three bytes of the first block come from the idle history.
        for (uint32_t i = block ? 0 : 3; i < nb; ++i) ASSERT_EQ(job.outR[i], job.outL[i] ^ 0xFF) << block << " " << i;
        output.insert(output.end(), job.outL.begin(), job.outL.begin() + nb);
    }
    auto bit = [](const std::vector<uint8_t> &v, size_t j) { return (v[j / 8] >> (7 - j % 8)) & 1; };
    // From the second block on every output bit j is source bit j - 17.
    for (size_t j = n; j < output.size() * 8; ++j) ASSERT_EQ(bit(output, j), bit(source, j - 17)) << "bit " << j;
    EXPECT_EQ(job.dsm->mSpliceHist[0][2], source.back());
}

}  // namespace
