// What the main window's 45 ms tick shows, decided apart from the window:
// each presenter takes the state it needs (engine counters, flags, counts
// the window keeps) and returns what to show or do, so that a test can
// call it with a state and check the answer without a window or an engine.
// MainWindow::takeSeveralHundredMili reads the state, calls these in its
// order and applies the answers.
//
// Pure functions of their arguments.
#pragma once

#include <cstdint>

// ---- Position, counter and cursor -----------------------------------------------

// Which of the three ways the tick takes for the position.
enum class tTickBranch : int {
    Recording,  // armed or running: counted from the start of the capture
    Stopped,    // nothing plays, no test signal, no input monitor: peaks dropped
    Playing,    // the engine plays, or the test signal or input monitor sounds
};

struct tTickCounterState {
    int recState = 0;  // tRecState
    bool enginePlays = false;
    bool oscillatorOn = false;
    bool inputMonitorOn = false;
    int64_t outputCount = 0;    // frames the device has been given (recording)
    int64_t recStartCount = 0;  // outputCount when the recording was armed
    uint64_t playedSamples = 0; // samples played, at the device rate
    int firstRate = 0;          // the first track's rate (Hz)
    int playFs = 0;             // the device rate (Hz)
    int64_t displayOffset = 0;  // added to positions shown in timecode mode
};

struct tTickCounterView {
    tTickBranch branch = tTickBranch::Stopped;
    // Recording and Playing only (Stopped leaves counter and cursor alone):
    int64_t cursor = 0;         // the cursor (capture frames, or first-track samples)
    int64_t shown = 0;          // the position the counter text is made for
    int64_t recStartCount = 0;  // the capture's start, re-based while armed
    // What the end of the in-out range is compared with: the playing
    // position, 0 on the other branches.
    uint64_t endPosition = 0;
};

tTickBranch tick_branch(int recState, bool enginePlays, bool oscillatorOn, bool inputMonitorOn);
tTickCounterView tick_counter(const tTickCounterState &s);

// The cursor as a fraction, from the position the position ring gives
// back: while recording, its place within the current minute at
// `recordingRate`; while playing, its share of `materialLength`. 0 where
// the divisor is 0.
double tick_cursorFraction(tTickBranch branch, int64_t ringPosition, int recordingRate, uint64_t materialLength);

// The next index of a delay ring of `length` slots.
constexpr int tick_nextRingIndex(int index, int length) { return index + 1 >= length ? 0 : index + 1; }

// ---- The end of the in-out range --------------------------------------------------

struct tTickOutPointState {
    bool enginePlays = false;
    bool haveRange = false;    // an export window holds the range
    uint64_t endPosition = 0;  // tTickCounterView::endPosition
    int64_t outPoint = 0;      // first-track samples
    int firstRate = 0;
    int playFs = 0;
    int64_t displayOffset = 0;
};

struct tTickOutPointView {
    bool reached = false;  // playback passed the out point: stop (or repeat)
    // The counter's position for the out point: the out point at the play
    // rate plus the display offset; shown at `playFs`.
    int64_t shown = 0;
};

tTickOutPointView tick_outPoint(const tTickOutPointState &s);

// ---- Meters -----------------------------------------------------------------------

struct tTickMeterMode {
    int rate = 0;             // the rate the meters measure at
    bool dsd = false;         // 2822400 Hz and above
    int mode = 0;             // kMeterModePcm or kMeterModeDsd
    double stripScale = 0.0;  // a track pair times this is a strip's level
};

// The recording's rate while recording, else the play rate.
tTickMeterMode tick_meterMode(bool recording, int recordingRate, int playFs);

// ---- Overviews and redraws --------------------------------------------------------

// A track's overview job as the window keeps it.
struct tTickOverviewJob {
    int active = 0;  // 1: started
    int done = 0;    // 1: reported success
};

// The first of `tracks` tracks whose overview job was started and has not
// reported yet (drawn as it grows, one a tick); -1 for none.
int tick_growingOverview(const tTickOverviewJob *jobs, int tracks);

struct tTickRedraw {
    int countdown = 0;
    int repeats = 0;
    bool redraw = false;  // draw the whole view now
};

// The automatic full redraws after an open: counted down while track 0's
// overview is not growing; at 0 a redraw, and another round while repeats
// remain.
tTickRedraw tick_autoRedraw(int countdown, int repeats, bool track0Growing);

// ---- Device watchdog, offline device and buffer-size recovery ------------------

// What a tick does about the device besides the watchdog.
enum class tTickDeviceAction : int {
    None,
    RebootOffline,  // boot the selected offline device again
    Reconnect,      // the buffer size changed: device 0, then the selected one again
};

struct tTickDeviceState {
    int driverType = 0;      // tDriverComboBox
    int selectedDevice = 0;  // the play-device list's index (0: no device)
    bool rateOffline = false;
    int offlineRetryCount = 0;
    bool reconnectPending = false;
};

struct tTickDeviceView {
    tTickDeviceAction action = tTickDeviceAction::None;
    int offlineRetryCount = 0;
};

// An offline entry of driver type kDriverAsio is booted again on every 67th tick
// (about 3 s); otherwise a pending reconnect is carried out.
tTickDeviceView tick_device(const tTickDeviceState &s);

enum : int {
    kTickOfflineRetryTicks = 66,  // ticks an offline entry waits before the next boot
};

// What a raised buffer-size flag means.
enum class tTickBufferChange : int {
    None,         // no flag, or a reconnect already pending
    Reconnect,    // unexpected, driver type kDriverAsio: reconnect on the next tick
    Acknowledge,  // expected after a rate change, or another driver type
};

tTickBufferChange tick_bufferChange(bool flagSet, bool reconnectPending, bool changeExpected, int driverType);

// ---- Recording blink, mix-down trace, Lissajous feed --------------------------------

struct tTickBlink {
    int count = 0;
    bool toggle = false;  // flip the rec button, the play button follows
};

// While armed the rec and play buttons blink: every 8th tick toggles.
tTickBlink tick_armBlink(int recState, int count);

struct tTickBounceTrace {
    int countdown = 0;
    bool trace = false;  // send the mix-down counters now
};

// While a mix-down runs, the counters go to the trace every 20th tick.
tTickBounceTrace tick_bounceTrace(bool bouncing, int countdown);

struct tTickLissajous {
    int frames = 0;  // frames of the last tick
    int start = 0;   // where they begin in the engine's ring
};

// The last tick's worth of frames of the engine's Lissajous ring of
// `ringFrames` (every `firInterval`-th frame for DSD).
tTickLissajous tick_lissajous(int meterRate, bool dsd, int firInterval, int writeCount, int ringFrames);

// ---- Messages ---------------------------------------------------------------------

// Boxes a tick raises. They are shown after the tick has returned: a modal
// box runs an event loop, in which the timer would run the tick again.
enum class tTickMessage : int {
    DeviceOffline,      // the watchdog ran out
    BufferReconnected,  // the device was reconnected after a buffer-size change
};
