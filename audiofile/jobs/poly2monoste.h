// The channel split and join job. It rewrites audio data without converting
// a single sample:
//  - split: one channel, or one channel pair, of a WAV, DSF, DSDIFF or WSD
//    file becomes a mono or stereo file of the same format (a WSD source is
//    written as DSDIFF);
//  - join: two mono files of one format become one stereo file, the first
//    source on the left. A join whose sources exceed kPoly2MonostePartBytes
//    each continues in further files named folder + "/" + base name + "_" +
//    n + extension (n from 1), so that no part outgrows the 32-bit sizes of
//    a RIFF header.
//
// Copy units: a WAV sample (bits / 8 bytes), a DSF block (4096 bytes, 32768
// samples of one channel) or a DSDIFF/WSD byte (8 samples). A split WAV
// output that would reach 4 GiB gets an RF64 header. A failed or aborted job
// removes every file it wrote; the source files are only read.
//
// Runs on poly2monosteThread's thread (poly2monostethread.h).
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

#include "audiofile/dsdifffile.h"
#include "audiofile/dsffile.h"
#include "audiofile/wavfile.h"
#include "audiofile/wsdfile.h"

// Results of the job.
enum : int {
    kPoly2MonosteOK = 0,
    kPoly2MonosteErrIO = -1,         // open, format or data search, allocation, read, write, size update, abort
    kPoly2MonosteErrParam = -17,     // a channel, pair, type or source the job cannot take
    kPoly2MonosteErrDiskFull = -38,  // a join write came back short (the disk is full, most likely)
};

// The job's bytes go through buffers of this size, 32 frames or units at a
// time; a source whose frame does not fit is refused.
constexpr uint32_t kPoly2MonosteBufBytes = 24576;
constexpr uint32_t kPoly2MonosteBatch = 32;
// Bytes of each source that one join output file takes at most
// (0x3fffb000, a whole number of 4096-byte DSF blocks; for WAV it is
// rounded down to whole samples).
constexpr uint64_t kPoly2MonostePartBytes = 0x3fffb000ull;

// What the caller asks for.
struct tPoly2MonosteParam {
    uint8_t stereo = 0;      // split: copy the channel pair `channel`; join: write 2 channels
    int32_t channel = 0;     // split: channel index (mono) or pair index (stereo), from 0
    uint8_t twoSources = 0;  // join the two sources instead of splitting the first
    int32_t fileType = 0;    // 0 WAV, 2 DSF, 3 DSDIFF, 4 WSD (tAudioFileType)
    QString folder;          // join parts: folder, base name and extension (with its dot)
    QString baseName;
    QString extension;
};

// The completion record: the result, then the job's parameters.
struct tPoly2MonosteMessages {
    int result = 0;  // kPoly2MonosteOK or a negative code
    tPoly2MonosteParam param;
};

// One split or join job: created on the heap, handed to the worker's
// addTransaction, deleted by the worker after apply.
class poly2monosteTransaction {
public:
    virtual ~poly2monosteTransaction() = default;
    // out: the output file (replaced); src: the source (the left one of a
    // join); src2: the right source of a join. abort is polled after every
    // step; progress receives percent done (may be null).
    [[nodiscard]] virtual int apply(const QString &out, const QString &src, const QString &src2,
                                    const std::atomic<bool> *abort, int *progress, const tPoly2MonosteParam &param) = 0;
};

class ClassPoly2Monoste : public poly2monosteTransaction {
public:
    // partBytes: bytes of each source per join output file; only tests pass
    // anything but the default.
    explicit ClassPoly2Monoste(uint64_t partBytes = kPoly2MonostePartBytes);
    ~ClassPoly2Monoste() override;
    ClassPoly2Monoste(const ClassPoly2Monoste &) = delete;
    ClassPoly2Monoste &operator=(const ClassPoly2Monoste &) = delete;

    // polyToMonoSte with its arguments.
    [[nodiscard]] int apply(const QString &out, const QString &src, const QString &src2, const std::atomic<bool> *abort,
                            int *progress, const tPoly2MonosteParam &param) override;

    // The split or the join. Split: the channel, or the pair (a pair index
    // naming the last, incomplete pair of an odd channel count gives a mono
    // file of the last channel). Join: both sources mono with equal rate,
    // word length and format; the shorter one is padded (WAV with zeros, DSD
    // with the last byte read from it, 0x96 before any). -17 for what the
    // job cannot take, -1 for an I/O failure or an abort, -38 for a short
    // join write.
    [[nodiscard]] int polyToMonoSte(const QString &out, const QString &src, const QString &src2,
                                    const std::atomic<bool> *abort, int *progress, const tPoly2MonosteParam &param);

    // Fills length bytes with the pad byte in pad mode (DSD joins), else
    // with 0.
    void paddingData(uint8_t *buffer, uint8_t byte, uint32_t length) const;

private:
    struct Source;
    struct Output;
    int chooseHandlers(int fileType);
    int openSource(Source &s, const QString &path);
    int split(const QString &out, Source &src, const std::atomic<bool> *abort, int *progress,
              const tPoly2MonosteParam &param);
    int join(const QString &out, Source &a, Source &b, const std::atomic<bool> *abort, int *progress,
             const tPoly2MonosteParam &param);
    int openOutput(Output &o, const QString &path, uint32_t channels, const Source &like, uint64_t dataBytes);
    int finishOutput(Output &o, uint64_t bytes, uint64_t samples);

    gClass_DsdiffFile mDsdiff;
    gClass_DsfFile mDsf;
    gClass_WsdFile mWsd;
    gClass_WavFile mWav;
    AccessAudioFile *mReader = nullptr;  // chosen by the file type
    AccessAudioFile *mWriter = nullptr;
    bool mPadMode = false;  // DSD joins pad with a DSD byte
    int mType = -1;
    uint64_t mPartBytes;
};
