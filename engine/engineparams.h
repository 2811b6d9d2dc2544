// How the GUI side (the main window, the mixer and equaliser windows)
// configures the real-time engine: setters, the registration of the records
// the main window owns, and the device watchdog.
//
// Threads: every setter here runs on the GUI thread. What the engine reads
// of them reaches it as one snapshot (below), which the device thread takes
// once per buffer; the GUI side serialises its publications with a lock of
// its own that no engine thread ever takes.
#pragma once

#include <cstdint>

#include "dsp/peqrecord.h"
#include "engine/mixrecords.h"

class ClassDynamics;
class reverb;

// Audio driver model chosen in the settings; the engine has only one in
// this system, so the choice is not acted on.
enum tDriverComboBox : int {
    kDriverAsio = 0,
    kDriverWasapi = 1,
    kDriverCoreAudio = 2,
};

// Levels at and below this give silence (and -300 dB in masterVoldB).
constexpr double kMasterVolFloorDb = -100.0;
constexpr double kMasterVolSilentDb = -300.0;

// ---- What the GUI changes while audio runs, handed over whole ----------------------
//
// The mixer record, the equalisers' settings, the monitor volume, the DSD
// purity the GUI allows, the polarity, the processor word and the output
// patch reach the engine as one complete, immutable snapshot. The GUI thread
// builds a new one from its records and setters and publishes it (release);
// an engine thread takes the newest once per device buffer (or mix-down
// chunk, or GUI query) and reads only that one until it is done with it.
// Retired snapshots are freed on the GUI thread once no engine thread
// holds them. Nothing on the engine side waits, locks or allocates.

// One equaliser band's settings as the window left them.
struct tEqBandSetting {
    int32_t on = 0;
    int32_t type = 0;     // tEqType
    int32_t shelvLo = 1;  // type 1: low shelf
    int32_t unused = 0;
    int32_t gainChanging = 0;  // the record's gain-change status as it stands
    int32_t unused2 = 0;
    double gainChangeStatus = 1.0;
    double gain = 0.0;     // target gain, dB
    double gainCur = 0.0;  // the gain the record's coefficients were made for
    double freq = 100.0;
    double q = 0.7;
    double fs = 44100.0;
};

// One equaliser (a track's or the master's).
struct tEqSetting {
    // The GUI's record and the registration it came with: another record, or
    // a new registration, starts the engine's filters afresh from the record.
    const void *source = nullptr;
    uint64_t registration = 0;
    int32_t present = 0;  // 0: no record (bypassed)
    int32_t on = 0;       // the window's on switch
    double totalGainLin = 1.0;
    tEqBandSetting band[kEqBands];
};

struct tEngineParams {
    int32_t haveMix = 0;  // a mixer record is registered
    tMixParam mix;
    tEqSetting trackEq[kMaxTracks];
    tEqSetting masterEq;
    double masterVol[2] = {1.0, 1.0};  // monitor volume, linear
    int32_t dsdPure = 0;               // the GUI allows pure DSD output
    int32_t polarityInvert = 0;
    uint32_t cpuid = 0;
    int32_t outputPatch[kOutputPatchSize] = {};
};

// Keeps the newest published snapshot for the calling thread for the
// holder's life; nested holders on one thread share the outer one's, so a
// device buffer reads one snapshot from its start to its end. Any engine
// thread; never waits.
class tEngineParamsHold {
public:
    tEngineParamsHold();
    ~tEngineParamsHold();
    tEngineParamsHold(const tEngineParamsHold &) = delete;
    tEngineParamsHold &operator=(const tEngineParamsHold &) = delete;
    const tEngineParams &operator*() const { return *mParams; }
    const tEngineParams *operator->() const { return mParams; }

private:
    const tEngineParams *mParams;
};

// The mixer record: setMixParam registers the GUI's record (null: none) and
// publishes; publishMixParam publishes a new snapshot when anything in the
// registered records changed since the last one (the main window's timer
// calls it every tick, and the play start before it queues the jobs), and
// frees the retired snapshots no engine thread holds any longer.
void gAudioThread_setMixParam(tMixParam *mix);
void gAudioThread_publishMixParam();
// Inside a tEngineParamsHold: the held snapshot's mixer record, or null
// when none is registered. Outside one: null.
const tMixParam *engineMixParam();
// GUI thread: snapshots published and not yet freed (the current one
// included); for the tests of the hand-over.
int engineParamsLiveCount();
// The main window's table of the 32 track equalisers (kept by address, so
// that later changes of its entries are seen; a null entry bypasses that
// track) and the master equaliser (null: bypassed).
void setPEQClassToDSP(tPEQ **tracks, tPEQ *master);
// Registers the effect-return reverb and tells it the input ring's size.
void setReverbClassToDSP(reverb *fx);
// Registers the master compressor (nothing runs it in this system).
void setDynamicsClass(ClassDynamics *dynamics);

// The reverb's input ring of kReverbRingFrames stereo frames (zeroed) and
// its write point 0. kEngineMemOk or kEngineErrMemory (no ring then).
// Call only while the effect bus is not running (device stopped or effect
// off), as freeReverbBuffer.
[[nodiscard]] int allocateReverbBuffer();
void freeReverbBuffer();
// Zeroes the ring and the reverb's own buffers.
void rezeroReverbBuffer();

// Monitor volume in dB: above kMasterVolFloorDb masterVol = 10^(dB/20) on
// both channels, otherwise silence (0, and kMasterVolSilentDb recorded).
void setMasterVolDsp(double dB);

// The audio thread (registry index, -1 none) feeding a track slot. A slot
// outside 0..31 is ignored; an index outside the registry maps the slot to
// no thread.
void setAudioIoThreadId(int index, int track);
// The track whose material is the longest (its end ends playback). A slot
// outside 0..31 is ignored.
void setMaxWaveLengthThreadID(int track);
// Whether the source's DSD bits may go to the device unchanged.
void setDsdPureOrNot(bool pure);
// Output polarity inversion.
void seteNcPhase(bool invert);
// Processor feature word (kCpuidSsse3).
void setCpuid(unsigned features);
// Points the track's PCM ring table at the idle table (one frame of
// silence), so that nothing reads a job's blocks through it any longer.
void gAudioThread_clearTrackInfo(int track);
// Clears the filter history of the four master bands (band 4 first), on
// the engine's side at its next chunk. 0.
int gAudioThread_clearEQparam();
// The same for every track's and the master's bands.
void gAudioThread_clearAllEqHistory();
// The per-track delay table (kMaxTracks entries) for the main window to fill.
int64_t *getDelayTable();

// Watchdog: reload value and counter = n (the main window uses 20000 when
// the device starts and after a rate change).
void setWDT(int n);
// One tick of the GUI timer (step = its period in ms): true when the
// counter is already below step, meaning no device buffer reloaded it for
// that long; otherwise the counter goes down by step and the result is
// false.
bool downCountWDT(int step);

// Hand-over points of driver models and units this system does not run;
// they do nothing.
void setAudioIODriver(tDriverComboBox driver);
void setMultiTrackMode(bool on);
void gAudioThread_setVsaUnitSize(int frames);
// The time-stretch worker's two output slots with their ready flags, sizes
// and speeds, and the slot it marked ready.
void repVsaParamArray(double **slots, bool *ready, int *sizes, float *speeds);
void vsaReady(int slot);
