#include "engine/playbackproducer.h"

#include <QString>

#include "audiofile/audiohelpers.h"
#include "engine/engineparams.h"
#include "trace/debugclient.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr int32_t kDsdRateFloor = 2822400;  // device rates from here on play DSD
constexpr int kSpliceLength = 8;
constexpr int kSpliceLengthDsd64 = 4;  // DSD64 output of a source above 38.4 kHz
constexpr uint32_t kSpliceHighSourceRate = 38399;
constexpr int kConvDelayBits = 17;  // what the modulator's splice window adds

// Device rate per rate index; unused indices give 1 so that nothing divides
// by zero.
constexpr int32_t kPlayFsTable[24] = {
    44100, 48000, 88200, 96000, 176400,  192000,  352800,   384000,   705600, 768000, 1, 1,
    1,     1,     1,     1,     2822400, 5644800, 11289600, 22579200, 1,      1,      1, 1,
};

int64_t ringLimit() { return int64_t(engine().numBufBlk.load(kRelaxed) - 1) * engine().ringBlockFrames.load(kRelaxed); }

// The library frees the track's ring as soon as the callback that ends the
// job returns. Take it away from the readers first (the idle tables, the
// withdrawn flag) and wait for a reader that started before: a device that
// comes back (or was never told of the stop) must not read freed blocks.
// ClassMorphex::apply gives the ring back when the job has returned.
void withdrawRing(int track) {
    engine().trackPcmBlocks[track].store(engine().dummyPlayTable, std::memory_order_seq_cst);
    engine().trackDsdBlocks[track].store(engine().dsdIdleTable[track], std::memory_order_seq_cst);
    engine().ringWithdrawn[track].store(true, std::memory_order_seq_cst);
    while (engine().mixBusy[track].load(std::memory_order_seq_cst)) waitThread(1);
}

// The end of a job that was stopped while it waited for ring space.
int producerStopped(int track, unsigned int *com) {
    withdrawRing(track);
    engine().stopRequest.store(false, kRelaxed);
    __atomic_fetch_and(com, ~uint32_t(kMorphexComFeedOnly), __ATOMIC_RELAXED);
    engine().convertPath[track].store(kConvPathEnded, kRelaxed);
    return -1;
}

}  // namespace

int32_t ClassMorphex::playFsOfRateIndex(uint32_t rateIndex) { return rateIndex < 24 ? kPlayFsTable[rateIndex] : 1; }

tJobRateSetUp ClassMorphex::setUpJobRate(uint32_t rateIndex, uint32_t srcRate, tMorphexCom *com) {
    tJobRateSetUp s;
    s.playFs = playFsOfRateIndex(rateIndex);
    engine().playFs.store(s.playFs, kRelaxed);
    const double fs = s.playFs;

    // Fade smoothing of the device output and the glide of the modulator's
    // mute pattern (per output byte at DSD rates).
    // The device thread takes them over at its next buffer
    // (engineApplyOutputRequests), before the job's first block can play.
    double c;
    bool pure = false;
    if ((rateIndex & ~3u) == 16) {
        s.fadeCoef = lpf::coefFor(0.03, s.playFs / 500);
        c = 1.0 - 2.0 / (fs * 0.125 * 0.06 / lpf::kLn10 + 1.0);
        pure = srcRate == static_cast<uint32_t>(s.playFs);
        if (!pure) engine().dsdPure.store(false, kRelaxed);
    } else {
        s.fadeCoef = lpf::coefFor(0.01, fs);
        c = 1.0 - 2.0 / (fs * 0.02 / lpf::kLn10 + 1.0);
        engine().dsdPure.store(false, kRelaxed);
    }
    s.mutePatCoef = c;
    engine().dsdPureJob.store(pure, kRelaxed);
    engine().fadeCoefRequest.store(s.fadeCoef, kRelaxed);
    engine().mutePatCoefRequest.store(c, kRelaxed);

    if (s.playFs < kDsdRateFloor && srcRate < static_cast<uint32_t>(kDsdRateFloor)) {
        s.analysisRate = s.playFs;
        s.spliceLength = kSpliceLength;
    } else {
        // DSD is cut at byte boundaries.
        if (com) {
            com->startSample -= com->startSample % 8;
            com->endSample -= com->endSample % 8;
        }
        if (engine().meterFirInterval.load(kRelaxed) < 1) engine().meterFirInterval.store(1, kRelaxed);
        s.analysisRate = s.playFs / engine().meterFirInterval.load(kRelaxed);
        s.spliceLength =
            s.playFs == kDsdRateFloor && srcRate > kSpliceHighSourceRate ? kSpliceLengthDsd64 : kSpliceLength;
    }
    engine().spliceLenRequest.store(s.spliceLength, kRelaxed);
    if (tInitAnalyzingFFTparamsFunc init = sInitAnalyzingFFTparamsFunc.load(kRelaxed)) init(16384, s.analysisRate);
    return s;
}

bool ClassMorphex::hasAutomation(const tDspVolItem *items, int count) {
    if (!items) return false;
    for (int i = 0; i < count && items[i].start != kDspVolEnd; ++i) {
        const tDspVolItem &e = items[i];
        if (e.level != 0.0 && e.level != 1.0) return true;
        if (i > 0) {
            const tDspVolItem &p = items[i - 1];
            if (e.level != p.level && e.start != p.start && p.direction != 0) return true;
        }
    }
    return false;
}

int ClassMorphex::apply(int command, tMorphexParam *record, tMorphexAPIs entries, tAudioFileInfo *fileInfo, tTimeInfo *,
                        tDspVolItem *items, tID3tagInfo *tag) {
    const int track = record ? engineTrackSlot(record->com.track) : -1;
    if (track < 0 || !fileInfo || !items) {
        engine().convFailed.store(true, kRelaxed);
        return kClassMorphexErrTrack;
    }
    if (!entries.morphexert) {
        engine().convFailed.store(true, kRelaxed);
        return kClassMorphexErrNoLibrary;
    }
    tMorphexCom &com = record->com;
    const uint32_t srcRate = fileInfo->sampleRate;
    const tJobRateSetUp rate = setUpJobRate(record->rateIndex, srcRate, &com);

    if (command == kMorphexCmdPlay || command == kMorphexCmdBounceFeed) {
        engine().startMode.store(command == kMorphexCmdPlay ? kStartPlay : kStartBounce, kRelaxed);
        for (int c = 0; c < 2; ++c) {
            engine().fadeAck[c].store(0, kRelaxed);
            engine().fadeReq[c].store(kFadeInBit, kRelaxed);
        }
    }
    engine().consumedCount[track].store(0, kRelaxed);
    engine().trackBlockFrames[track].store(1, kRelaxed);
    engine().firstConverted[track].store(0, kRelaxed);
    // The end flag speaks of this job: left standing from the last one it
    // would tell the mix-down (and anyone pacing a device on it) that the
    // material is already all there.
    engine().jobEnded[track].store(false, kRelaxed);

    // 128-bit product: a long DSD file times a DSD rate leaves 64 bits.
    const __int128 start = static_cast<__int128>(record->startOffset) + com.startSample;
    engine().playingSample.store(srcRate ? static_cast<int64_t>(start * rate.playFs / srcRate) : 0, kRelaxed);

    engine().runningCom.store(&com, kRelaxed);
    for (int i = 0; i < kRtVolItems; ++i) engine().volItems[i] = items[i];
    com.envelopeActive = hasAutomation(items, kJobVolItems) ? 1 : 0;

    com.pureDsdFeed = 0;
    engine().numBufBlk.store(kRingBlocks, kRelaxed);
    // The callback of a job that writes a file returns before it touches a
    // block (convert1blockFin), and nothing else reads that job's ring: one
    // slot spares the memory of 63 blocks (up to 3 MB each) that would be
    // filled for nobody.
    com.ringBlocks = comWritesFile(com.command) ? 1 : kRingBlocks;
    const tEngineParamsHold params;
    const tMixParam *mix = engineMixParam();
    com.multiTrack = mix && mix->trackCount >= 2 ? 1 : 0;
    com.tag = tag;

    tMorphexSendParams send;
    send.progress = &record->progress;
    send.rateIndex = record->rateIndex;
    send.fileType = record->fileType;
    send.option = record->option;
    send.bits = record->bits;
    send.srcChannels = record->srcChannels;
    send.outChannels = record->outChannels;
    send.mode = record->mode;
    send.command = static_cast<uint32_t>(command);

    if (DebugClient::sDebugLevel >= 10)
        DebugClient::SendTrace(QStringLiteral("MorphexRead :"), "MAIN", 10, "../audioThread", 1277, "apply");

    const wchar16 *const sources[1] = {reinterpret_cast<const wchar16 *>(record->srcPath.c_str())};
    const int result =
        entries.morphexert(reinterpret_cast<const wchar16 *>(record->dstPath.c_str()), sources, nullptr, &send,
                           record->panVol, &record->fileCount, &com, &CMorphexCallback::convert1blockFin,
                           checkPlayStatus, items, morphexErrCallback, morphexWorkingCallback);

    engine().diff1[track].store(-1, kRelaxed);
    engine().diff2[track].store(-1, kRelaxed);
    if (result < 0) engine().convFailed.store(true, kRelaxed);
    engine().engineStatus.store(kEngineStopped, kRelaxed);
    engine().playRequest.store(0, kRelaxed);
    comWordStore(&com, 0);
    engine().playGate.store(false, kRelaxed);
    engine().convAbort.store(false, kRelaxed);
    // A mix-down feed leaves its ring state to the mix-down, which may still
    // be taking the last blocks of the other tracks.
    if (command != kMorphexCmdBounceFeed) clearBufferParameters();
    engine().ringWithdrawn[track].store(false, std::memory_order_seq_cst);
    return result;
}

int CMorphexCallback::convert1blockFin(uint64_t produced, int, int trackBlockFrames, int, int blockBytes,
                                       void *pcmBlocks, unsigned char **dsdBlocks, int filterLen, int trackArg,
                                       int rate, unsigned int *com) {
    const int track = engineTrackSlot(trackArg);
    if (track < 0 || !com) return -1;
    engine().convertPath[track].store(kConvPathInCallback, kRelaxed);
    engine().firstConverted[track].store(1, kRelaxed);
    engine().testCount[track].fetch_add(1, kRelaxed);

    if (comWritesFile(__atomic_load_n(com, __ATOMIC_RELAXED)))
        return engine().convAbort.exchange(false, kRelaxed) ? -1 : 0;

    engine().convFirLen.store(filterLen, kRelaxed);
    engine().delayConvFir.store((filterLen - 1) / 2 + kConvDelayBits, kRelaxed);
    engine().delayConvFirMute.store(kConvDelayBits, kRelaxed);

    // Publish: pointers and sizes first, the count last.
    engine().trackPcmBlocks[track].store(pcmBlocks ? static_cast<double **>(pcmBlocks) : engine().dummyPlayTable,
                                         kRelaxed);
    engine().trackDsdBlocks[track].store(dsdBlocks ? dsdBlocks : engine().dsdIdleTable[track], kRelaxed);
    engine().trackBlockFrames[track].store(trackBlockFrames, kRelaxed);
    engine().ringBlockFrames.store(rate < kDsdRateFloor ? blockBytes >> 4 : blockBytes * 8, kRelaxed);
    const int64_t made = static_cast<int64_t>(produced);
    engine().producedCount[track].store(made, std::memory_order_release);

    if (engine().startMode.load(kRelaxed) == kStartPlay || engine().engineStatus.load(kRelaxed) == kEnginePlaying) {
        while (made - engine().consumedCount[track].load(kRelaxed) > ringLimit()) {
            const int32_t status = engine().engineStatus.load(kRelaxed);
            if (status == kEngineStopped) return producerStopped(track, com);
            if (status != kEnginePlaying && engine().startMode.load(kRelaxed) == kStartNone) return 0;
            waitThread(10);
            engine().convertPath[track].store(kConvPathWaitPlay, kRelaxed);
        }
        if (engine().startMode.load(kRelaxed) == kStartPlay) {
            // The job's items and command block were written before this.
            engine().engineStatus.store(kEnginePlaying, std::memory_order_release);
            engine().playRequest.store(1, kRelaxed);
            engine().startMode.store(kStartNone, kRelaxed);
            engine().playStarted.store(true, kRelaxed);
        }
    } else if (engine().startMode.load(kRelaxed) == kStartBounce ||
               engine().engineStatus.load(kRelaxed) == kEngineBounceFeed) {
        int64_t lead = made - engine().bouncedCount[track].load(kRelaxed);
        engine().diff1[track].store(lead, kRelaxed);
        engine().diff2[track].store(ringLimit(), kRelaxed);
        while (lead > ringLimit()) {
            waitThread(10);
            const int32_t status = engine().engineStatus.load(kRelaxed);
            if (status == kEngineStopped) return producerStopped(track, com);
            if (status != kEngineBounceFeed && engine().startMode.load(kRelaxed) == kStartNone) return 0;
            engine().testCount[track].fetch_add(1, kRelaxed);
            engine().convertPath[track].store(kConvPathWaitBounce, kRelaxed);
            lead = made - engine().bouncedCount[track].load(kRelaxed);
            engine().diff1[track].store(lead, kRelaxed);
        }
        if (engine().startMode.load(kRelaxed) == kStartBounce) {
            engine().engineStatus.store(kEngineBounceFeed, std::memory_order_release);
            engine().startMode.store(kStartNone, kRelaxed);
        }
    } else {
        if (engine().engineStatus.load(kRelaxed) == kEngineStopped || engine().convAbort.exchange(false, kRelaxed)) {
            withdrawRing(track);
            return -1;
        }
    }
    engine().convertPath[track].store(kConvPathReturned, kRelaxed);
    return 0;
}

int checkPlayStatus(int trackArg) {
    waitThread(30);
    const int track = engineTrackSlot(trackArg);
    if (track < 0) return -1;
    engine().jobEnded[track].store(true, kRelaxed);
    const int32_t status = engine().engineStatus.load(kRelaxed);
    if (status == kEnginePlaying) return 0;
    if (status == kEngineBounceFeed) {
        engine().bounceEnded[track].store(true, kRelaxed);
        if (!engine().bounceFinished.load(kRelaxed)) return 0;
    }
    withdrawRing(track);
    return -1;
}

int checkPlayStatusDo(int trackArg) {
    const int32_t status = engine().engineStatus.load(kRelaxed);
    if (status == kEnginePlaying) return 0;
    if (status != kEngineBounceFeed) return -1;
    const int track = engineTrackSlot(trackArg);
    if (track >= 0) engine().bounceEnded[track].store(true, kRelaxed);
    return engine().bounceFinished.load(kRelaxed) ? -1 : 0;
}

int morphexErrCallback(int trackArg) {
    const int track = engineTrackSlot(trackArg);
    if (track < 0) return 0;
    withdrawRing(track);
    return 0;
}

int morphexWorkingCallback(long long *) { return 0; }

void clearBounceParam() {
    engine().bounceFinished.store(false, kRelaxed);
    engine().convFailed.store(false, kRelaxed);
    for (int t = 0; t < kMaxTracks; ++t) {
        engine().bouncedCount[t].store(0, kRelaxed);
        engine().jobEnded[t].store(false, kRelaxed);
        engine().bounceEnded[t].store(false, kRelaxed);
    }
}

void setFinishBounceFlag() { engine().bounceFinished.store(true, kRelaxed); }

int getBounceFlag(int track) {
    const int t = engineTrackSlot(track);
    return t >= 0 && engine().bounceEnded[t].load(kRelaxed) ? 1 : 0;
}

void reqDspPlay(int request) { engine().playRequest.store(request, kRelaxed); }

int64_t getConvertedCountAndBufBlkSize(int track, int *blockFrames) {
    if (blockFrames) *blockFrames = engine().ringBlockFrames.load(kRelaxed);
    const int t = engineTrackSlot(track);
    return t >= 0 ? engine().producedCount[t].load(std::memory_order_acquire) : 0;
}

int64_t getBouncedSamples(int track) {
    const int t = engineTrackSlot(track);
    return t >= 0 ? engine().bouncedCount[t].load(kRelaxed) : 0;
}

int getFirstConverted(int track) {
    const int t = engineTrackSlot(track);
    return t >= 0 ? engine().firstConverted[t].load(kRelaxed) : -1;
}

int getConvertPath(int track) {
    const int t = engineTrackSlot(track);
    return t >= 0 ? engine().convertPath[t].load(kRelaxed) : -1;
}

int64_t getTestCountMorphex(int track) {
    const int t = engineTrackSlot(track);
    return t >= 0 ? engine().testCount[t].load(kRelaxed) : 0;
}

int64_t getDiffParam(int track, int selector) {
    const int t = engineTrackSlot(track);
    if (t < 0) return 0;
    return selector == 1 ? engine().diff1[t].load(kRelaxed) : engine().diff2[t].load(kRelaxed);
}

int getBounceConvertStatus() { return engine().convFailed.load(kRelaxed) ? 1 : 0; }

int getAudioThreadParam(int track, tAudioThreadRingState *state) {
    const int t = engineTrackSlot(track);
    if (t < 0 || !state) return kClassMorphexErrTrack;
    state->produced = engine().producedCount[t].load(std::memory_order_acquire);
    state->consumed = engine().consumedCount[t].load(kRelaxed);
    state->pcmBlocks = engine().trackPcmBlocks[t].load(kRelaxed);
    state->blockFrames = engine().trackBlockFrames[t].load(kRelaxed);
    return 0;
}
