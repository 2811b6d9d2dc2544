#include "morphex/morphexjob.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <new>

#include "base/alignedalloc.h"
#include "audiofile/dsdlayout.h"
#include "audiofile/marklist.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "dsp/dsm5th.h"
#include "dsp/sharedrecords.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/classfft.h"
#include "morphex/convpcmdsd.h"
#include "morphex/decimfir.h"
#include "morphex/libutil.h"
#include "morphex/rateplan.h"
#include "morphex/updownconv.h"

std::mutex gMorphexMarkListMutex;

namespace {

// Work buffer of the conversion filter, in two-lane entries: room for the
// longest filter with the zero tail of a 32767-tap reserve. Never cleared as
// a whole: the design writes every entry the filter stages read.
constexpr uint64_t kWorkEntries = 0x2800e0;
constexpr uint64_t kWorkEntriesFft = 0x100130;
constexpr int kSmoothTaps = 45;
constexpr int kScratchBytes = 2048;
constexpr uint32_t kReadSlack = 0x8007;   // DSF block alignment and pre-roll room
constexpr uint32_t kOutSlackFrames = 65536;
constexpr int kEnvelopePairs = 34;        // pairs (k, k + 1), k = 0..33
constexpr uint8_t kDsdSilence = 0x96;
// Frames by which the unpacked PCM window may slide forward before its
// overlap is moved to the front of the buffer.
constexpr uint64_t kPcmSlideFrames = 65536;

bool isDsdType(uint32_t t) { return t == 2 || t == 3 || t == 4; }

void say(const char *line) { std::printf("%s\n", line); std::fflush(stdout); }

struct Mark {
    char name[kMarkNameBytes + 3];
    uint64_t position;
};

// Everything one job owns. Allocated on entry, released on every exit.
struct Job {
    // Caller's records.
    const tMorphexSendParams *send = nullptr;
    tMorphexCom *com = nullptr;
    tMorphexBlockCallback blockCb = nullptr;
    tMorphexStatusCallback statusCb = nullptr;
    tMorphexErrorCallback errorCb = nullptr;
    tMorphexWorkingCallback workingCb = nullptr;
    const tDspVolItem *envelope = nullptr;
    int track = 0;

    // Output settings.
    bool writing = false;
    uint32_t outType = 0, outBits = 0, outChannels = 0, outRate = 0, mode = 0;
    uint8_t channelByte = 0;
    bool hold = false;
    int ring = 1;
    int64_t start = 0, end = 0;

    // Converter objects; the fade record is the job's own, so the smoother,
    // the fade requests and the pure-DSD flag are never shared with another job.
    tConvFadeShared fade;
    CUpDownConv *conv = nullptr;
    classDsm5th *dsm = nullptr;
    cConvPcmDsd *pcmDsd = nullptr;
    classFFT *fft = nullptr;
    double *coef45 = nullptr;
    uint8_t *scratch = nullptr;
    double *work = nullptr;
    // Frequency-domain filtering (mode 3 between different rates): the
    // transform's tables and the filter's spectrum, all inside fftTable.
    bool fftPath = false;
    int fftStages = 0;
    uint8_t *fftTable = nullptr;
    double *fftCos = nullptr, *fftSin = nullptr, *filterRe = nullptr, *filterIm = nullptr;
    uint64_t *fftBitrev = nullptr;

    FILE *src = nullptr;
    FILE *dst = nullptr;
    tBwfHdrParam header{};

    // Source.
    uint32_t srcType = 0, srcRate = 0, srcBits = 0, srcChannels = 0;
    uint16_t formatTag = 0;
    // Channel count and word length as the unpackers take them (one byte
    // each); a value too large for a byte saturates, so that the unpacker
    // refuses it instead of a wrapped value passing for 1 or 2 channels.
    uint8_t unpackChannels = 0, unpackBits = 0;
    uint64_t dataOffset = 0, dataBytes = 0, audioBytes = 0;
    int64_t totalFrames = 0;

    // Carried-over marks, already moved to the output's positions.
    Mark marks[kMorphexMaxMarks];
    int markCount = 0;

    double startGain = 0.0;
    int envIndex = 0;
    int64_t envPosition = 0;
    uint64_t outStartTime = 0;
    tRatePlan plan{};

    // Block loop buffers.
    uint8_t *readBuf = nullptr;
    uint64_t readBufBytes = 0;
    uint8_t *outBuf = nullptr;
    double *pcmRing[kMorphexMaxRing] = {};
    uint8_t *pcmRingMem = nullptr;  // the ring's slots, back to back
    double *pcmIn = nullptr;
    uint64_t pcmInFrames = 0;     // capacity of pcmIn in frames
    uint8_t *dsdRingMem = nullptr;
    unsigned char *dsdRing[2 * kMorphexMaxRing] = {};
    double *upBuf = nullptr;
    uint8_t *dsdOutMem = nullptr;
    uint8_t *dsdOut[2] = {nullptr, nullptr};

    // Loop counters.
    int64_t produced = 0;         // output frames handed on
    uint64_t bytesOut = 0;        // bytes written to the output's audio
    int64_t framesWritten = 0;    // output frames in the file
    int64_t outLeft = 0;
    int64_t inputLeft = 0;
    int packerResult = 0;         // the DSD packer's pending offset

    ~Job() {
        freeLoopBuffers();
        _aligned_free(readBuf);
        _aligned_free(outBuf);
        _aligned_free(pcmRingMem);
        pcmRingMem = nullptr;
        v_close(src);
        v_close(dst);
        _aligned_free(scratch);
        _aligned_free(work);
        _aligned_free(fftTable);
        _aligned_free(coef45);
        delete conv;
        delete dsm;
        delete pcmDsd;
        delete fft;
    }
    void freeLoopBuffers() {
        _aligned_free(pcmIn);
        pcmIn = nullptr;
        _aligned_free(upBuf);
        upBuf = nullptr;
        _aligned_free(dsdOutMem);
        dsdOutMem = nullptr;
        _aligned_free(dsdRingMem);
        dsdRingMem = nullptr;
    }

    int fail(int code) {
        if (errorCb) errorCb(track);
        return code;
    }
    // Stores the sizes of what is in the file so far (bytesOut and
    // framesWritten count only completed writes); 0 when nothing is written.
    int storeSizes() {
        if (!writing || !dst) return 0;
        return audiofile_updateDataSize(static_cast<int>(outType), dst, bytesOut,
                                        static_cast<uint64_t>(framesWritten));
    }
    int cancel(int code) {
        (void)storeSizes();
        if (statusCb) statusCb(track);
        return fail(code);
    }
    void waitForRelease() {
        if (!statusCb) return;
        while (statusCb(track) == 0) {
        }
    }
    void setProgress(int v) {
        if (send->progress) *send->progress = v;
    }
};

// A large work buffer (the ring, up to 192 MB at equal rates): aligned to
// and backed by huge pages where the system offers them, so that filling it
// for the first time costs a few hundred page faults instead of tens of
// thousands. Freed with _aligned_free.
void *allocLarge(uint64_t bytes) {
    constexpr uint64_t kHuge = 2u << 20;
    if (bytes < kHuge) return _aligned_malloc(bytes, 64);
    void *p = _aligned_malloc(bytes, kHuge);
    if (p) (void)madvise(p, (bytes + kHuge - 1) & ~(kHuge - 1), MADV_HUGEPAGE);
    return p;
}

// The destination names the very file the job reads: opening it for
// writing would truncate the source before a single frame is read.
bool sameFile(const wchar16 *a, const wchar16 *b) {
    struct stat sa, sb;
    if (stat(w_toUtf8(a).c_str(), &sa) != 0) return false;
    if (stat(w_toUtf8(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

uint32_t sourceTypeOf(const wchar16 *path) {
    if (checkFileExtention(path, ".wav")) return 0;
    if (checkFileExtention(path, ".dsf")) return 2;
    if (checkFileExtention(path, ".dff")) return 3;
    if (checkFileExtention(path, ".wsd")) return 4;
    return 0;
}

// Start gain of the envelope at output frame p, and the segment it lies in.
// The list ends at a point whose start is kDspVolEnd (or negative); no
// point past that end is read.
void startGainOf(const tDspVolItem *env, int64_t p, double *gain, int *index) {
    *gain = 0.0;
    *index = 0;
    if (!env || env[0].start == kDspVolEnd || p < env[0].start) return;
    for (int k = 0; k < kEnvelopePairs; ++k) {
        const tDspVolItem &a = env[k];
        const tDspVolItem &b = env[k + 1];
        if (b.start < 0) return;
        if (a.start <= p && p < b.start) {
            const double span = static_cast<double>(b.start - a.start);
            *gain = a.level + static_cast<double>(p - a.start) * (b.level - a.level) / span;
            *index = k;
            return;
        }
        if (b.start == kDspVolEnd) return;
    }
}

// Writes all of buf at the end of the output and pushes it to the file.
// After a write that the disk refused in part, the file's real length tells
// how far it got (the stream buffer may have reported success for bytes it
// only held), and the remainder is written again from there; only
// kMorphexShortWrites attempts in a row without progress fail the job, so a
// short write never shifts the stream.
int writeAll(FILE *fp, const uint8_t *buf, uint64_t bytes) {
    const int64_t base = v_tell(fp);
    uint64_t done = 0;
    int idle = 0;
    while (done < bytes) {
        const uint64_t left = bytes - done;
        const uint32_t chunk = left > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(left);
        const uint32_t n = v_write(fp, buf + done, chunk);
        if (n == chunk && v_flush(fp) == 0 && !std::ferror(fp)) {
            done += n;
            idle = 0;
            continue;
        }
        std::clearerr(fp);
        (void)v_flush(fp);
        std::clearerr(fp);
        struct stat st;
        uint64_t reached = done;
        if (base >= 0 && fstat(fileno(fp), &st) == 0 && st.st_size > base) {
            const uint64_t inFile = static_cast<uint64_t>(st.st_size - base);
            reached = inFile > bytes ? bytes : inFile;
        }
        if (reached > done) {
            done = reached;
            idle = 0;
        } else if (++idle >= kMorphexShortWrites) {
            say("Write Data to File Error! ");
            return kMorphexErrShortWrite;
        }
        if (base < 0 || v_lseek(fp, base + static_cast<int64_t>(done), 0) != 0) {
            say("Write Data to File Error! ");
            return kMorphexErrWrite;
        }
    }
    return kMorphexOk;
}

// Frames per channel of a DSF stereo read of `bytes` bytes that begins at
// byte o of a channel-1 block: those whose channel-2 byte was read as well.
int64_t dsfStereoFramesIn(uint32_t o, uint64_t bytes) {
    int64_t frames = 0;
    // Channel-2 byte of channel byte c (counted from the block start) lies at
    // (c / 4096) * 8192 + 4096 + c % 4096 - o from the read's start.
    for (uint64_t blk = 0;; ++blk) {
        const uint64_t base = blk * 8192 + 4096;  // channel-2 block start + o
        if (base >= bytes + o) break;
        const uint64_t first = blk == 0 ? o : 0;
        uint64_t lastExcl = bytes + o - base;  // offsets below this were read
        if (lastExcl > 4096) lastExcl = 4096;
        if (lastExcl > first) frames += static_cast<int64_t>(lastExcl - first) * 8;
    }
    return frames;
}

int setUp(Job &j, const wchar16 *dst, const wchar16 *srcPath, double *panVol);
int runLoop(Job &j);
int complete(Job &j);

}  // namespace

int morphexSub(const wchar16 *dst, const wchar16 *const *srcList, void * /*ignored*/,
               const tMorphexSendParams *send, double *panVol, const int *srcCount, tMorphexCom *com,
               tMorphexBlockCallback blockCb, tMorphexStatusCallback statusCb,
               const tDspVolItem *envelope, tMorphexErrorCallback errorCb,
               tMorphexWorkingCallback workingCb) {
    if (!srcCount || *srcCount != 1) return kMorphexErrSourceCount;
    if (!send || !com) return kMorphexErrBadParams;
    if (!srcList || !srcList[0]) {
        say("Read File Open Error!");
        return kMorphexErrReadOpen;
    }
    Job *job = new (std::nothrow) Job;
    if (!job) return kMorphexErrSmallBuffer;
    job->send = send;
    job->com = com;
    job->blockCb = blockCb;
    job->statusCb = statusCb;
    job->errorCb = errorCb;
    job->workingCb = workingCb;
    job->envelope = envelope;
    job->track = static_cast<int>(com->track);

    int r = setUp(*job, dst, srcList[0], panVol);
    if (r == kMorphexOk) r = runLoop(*job);
    if (r == kMorphexOk) r = complete(*job);
    pPanVol = nullptr;
    delete job;
    return r;
}

int morphex(const wchar16 *dst, const wchar16 *const *srcList, void *ignored,
            const tMorphexSendParams *send, double *panVol, const int *srcCount, tMorphexCom *com,
            tMorphexBlockCallback blockCb, tMorphexStatusCallback statusCb, const tDspVolItem *envelope,
            tMorphexErrorCallback errorCb, tMorphexWorkingCallback workingCb) {
    return morphexSub(dst, srcList, ignored, send, panVol, srcCount, com, blockCb, statusCb, envelope,
                      errorCb, workingCb);
}

namespace {

int setUp(Job &j, const wchar16 *dstPath, const wchar16 *srcPath, double *panVol) {
    const tMorphexSendParams &s = *j.send;
    tMorphexCom &com = *j.com;

    // Output settings the job cannot serve are refused before anything is
    // opened: an unknown rate index, a channel count other than 1 or 2, or a
    // word length the packers do not write.
    j.outType = s.fileType;
    j.outRate = s.rateIndex < kFsTableEntries ? gFsTable[s.rateIndex] : 0;
    j.outChannels = s.outChannels;
    j.outBits = s.bits;
    j.mode = s.mode;
    if (j.outChannels < 1 || j.outChannels > 2) return kMorphexErrBadParams;
    if (isDsdType(j.outType) ? j.outBits != 1 : (j.outBits != 16 && j.outBits != 24 && j.outBits != 32))
        return kMorphexErrBadParams;
    j.channelByte = static_cast<uint8_t>(j.outChannels |
                                         (j.outChannels == 1 && com.rightPass ? kPcmRightLaneFlag : 0));

    // 1. Objects, ring, range, pan table.
    j.conv = new (std::nothrow) CUpDownConv(&j.fade);
    j.dsm = new (std::nothrow) classDsm5th;
    j.pcmDsd = new (std::nothrow) cConvPcmDsd(&j.fade);
    const bool fftMode = j.mode == kRatePlanModeFft;
    // Only a mode-3 job needs room for the long transform; its buffers are
    // sized once the plan has been made.
    j.fft = new (std::nothrow) classFFT(fftMode ? static_cast<int>(kRatePlanFftSize) : kFftMaxSize);
    if (!j.conv || !j.dsm || !j.pcmDsd || !j.fft || j.conv->capacity() == 0 || j.fft->maxSize() == 0)
        return kMorphexErrSmallBuffer;
    j.ring = com.ringBlocks < 1 ? 1 : (com.ringBlocks > kMorphexMaxRing ? kMorphexMaxRing : com.ringBlocks);
    j.writing = com.command == kMorphexComWriteFile;
    j.start = com.startSample < 0 ? 0 : com.startSample;
    j.end = com.endSample;
    pPanVol = panVol;

    // 2, 4. The 45-tap smoothing filter of mixed tracks at DSD rates.
    j.coef45 = static_cast<double *>(
        _aligned_malloc(static_cast<uint64_t>(firDesignEntries(kSmoothTaps, 0)) * 16, 16));
    if (!j.coef45) return kMorphexErrSmallBuffer;
    gAudio_setDecimFirParam(0, j.outRate, static_cast<double>(j.outRate / 16), kSmoothTaps, j.coef45, 1,
                            1.0, 0, 0);
    // 5, 6.
    j.scratch = static_cast<uint8_t *>(_aligned_malloc(kScratchBytes, 16));
    if (!j.scratch) return kMorphexErrSmallBuffer;
    j.hold = s.option == 1;
    gRandom_seedInitValue();

    // 7. Source type by extension; DSD ranges in whole bytes.
    j.srcType = sourceTypeOf(srcPath);
    if (isDsdType(j.srcType)) {
        j.start -= j.start % 8;
        j.end -= j.end % 8;
    }

    // 8. Filter work buffer.
    j.work = static_cast<double *>(_aligned_malloc((fftMode ? kWorkEntriesFft : kWorkEntries) * 16, 16));
    if (!j.work) {
        say("malloc Error11!");
        return kMorphexErrWorkBuffer;
    }

    // 9-11. Files. The destination must not be the source.
    if (j.writing && (!dstPath || sameFile(dstPath, srcPath))) {
        say(dstPath ? "Write File Is Read File Error!" : "Write File Open Error!");
        return dstPath ? kMorphexErrSameFile : kMorphexErrWriteOpen;
    }
    if (v_open(&j.src, srcPath, "rb") != 0 || !j.src) {
        j.src = nullptr;
        say("Read File Open Error!");
        return kMorphexErrReadOpen;
    }
    j.header.channels = static_cast<uint16_t>(j.outChannels);
    j.header.bits = static_cast<uint16_t>(j.outBits);
    j.header.rate = j.outRate;
    j.header.stereo = j.outChannels != 1;
    if (j.writing && (v_open(&j.dst, dstPath, "w+b") != 0 || !j.dst)) {
        j.dst = nullptr;
        say("Write File Open Error!");
        return kMorphexErrWriteOpen;
    }

    // 12-15. Source header.
    const int st = static_cast<int>(j.srcType);
    tRiffStatus riff = kRiffStatusUnknown;
    if (audiofile_checkHeader(st, j.src, &riff) != 0) {
        say("Check Header Error!");
        return kMorphexErrCheckHeader;
    }
    if (audiofile_searchFmtChunk(st, j.src, &j.srcRate, &j.srcBits, &j.srcChannels, &j.formatTag) != 0 ||
        j.srcBits == 0) {
        say("Search FMT Chunk Error!");
        return kMorphexErrFmtChunk;
    }
    if (j.srcBits >= 32 && j.formatTag != 1 && j.formatTag != 3) {
        say("Search FMT Chunk Error!");
        return kMorphexErrFmtKind;
    }
    if (audiofile_searchData(st, j.src, &j.dataOffset, &j.dataBytes, &j.audioBytes) != 0) {
        say("Search DATA Chunk Error!");
        return kMorphexErrDataChunk;
    }
    if (j.srcChannels == 0) j.srcChannels = 1;
    j.unpackChannels = static_cast<uint8_t>(std::min<uint32_t>(j.srcChannels, 255));
    j.unpackBits = static_cast<uint8_t>(std::min<uint32_t>(j.srcBits, 255));
    const uint64_t bitsPerFrame = static_cast<uint64_t>(j.srcChannels) * j.srcBits;
    j.totalFrames = static_cast<int64_t>(j.audioBytes * 8 / bitsPerFrame);
    // A range that reaches past the file ends with the file.
    if (j.end > j.totalFrames) j.end = isDsdType(j.srcType) ? j.totalFrames - j.totalFrames % 8 : j.totalFrames;

    // 16. Marks inside [start, end], moved to the output's positions. Mark
    // list 0 is shared with every other user of the handlers, so it is only
    // used under the lock, and the job keeps its own copy until it writes.
    const double ratio = j.srcRate ? static_cast<double>(j.outRate) / static_cast<double>(j.srcRate) : 0.0;
    {
        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        (void)gMarkList.create(0);
        if (audiofile_loadCueData(st, j.src, j.dataBytes * 8 / bitsPerFrame, 0) != 0) {
            say("load cue data Error!");
            return kMorphexErrDataChunk;
        }
        int32_t count = 0;
        (void)gMarkList.getMarkCnt(0, &count);
        for (int32_t i = 0; i < count && j.markCount < kMorphexMaxMarks; ++i) {
            Mark &m = j.marks[j.markCount];
            uint64_t pos = 0;
            (void)gMarkList.getMarkFs(0, i, &pos);
            if (static_cast<int64_t>(pos) < j.start || static_cast<int64_t>(pos) > j.end) continue;
            (void)gMarkList.getMarkName(0, i, m.name);
            m.position = static_cast<uint64_t>(static_cast<double>(static_cast<int64_t>(pos) - j.start) * ratio);
            ++j.markCount;
        }
        (void)gMarkList.setModifyFlag(0);
    }

    // 17. Output start time.
    if (com.tag) j.outStartTime = static_cast<uint64_t>(static_cast<double>(com.tag->startSample) * ratio);

    // 18. Pure-DSD decision.
    const bool eqOn = com.peq && com.peq->allOn && *com.peq->allOn;
    j.pcmDsd->initParamsConverting(j.dsm, static_cast<int>(j.outRate));
    if (j.srcRate == j.outRate && (j.writing || com.pureDsdFeed) && !eqOn && !com.multiTrack) {
        j.fade.dsdPure = true;
    } else {
        j.fade.dsdPure = false;
        j.dsm->selectSpliceStream(0);
    }
    j.pcmDsd->setFadeLPF(com.envelopeActive != 0);

    // 19. Start gain of the envelope.
    if (j.srcRate) {
        j.envPosition = static_cast<int64_t>(static_cast<double>(j.outRate) *
                                             (static_cast<double>(j.start) / static_cast<double>(j.srcRate)));
    }
    startGainOf(j.envelope, j.envPosition, &j.startGain, &j.envIndex);

    // 20. Rate plan.
    tRatePlanJob pj;
    pj.inRate = j.srcRate;
    pj.outRate = j.outRate;
    pj.mode = j.mode;
    pj.srcType = j.srcType;
    pj.outType = j.outType;
    pj.writing = j.writing;
    pj.multiTrack = com.multiTrack != 0;
    pj.feedLimit = com.pureDsdFeed != 0;
    pj.srcBits = j.srcBits;
    pj.srcChannels = j.srcChannels;
    pj.outBits = j.outBits;
    pj.outChannels = j.outChannels;
    pj.start = j.start;
    pj.end = j.end;
    pj.totalFrames = j.totalFrames;
    const int pr = ratePlanMake(pj, &j.plan);
    if (pr != kRatePlanOk) return pr;
    j.header.rf64 = j.plan.largeFile ? 1 : 0;

    // 21. Output header.
    if (j.writing && audiofile_createHeader(static_cast<int>(j.outType), j.dst, &j.header, 0) != 0) {
        say("Create Header Error!");
        return kMorphexErrCreateHeader;
    }

    // 22. Conversion filter. Equal rates without mixing need none. In mode 3
    // a change of rate filters in the frequency domain; equal rates and the
    // unfiltered hold form have no filter to apply there and take the same
    // time-domain paths as in the other modes.
    j.fftPath = fftMode && j.plan.taps > 0 && !j.plan.equalRates && !j.hold && j.plan.fftSize > 0;
    if (j.fftPath) {
        say("malloc FFT buffers");
        const int n = static_cast<int>(j.plan.fftSize);
        const int fr = j.fft->changeFFTorder(n);
        if (fr != kFftOk && fr != kFftSameSize) return fr == kFftAllocFailed ? kMorphexErrFftBuffer3 : fr;
        if (j.fft->size() != n) return kMorphexErrFftBuffer1;
        while ((1 << j.fftStages) < n) ++j.fftStages;
        // Cosines, sines, the filter's real and imaginary spectrum (N
        // two-lane entries each) and the bit-reversal table (N entries).
        const uint64_t lane = static_cast<uint64_t>(n) * 16;
        j.fftTable = static_cast<uint8_t *>(_aligned_malloc(4 * lane + static_cast<uint64_t>(n) * 8, 64));
        if (!j.fftTable) return kMorphexErrFftBuffer3;
        j.fftCos = reinterpret_cast<double *>(j.fftTable);
        j.fftSin = reinterpret_cast<double *>(j.fftTable + lane);
        j.filterRe = reinterpret_cast<double *>(j.fftTable + 2 * lane);
        j.filterIm = reinterpret_cast<double *>(j.fftTable + 3 * lane);
        j.fftBitrev = reinterpret_cast<uint64_t *>(j.fftTable + 4 * lane);
        j.fft->calcFftCoef(n, j.fftCos, j.fftSin, j.fftBitrev);
    }
    if (j.plan.taps > 0) {
        gAudio_setDecimFirParam(j.mode, static_cast<double>(j.plan.commonRate), j.plan.cutoff, j.plan.taps,
                                j.work, j.plan.up, j.plan.gain, j.plan.fftSize, kRatePlanMaxTaps);
    }
    // The filter's spectrum: the designed taps followed by the zeros of the
    // design's tail fill the first N entries of the work buffer.
    if (j.fftPath && j.fft->doFft(static_cast<int>(j.plan.fftSize), j.fftStages, j.filterRe, j.filterIm, j.work) != kFftOk)
        return kMorphexErrFilterTransform;

    // 23. Packer and modulator start.
    clearDsfOffset();
    j.dsm->initDsm5thIntegrators(static_cast<int32_t>(j.outRate));
    j.dsm->initDsm5thPeakLevel();
    j.dsm->setMutePatVolume(1.0 - j.startGain);

    // 24. Read, output and ring buffers.
    const uint64_t readFrames = static_cast<uint64_t>(j.plan.readBytes) * 8 / bitsPerFrame;
    j.readBufBytes = (static_cast<uint64_t>(j.plan.readBytes) + kReadSlack) & ~uint64_t{7};
    j.readBuf = static_cast<uint8_t *>(_aligned_malloc(j.readBufBytes, 16));
    if (!j.readBuf) return kMorphexErrReadBuffer;
    const uint64_t outBlock = j.plan.outBlockFrames;
    j.outBuf = static_cast<uint8_t *>(_aligned_malloc(
        ((j.outChannels * (outBlock + kOutSlackFrames) * j.outBits / 8) + 0x17) & ~uint64_t{7}, 16));
    if (!j.outBuf) return kMorphexErrOutBuffer;
    const uint64_t slotFrames = (outBlock + 7) & ~uint64_t{7};
    const uint64_t slotBytes = (slotFrames * 16 + 16 + 63) & ~uint64_t{63};
    j.pcmRingMem = static_cast<uint8_t *>(allocLarge(slotBytes * static_cast<uint64_t>(j.ring)));
    if (!j.pcmRingMem) return kMorphexErrRingBuffer;
    for (int i = 0; i < j.ring; ++i) j.pcmRing[i] = reinterpret_cast<double *>(j.pcmRingMem + slotBytes * i);

    // 25. Something to read?
    if (j.plan.inputFrames <= 0) {
        j.waitForRelease();
        return kMorphexErrNothingToRead;
    }

    // 26. The remaining loop buffers; from here on a failure is reported
    // through the error callback.
    const uint64_t taps = static_cast<uint64_t>(j.plan.taps);
    // Room for the frames of one read and a stretch beyond, over which
    // consecutive reads slide before their overlap is moved back.
    j.pcmInFrames = readFrames + taps + (isDsdType(j.srcType) ? 0 : kPcmSlideFrames);
    j.pcmIn = static_cast<double *>(_aligned_malloc(j.pcmInFrames * 16 + 16, 16));
    if (!j.pcmIn) return j.fail(kMorphexErrPcmInBuffer);
    const uint64_t dsdSlot = ((readFrames + taps) / 8 + 8 + 15) & ~uint64_t{15};
    j.dsdRingMem = static_cast<uint8_t *>(_aligned_malloc(dsdSlot * 2 * j.ring, 16));
    if (!j.dsdRingMem) return j.fail(kMorphexErrDsdInBuffer);
    // A PCM source never fills these; they are handed to the callback and to
    // the DSD step all the same, so they hold silence rather than garbage.
    if (!isDsdType(j.srcType)) std::memset(j.dsdRingMem, kDsdSilence, dsdSlot * 2 * j.ring);
    for (int i = 0; i < 2 * j.ring; ++i) j.dsdRing[i] = j.dsdRingMem + dsdSlot * i;
    // The hold form repeats every source sample up to the common rate, so a
    // read grows by the up factor before the down stage takes every n-th one.
    uint64_t upFrames = readFrames + taps + 32767;
    if (j.hold && j.plan.up > 1) upFrames = std::max(upFrames, (readFrames + taps + 8) * j.plan.up);
    j.upBuf = static_cast<double *>(allocLarge(upFrames * 16 + 16));
    if (!j.upBuf) return j.fail(kMorphexErrUpBuffer);
    const uint64_t dsdOutBytes = ((outBlock + 7) / 8 + 15) & ~uint64_t{7};
    j.dsdOutMem = static_cast<uint8_t *>(_aligned_malloc(dsdOutBytes * 2, 16));
    if (!j.dsdOutMem) return j.fail(kMorphexErrDsdOutBuffer);
    j.dsdOut[0] = j.dsdOutMem;
    j.dsdOut[1] = j.dsdOutMem + dsdOutBytes;
    if (j.plan.taps > 0 && !j.plan.equalRates && !j.hold && !j.fftPath &&
        j.conv->prepareFilter(j.work, j.plan.taps, j.plan.up, isDsdType(j.srcType)) != kUpDownOk)
        return j.fail(kMorphexErrUpBuffer);
    return kMorphexOk;
}

// One read of the source into the read buffer: frames [first, first + n)
// of a PCM source (frames outside the data read as zeros), or n DSD frames
// from the byte holding frame `first` (DSD frames are bits per channel).
// *avail receives the frames actually present.
int readSource(Job &j, int64_t first, int64_t n, uint32_t *dsfOffset, int64_t *avail) {
    const uint32_t ch = j.srcChannels;
    uint64_t pos = 0, bytes = 0, lead = 0;
    if (!isDsdType(j.srcType)) {
        const uint64_t bpf = static_cast<uint64_t>(ch) * j.srcBits / 8;
        int64_t from = first;
        if (from < 0) {
            lead = static_cast<uint64_t>(-from < n ? -from : n) * bpf;
            from = 0;
        }
        pos = static_cast<uint64_t>(from) * bpf;
        bytes = static_cast<uint64_t>(n) * bpf - lead;
    } else {
        const uint64_t byteFrame = static_cast<uint64_t>(first) / 8;  // channel byte index
        const uint64_t unpackBytes = (static_cast<uint64_t>(first % 8) + static_cast<uint64_t>(n) + 7) / 8;
        *dsfOffset = 0;
        if (j.srcType == 2 && ch > 1) {
            const uint64_t o = byteFrame % kDsfBlockBytes;
            *dsfOffset = static_cast<uint32_t>(o);
            pos = (byteFrame - o) * ch + o;
            // Through the last needed byte of the last channel's block.
            const uint64_t m = o + unpackBytes - 1;
            bytes = (m / kDsfBlockBytes) * kDsfBlockBytes * ch + (ch - 1) * kDsfBlockBytes + m % kDsfBlockBytes + 1 - o;
        } else {
            pos = byteFrame * ch;
            bytes = unpackBytes * ch;
        }
    }
    if (lead) std::memset(j.readBuf, 0, lead);
    uint64_t want = bytes;
    if (pos >= j.dataBytes) want = 0;
    else if (want > j.dataBytes - pos) want = j.dataBytes - pos;
    if (lead + bytes > j.readBufBytes) return kMorphexErrRead;  // the plan sized the buffer; never here

    uint64_t got = 0;
    if (want > 0) {
        if (v_lseek(j.src, static_cast<int64_t>(j.dataOffset + pos), 0) != 0) {
            say("Seek Error!");
            return kMorphexErrSeek;
        }
        long long rec[3] = {0, 0, static_cast<long long>(want)};
        if (j.workingCb) j.workingCb(rec);
        got = v_read(j.src, j.readBuf + lead, static_cast<uint32_t>(want));
        if (got < want && std::ferror(j.src)) {
            say("Read Data Error!");
            if (j.storeSizes() != 0) say("audiofile_updateDataSize Error! ");
            return kMorphexErrRead;
        }
    }
    if (got < bytes) {
        std::memset(j.readBuf + lead + got, isDsdType(j.srcType) ? kDsdSilence : 0, bytes - got);
    }
    if (!isDsdType(j.srcType)) {
        *avail = n;  // a PCM block keeps its frames; what is missing is silence
    } else if (got >= bytes) {
        *avail = n;
    } else {
        const int64_t bitOff = first % 8;
        int64_t frames = (j.srcType == 2 && ch > 1) ? dsfStereoFramesIn(*dsfOffset, got)
                                                    : static_cast<int64_t>(got / ch) * 8;
        frames -= bitOff;
        *avail = frames < 0 ? 0 : (frames > n ? n : frames);
    }
    return kMorphexOk;
}

int runLoop(Job &j) {
    const tRatePlan &p = j.plan;
    const bool dsdSrc = isDsdType(j.srcType);
    const bool dsdOutType = isDsdType(j.outType);
    const int64_t outBlock = p.outBlockFrames;
    const int64_t inBlock = p.inBlockFrames;
    const int64_t taps = p.taps;
    const int64_t jobInput = p.inputFrames;
    const bool eqOn = j.writing || j.com->pureDsdFeed;
    const int blockBytes = dsdOutType ? static_cast<int>((outBlock + 7) / 8) : static_cast<int>(outBlock * 16);

    tDspVolParam env;
    env.level = j.startGain;
    env.position = j.envPosition;
    env.index = j.envIndex;
    const tDspVolItem *envelope = j.envelope;
    tDspVolItem silent[2];
    if (!envelope) {
        // No envelope: the start gain (0) holds for the whole job.
        silent[0].start = 0;
        silent[1].start = kDspVolEnd;
        envelope = silent;
    }

    // The rate converter's record: everything but the block's buffers and
    // frame count stays the same for the whole job.
    tDownConvertParams d;
    d.inRate = j.srcRate;
    d.outRate = j.outRate;
    d.commonRate = p.commonRate;
    d.hold = j.hold ? 1 : 0;
    d.phaseOffset = 0;
    d.coefficients = j.work;
    d.taps = p.taps;
    d.track = 0;
    d.envelopeState = &env;
    d.envelope = envelope;
    d.eqOn = eqOn ? 1 : 0;
    d.eq = j.com->peq;
    d.scale = p.gain;
    d.modulator = j.dsm;
    d.writing = j.writing ? 1 : 0;
    d.fadeLpf = j.com->envelopeActive;
    d.smoothDsd = j.com->multiTrack;
    d.smoothCoefficients = j.coef45;
    d.overwrite = 1;
    // Only the unfiltered hold form and the 45-tap smoothing of mixed tracks
    // need a DSD source's bits as numbers first; otherwise the converter
    // reads the bits through the filter's byte tables.
    const bool dsdAsNumbers = dsdSrc && (j.hold || (p.equalRates && j.com->multiTrack && j.outRate >= 2822400));

    tConvPcmDsdParam first{static_cast<uint8_t>(j.send->command == kMorphexCmdExport ? 1 : 0)};
    bool firstBlock = true;
    double prevLevel = 0.0;
    j.inputLeft = p.inputFrames;
    j.outLeft = p.plannedOutFrames;
    // Source frame of the next block's first input frame; a PCM block's
    // reading starts the pre-roll before it.
    int64_t cur = j.start;
    bool endMark = false;
    // The unpacked PCM window: source frames [winStart, winStart + winFrames)
    // at frame winOff of pcmIn.
    int64_t winStart = 0, winFrames = 0;
    uint64_t winOff = 0;

    while (j.inputLeft > 0 && j.outLeft > 0 && !endMark) {
        const int slot = static_cast<int>((j.produced / outBlock) % j.ring);
        j.setProgress(jobInput >= 100 ? static_cast<int>(100 - j.inputLeft / (jobInput / 100)) : 100);
        double *out = j.pcmRing[slot];
        // The rate converter stores every frame of the block it produces
        // (only its unfiltered hold form adds), so the slot is cleared only
        // there and, further down, beyond a short block.
        uint8_t *srcDsd[2] = {j.dsdRing[2 * slot], j.dsdRing[2 * slot + 1]};

        int64_t blockIn, blockOut, nRead;
        if (j.inputLeft > inBlock) {
            blockIn = inBlock;
            blockOut = outBlock;
        } else {
            blockIn = j.inputLeft;
            blockOut = static_cast<int64_t>(static_cast<uint64_t>(p.up) * static_cast<uint64_t>(blockIn) / p.down);
        }
        if (blockOut > j.outLeft) blockOut = j.outLeft;
        nRead = blockIn + taps;

        const int64_t firstFrame = dsdSrc ? cur : cur - p.preRoll;
        const uint32_t bitOff = dsdSrc ? static_cast<uint32_t>(cur % 8) : 0;
        // A PCM block shares all but its advance with the one before: those
        // frames stay unpacked in the window and only the new ones are read.
        int64_t have = 0;
        if (!dsdSrc) {
            if (winFrames > 0 && firstFrame >= winStart && firstFrame <= winStart + winFrames) {
                winOff += static_cast<uint64_t>(firstFrame - winStart);
                have = winStart + winFrames - firstFrame;
                if (have > nRead) have = nRead;
            } else {
                winOff = 0;
            }
            if (winOff + static_cast<uint64_t>(nRead) > j.pcmInFrames) {
                std::memmove(j.pcmIn, j.pcmIn + 2 * winOff, static_cast<size_t>(have) * 16);
                winOff = 0;
            }
            winStart = firstFrame;
            winFrames = nRead;
        }
        uint32_t dsfOffset = 0;
        int64_t avail = 0;
        int r = kMorphexOk;
        if (dsdSrc || have < nRead) r = readSource(j, firstFrame + have, nRead - have, &dsfOffset, &avail);
        if (r != kMorphexOk) return j.fail(r);
        if (dsdSrc && avail < nRead) {
            // The DSD source ran out: convert what there is, then stop.
            endMark = true;
            const int64_t usable = avail - taps;
            const int64_t o = usable > 0 ? static_cast<int64_t>(static_cast<uint64_t>(p.up) * usable / p.down) : 0;
            if (o < blockOut) blockOut = o;
            if (blockOut <= 0) break;
        }

        if (j.hold) std::memset(out, 0, static_cast<size_t>(blockOut) * 16);
        if (blockOut < outBlock)
            std::memset(out + 2 * blockOut, 0, static_cast<size_t>(outBlock - blockOut) * 16);

        // Unpack.
        const uint32_t unpack = static_cast<uint32_t>((bitOff + nRead + 7) & ~int64_t{7});
        if (j.srcType == 2) {
            long long rec[3] = {0, 1, static_cast<long long>(unpack)};
            if (j.workingCb) j.workingCb(rec);
            if (dsf2dsd(srcDsd[0], srcDsd[1], j.readBuf, unpack, j.unpackChannels, dsfOffset) != 0) {
                say("DSF to DSD Error!");
                return j.fail(kMorphexErrDsfUnpack);
            }
        } else if (dsdSrc) {
            if (dsdiff2dsd(srcDsd[0], srcDsd[1], j.readBuf, unpack, j.unpackChannels) != 0) {
                say("DSDIFF to DSD Error!");
                return j.fail(kMorphexErrDsdiffUnpack);
            }
        } else if (have < nRead &&
                   wav2pcm(j.pcmIn + 2 * (winOff + static_cast<uint64_t>(have)), j.readBuf,
                           static_cast<uint32_t>(nRead - have), j.unpackChannels,
                           j.unpackBits, nullptr, j.formatTag) != 0) {
            say("Wav to PCM Error!");
            return j.fail(kMorphexErrWavUnpack);
        }

        if (j.fftPath) {
            // Overlap-save at the common rate: the block's input, zero-stuffed
            // to L, fills one transform; its first `taps` frames only feed the
            // filter, and the outputs are read from there on at every down-th
            // frame. Each block starts a whole number of output frames after
            // the last (x is a multiple of up x down), so blocks join without
            // a seam. Frames of the transform beyond the read are zeros; no
            // output reaches them.
            const uint64_t n = p.fftSize;
            const uint64_t reach = (n - 1) / p.up + 1;  // source frames inside the transform
            const uint64_t stuff = static_cast<uint64_t>(nRead) < reach ? static_cast<uint64_t>(nRead) : reach;
            const uint8_t *const streams[2] = {srcDsd[0], srcDsd[1]};
            if (j.conv->gAudio_upconvertFreqAxis(j.upBuf, dsdSrc ? nullptr : j.pcmIn + 2 * winOff,
                                                 dsdSrc ? streams : nullptr, static_cast<uint32_t>(stuff),
                                                 j.srcRate, p.commonRate, 0, dsdSrc ? 1 : 0, 0, bitOff,
                                                 nullptr) != kUpDownOk) {
                say("Up-Convert Error! ");
                return j.fail(kMorphexErrUpConvert);
            }
            if (stuff * p.up < n)
                std::memset(j.upBuf + 2 * stuff * p.up, 0, static_cast<size_t>(n - stuff * p.up) * 16);
            if (j.conv->gAudio_downconvertFreqAxis(out, j.upBuf, static_cast<uint32_t>(blockOut), j.srcRate,
                                                   j.outRate, p.commonRate, 0, 0, j.filterRe, j.filterIm,
                                                   static_cast<uint32_t>(taps), nullptr, 0, j.fft,
                                                   static_cast<int>(n), j.fftStages, &env, envelope, eqOn,
                                                   j.com->peq) != kUpDownOk) {
                say("Down-Convert Error! ");
                return j.fail(kMorphexErrDownConvert);
            }
        } else {
            // Rate change into the slot.
            d.output = out;
            d.count = static_cast<int>(blockOut);
            if (!dsdSrc) {
                d.input = j.pcmIn + 2 * winOff;
            } else if (dsdAsNumbers) {
                const void *const streams[2] = {srcDsd[0], srcDsd[1]};
                if (j.conv->gAudio_upconvert(j.upBuf, streams, static_cast<uint32_t>(nRead), j.srcRate,
                                             p.commonRate, j.hold ? 1 : 0, 1, 0, bitOff, nullptr) != kUpDownOk) {
                    say("Up-Convert Error! ");
                    return j.fail(kMorphexErrUpConvert);
                }
                d.input = j.upBuf;
            } else {
                d.input = nullptr;
                d.dsd = srcDsd;
                d.dsdBitOffset = bitOff;
            }
            if (j.conv->gAudio_downconvert(&d) != kUpDownOk) {
                say("Down-Convert Error! ");
                return j.fail(kMorphexErrDownConvert);
            }
        }

        j.produced += blockOut;
        j.outLeft -= blockOut;
        const uint64_t produced = static_cast<uint64_t>(j.produced);
        unsigned int *comWords = reinterpret_cast<unsigned int *>(j.com);
        const int filterDelay = p.filterDelay;
        const int64_t room = p.plannedOutFrames - j.framesWritten;  // frames the file may still take
        // What this block adds to the file; counted once it is written, so
        // that sizes stored after a failure never claim more than is there.
        uint64_t bytes = 0;
        int64_t frames = 0;

        if (!dsdOutType) {
            if (j.blockCb && j.blockCb(produced, static_cast<int>(blockOut), static_cast<int>(outBlock), slot,
                                       blockBytes, j.pcmRing, j.dsdRing, filterDelay, j.track,
                                       static_cast<int>(j.outRate), comWords) < 0)
                return j.cancel(kMorphexCancelPcm);
            if (j.writing) {
                if (pcm2wav(j.outBuf, out, static_cast<uint32_t>(blockOut), j.channelByte,
                            static_cast<uint8_t>(j.outBits), static_cast<int>(j.com->dither)) != 0) {
                    say("PCM to WAV Error! ");
                    return j.fail(kMorphexErrPcmPack);
                }
                frames = blockOut < room ? blockOut : room;
                bytes = static_cast<uint64_t>(frames) * j.outChannels * j.outBits / 8;
            }
        } else {
            if (j.writing) {
                const double level = env.level;
                double handed;
                if (firstBlock) {
                    handed = level;
                    if (level < 1.0) {
                        j.pcmDsd->reqDsdConvertWithFading(0, kDsdFadeIn);
                        j.pcmDsd->reqDsdConvertWithFading(1, kDsdFadeIn);
                    }
                } else if (prevLevel == 1.0 && level < 1.0) {
                    j.pcmDsd->reqDsdConvertWithFading(0, kDsdFadeOut);
                    j.pcmDsd->reqDsdConvertWithFading(1, kDsdFadeOut);
                    handed = 1.0;
                } else {
                    handed = prevLevel;
                }
                prevLevel = level;
                firstBlock = false;
                if (j.com->envelopeActive == 0 && j.fade.dsdPure) {
                    const size_t n = static_cast<size_t>((blockOut + 7) / 8);
                    std::memcpy(j.dsdOut[0], srcDsd[0], n);
                    std::memcpy(j.dsdOut[1], srcDsd[1], n);
                } else if (j.pcmDsd->convertPcm2Dsd(j.dsm, j.dsdOut, out, static_cast<uint32_t>(blockOut),
                                                    j.packerResult, nullptr, srcDsd, p.taps, handed,
                                                    &first) != kConvPcmDsdOk) {
                    say("DeltaSigmaModulation Error! ");
                    return j.fail(kMorphexErrModulation);
                }
            }
            if (j.blockCb && j.blockCb(produced, static_cast<int>(blockOut), static_cast<int>(outBlock), slot,
                                       blockBytes, j.pcmRing, j.dsdRing, filterDelay, j.track,
                                       static_cast<int>(j.outRate), comWords) < 0)
                return j.cancel(kMorphexCancelDsd);
            if (j.writing) {
                if (j.outType == 3 || j.outType == 4) {
                    const int res = dsd2dsdiff(j.outBuf, j.dsdOut[0], j.dsdOut[1], static_cast<uint32_t>(blockOut),
                                               j.channelByte, nullptr);
                    if (res < 0) {
                        say("Convert DSD to DSDIFF file Error! ");
                        return j.fail(kMorphexErrDsdiffPack);
                    }
                    j.packerResult = res;
                    frames = blockOut < room ? blockOut : room;
                    bytes = static_cast<uint64_t>(frames) * j.outChannels / 8;
                } else {
                    uint32_t written = 0, valid = 0;
                    const int res = dsd2dsf(j.outBuf, j.dsdOut[0], j.dsdOut[1], static_cast<uint32_t>(blockOut),
                                            j.channelByte, 0, &written, &valid);
                    if (res < 0) {
                        say("Convert DSD to DSF file Error! ");
                        return j.fail(kMorphexErrDsfPack);
                    }
                    j.packerResult = res;
                    frames = valid;
                    bytes = static_cast<uint64_t>(written) * j.outChannels / 8;
                }
            }
        }
        if (bytes > 0) {
            r = writeAll(j.dst, j.outBuf, bytes);
            if (r != kMorphexOk) return j.fail(r);
            j.bytesOut += bytes;
        }
        j.framesWritten += frames;
        cur += blockIn;
        j.inputLeft -= blockIn;
    }
    return kMorphexOk;
}

int complete(Job &j) {
    const int ot = static_cast<int>(j.outType);
    // The DSF packer holds back the unfinished block group: always emit it,
    // padded with the silence byte, and count only the frames it carries.
    if (j.writing && j.outType == 2) {
        uint32_t written = 0, valid = 0;
        if (dsd2dsf(j.outBuf, j.dsdOut[0], j.dsdOut[1], 0, j.channelByte, 1, &written, &valid) < 0)
            return j.fail(kMorphexErrDsfPack);
        const uint64_t bytes = static_cast<uint64_t>(written) * j.outChannels / 8;
        if (bytes > 0) {
            const int r = writeAll(j.dst, j.outBuf, bytes);
            if (r != kMorphexOk) return j.fail(r == kMorphexErrShortWrite ? r : kMorphexErrWrite);
            j.bytesOut += bytes;
        }
        j.framesWritten += valid;
    }
    j.freeLoopBuffers();

    {
        // The registered tag and mark list 0 are read by the handlers while
        // they write: register, fix the sizes and write the marks as one step
        // that no other job can split.
        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        if (j.com->tag) (void)audioFile_registerTagData(ot, j.com->tag);
        if (j.writing) {
            if (audiofile_updateDataSize(ot, j.dst, j.bytesOut, static_cast<uint64_t>(j.framesWritten)) != 0)
                return j.fail(kMorphexErrUpdateSize);
            (void)gMarkList.create(0);
            for (int i = 0; i < j.markCount; ++i) {
                Mark &m = j.marks[i];
                (void)gMarkList.addMark(0, 1, -1, m.name, m.position, m.position, 5);
            }
            (void)gMarkList.setModifyFlag(0);
            if (audiofile_saveCueData(ot, j.dst, 0, 0, static_cast<uint64_t>(j.framesWritten)) != 0)
                say("audiofile_saveCueData Error! ");
            const int r = audiofile_setStartSample(ot, j.dst, j.outStartTime);
            if (r != 0 && r != kAudioFileBextAppended) say("audiofile_setStartSample Error! ");
        }
    }

    j.setProgress(100);
    j.com->command |= kMorphexComEndBit;
    j.waitForRelease();
    j.com->modResult1 = j.dsm->mCutFlags[0];
    j.com->modResult2 = j.dsm->mCutFlags[1];
    return kMorphexOk;
}

}  // namespace
