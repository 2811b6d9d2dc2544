#include "morphex/morphexjob.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "audiofile/dsdlayout.h"
#include "audiofile/marklist.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "base/alignedalloc.h"
#include "dsp/dsm5th.h"
#include "dsp/peqrecord.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/classfft.h"
#include "morphex/convpcmdsd.h"
#include "morphex/decimfir.h"
#include "morphex/libutil.h"
#include "morphex/rateplan.h"
#include "morphex/updownconv.h"

std::mutex gMorphexMarkListMutex;

// A job is set up once and then runs block by block through three stages
// that set-up chooses:
//   source   reads the block's input and unpacks it (PCM, DSF, DSDIFF/WSD);
//   rate     converts it into the block's ring slot at the output rate, in
//            the time domain (equal rates included: gains only) or in the
//            frequency domain;
//   sink     turns the slot into the output (the modulator for DSD), hands
//            it to the block callback and, when the job writes, packs and
//            writes it.
namespace {

// Work buffer of the conversion filter, in two-lane entries: room for the
// longest filter with the zero tail of a 32767-tap reserve. Never cleared as
// a whole: the design writes every entry the filter stages read.
constexpr uint64_t kWorkEntries = 0x2800e0;
constexpr uint64_t kWorkEntriesFft = 0x100130;
constexpr int kSmoothTaps = 45;
constexpr int kScratchBytes = 2048;
constexpr uint32_t kReadSlack = 0x8007;  // DSF block alignment and pre-roll room
constexpr uint32_t kOutSlackFrames = 65536;
// The source is read ahead, and the output written, in pieces of this size:
// a system call per block would cost more than converting some blocks.
constexpr uint64_t kIoPieceBytes = 2u << 20;
constexpr int kEnvelopePairs = 34;  // pairs (k, k + 1), k = 0..33
constexpr uint8_t kDsdSilence = 0x96;
// Frames by which the unpacked PCM window may slide forward before its
// overlap is moved to the front of the buffer.
constexpr uint64_t kPcmSlideFrames = 65536;

void say(const char *line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

struct Mark {
    char name[kMarkNameBytes + 3];
    uint64_t position;
};

struct Job;

// One block of the loop: where it goes, how much it takes and gives, and
// the input the source stage unpacked for it.
struct Block {
    int slot = 0;
    double *out = nullptr;                 // the ring slot, two-lane frames
    uint8_t *dsd[2] = {nullptr, nullptr};  // the slot's DSD streams (a DSD source's bits)
    int64_t in = 0;                        // source frames the block advances by
    int64_t frames = 0;                    // output frames it produces
    int64_t reads = 0;                     // source frames it reads: in + the filter's taps
    int64_t first = 0;                     // source frame of the first one read
    uint32_t bitOffset = 0;                // DSD: position of that frame in its byte
    const double *pcm = nullptr;           // PCM: the unpacked frames, `reads` of them
    bool last = false;                     // a DSD source ran out: this block is the last
    bool none = false;                     // ... and it has nothing left to give
};

using tStage = int (*)(Job &j, Block &b);
// What the packer put into the output buffer: bytes to write and the
// output frames they carry.
using tPacker = int (*)(Job &j, const Block &b, uint64_t *bytes, int64_t *frames);

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
    tAudioFileType outType = kAudioFileWAV;
    uint32_t outBits = 0, outChannels = 0, outRate = 0, mode = 0;
    uint8_t channelByte = 0;
    bool hold = false;  // unfiltered sample-and-hold rate change
    int ring = 1;
    int64_t start = 0, end = 0;
    // The equaliser is switched on for this job's track.
    bool eqSwitchedOn = false;
    // The conversion itself applies the equaliser: exports and pure-DSD
    // feeds. A playback feed leaves it to the engine.
    bool eqInConversion = false;

    // Converter objects; the fade record is the job's own, so the smoother,
    // the fade requests and the pure-DSD flag are never shared with another job.
    tConvFadeShared fade;
    std::unique_ptr<CUpDownConv> conv;
    std::unique_ptr<classDsm5th> dsm;
    std::unique_ptr<cConvPcmDsd> pcmDsd;
    std::unique_ptr<classFFT> fft;
    tAlignedBuffer<double> coef45;
    tAlignedBuffer<uint8_t> scratch;
    tAlignedBuffer<double> work;
    // Frequency-domain filtering (mode 3 between different rates): the
    // transform's tables and the filter's spectrum, all inside fftTable.
    bool fftPath = false;
    int fftStages = 0;
    tAlignedBuffer<uint8_t> fftTable;
    double *fftCos = nullptr, *fftSin = nullptr, *filterRe = nullptr, *filterIm = nullptr;
    uint64_t *fftBitrev = nullptr;

    tFileHandle src;
    tFileHandle dst;
    const wchar16 *dstPath = nullptr;  // the caller's; read while the job runs
    tBwfHdrParam header{};

    // Source.
    tAudioFileType srcType = kAudioFileWAV;
    bool dsdSource = false;
    uint32_t srcRate = 0, srcBits = 0, srcChannels = 0;
    uint16_t formatTag = 0;
    // Channel count and word length as the unpackers take them (one byte
    // each); a value too large for a byte saturates, so that the unpacker
    // refuses it instead of a wrapped value passing for 1 or 2 channels.
    uint8_t unpackChannels = 0, unpackBits = 0;
    uint64_t dataOffset = 0, dataBytes = 0, audioBytes = 0;
    uint64_t bitsPerFrame = 0;
    int64_t totalFrames = 0;

    // Carried-over marks, already moved to the output's positions.
    Mark marks[kMorphexMaxMarks];
    int markCount = 0;

    double startGain = 0.0;
    int envIndex = 0;
    int64_t envPosition = 0;
    uint64_t outStartTime = 0;
    tRatePlan plan{};

    // The stages.
    tStage fetch = nullptr;
    tStage convert = nullptr;
    tStage deliver = nullptr;
    tPacker pack = nullptr;     // null for a feed: nothing is written
    bool dsdAsNumbers = false;  // a DSD source is raised to numbers before the down stage

    // Block loop buffers.
    tAlignedBuffer<uint8_t> readBuf;
    uint64_t readBufBytes = 0;
    // The source's audio is read ahead in large pieces: bytes [cacheStart,
    // cacheStart + cacheLen) of the data chunk. Blocks take their bytes from
    // here without a system call of their own.
    tAlignedBuffer<uint8_t> cache;
    uint64_t cacheCap = 0, cacheStart = 0, cacheLen = 0;
    const uint8_t *raw = nullptr;  // the current block's bytes, in the cache or in readBuf
    // Packed output waits in outBuf until a large piece can be written at
    // once; bytesOut and framesWritten count only what is in the file.
    tAlignedBuffer<uint8_t> outBuf;
    uint64_t outPending = 0;    // bytes packed, not yet written
    int64_t framesPending = 0;  // the output frames they carry
    double *pcmRing[kMorphexMaxRing] = {};
    tAlignedBuffer<uint8_t> pcmRingMem;  // the ring's slots, back to back
    tAlignedBuffer<double> pcmIn;
    uint64_t pcmInFrames = 0;  // capacity of pcmIn in frames
    tAlignedBuffer<uint8_t> dsdRingMem;
    unsigned char *dsdRing[2 * kMorphexMaxRing] = {};
    tAlignedBuffer<double> upBuf;
    tAlignedBuffer<uint8_t> dsdOutMem;
    uint8_t *dsdOut[2] = {nullptr, nullptr};

    // The rate converter's record: everything but a block's buffers and
    // frame count stays the same for the whole job.
    tDownConvertParams down;
    tDspVolParam env;
    tDspVolItem silent[2];

    // The unpacked PCM window: source frames [winStart, winStart + winFrames)
    // at frame winOff of pcmIn.
    int64_t winStart = 0, winFrames = 0;
    uint64_t winOff = 0;

    // The fade state of a DSD output.
    tConvPcmDsdParam firstExport{0};
    bool firstBlock = true;
    double prevLevel = 0.0;

    // Loop counters.
    int64_t produced = 0;       // output frames handed on
    uint64_t bytesOut = 0;      // bytes written to the output's audio
    int64_t framesWritten = 0;  // output frames in the file
    int64_t outLeft = 0;
    int64_t inputLeft = 0;
    int packerResult = 0;  // the DSD packer's pending offset

    // The loop's buffers go before the marks and the tag are written.
    void freeLoopBuffers() {
        pcmIn.reset();
        upBuf.reset();
        dsdOutMem.reset();
        dsdRingMem.reset();
    }

    int fail(int code) {
        if (errorCb) errorCb(track);
        return code;
    }
    // Closes and removes an output that holds no audio, so that a refused
    // job leaves no header-only file behind.
    void discardOutput() {
        if (!dst) return;
        dst.reset();
        if (dstPath) (void)unlink(w_toUtf8(dstPath).c_str());
    }
    // Stores the sizes of what is in the file so far (bytesOut and
    // framesWritten count only completed writes); 0 when nothing is written.
    int storeSizes() {
        if (!writing || !dst) return 0;
        return audiofile_updateDataSize(outType, dst.get(), bytesOut, static_cast<uint64_t>(framesWritten));
    }
    int writePending();
    int cancel(int code) {
        (void)writePending();
        (void)storeSizes();
        if (statusCb) statusCb(track);
        return fail(code);
    }
    void waitForRelease() {
        if (!statusCb) return;
        while (statusCb(track) == 0) {}
    }
    void setProgress(int v) {
        if (send->progress) *send->progress = v;
    }
};

// A large work buffer: aligned to and backed by huge pages where the
// system offers them, so that touching it for the first time costs one page
// fault per 2 MiB instead of one per 4 KiB (a fault costs about as much as
// clearing the page; in a virtual machine far more). Buffers from 512 KiB on
// take whole huge pages, at the price of some resident memory.
template <class T>
tAlignedBuffer<T> allocLarge(uint64_t bytes) {
    constexpr uint64_t kHuge = 2u << 20;
    if (bytes < kHuge / 4) return tAlignedBuffer<T>(static_cast<T *>(_aligned_malloc(bytes, 64)));
    void *p = _aligned_malloc(bytes, kHuge);
    if (p) (void)madvise(p, (bytes + kHuge - 1) & ~(kHuge - 1), MADV_HUGEPAGE);
    return tAlignedBuffer<T>(static_cast<T *>(p));
}

// The destination names the very file the job reads: opening it for
// writing would truncate the source before a single frame is read.
bool sameFile(const wchar16 *a, const wchar16 *b) {
    struct stat sa, sb;
    if (stat(w_toUtf8(a).c_str(), &sa) != 0) return false;
    if (stat(w_toUtf8(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

tAudioFileType sourceTypeOf(const wchar16 *path) {
    if (checkFileExtention(path, ".wav")) return kAudioFileWAV;
    if (checkFileExtention(path, ".dsf")) return kAudioFileDSF;
    if (checkFileExtention(path, ".dff")) return kAudioFileDSDIFF;
    if (checkFileExtention(path, ".wsd")) return kAudioFileWSD;
    return kAudioFileWAV;
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

// ---------------------------------------------------------------------------
// Set-up

// Output settings the job cannot serve are refused before anything is
// opened: an unknown rate index, a channel count other than 1 or 2, or a
// word length the packers do not write.
int takeOutputSettings(Job &j) {
    const tMorphexSendParams &s = *j.send;
    j.outType = static_cast<tAudioFileType>(s.fileType);
    j.outRate = s.rateIndex < kFsTableEntries ? gFsTable[s.rateIndex] : 0;
    j.outChannels = s.outChannels;
    j.outBits = s.bits;
    j.mode = s.mode;
    if (j.outChannels < 1 || j.outChannels > 2) return kMorphexErrBadParams;
    if (isDsdFileType(j.outType) ? j.outBits != 1 : (j.outBits != 16 && j.outBits != 24 && j.outBits != 32))
        return kMorphexErrBadParams;
    j.channelByte =
        static_cast<uint8_t>(j.outChannels | (j.outChannels == 1 && j.com->rightPass ? kPcmRightLaneFlag : 0));
    return kMorphexOk;
}

// The converter, the modulator and their work buffers; the ring size, the
// range and the pan table; the 45-tap smoothing filter of mixed tracks at
// DSD rates; the dither's noise register.
int makeConverters(Job &j, double *panVol) {
    const tMorphexCom &com = *j.com;
    j.conv.reset(new (std::nothrow) CUpDownConv(&j.fade));
    j.dsm.reset(new (std::nothrow) classDsm5th);
    j.pcmDsd.reset(new (std::nothrow) cConvPcmDsd(&j.fade));
    // Only a mode-3 job needs room for the long transform; its buffers are
    // sized once the plan has been made.
    const bool fftMode = j.mode == kRatePlanModeFft;
    j.fft.reset(new (std::nothrow) classFFT(fftMode ? static_cast<int>(kRatePlanFftSize) : kFftMaxSize));
    if (!j.conv || !j.dsm || !j.pcmDsd || !j.fft || j.conv->capacity() == 0 || j.fft->maxSize() == 0)
        return kMorphexErrSmallBuffer;
    j.ring = com.ringBlocks < 1 ? 1 : (com.ringBlocks > kMorphexMaxRing ? kMorphexMaxRing : com.ringBlocks);
    j.writing = com.command == kMorphexComWriteFile;
    j.start = com.startSample < 0 ? 0 : com.startSample;
    j.end = com.endSample;
    pPanVol = panVol;

    j.coef45 = alignedBuffer<double>(2 * static_cast<uint64_t>(firDesignEntries(kSmoothTaps, 0)), 16);
    if (!j.coef45) return kMorphexErrSmallBuffer;
    gAudio_setDecimFirParam(0, j.outRate, static_cast<double>(j.outRate / 16), kSmoothTaps, j.coef45.get(), 1, 1.0, 0,
                            0);
    j.scratch = alignedBuffer<uint8_t>(kScratchBytes, 16);
    if (!j.scratch) return kMorphexErrSmallBuffer;
    j.hold = j.send->option == 1;
    gRandom_seedInitValue();
    return kMorphexOk;
}

// The source's type by its extension (DSD ranges in whole bytes), the
// filter's work buffer, and the source file. The destination must not be
// the source; it is opened only once the source has been found convertible
// (openDestination), so a refused source leaves nothing behind.
int openFiles(Job &j, const wchar16 *dstPath, const wchar16 *srcPath) {
    j.srcType = sourceTypeOf(srcPath);
    j.dsdSource = isDsdFileType(j.srcType);
    if (j.dsdSource) {
        j.start -= j.start % 8;
        j.end -= j.end % 8;
    }
    const bool fftMode = j.mode == kRatePlanModeFft;
    // Only the filter's taps and the zero tail of its design are written:
    // the rest of the buffer is never touched.
    j.work = allocLarge<double>(2 * (fftMode ? kWorkEntriesFft : kWorkEntries) * sizeof(double));
    if (!j.work) {
        say("malloc Error11!");
        return kMorphexErrWorkBuffer;
    }

    if (j.writing && (!dstPath || sameFile(dstPath, srcPath))) {
        say(dstPath ? "Write File Is Read File Error!" : "Write File Open Error!");
        return dstPath ? kMorphexErrSameFile : kMorphexErrWriteOpen;
    }
    FILE *fp = nullptr;
    if (v_open(&fp, srcPath, "rb") != 0 || !fp) {
        say("Read File Open Error!");
        return kMorphexErrReadOpen;
    }
    j.src.reset(fp);
    j.header.channels = static_cast<uint16_t>(j.outChannels);
    j.header.bits = static_cast<uint16_t>(j.outBits);
    j.header.rate = j.outRate;
    j.header.stereo = j.outChannels != 1;
    j.dstPath = dstPath;
    return kMorphexOk;
}

int openDestination(Job &j) {
    if (!j.writing) return kMorphexOk;
    FILE *fp = nullptr;
    if (v_open(&fp, j.dstPath, "w+b") != 0 || !fp) {
        say("Write File Open Error!");
        return kMorphexErrWriteOpen;
    }
    j.dst.reset(fp);
    return kMorphexOk;
}

// Source rates the system plays and converts: PCM from 8 kHz to 768 kHz,
// DSD at 64, 128, 256 and 512 times 44.1 kHz or 48 kHz. Anything else is a
// damaged or hostile header; a rate of 1 Hz would otherwise turn a few
// kilobytes into an output of many gigabytes.
bool sourceRateSupported(bool dsd, uint32_t rate) {
    if (!dsd) return rate >= 8000 && rate <= 768000;
    for (uint32_t base : {44100u, 48000u})
        for (uint32_t k : {64u, 128u, 256u, 512u})
            if (rate == base * k) return true;
    return false;
}

// Channel count and word length the unpackers take. Checked before any
// buffer is sized from them: a header claiming 64,000 channels must not
// cost gigabytes of zeroed memory before it is refused.
int checkSourceFormat(Job &j) {
    const bool pcmBitsOk = j.srcBits == 16 || j.srcBits == 24 || j.srcBits == 32 || j.srcBits == 64;
    const bool bitsOk = j.dsdSource ? j.srcBits == 1 : pcmBitsOk;
    if (j.srcChannels > 2 || !bitsOk) {
        say(!j.dsdSource                 ? "Wav to PCM Error!"
            : j.srcType == kAudioFileDSF ? "DSF to DSD Error!"
                                         : "DSDIFF to DSD Error!");
        return j.fail(kMorphexErrWavUnpack);
    }
    if (!sourceRateSupported(j.dsdSource, j.srcRate)) {
        say("Search FMT Chunk Error!");
        return kMorphexErrWavUnpack;
    }
    return kMorphexOk;
}

// The source's header: its type, format and audio; the range ends with the
// file.
int readSourceHeader(Job &j) {
    FILE *fp = j.src.get();
    tRiffStatus riff = kRiffStatusUnknown;
    if (audiofile_checkHeader(j.srcType, fp, &riff) != 0) {
        say("Check Header Error!");
        return kMorphexErrCheckHeader;
    }
    if (audiofile_searchFmtChunk(j.srcType, fp, &j.srcRate, &j.srcBits, &j.srcChannels, &j.formatTag) != 0 ||
        j.srcBits == 0) {
        say("Search FMT Chunk Error!");
        return kMorphexErrFmtChunk;
    }
    if (j.srcBits >= 32 && j.formatTag != 1 && j.formatTag != 3) {
        say("Search FMT Chunk Error!");
        return kMorphexErrFmtKind;
    }
    if (audiofile_searchData(j.srcType, fp, &j.dataOffset, &j.dataBytes, &j.audioBytes) != 0) {
        say("Search DATA Chunk Error!");
        return kMorphexErrDataChunk;
    }
    if (j.srcChannels == 0) j.srcChannels = 1;
    const int fr = checkSourceFormat(j);
    if (fr != kMorphexOk) return fr;
    j.unpackChannels = static_cast<uint8_t>(std::min<uint32_t>(j.srcChannels, 255));
    j.unpackBits = static_cast<uint8_t>(std::min<uint32_t>(j.srcBits, 255));
    j.bitsPerFrame = static_cast<uint64_t>(j.srcChannels) * j.srcBits;
    j.totalFrames = static_cast<int64_t>(j.audioBytes * 8 / j.bitsPerFrame);
    // A range that reaches past the file ends with the file.
    if (j.end > j.totalFrames) j.end = j.dsdSource ? j.totalFrames - j.totalFrames % 8 : j.totalFrames;
    return kMorphexOk;
}

// Marks inside [start, end], moved to the output's positions, and the
// output's start time. Mark list 0 is shared with every other user of the
// handlers, so it is only used under the lock, and the job keeps its own
// copy until it writes.
int carryMarksAndStart(Job &j) {
    const double ratio = j.srcRate ? static_cast<double>(j.outRate) / static_cast<double>(j.srcRate) : 0.0;
    {
        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        (void)gMarkList.create(0);
        if (audiofile_loadCueData(j.srcType, j.src.get(), j.dataBytes * 8 / j.bitsPerFrame, 0) != 0) {
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
    if (j.com->tag) j.outStartTime = static_cast<uint64_t>(static_cast<double>(j.com->tag->startSample) * ratio);
    return kMorphexOk;
}

// Whether the source's DSD passes through unchanged (a pure job: equal
// rates, written or fed as pure DSD, no equaliser and no mixing); the fade
// smoother; the envelope's gain at the start.
void decideStreamsAndGain(Job &j) {
    const tMorphexCom &com = *j.com;
    j.eqSwitchedOn = com.peq && com.peq->allOn && *com.peq->allOn;
    j.pcmDsd->initParamsConverting(j.dsm.get(), static_cast<int>(j.outRate));
    if (j.srcRate == j.outRate && (j.writing || com.pureDsdFeed) && !j.eqSwitchedOn && !com.multiTrack) {
        j.fade.dsdPure = true;
    } else {
        j.fade.dsdPure = false;
        j.dsm->selectSpliceStream(0);
    }
    j.pcmDsd->setFadeLPF(com.envelopeActive != 0);

    if (j.srcRate) {
        j.envPosition = static_cast<int64_t>(static_cast<double>(j.outRate) *
                                             (static_cast<double>(j.start) / static_cast<double>(j.srcRate)));
    }
    startGainOf(j.envelope, j.envPosition, &j.startGain, &j.envIndex);
}

int makePlan(Job &j) {
    const tMorphexCom &com = *j.com;
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
    // Nothing is created for a job that cannot give a frame: a source (or
    // range) without audio has nothing to read; a source too short for one
    // output frame at the output rate would give an empty file.
    if (j.totalFrames <= 0 || j.end <= j.start) {
        j.waitForRelease();
        return kMorphexErrNothingToRead;
    }
    if (j.writing && j.plan.plannedOutFrames <= 0) {
        say("No Audio Written Error!");
        return kMorphexErrEmptyOutput;
    }
    const int dr = openDestination(j);
    if (dr != kMorphexOk) return dr;
    j.header.rf64 = j.plan.largeFile ? 1 : 0;
    if (j.writing && audiofile_createHeader(j.outType, j.dst.get(), &j.header, 0) != 0) {
        say("Create Header Error!");
        return kMorphexErrCreateHeader;
    }
    return kMorphexOk;
}

// The conversion filter. Equal rates without mixing need none. In mode 3 a
// change of rate filters in the frequency domain; equal rates and the
// unfiltered hold form have no filter to apply there and take the same
// time-domain paths as in the other modes.
int designFilter(Job &j) {
    const tRatePlan &p = j.plan;
    j.fftPath = j.mode == kRatePlanModeFft && p.taps > 0 && !p.equalRates && !j.hold && p.fftSize > 0;
    if (j.fftPath) {
        const int n = static_cast<int>(p.fftSize);
        const int fr = j.fft->changeFFTorder(n);
        if (fr != kFftOk && fr != kFftSameSize) return fr == kFftAllocFailed ? kMorphexErrFftBuffer3 : fr;
        if (j.fft->size() != n) return kMorphexErrFftBuffer1;
        while ((1 << j.fftStages) < n) ++j.fftStages;
        // Cosines, sines, the filter's real and imaginary spectrum (N
        // two-lane entries each) and the bit-reversal table (N entries).
        const uint64_t lane = static_cast<uint64_t>(n) * 16;
        j.fftTable = alignedBuffer<uint8_t>(4 * lane + static_cast<uint64_t>(n) * 8, 64);
        if (!j.fftTable) return kMorphexErrFftBuffer3;
        uint8_t *t = j.fftTable.get();
        j.fftCos = reinterpret_cast<double *>(t);
        j.fftSin = reinterpret_cast<double *>(t + lane);
        j.filterRe = reinterpret_cast<double *>(t + 2 * lane);
        j.filterIm = reinterpret_cast<double *>(t + 3 * lane);
        j.fftBitrev = reinterpret_cast<uint64_t *>(t + 4 * lane);
        j.fft->calcFftCoef(n, j.fftCos, j.fftSin, j.fftBitrev);
    }
    if (p.taps > 0) {
        gAudio_setDecimFirParam(j.mode, static_cast<double>(p.commonRate), p.cutoff, p.taps, j.work.get(), p.up, p.gain,
                                p.fftSize, kRatePlanMaxTaps);
    }
    // The filter's spectrum: the designed taps followed by the zeros of the
    // design's tail fill the first N entries of the work buffer.
    if (j.fftPath &&
        j.fft->doFft(static_cast<int>(p.fftSize), j.fftStages, j.filterRe, j.filterIm, j.work.get()) != kFftOk)
        return kMorphexErrFilterTransform;

    // The DSF packer and the modulator start afresh.
    clearDsfOffset();
    j.dsm->initDsm5thIntegrators(static_cast<int32_t>(j.outRate));
    j.dsm->initDsm5thPeakLevel();
    j.dsm->setMutePatVolume(1.0 - j.startGain);
    return kMorphexOk;
}

// The read, output and ring buffers, then (when there is something to
// read) the rest of the loop's buffers; from there on a failure is reported
// through the error callback.
int allocateBuffers(Job &j) {
    const tRatePlan &p = j.plan;
    const uint64_t readFrames = static_cast<uint64_t>(p.readBytes) * 8 / j.bitsPerFrame;
    j.readBufBytes = (static_cast<uint64_t>(p.readBytes) + kReadSlack) & ~uint64_t{7};
    j.readBuf = allocLarge<uint8_t>(j.readBufBytes);
    j.cacheCap = std::max(j.readBufBytes, kIoPieceBytes);
    j.cache = allocLarge<uint8_t>(j.cacheCap);
    if (!j.readBuf || !j.cache) return kMorphexErrReadBuffer;
    const uint64_t outBlock = p.outBlockFrames;
    // Room for a piece to be written and one more block.
    j.outBuf = allocLarge<uint8_t>(
        (((j.outChannels * (outBlock + kOutSlackFrames) * j.outBits / 8) + 0x17) & ~uint64_t{7}) + kIoPieceBytes);
    if (!j.outBuf) return kMorphexErrOutBuffer;
    const uint64_t slotFrames = (outBlock + 7) & ~uint64_t{7};
    const uint64_t slotBytes = (slotFrames * 16 + 16 + 63) & ~uint64_t{63};
    j.pcmRingMem = allocLarge<uint8_t>(slotBytes * static_cast<uint64_t>(j.ring));
    if (!j.pcmRingMem) return kMorphexErrRingBuffer;
    for (int i = 0; i < j.ring; ++i) j.pcmRing[i] = reinterpret_cast<double *>(j.pcmRingMem.get() + slotBytes * i);

    if (p.inputFrames <= 0) {
        j.discardOutput();
        j.waitForRelease();
        return kMorphexErrNothingToRead;
    }

    const uint64_t taps = static_cast<uint64_t>(p.taps);
    // Room for the frames of one read and a stretch beyond, over which
    // consecutive reads slide before their overlap is moved back.
    j.pcmInFrames = readFrames + taps + (j.dsdSource ? 0 : kPcmSlideFrames);
    j.pcmIn = allocLarge<double>((2 * j.pcmInFrames + 2) * sizeof(double));
    if (!j.pcmIn) return j.fail(kMorphexErrPcmInBuffer);
    const uint64_t dsdSlot = ((readFrames + taps) / 8 + 8 + 15) & ~uint64_t{15};
    j.dsdRingMem = allocLarge<uint8_t>(dsdSlot * 2 * j.ring);
    if (!j.dsdRingMem) return j.fail(kMorphexErrDsdInBuffer);
    // A PCM source never fills these; they are handed to the callback and to
    // the DSD step all the same, so they hold silence rather than garbage.
    if (!j.dsdSource) std::memset(j.dsdRingMem.get(), kDsdSilence, dsdSlot * 2 * j.ring);
    for (int i = 0; i < 2 * j.ring; ++i) j.dsdRing[i] = j.dsdRingMem.get() + dsdSlot * i;
    const uint64_t upFrames = readFrames + taps + 32767;
    j.upBuf = allocLarge<double>(upFrames * 16 + 16);
    if (!j.upBuf) return j.fail(kMorphexErrUpBuffer);
    const uint64_t dsdOutBytes = ((outBlock + 7) / 8 + 15) & ~uint64_t{7};
    j.dsdOutMem = alignedBuffer<uint8_t>(dsdOutBytes * 2, 16);
    if (!j.dsdOutMem) return j.fail(kMorphexErrDsdOutBuffer);
    j.dsdOut[0] = j.dsdOutMem.get();
    j.dsdOut[1] = j.dsdOutMem.get() + dsdOutBytes;
    if (p.taps > 0 && !p.equalRates && !j.hold && !j.fftPath &&
        j.conv->prepareFilter(j.work.get(), p.taps, p.up, j.dsdSource, p.down) != kUpDownOk)
        return j.fail(kMorphexErrUpBuffer);
    return kMorphexOk;
}

int fetchPcm(Job &j, Block &b);
int fetchDsf(Job &j, Block &b);
int fetchDsdiff(Job &j, Block &b);
int convertInTime(Job &j, Block &b);
int convertDsdNumbersInTime(Job &j, Block &b);
int convertInFrequency(Job &j, Block &b);
int deliverPcm(Job &j, Block &b);
int deliverDsd(Job &j, Block &b);
int packWav(Job &j, const Block &b, uint64_t *bytes, int64_t *frames);
int packDsdiff(Job &j, const Block &b, uint64_t *bytes, int64_t *frames);
int packDsf(Job &j, const Block &b, uint64_t *bytes, int64_t *frames);

// The three stages, and the converter's record that stays the same for the
// whole job.
void chooseStages(Job &j) {
    const tRatePlan &p = j.plan;
    j.fetch = !j.dsdSource ? fetchPcm : j.srcType == kAudioFileDSF ? fetchDsf : fetchDsdiff;

    // Only the unfiltered hold form and the 45-tap smoothing of mixed tracks
    // need a DSD source's bits as numbers first; otherwise the converter
    // reads the bits through the filter's byte tables.
    j.dsdAsNumbers = j.dsdSource && (j.hold || (p.equalRates && j.com->multiTrack && j.outRate >= 2822400));
    j.convert = j.fftPath ? convertInFrequency : j.dsdAsNumbers ? convertDsdNumbersInTime : convertInTime;

    const bool dsdOutput = isDsdFileType(j.outType);
    j.deliver = dsdOutput ? deliverDsd : deliverPcm;
    if (j.writing) {
        if (!dsdOutput)
            j.pack = packWav;
        else
            j.pack = j.outType == kAudioFileDSF ? packDsf : packDsdiff;
    }

    j.env.level = j.startGain;
    j.env.position = j.envPosition;
    j.env.index = j.envIndex;
    // No envelope: the start gain (0) holds for the whole job.
    j.silent[0].start = 0;
    j.silent[1].start = kDspVolEnd;
    j.eqInConversion = j.writing || j.com->pureDsdFeed;

    tDownConvertParams &d = j.down;
    d.inRate = j.srcRate;
    d.outRate = j.outRate;
    d.commonRate = p.commonRate;
    d.hold = j.hold ? 1 : 0;
    d.phaseOffset = 0;
    d.coefficients = j.work.get();
    d.taps = p.taps;
    d.track = 0;
    d.envelopeState = &j.env;
    d.envelope = j.envelope ? j.envelope : j.silent;
    d.eqOn = j.eqInConversion ? 1 : 0;
    d.eq = j.com->peq;
    d.scale = p.gain;
    d.modulator = j.dsm.get();
    d.writing = j.writing ? 1 : 0;
    d.fadeLpf = j.com->envelopeActive;
    d.smoothDsd = j.com->multiTrack;
    d.smoothCoefficients = j.coef45.get();
    d.overwrite = 1;

    j.firstExport.firstExportBlock = static_cast<uint8_t>(j.send->command == kMorphexCmdExport ? 1 : 0);
}

int setUp(Job &j, const wchar16 *dstPath, const wchar16 *srcPath, double *panVol) {
    int r = takeOutputSettings(j);
    if (r == kMorphexOk) r = makeConverters(j, panVol);
    if (r == kMorphexOk) r = openFiles(j, dstPath, srcPath);
    if (r == kMorphexOk) r = readSourceHeader(j);
    if (r == kMorphexOk) r = carryMarksAndStart(j);
    if (r != kMorphexOk) return r;
    decideStreamsAndGain(j);
    r = makePlan(j);
    if (r == kMorphexOk) r = designFilter(j);
    if (r == kMorphexOk) r = allocateBuffers(j);
    if (r == kMorphexOk) chooseStages(j);
    return r;
}

// ---------------------------------------------------------------------------
// Source stage: reading and unpacking

// Makes bytes [pos, pos + want) of the data chunk available in the cache,
// as far as the file holds them: a block that lies inside what was read
// costs nothing, any other reads a new piece from pos on. want is at most
// what the read buffer holds and never reaches past the data chunk.
int fillCache(Job &j, uint64_t pos, uint64_t want) {
    if (pos >= j.cacheStart && pos + want <= j.cacheStart + j.cacheLen) return kMorphexOk;
    FILE *fp = j.src.get();
    if (v_lseek(fp, static_cast<int64_t>(j.dataOffset + pos), 0) != 0) {
        say("Seek Error!");
        return kMorphexErrSeek;
    }
    const uint64_t len = std::min(j.cacheCap, j.dataBytes - pos);
    const uint64_t got = v_read(fp, j.cache.get(), static_cast<uint32_t>(len));
    if (got < len && std::ferror(fp)) {
        j.cacheLen = 0;
        say("Read Data Error!");
        if (j.writing) (void)j.writePending();
        if (j.storeSizes() != 0) say("audiofile_updateDataSize Error! ");
        return kMorphexErrRead;
    }
    j.cacheStart = pos;
    j.cacheLen = got;
    return kMorphexOk;
}

// One read of the source into the read buffer: frames [first, first + n)
// of a PCM source (frames outside the data read as zeros), or n DSD frames
// from the byte holding frame `first` (DSD frames are bits per channel).
// *avail receives the frames actually present.
int readSource(Job &j, int64_t first, int64_t n, uint32_t *dsfOffset, int64_t *avail) {
    const uint32_t ch = j.srcChannels;
    uint64_t pos = 0, bytes = 0, lead = 0;
    if (!j.dsdSource) {
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
        if (j.srcType == kAudioFileDSF && ch > 1) {
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
    uint8_t *buf = j.readBuf.get();
    uint64_t want = bytes;
    if (pos >= j.dataBytes)
        want = 0;
    else if (want > j.dataBytes - pos)
        want = j.dataBytes - pos;
    if (lead + bytes > j.readBufBytes) return kMorphexErrRead;  // the plan sized the buffer; never here

    uint64_t got = 0;
    const uint8_t *from = nullptr;
    if (want > 0) {
        long long rec[3] = {0, 0, static_cast<long long>(want)};
        if (j.workingCb) j.workingCb(rec);
        const int r = fillCache(j, pos, want);
        if (r != kMorphexOk) return r;
        from = j.cache.get() + (pos - j.cacheStart);
        got = std::min(want, j.cacheStart + j.cacheLen - pos);
    }
    if (lead == 0 && got == bytes) {
        j.raw = from;
    } else {
        // Frames before the audio, or missing at its end, are silence.
        if (lead) std::memset(buf, 0, lead);
        if (got) std::memcpy(buf + lead, from, got);
        if (got < bytes) std::memset(buf + lead + got, j.dsdSource ? kDsdSilence : 0, bytes - got);
        j.raw = buf;
    }
    if (!j.dsdSource || got >= bytes) {
        *avail = n;  // a PCM block keeps its frames; what is missing is silence
    } else {
        const int64_t bitOff = first % 8;
        int64_t frames = (j.srcType == kAudioFileDSF && ch > 1) ? dsfStereoFramesIn(*dsfOffset, got)
                                                                : static_cast<int64_t>(got / ch) * 8;
        frames -= bitOff;
        *avail = frames < 0 ? 0 : (frames > n ? n : frames);
    }
    return kMorphexOk;
}

// A PCM block shares all but its advance with the one before: those frames
// stay unpacked in the window and only the new ones are read.
int fetchPcm(Job &j, Block &b) {
    int64_t have = 0;
    if (j.winFrames > 0 && b.first >= j.winStart && b.first <= j.winStart + j.winFrames) {
        j.winOff += static_cast<uint64_t>(b.first - j.winStart);
        have = j.winStart + j.winFrames - b.first;
        if (have > b.reads) have = b.reads;
    } else {
        j.winOff = 0;
    }
    double *pcmIn = j.pcmIn.get();
    if (j.winOff + static_cast<uint64_t>(b.reads) > j.pcmInFrames) {
        std::memmove(pcmIn, pcmIn + 2 * j.winOff, static_cast<size_t>(have) * 16);
        j.winOff = 0;
    }
    j.winStart = b.first;
    j.winFrames = b.reads;
    b.pcm = pcmIn + 2 * j.winOff;
    if (have >= b.reads) return kMorphexOk;

    uint32_t dsfOffset = 0;
    int64_t avail = 0;
    const int r = readSource(j, b.first + have, b.reads - have, &dsfOffset, &avail);
    if (r != kMorphexOk) return j.fail(r);
    if (wav2pcm(pcmIn + 2 * (j.winOff + static_cast<uint64_t>(have)), j.raw, static_cast<uint32_t>(b.reads - have),
                j.unpackChannels, j.unpackBits, nullptr, j.formatTag) != 0) {
        say("Wav to PCM Error!");
        return j.fail(kMorphexErrWavUnpack);
    }
    return kMorphexOk;
}

// Reads a DSD block. The filter reads past the source's end on the silence
// pattern, so the last block gives every output frame of its input and the
// track keeps its whole duration. Only a source that holds less than its
// header described (it shrank while the job ran) ends early: the block
// converts what there is and is the last; b.none is set when nothing is left
// to convert. *unpack receives the bits per channel to unpack.
int readDsd(Job &j, Block &b, uint32_t *dsfOffset, uint32_t *unpack) {
    int64_t avail = 0;
    const int r = readSource(j, b.first, b.reads, dsfOffset, &avail);
    if (r != kMorphexOk) return j.fail(r);
    const int64_t inSource = std::min<int64_t>(b.in, j.totalFrames - b.first);
    if (avail < inSource) {
        const tRatePlan &p = j.plan;
        b.last = true;
        const int64_t o = avail > 0 ? static_cast<int64_t>(static_cast<uint64_t>(p.up) * avail / p.down) : 0;
        if (o < b.frames) b.frames = o;
        if (b.frames <= 0) b.none = true;
    }
    *unpack = static_cast<uint32_t>((b.bitOffset + b.reads + 7) & ~int64_t{7});
    return kMorphexOk;
}

// Past the source's last frame the streams hold the silence pattern, not
// what the file keeps there (a DSF pads its last block with bytes of any
// value): the filter's reach beyond the end must hear silence. A byte that
// holds the last frames keeps its bits.
void silenceAfterEnd(const Job &j, Block &b, uint32_t unpack) {
    const int64_t byteStart = b.first - b.bitOffset;  // frame of the streams' first bit
    const int64_t endBits = j.totalFrames - byteStart;
    const int64_t keep = endBits <= 0 ? 0 : (endBits + 7) / 8;
    const int64_t have = unpack / 8;
    if (keep >= have) return;
    for (int c = 0; c < 2; ++c) std::memset(b.dsd[c] + keep, kDsdSilence, static_cast<size_t>(have - keep));
}

int fetchDsf(Job &j, Block &b) {
    uint32_t dsfOffset = 0, unpack = 0;
    const int r = readDsd(j, b, &dsfOffset, &unpack);
    if (r != kMorphexOk || b.none) return r;
    long long rec[3] = {0, 1, static_cast<long long>(unpack)};
    if (j.workingCb) j.workingCb(rec);
    if (dsf2dsd(b.dsd[0], b.dsd[1], j.raw, unpack, j.unpackChannels, dsfOffset) != 0) {
        say("DSF to DSD Error!");
        return j.fail(kMorphexErrDsfUnpack);
    }
    silenceAfterEnd(j, b, unpack);
    return kMorphexOk;
}

// DSDIFF and WSD: channel bytes interleaved.
int fetchDsdiff(Job &j, Block &b) {
    uint32_t dsfOffset = 0, unpack = 0;
    const int r = readDsd(j, b, &dsfOffset, &unpack);
    if (r != kMorphexOk || b.none) return r;
    if (dsdiff2dsd(b.dsd[0], b.dsd[1], j.raw, unpack, j.unpackChannels) != 0) {
        say("DSDIFF to DSD Error!");
        return j.fail(kMorphexErrDsdiffUnpack);
    }
    silenceAfterEnd(j, b, unpack);
    return kMorphexOk;
}

// ---------------------------------------------------------------------------
// Rate stage

// The down stage in the time domain: the polyphase filter, the unfiltered
// hold form, or at equal rates the gains alone. A PCM source's frames, or a
// DSD source's bits read through the filter's byte tables.
int convertInTime(Job &j, Block &b) {
    tDownConvertParams &d = j.down;
    d.output = b.out;
    d.count = static_cast<int>(b.frames);
    if (!j.dsdSource) {
        // The unfiltered hold form starts at the block's own first frame, not
        // at the filter's pre-roll before it.
        d.input = j.hold ? b.pcm + 2 * j.plan.preRoll : b.pcm;
    } else {
        d.input = nullptr;
        d.dsd = b.dsd;
        d.dsdBitOffset = b.bitOffset;
    }
    if (j.conv->gAudio_downconvert(&d) != kUpDownOk) {
        say("Down-Convert Error! ");
        return j.fail(kMorphexErrDownConvert);
    }
    return kMorphexOk;
}

// A DSD source's bits as numbers at the source rate first, then the down
// stage (which takes the hold form's samples from them at that rate).
int convertDsdNumbersInTime(Job &j, Block &b) {
    const void *const streams[2] = {b.dsd[0], b.dsd[1]};
    if (j.conv->gAudio_upconvert(j.upBuf.get(), streams, static_cast<uint32_t>(b.reads), j.srcRate, j.plan.commonRate,
                                 0, 1, 0, b.bitOffset, nullptr) != kUpDownOk) {
        say("Up-Convert Error! ");
        return j.fail(kMorphexErrUpConvert);
    }
    tDownConvertParams &d = j.down;
    d.output = b.out;
    d.count = static_cast<int>(b.frames);
    d.input = j.upBuf.get();
    if (j.conv->gAudio_downconvert(&d) != kUpDownOk) {
        say("Down-Convert Error! ");
        return j.fail(kMorphexErrDownConvert);
    }
    return kMorphexOk;
}

// Overlap-save at the common rate: the block's input, zero-stuffed to L,
// fills one transform; its first `taps` frames only feed the filter, and the
// outputs are read from there on at every down-th frame. Each block starts
// a whole number of output frames after the last (x is a multiple of up x
// down), so blocks join without a seam. Frames of the transform beyond the
// read are zeros; no output reaches them.
int convertInFrequency(Job &j, Block &b) {
    const tRatePlan &p = j.plan;
    const uint64_t n = p.fftSize;
    const uint64_t reach = (n - 1) / p.up + 1;  // source frames inside the transform
    const uint64_t stuff = static_cast<uint64_t>(b.reads) < reach ? static_cast<uint64_t>(b.reads) : reach;
    const uint8_t *const streams[2] = {b.dsd[0], b.dsd[1]};
    double *up = j.upBuf.get();
    if (j.conv->gAudio_upconvertFreqAxis(up, j.dsdSource ? nullptr : b.pcm, j.dsdSource ? streams : nullptr,
                                         static_cast<uint32_t>(stuff), j.srcRate, p.commonRate, 0, j.dsdSource ? 1 : 0,
                                         0, b.bitOffset, nullptr) != kUpDownOk) {
        say("Up-Convert Error! ");
        return j.fail(kMorphexErrUpConvert);
    }
    if (stuff * p.up < n) std::memset(up + 2 * stuff * p.up, 0, static_cast<size_t>(n - stuff * p.up) * 16);
    if (j.conv->gAudio_downconvertFreqAxis(b.out, up, static_cast<uint32_t>(b.frames), j.srcRate, j.outRate,
                                           p.commonRate, 0, 0, j.filterRe, j.filterIm, static_cast<uint32_t>(p.taps),
                                           nullptr, 0, j.fft.get(), static_cast<int>(n), j.fftStages, &j.env,
                                           j.down.envelope, j.eqInConversion, j.com->peq) != kUpDownOk) {
        say("Down-Convert Error! ");
        return j.fail(kMorphexErrDownConvert);
    }
    return kMorphexOk;
}

// ---------------------------------------------------------------------------
// Sink stage: the output, the block callback, the packer and the writer

int handToCallback(Job &j, const Block &b, int cancelCode) {
    if (!j.blockCb) return kMorphexOk;
    const tRatePlan &p = j.plan;
    const int blockBytes = isDsdFileType(j.outType) ? static_cast<int>((p.outBlockFrames + 7) / 8)
                                                    : static_cast<int>(p.outBlockFrames * 16);
    if (j.blockCb(static_cast<uint64_t>(j.produced), static_cast<int>(b.frames), static_cast<int>(p.outBlockFrames),
                  b.slot, blockBytes, j.pcmRing, j.dsdRing, p.filterDelay, j.track, static_cast<int>(j.outRate),
                  reinterpret_cast<unsigned int *>(j.com)) < 0)
        return j.cancel(cancelCode);
    return kMorphexOk;
}

// Packs the block behind the output that waits to be written, and writes
// what waits once it is a whole piece. What reaches the file is counted
// once it is written, so that sizes stored after a failure never claim more
// than is there.
int packAndWrite(Job &j, const Block &b) {
    if (!j.pack) return kMorphexOk;
    uint64_t bytes = 0;
    int64_t frames = 0;
    const int r = j.pack(j, b, &bytes, &frames);
    if (r != kMorphexOk) return r;
    j.outPending += bytes;
    j.framesPending += frames;
    if (j.outPending < kIoPieceBytes) return kMorphexOk;
    const int w = j.writePending();
    return w == kMorphexOk ? w : j.fail(w);
}

// Writes the output that waits; the caller reports a failure.
int Job::writePending() {
    if (outPending > 0) {
        const int r = writeAll(dst.get(), outBuf.get(), outPending);
        if (r != kMorphexOk) return r;
        bytesOut += outPending;
    }
    framesWritten += framesPending;
    outPending = 0;
    framesPending = 0;
    return kMorphexOk;
}

// Frames the file may still take: the plan's output length bounds it.
int64_t room(const Job &j) { return j.plan.plannedOutFrames - (j.framesWritten + j.framesPending); }

// Where the next block is packed: behind the output that waits.
uint8_t *packAt(Job &j) { return j.outBuf.get() + j.outPending; }

int packWav(Job &j, const Block &b, uint64_t *bytes, int64_t *frames) {
    if (pcm2wav(packAt(j), b.out, static_cast<uint32_t>(b.frames), j.channelByte, static_cast<uint8_t>(j.outBits),
                static_cast<int>(j.com->dither)) != 0) {
        say("PCM to WAV Error! ");
        return j.fail(kMorphexErrPcmPack);
    }
    *frames = b.frames < room(j) ? b.frames : room(j);
    *bytes = static_cast<uint64_t>(*frames) * j.outChannels * j.outBits / 8;
    return kMorphexOk;
}

int packDsdiff(Job &j, const Block &b, uint64_t *bytes, int64_t *frames) {
    const int res =
        dsd2dsdiff(packAt(j), j.dsdOut[0], j.dsdOut[1], static_cast<uint32_t>(b.frames), j.channelByte, nullptr);
    if (res < 0) {
        say("Convert DSD to DSDIFF file Error! ");
        return j.fail(kMorphexErrDsdiffPack);
    }
    j.packerResult = res;
    *frames = b.frames < room(j) ? b.frames : room(j);
    *bytes = static_cast<uint64_t>(*frames) * j.outChannels / 8;
    return kMorphexOk;
}

// The DSF packer holds back an unfinished block group; packDsfTail emits it.
int packDsf(Job &j, const Block &b, uint64_t *bytes, int64_t *frames) {
    uint32_t written = 0, valid = 0;
    const int res = dsd2dsf(packAt(j), j.dsdOut[0], j.dsdOut[1], static_cast<uint32_t>(b.frames), j.channelByte, 0,
                            &written, &valid);
    if (res < 0) {
        say("Convert DSD to DSF file Error! ");
        return j.fail(kMorphexErrDsfPack);
    }
    j.packerResult = res;
    *frames = valid;
    *bytes = static_cast<uint64_t>(written) * j.outChannels / 8;
    return kMorphexOk;
}

int deliverPcm(Job &j, Block &b) {
    const int r = handToCallback(j, b, kMorphexCancelPcm);
    if (r != kMorphexOk) return r;
    return packAndWrite(j, b);
}

// A written DSD output goes through the modulator (or, for a pure job
// without an envelope, keeps the source's bits) before the callback sees
// the block. The modulator fades in from the mute pattern when the first
// block starts below unity and fades out when the level leaves unity; it is
// handed the level of the block before.
int deliverDsd(Job &j, Block &b) {
    if (j.writing) {
        const double level = j.env.level;
        double handed;
        if (j.firstBlock) {
            handed = level;
            if (level < 1.0) {
                j.pcmDsd->reqDsdConvertWithFading(0, kDsdFadeIn);
                j.pcmDsd->reqDsdConvertWithFading(1, kDsdFadeIn);
            }
        } else if (j.prevLevel == 1.0 && level < 1.0) {
            j.pcmDsd->reqDsdConvertWithFading(0, kDsdFadeOut);
            j.pcmDsd->reqDsdConvertWithFading(1, kDsdFadeOut);
            handed = 1.0;
        } else {
            handed = j.prevLevel;
        }
        j.prevLevel = level;
        j.firstBlock = false;
        if (j.com->envelopeActive == 0 && j.fade.dsdPure) {
            const size_t n = static_cast<size_t>((b.frames + 7) / 8);
            std::memcpy(j.dsdOut[0], b.dsd[0], n);
            std::memcpy(j.dsdOut[1], b.dsd[1], n);
        } else if (j.pcmDsd->convertPcm2Dsd(j.dsm.get(), j.dsdOut, b.out, static_cast<uint32_t>(b.frames),
                                            j.packerResult, nullptr, b.dsd, j.plan.taps, handed,
                                            &j.firstExport) != kConvPcmDsdOk) {
            say("DeltaSigmaModulation Error! ");
            return j.fail(kMorphexErrModulation);
        }
    }
    const int r = handToCallback(j, b, kMorphexCancelDsd);
    if (r != kMorphexOk) return r;
    return packAndWrite(j, b);
}

// ---------------------------------------------------------------------------
// The block loop

// The next block: its ring slot, how far it advances, what it gives and
// where its reading starts.
Block nextBlock(const Job &j, int64_t cur) {
    const tRatePlan &p = j.plan;
    Block b;
    b.slot = static_cast<int>((j.produced / p.outBlockFrames) % j.ring);
    b.out = j.pcmRing[b.slot];
    b.dsd[0] = j.dsdRing[2 * b.slot];
    b.dsd[1] = j.dsdRing[2 * b.slot + 1];
    if (j.inputLeft > p.inBlockFrames) {
        b.in = p.inBlockFrames;
        b.frames = p.outBlockFrames;
    } else {
        b.in = j.inputLeft;
        b.frames = static_cast<int64_t>(static_cast<uint64_t>(p.up) * static_cast<uint64_t>(b.in) / p.down);
    }
    if (b.frames > j.outLeft) b.frames = j.outLeft;
    b.reads = b.in + p.taps;
    // A PCM block's reading starts the pre-roll before it.
    b.first = j.dsdSource ? cur : cur - p.preRoll;
    b.bitOffset = j.dsdSource ? static_cast<uint32_t>(cur % 8) : 0;
    return b;
}

int runLoop(Job &j) {
    const tRatePlan &p = j.plan;
    const int64_t outBlock = p.outBlockFrames;
    const int64_t jobInput = p.inputFrames;
    j.inputLeft = p.inputFrames;
    j.outLeft = p.plannedOutFrames;
    int64_t cur = j.start;  // source frame of the next block's first input frame
    bool last = false;

    while (j.inputLeft > 0 && j.outLeft > 0 && !last) {
        j.setProgress(jobInput >= 100 ? static_cast<int>(100 - j.inputLeft / (jobInput / 100)) : 100);
        Block b = nextBlock(j, cur);
        int r = j.fetch(j, b);
        if (r != kMorphexOk) return r;
        if (b.none) break;
        last = b.last;
        // The rate converter stores every frame of the block it produces
        // (only its unfiltered hold form adds), so the slot is cleared only
        // there and beyond a short block.
        if (j.hold) std::memset(b.out, 0, static_cast<size_t>(b.frames) * 16);
        if (b.frames < outBlock) std::memset(b.out + 2 * b.frames, 0, static_cast<size_t>(outBlock - b.frames) * 16);
        r = j.convert(j, b);
        if (r != kMorphexOk) return r;
        j.produced += b.frames;
        j.outLeft -= b.frames;
        r = j.deliver(j, b);
        if (r != kMorphexOk) return r;
        cur += b.in;
        j.inputLeft -= b.in;
    }
    return kMorphexOk;
}

// Emits the DSF packer's unfinished block group, padded with the silence
// byte, counting only the frames it carries.
int packDsfTail(Job &j) {
    uint32_t written = 0, valid = 0;
    if (dsd2dsf(j.outBuf.get(), j.dsdOut[0], j.dsdOut[1], 0, j.channelByte, 1, &written, &valid) < 0)
        return j.fail(kMorphexErrDsfPack);
    const uint64_t bytes = static_cast<uint64_t>(written) * j.outChannels / 8;
    if (bytes > 0) {
        const int r = writeAll(j.dst.get(), j.outBuf.get(), bytes);
        if (r != kMorphexOk) return j.fail(r == kMorphexErrShortWrite ? r : kMorphexErrWrite);
        j.bytesOut += bytes;
    }
    j.framesWritten += valid;
    return kMorphexOk;
}

int complete(Job &j) {
    if (j.pack) {
        const int r = j.writePending();
        if (r != kMorphexOk) return j.fail(r == kMorphexErrShortWrite ? r : kMorphexErrWrite);
    }
    if (j.pack == packDsf) {
        const int r = packDsfTail(j);
        if (r != kMorphexOk) return r;
    }
    // A caller that takes the blocks reads them in place (the DSD source
    // ring among them) until it lets the job go; only a job that hands
    // nothing over frees them before the marks and the tag are written.
    if (!j.blockCb) j.freeLoopBuffers();
    // A source with audio that gave no output frame (too short for one frame
    // at the output rate) is a failure, not an empty file.
    if (j.writing && j.framesWritten == 0) {
        j.discardOutput();
        say("No Audio Written Error!");
        return j.fail(kMorphexErrEmptyOutput);
    }

    {
        // The registered tag and mark list 0 are read by the handlers while
        // they write: register, fix the sizes and write the marks as one step
        // that no other job can split.
        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        if (j.com->tag) (void)audioFile_registerTagData(j.outType, j.com->tag);
        if (j.writing) {
            FILE *fp = j.dst.get();
            if (audiofile_updateDataSize(j.outType, fp, j.bytesOut, static_cast<uint64_t>(j.framesWritten)) != 0)
                return j.fail(kMorphexErrUpdateSize);
            (void)gMarkList.create(0);
            for (int i = 0; i < j.markCount; ++i) {
                Mark &m = j.marks[i];
                // The output may end before the range did (a filter's
                // delay, a rate that rounds down): a mark must not point
                // past the written audio.
                if (m.position > static_cast<uint64_t>(j.framesWritten)) continue;
                (void)gMarkList.addMark(0, 1, -1, m.name, m.position, m.position, 5);
            }
            (void)gMarkList.setModifyFlag(0);
            if (audiofile_saveCueData(j.outType, fp, 0, 0, static_cast<uint64_t>(j.framesWritten)) != 0)
                say("audiofile_saveCueData Error! ");
            // A DSF file has no place for a start time.
            if (j.outType != kAudioFileDSF) {
                const int r = audiofile_setStartSample(j.outType, fp, j.outStartTime);
                if (r != 0 && r != kAudioFileBextAppended) say("audiofile_setStartSample Error! ");
            }
        }
    }

    j.setProgress(100);
    j.com->command |= kMorphexComEndBit;
    j.waitForRelease();
    j.freeLoopBuffers();
    j.com->modResult1 = j.dsm->mCutFlags[0];
    j.com->modResult2 = j.dsm->mCutFlags[1];
    return kMorphexOk;
}

}  // namespace

int morphexSub(const wchar16 *dst, const wchar16 *const *srcList, void * /*ignored*/, const tMorphexSendParams *send,
               double *panVol, const int *srcCount, tMorphexCom *com, tMorphexBlockCallback blockCb,
               tMorphexStatusCallback statusCb, const tDspVolItem *envelope, tMorphexErrorCallback errorCb,
               tMorphexWorkingCallback workingCb) {
    if (!srcCount || *srcCount != 1) return kMorphexErrSourceCount;
    if (!send || !com) return kMorphexErrBadParams;
    if (!srcList || !srcList[0]) {
        say("Read File Open Error!");
        return kMorphexErrReadOpen;
    }
    std::unique_ptr<Job> job(new (std::nothrow) Job);
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
    return r;
}

int morphex(const wchar16 *dst, const wchar16 *const *srcList, void *ignored, const tMorphexSendParams *send,
            double *panVol, const int *srcCount, tMorphexCom *com, tMorphexBlockCallback blockCb,
            tMorphexStatusCallback statusCb, const tDspVolItem *envelope, tMorphexErrorCallback errorCb,
            tMorphexWorkingCallback workingCb) {
    return morphexSub(dst, srcList, ignored, send, panVol, srcCount, com, blockCb, statusCb, envelope, errorCb,
                      workingCb);
}
