// The main window's states and counts by name. Values keep the numbers the
// window has always stored: the recording state's word is read through an
// int pointer by the track view and the volume-graph rows (non-zero locks
// mouse editing), and tests read the states back as ints.
#pragma once

#include <cstdint>

// The recording state (MainWindow::mRecState).
enum tRecState : int {
    kRecIdle = 0,     // no recording
    kRecArmed = 3,    // set up and monitoring, waiting for record or play
    kRecRunning = 4,  // the capture is being written
};

// Armed or running: the transport belongs to the recorder.
constexpr bool recState_isActive(int state) { return state == kRecArmed || state == kRecRunning; }

// How the first track's file came about (MainWindow::mOpenedFrom).
enum tOpenedFrom : int {
    kOpenedAsChosen = 0,     // the file the user chose
    kOpenedFromFlac = 1,     // decoded from FLAC to a WAV copy
    kOpenedFromWsdSplit = 2  // channels split from a WSD file, written as DSDIFF
};

// The automatic full redraws after a file is opened, in 45 ms ticks: the
// first about 3 s later, then kOpenRedrawRepeats more, about 15 s apart.
enum : int {
    kOpenRedrawFirstTicks = 66,
    kOpenRedrawRepeatTicks = 333,
    kOpenRedrawRepeats = 3,
};
