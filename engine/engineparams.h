// How the GUI side (the main window, the mixer and equaliser windows)
// configures the real-time engine: plain setters that store whole words
// into the engine's state (engine/enginestate.h), the registration of the
// records the main window owns, and the device watchdog.
//
// Threads: every function here runs on the GUI thread and takes no lock;
// the real-time path reads what they store once per buffer or chunk.
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

// Levels at and below this give silence (and -300 dB in sMasterVoldB).
constexpr double kMasterVolFloorDb = -100.0;
constexpr double kMasterVolSilentDb = -300.0;

// The mixer record (the main window's), handed over whole: the GUI thread
// changes its record as it likes, and the engine's threads read complete
// copies of it, never the record itself. setMixParam registers the record
// (null: none) and publishes it; publishMixParam publishes the registered
// record again when it changed (the main window's timer calls it every
// tick, and the play start before it queues the jobs). One thread publishes
// (the GUI thread).
void gAudioThread_setMixParam(tMixParam *mix);
void gAudioThread_publishMixParam();
// Any engine thread: the last published record, copied whole for the
// calling thread (valid until the thread's next call), or null when none is
// registered. Never waits: a copy that a publication overlapped is taken
// again, and on the device thread, after a few tries, the thread's previous
// copy stands for one more buffer.
const tMixParam *engineMixParam();
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

// Monitor volume in dB: above kMasterVolFloorDb sMasterVol = 10^(dB/20) on
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
// Clears the filter history of the four master bands (band 4 first). 0.
int gAudioThread_clearEQparam();
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
