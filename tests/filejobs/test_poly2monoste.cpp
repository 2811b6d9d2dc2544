// The channel split and join job: WAV results against sox's own remix and
// merge, DSD results against byte models of the block layouts.
#include <gtest/gtest.h>

#include "audiofile/dsdifffile.h"
#include "audiofile/dsdifftestutil.h"
#include "audiofile/dsdtestutil.h"
#include "audiofile/dsffile.h"
#include "audiofile/jobs/poly2monoste.h"
#include "jobtestutil.h"

namespace {

using jobtest::Bytes;
using jobtest::q;

tPoly2MonosteParam splitParam(int type, bool stereo, int channel) {
    tPoly2MonosteParam p;
    p.stereo = stereo ? 1 : 0;
    p.channel = channel;
    p.fileType = type;
    return p;
}

// Per-channel streams interleaved unit by unit (one byte for DSDIFF).
Bytes interleave(const std::vector<Bytes> &ch) {
    Bytes out;
    for (size_t i = 0; i < ch[0].size(); ++i)
        for (const Bytes &c : ch) out.push_back(c[i]);
    return out;
}

// A WSD file: the 2048-byte header (big-endian fields) and the audio.
Bytes wsdFile(uint8_t channels, uint32_t rate, const Bytes &audio) {
    Bytes b(kWsdHeaderBytes, 0);
    b[0] = '1', b[1] = 'b', b[2] = 'i', b[3] = 't';
    b[8] = 0x11;
    sxtest::putBE32(b, kWsdFileSizeLow, kWsdHeaderBytes + audio.size());
    sxtest::putBE32(b, kWsdRate, rate);
    b[kWsdChannels] = channels;
    sxtest::append(b, audio);
    return b;
}

// What a DSD file written by the job holds, through its handler.
struct DsdContent {
    uint32_t rate = 0, channels = 0;
    Bytes audio;           // DSDIFF: the sound data; DSF: the whole data payload (block groups)
    uint64_t samples = 0;  // DSF: the stated sample count
};

DsdContent readDsd(const std::string &path, bool dsf) {
    DsdContent d;
    gClass_DsfFile dsfFile;
    gClass_DsdiffFile dffFile;
    AccessAudioFile &h = dsf ? static_cast<AccessAudioFile &>(dsfFile) : dffFile;
    sxtest::File f(path, "rb");
    EXPECT_NE(f.fp, nullptr) << path;
    if (!f.fp) return d;
    tRiffStatus st;
    uint32_t bits = 0;
    uint16_t tag = 0;
    uint64_t off = 0, data = 0, audio = 0;
    EXPECT_EQ(h.checkHeader(f.fp, &st), 0) << path;
    EXPECT_EQ(h.searchFmtChunk(f.fp, &d.rate, &bits, &d.channels, &tag), 0) << path;
    EXPECT_EQ(h.searchData(f.fp, &off, &data, &audio), 0) << path;
    const Bytes all = sxtest::readAll(path);
    const uint64_t n = dsf ? data - kDsfDataHeaderBytes : audio;
    EXPECT_LE(off + n, all.size()) << path;
    if (off + n <= all.size()) d.audio.assign(all.begin() + off, all.begin() + off + n);
    if (dsf) d.samples = sxtest::le64(all, kDsfDsdChunkBytes + kDsfFmtSampleCount);
    return d;
}

class Poly2Monoste : public ::testing::Test {
protected:
    int runJob(const std::string &out, const std::string &src, const std::string &src2, const tPoly2MonosteParam &p,
               bool abortFirst = false, uint64_t partBytes = kPoly2MonostePartBytes) {
        ClassPoly2Monoste job(partBytes);
        std::atomic<bool> abort{abortFirst};
        progress = -1;
        return job.apply(q(out), q(src), q(src2), &abort, &progress, p);
    }

    tPoly2MonosteParam joinParam(int type, const std::string &base, const std::string &ext) {
        tPoly2MonosteParam p;
        p.stereo = 1;
        p.twoSources = 1;
        p.fileType = type;
        p.folder = q(dir.path());
        p.baseName = q(base);
        p.extension = q(ext);
        return p;
    }

    std::string sox(const std::string &args) { return "cd '" + dir.path() + "' && sox -D " + args + " 2>/dev/null"; }

    sxtest::TempDir dir;
    int progress = -1;
};

// 1000 frames: 31 batches of 32 and 8 single frames.
TEST_F(Poly2Monoste, WavSplitMatchesSoxRemix) {
    struct Case {
        int channels;
        const char *encoding;  // sox options of the source
        bool stereo;
        int index;
        const char *remix;
    };
    const Case cases[] = {
        {6, "-b 24", true, 2, "5 6"},
        {6, "-b 24", false, 3, "4"},
        {5, "-b 16", true, 2, "5"},  // the last, incomplete pair
        {6, "-b 32 -e signed-integer", true, 0, "1 2"},
        {6, "-b 32 -e floating-point", true, 1, "3 4"},
    };
    for (const Case &c : cases) {
        const std::string what = std::to_string(c.channels) + "ch " + c.encoding + " remix " + c.remix;
        std::string gens;
        for (int i = 0; i < c.channels; ++i) gens += " sine " + std::to_string(300 + 170 * i);
        ASSERT_TRUE(jobtest::run(sox("-n -r 48000 " + std::string(c.encoding) + " -c " + std::to_string(c.channels) +
                                     " in.wav synth 1000s" + gens + " gain -1")))
            << what;
        ASSERT_TRUE(jobtest::run(sox("in.wav ref.wav remix " + std::string(c.remix)))) << what;
        const std::string out = dir.file("out.wav");
        ASSERT_EQ(runJob(out, dir.file("in.wav"), "", splitParam(kAudioFileWAV, c.stereo, c.index)), kPoly2MonosteOK)
            << what;
        EXPECT_EQ(progress, 100) << what;
        EXPECT_EQ(jobtest::soxRaw(out, dir.file("o.raw")), jobtest::soxRaw(dir.file("ref.wav"), dir.file("r.raw")))
            << what;
        for (const char *info : {"-e", "-c", "-r", "-s"})
            EXPECT_EQ(
                sxtest::commandOutput("sox --i " + std::string(info) + " '" + out + "' 2>/dev/null"),
                sxtest::commandOutput("sox --i " + std::string(info) + " '" + dir.file("ref.wav") + "' 2>/dev/null"))
                << what << " " << info;
    }
}

TEST_F(Poly2Monoste, DsfSplitCopiesWholeBlocks) {
    std::vector<Bytes> ch;
    for (int i = 0; i < 6; ++i) ch.push_back(dsdtest::channelBytes(9000, static_cast<uint8_t>(17 * i)));
    dsdtest::writeDsf(dir.file("six.dsf"), 5644800, ch);
    struct Case {
        bool stereo;
        int index;
        std::vector<int> channels;
    };
    for (const Case &c : {Case{true, 1, {2, 3}}, Case{false, 5, {5}}}) {
        const std::string out = dir.file("out.dsf");
        ASSERT_EQ(runJob(out, dir.file("six.dsf"), "", splitParam(kAudioFileDSF, c.stereo, c.index)), kPoly2MonosteOK);
        std::vector<Bytes> want;
        for (int i : c.channels) want.push_back(ch[i]);
        const DsdContent d = readDsd(out, true);
        EXPECT_EQ(d.channels, c.channels.size());
        EXPECT_EQ(d.rate, 5644800u);
        EXPECT_EQ(d.samples, 9000u * 8);
        EXPECT_EQ(d.audio, dsdtest::dsfLayout(want)) << "index " << c.index;
    }
}

TEST_F(Poly2Monoste, DsdiffAndWsdSplitsCopyTheirBytes) {
    std::vector<Bytes> ch;
    for (int i = 0; i < 4; ++i) ch.push_back(dfftest::pattern(1001, static_cast<uint8_t>(31 * i + 1)));
    dfftest::writeDff(dir.file("three.dff"), dfftest::param(3), interleave({ch[0], ch[1], ch[2]}));
    ASSERT_TRUE(sxtest::writeAll(dir.file("four.wsd"), wsdFile(4, 2822400, interleave(ch))));

    ASSERT_EQ(runJob(dir.file("mono.dff"), dir.file("three.dff"), "", splitParam(kAudioFileDSDIFF, false, 1)),
              kPoly2MonosteOK);
    DsdContent d = readDsd(dir.file("mono.dff"), false);
    EXPECT_EQ(d.channels, 1u);
    EXPECT_EQ(d.audio, ch[1]);

    // A WSD source is written as DSDIFF.
    ASSERT_EQ(runJob(dir.file("pair.dff"), dir.file("four.wsd"), "", splitParam(kAudioFileWSD, true, 1)),
              kPoly2MonosteOK);
    d = readDsd(dir.file("pair.dff"), false);
    EXPECT_EQ(d.channels, 2u);
    EXPECT_EQ(d.rate, 2822400u);
    EXPECT_EQ(d.audio, interleave({ch[2], ch[3]}));
}

TEST_F(Poly2Monoste, JoinOfTwoMonoWavsMatchesSoxMerge) {
    ASSERT_TRUE(jobtest::run(sox("-n -r 96000 -b 24 -c 1 a.wav synth 1000s sine 440 gain -2")));
    ASSERT_TRUE(jobtest::run(sox("-n -r 96000 -b 24 -c 1 b.wav synth 700s sine 660 gain -2")));
    ASSERT_TRUE(jobtest::run(sox("-M a.wav b.wav ref.wav")));
    const std::string out = dir.file("ab.wav");
    ASSERT_EQ(runJob(out, dir.file("a.wav"), dir.file("b.wav"), joinParam(kAudioFileWAV, "ab", ".wav")),
              kPoly2MonosteOK);
    EXPECT_EQ(progress, 100);
    EXPECT_EQ(jobtest::soxRaw(out, dir.file("o.raw")), jobtest::soxRaw(dir.file("ref.wav"), dir.file("r.raw")));
    EXPECT_EQ(sxtest::commandOutput("sox --i -c '" + out + "'"), "2");
}

// The shorter DSD source goes on with its last byte, or with 0x96 when it
// has none.
TEST_F(Poly2Monoste, JoinPadsTheShorterDsdSource) {
    struct Case {
        size_t left, right;
    };
    for (const Case c : {Case{100, 40}, Case{37, 90}, Case{0, 50}}) {
        const Bytes a = dfftest::pattern(c.left, 3), b = dfftest::pattern(c.right, 91);
        dfftest::writeDff(dir.file("l.dff"), dfftest::param(1), a);
        dfftest::writeDff(dir.file("r.dff"), dfftest::param(1), b);
        const std::string out = dir.file("lr.dff");
        ASSERT_EQ(runJob(out, dir.file("l.dff"), dir.file("r.dff"), joinParam(kAudioFileDSDIFF, "lr", ".dff")),
                  kPoly2MonosteOK);
        const size_t n = std::max(c.left, c.right);
        Bytes want;
        for (size_t i = 0; i < n; ++i) {
            want.push_back(i < a.size() ? a[i] : a.empty() ? 0x96 : a.back());
            want.push_back(i < b.size() ? b[i] : b.empty() ? 0x96 : b.back());
        }
        EXPECT_EQ(readDsd(out, false).audio, want) << c.left << "+" << c.right;
    }

    // DSF: block by block, the shorter channel's last block and the blocks
    // after it padded the same way.
    const Bytes a = dsdtest::channelBytes(5000, 5), b = dsdtest::channelBytes(9000, 77);
    dsdtest::writeDsf(dir.file("l.dsf"), 2822400, {a});
    dsdtest::writeDsf(dir.file("r.dsf"), 2822400, {b});
    const std::string out = dir.file("lr.dsf");
    ASSERT_EQ(runJob(out, dir.file("l.dsf"), dir.file("r.dsf"), joinParam(kAudioFileDSF, "lr", ".dsf")),
              kPoly2MonosteOK);
    Bytes padA = a, padB = b;
    padA.resize(3 * 4096, a.back());
    padB.resize(3 * 4096, b.back());
    const DsdContent d = readDsd(out, true);
    EXPECT_EQ(d.channels, 2u);
    EXPECT_EQ(d.samples, 9000u * 8);
    EXPECT_EQ(d.audio, dsdtest::dsfLayout({padA, padB}));
}

// Past the part size the join goes on in numbered files; every part holds
// whole samples and its own correct sizes.
TEST_F(Poly2Monoste, JoinContinuesInNumberedParts) {
    // DSDIFF: 2500 and 1800 bytes, parts of 1000 bytes per source.
    const Bytes a = dfftest::pattern(2500, 1), b = dfftest::pattern(1800, 2);
    dfftest::writeDff(dir.file("a.dff"), dfftest::param(1), a);
    dfftest::writeDff(dir.file("b.dff"), dfftest::param(1), b);
    ASSERT_EQ(runJob(dir.file("j.dff"), dir.file("a.dff"), dir.file("b.dff"), joinParam(kAudioFileDSDIFF, "j", ".dff"),
                     false, 1000),
              kPoly2MonosteOK);
    EXPECT_EQ(progress, 100);
    Bytes joined;
    const std::vector<std::pair<std::string, size_t>> parts = {{"j.dff", 2000}, {"j_1.dff", 2000}, {"j_2.dff", 1000}};
    for (const auto &[name, bytes] : parts) {
        const DsdContent d = readDsd(dir.file(name), false);
        EXPECT_EQ(d.audio.size(), bytes) << name;
        sxtest::append(joined, d.audio);
    }
    EXPECT_FALSE(jobtest::exists(dir.file("j_3.dff")));
    Bytes paddedB = b;
    paddedB.resize(a.size(), b.back());
    EXPECT_EQ(joined, interleave({a, paddedB}));

    // 24-bit WAV: 1000 bytes per source is not a whole number of samples;
    // the parts take 333 samples each.
    const std::vector<int32_t> sa = jobtest::intSamples(1000, 24, 5), sb = jobtest::intSamples(400, 24, 6);
    jobtest::writeWav(dir.file("a.wav"), 1, 24, 48000, jobtest::packInts(sa, 24));
    jobtest::writeWav(dir.file("b.wav"), 1, 24, 48000, jobtest::packInts(sb, 24));
    ASSERT_EQ(runJob(dir.file("w.wav"), dir.file("a.wav"), dir.file("b.wav"), joinParam(kAudioFileWAV, "w", ".wav"),
                     false, 1000),
              kPoly2MonosteOK);
    std::vector<int32_t> want;
    for (size_t i = 0; i < sa.size(); ++i) {
        want.push_back(sa[i]);
        want.push_back(i < sb.size() ? sb[i] : 0);
    }
    Bytes joinedWav;
    for (const char *name : {"w.wav", "w_1.wav", "w_2.wav", "w_3.wav"}) {
        const jobtest::WavContent w = jobtest::readWav(dir.file(name));
        EXPECT_EQ(w.channels, 2u) << name;
        EXPECT_EQ(w.audio.size(), std::string(name) == "w_3.wav" ? 6u : 333u * 6) << name;
        sxtest::append(joinedWav, w.audio);
    }
    EXPECT_EQ(joinedWav, jobtest::packInts(want, 24));
}

// Requests the job cannot carry out are refused before anything is written.
TEST_F(Poly2Monoste, RefusedRequestsWriteNothing) {
    jobtest::writeWav(dir.file("six.wav"), 6, 16, 48000, Bytes(6 * 2 * 100, 1));
    jobtest::writeWav(dir.file("wide.wav"), 100, 64, 48000, Bytes(100 * 8 * 4, 1), 0);
    jobtest::writeWav(dir.file("m16.wav"), 1, 16, 48000, Bytes(200, 1));
    jobtest::writeWav(dir.file("m24.wav"), 1, 24, 48000, Bytes(300, 1));
    jobtest::writeWav(dir.file("st.wav"), 2, 16, 48000, Bytes(400, 1));
    ASSERT_TRUE(sxtest::writeAll(dir.file("text.wav"), Bytes(100, 'x')));
    const std::string six = dir.file("six.wav"), m16 = dir.file("m16.wav");

    struct Case {
        const char *what;
        std::string src, src2;
        tPoly2MonosteParam param;
        int rc;
    };
    tPoly2MonosteParam join = joinParam(kAudioFileWAV, "x", ".wav");
    const Case cases[] = {
        {"channel beyond the file", six, "", splitParam(kAudioFileWAV, false, 6), kPoly2MonosteErrParam},
        {"negative channel", six, "", splitParam(kAudioFileWAV, false, -1), kPoly2MonosteErrParam},
        {"pair beyond the file", six, "", splitParam(kAudioFileWAV, true, 3), kPoly2MonosteErrParam},
        {"FLAC type code", six, "", splitParam(kAudioFileFLAC, false, 0), kPoly2MonosteErrParam},
        {"unknown type code", six, "", splitParam(9, false, 0), kPoly2MonosteErrParam},
        {"frame wider than the buffer", dir.file("wide.wav"), "", splitParam(kAudioFileWAV, false, 0),
         kPoly2MonosteErrParam},
        {"join of a stereo file", m16, dir.file("st.wav"), join, kPoly2MonosteErrParam},
        {"join of 16 and 24 bits", m16, dir.file("m24.wav"), join, kPoly2MonosteErrParam},
        {"missing source", dir.file("none.wav"), "", splitParam(kAudioFileWAV, false, 0), kPoly2MonosteErrIO},
        {"missing second source", m16, dir.file("none.wav"), join, kPoly2MonosteErrIO},
        {"not a WAV", dir.file("text.wav"), "", splitParam(kAudioFileWAV, false, 0), kPoly2MonosteErrIO},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(runJob(dir.file("out.wav"), c.src, c.src2, c.param), c.rc) << c.what;
        EXPECT_FALSE(jobtest::exists(dir.file("out.wav"))) << c.what;
    }

    // The output naming a source would destroy it.
    const Bytes before = sxtest::readAll(six);
    EXPECT_EQ(runJob(six, six, "", splitParam(kAudioFileWAV, false, 0)), kPoly2MonosteErrParam);
    EXPECT_EQ(runJob(m16, m16, dir.file("m16.wav"), join), kPoly2MonosteErrParam);
    EXPECT_EQ(sxtest::readAll(six), before);
    EXPECT_TRUE(jobtest::exists(m16));
}

TEST_F(Poly2Monoste, AbortRemovesWhatWasWritten) {
    jobtest::writeWav(dir.file("six.wav"), 6, 16, 48000, Bytes(6 * 2 * 1000, 1));
    EXPECT_EQ(runJob(dir.file("out.wav"), dir.file("six.wav"), "", splitParam(kAudioFileWAV, true, 1), true),
              kPoly2MonosteErrIO);
    EXPECT_FALSE(jobtest::exists(dir.file("out.wav")));

    dfftest::writeDff(dir.file("a.dff"), dfftest::param(1), dfftest::pattern(3000, 1));
    EXPECT_EQ(runJob(dir.file("j.dff"), dir.file("a.dff"), dir.file("a.dff"), joinParam(kAudioFileDSDIFF, "j", ".dff"),
                     true, 1000),
              kPoly2MonosteErrIO);
    EXPECT_FALSE(jobtest::exists(dir.file("j.dff")));
}

}  // namespace
