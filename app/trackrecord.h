// One track slot of the main window as one record: what the track is (its
// file and description), how it is edited (region record and volume
// envelope), the objects that serve it (equaliser, audio thread, overview
// worker, envelope builder), its overview arrays, meter ring and the words of
// its overview job. Adding, deleting and renumbering a track moves one
// record. GUI thread only.
//
// The records sit in one fixed array whose addresses never change: the
// engine and the views are handed pointers into a record (envelope, edit
// record, overview arrays) while a track plays or draws.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <utility>

#include "dsp/dspvolume.h"
#include "engine/jobrecords.h"

class DialogPeq;
class audioThread;
class waveFormThread;
struct tPEQ;

enum : int {
    kTrackWaveLevels = 7,           // overview levels per track
    kTrackEnvelopeItems = 35,       // envelope points
    kTrackEditRecordBytes = 768,    // room for the region strip's edit record
};

struct tTrack {
    // The file read for the track (empty: slot unused) and its description.
    QString path;
    tAudioFileInfo fileInfo{};
    // The region strip's edit record as last sent, and the volume envelope
    // built from it.
    uint8_t edit[kTrackEditRecordBytes] = {};
    tDspVolItem envelope[kTrackEnvelopeItems] = {};
    dspVolume *trackVolume = nullptr;
    // The equaliser record the engine reads, and its window.
    tPEQ *peq = nullptr;
    DialogPeq *peqDialog = nullptr;
    // The thread that feeds the track to the engine, and the worker that
    // computes its overview.
    ::audioThread *audioThread = nullptr;
    ::waveFormThread *waveFormThread = nullptr;
    // 66 delayed peak pairs shown on the track's mixer strip.
    double *meterRing = nullptr;
    // Overview minima and maxima of every level (aligned blocks).
    double *waveMin[kTrackWaveLevels] = {};
    double *waveMax[kTrackWaveLevels] = {};
    // The overview job: final level-0 progress of the last job, whether a
    // job runs (a late report of a stopped one is ignored), whether it
    // finished, and how often a failed job was run again.
    int64_t prepared = 0;
    int waveJobActive = 0;
    int waveJobDone = 0;
    int waveJobRetries = 0;
};

// Moves the record at `from` to the end of the first `count` records,
// the records above it one slot down; the moved record keeps its objects
// for the caller to release.
template <size_t N>
void track_moveToEnd(std::array<tTrack, N> &tracks, int from, int count) {
    for (int i = from; i + 1 < count; ++i) std::swap(tracks[size_t(i)], tracks[size_t(i) + 1]);
}
