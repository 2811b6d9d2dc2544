// The program's view of the sound devices, over the audio host
// (platform/audiohost): the tables of output and input devices and the
// rates of the chosen output, the selection of an output and an input
// device (mixing off, exclusive use where the device is one of ours, the
// 32-bit integer flag), the device's rate and formats for PCM, DoP and
// native DSD, and the stream whose callback hands every device buffer to
// the engine (bufferSwitchCoreAudioQueue).
//
// There is one instance, owned by the device control thread
// (contcoreaudiothread.h). It derives from QThread but is used as a plain
// object: run() is never started. Enumeration and selection run on the GUI
// thread; rate setting, stream start and stream tear-down run as jobs on the
// control thread; AudioStopReq runs on the GUI thread; the callbacks run on
// the host's stream threads. Almost all state is class-wide, because the
// callbacks get no object.
//
// Rates: an engine rate (mCurFs) is a PCM rate or a DSD bit rate per
// channel (2822400 and up). The device runs at mAUSampleRate: the PCM rate,
// or a sixteenth of the DSD rate, the rate of the 32-bit container frames
// that carry 16 DSD bits per channel (DoP words or native DSD).
//
// Errors: the device operations print what failed on the standard output
// and go on, as a device that refuses a setting then delivers no buffers
// and the main window's watchdog reports it offline; the results below are
// for callers that want them (0 or a negative code).
#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstdint>

#include "platform/audiohost/audiohost.h"

struct tAudioHostCycle;
struct tEngine;

// The names the system gives its built-in output in each interface
// language, and its built-in input. Selecting one of these makes it the
// default device and tries no exclusive use.
extern const QStringList builtInOutputNameList;
extern const QStringList builtInOutputNameListRec;

class CCoreAudioIOThread : public QThread {
public:
    enum : int {
        kMaxDevices = 30,  // per table; further devices are left out
        kMaxRates = 20,    // rate list entries; further rates are left out
    };
    enum : uint32_t {
        kDsdRateFloor = 2822400,         // engine rates from here on are DSD bit rates
        kNativeDsdRateFloor = 11289600,  // native DSD from here on (below: DoP)
        kNativeMuteBits = 564480,        // DSD bits per channel muted at a native start (50 ms at 11.2896 MHz)
    };
    // processorType
    enum : int {
        kProcessNative = 0,
        kProcessTranslated = 1,
        kProcessQueryFailed = 2,
    };
    // IOProc_do modes: output only, input only (a separate input device),
    // both directions of one device.
    enum : int {
        kIoOutput = 0,
        kIoInput = 1,
        kIoBoth = 2,
    };

    CCoreAudioIOThread();
    ~CCoreAudioIOThread() override;

    // ---- Devices ------------------------------------------------------------

    // Refills both device tables from the host: a device is listed in the
    // output table when it has outputs, in the input table when it has
    // inputs; devices whose information cannot be read, with no uid, with
    // neither direction, or named as a left-out driver variant are skipped.
    void getDevNames();
    // Refills mRateList/mRateCount with the output device's rates (none when
    // they cannot be read).
    void getDevSystemInfo(int id);
    // Selects the output device: built-in names become the default output;
    // any other device gets mixing off and, for our own devices, exclusive
    // use. mAUHALEnable is always set. Then the output physical format is
    // read and, in a native process, written back with 24 bits. The status
    // of the last read, or -1 when the device has no readable output.
    int selectDevice(int id);
    // Selects the input device (see the .cpp). The output flags are not
    // touched. The status of the last read, or -1.
    int selectRecDevice(int id);
    // Channels of the device's physical format in one direction
    // (kAudioHostOutput / kAudioHostInput); 0 when it cannot be read.
    unsigned getPlayRecChannels(unsigned id, unsigned direction);
    // Frames of a device buffer of the running rate (mFrameBySampleRate).
    int getBufferSize();

    // The never-started thread's flags.
    void run() override;
    void stop() { mRunStop.store(true, std::memory_order_relaxed); }
    void Init() {}

    // ---- Rate and formats (control thread) -------------------------------------

    // Puts the output device on engine rate `rate`: the nominal rate twice
    // with settle waits (0.8 s), then the physical format (24-bit PCM or
    // DoP, or 16-bit-per-container native DSD) and the callback's
    // container. The status of the last write.
    int setSamplingFreq(int id, unsigned rate);
    // -1 for rate 0 (no input chosen); otherwise stores the rate and writes
    // the input device's physical format at it; 0.
    int setSamplingFreqRec(int id, unsigned rate);

    // ---- Streams (control thread; AudioStopReq on the GUI thread) ----------------------

    // Starts the output stream on `id` with a buffer derived from the
    // engine rate (bufferFramesFor). Failures are printed; the stream then
    // stays silent.
    void setup(int id);
    // Starts the input stream: on a separate device a stream of its own, on
    // the output device the output stream is restarted with its input.
    void setupRec(int id);
    // Callbacks stop touching buffers from the next cycle on.
    void AudioStopReq();
    // Stops and closes the streams that setup and setupRec started (the id
    // is not used), with 30 ms settle waits.
    void Term(int id);

    // The buffer frames and container bytes per sample of a stream at
    // engine rate `rate` on the callback path (ioProc) or the queue path.
    static uint32_t bufferFramesFor(uint32_t rate, bool nativeDsd, bool ioProc, int *bytesPerSample = nullptr);
    // The output type code the callbacks hand over (audiothreadfunc.h).
    static int outputTypeFor(uint32_t rate, bool nativeDsd, bool integer, bool ioProc, bool startUpMute);
    // The input type code for the record format's bits.
    static int inputTypeFor(int bits, bool monitoring);

    // One I/O cycle of the host for engine `e`, as the stream callbacks see it.
    static void IOProc_do(tEngine &e, const tAudioHostCycle *cycle, int mode);

    // ---- Tables (GUI thread) ------------------------------------------------

    int mOutDevCount = 0;
    QString mOutDevNames[kMaxDevices];
    uint32_t mOutDevIds[kMaxDevices] = {};
    int mInDevCount = 0;
    QString mInDevNames[kMaxDevices];
    uint32_t mInDevIds[kMaxDevices] = {};
    int mRateCount = 0;
    int *mRateList = nullptr;  // kMaxRates entries, ascending as the host lists them
    std::atomic<bool> mRunStop{false};
    std::atomic<bool> mRunEnded{false};

    // ---- Class-wide state --------------------------------------------------
    //
    // Written on the GUI thread (selection, main window) and the control
    // thread (rate, set-up, tear-down) only while no callback touches the
    // buffers (mAllowAccessBuffer clear, or the stream stopped); the
    // callbacks read them after acquiring mAllowAccessBuffer. The atomics
    // are the words a callback writes, or that change while another
    // device's callback runs.

    static inline uint32_t mCurFs = 48000;            // engine rate of the running stream
    static inline uint32_t mAUSampleRate = 48000;     // the output device's rate
    static inline uint32_t mAUSampleRateRec = 48000;  // the input device's rate
    static inline tAudioHostFormat mRecParamList_PP = {kAudioHostPcmInt, 48000, 24, 2, 6, 0};
    static inline std::atomic<int> mPlayChannels{2};  // callback resets it above 64
    static inline std::atomic<int> mRecChannels{0};   // callback limits it to 256
    static inline int64_t mFrameBySampleRate = 2048;
    static inline bool mAUHALEnable = false;    // output runs on the callback path
    static inline bool mAUHAL_Integer = false;  // the output takes 32-bit integers (type 18)
    static inline bool mHogModeOK = false;
    static inline bool mAUHALEnableRec = false;
    static inline bool mAUHAL_IntegerRec = false;
    static inline bool mHogModeOKRec = false;
    static inline bool mCurDevBuiltInOutput = false;
    static inline bool mCurDevBuiltInInput = false;
    static inline bool mZoltVx_DsdNative = false;      // set by the main window's device boot
    static inline std::atomic<int> mDsd0MuteCount{0};  // native start-up mute left, DSD bits per channel
    // Release by setup/setupRec, acquire by the callbacks; cleared by AudioStopReq.
    static inline std::atomic<bool> mAllowAccessBuffer{false};
    static inline bool mStartedHogMode = false;  // the callback path was started
    static inline std::atomic<uint32_t> startedDev{0};
    static inline std::atomic<uint32_t> startedDevRec{0};
    static inline bool mRecDevStarted = false;  // a separate input device runs
    static inline std::atomic<int> moniStartedF{0};
    static inline uint32_t mRecStreamID = 0;
    static inline int processorType = kProcessNative;
    // The stream handles: a stream open on startedDev (output) and on
    // startedDevRec (a separate input).
    static inline bool procID = false;
    static inline bool procID2 = false;
    // The output device setSamplingFreq last put on a rate: the input side
    // never re-rates it.
    static inline uint32_t mRatedDev = 0;
    // The queue path's buffer frames (the path itself is not run here).
    static inline uint32_t mFramesPerBuffer = 0;

private:
    static void IOProc(void *client, const tAudioHostCycle *cycle);
    static void IOProc2(void *client, const tAudioHostCycle *cycle);
    void prepareAudioUnitRec(int id, int rate, int bits, int channels);
    // Clamps a byte count to the device's buffer range (in container bytes
    // of `channels` channels), rounded to whole 32-byte units inside it.
    static uint32_t rangedBytes(uint32_t id, uint32_t bytes, int channels);
};
