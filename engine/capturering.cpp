#include "engine/capturering.h"

#include <algorithm>
#include <cstring>

#include "audiofile/audiohelpers.h"
#include "dsp/oscillator.h"
#include "engine/dsdoutput.h"

unsigned char *sDsdRecBuffer[kDsdRecBuffers];
int32_t sDsdRecBufferCount;
int32_t sDsdRecBufferBits;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kCaptureRow = 0;  // the row the device input goes to

bool validRow(int row) { return row >= 0 && row < kMaxTracks; }

// Every row's positions move together; only row 0's blocks are written.
void addToWriteOffsets(tEngine &e, int n) {
    for (auto &o : e.captureWriteOffset) o.fetch_add(n, kRelaxed);
}

void nextWriteBlock(tEngine &e) {
    for (int r = 0; r < kMaxTracks; ++r) {
        const int b = e.captureWriteBlock[r].load(kRelaxed) + 1;
        e.captureWriteBlock[r].store(b >= kCaptureBlocks || b < 0 ? 0 : b, kRelaxed);
        e.captureWriteOffset[r].store(0, kRelaxed);
    }
}

// One more recordable block, at most kCaptureBlocks. The recorder subtracts
// from the same word on its own thread, so the increment is a
// compare-exchange; release publishes the block's samples with it.
void countRecordableBlock(tEngine &e) {
    std::atomic<int32_t> &count = e.recordableBlocks[kCaptureRow];
    int32_t v = count.load(kRelaxed);
    while (v < kCaptureBlocks && !count.compare_exchange_weak(v, v + 1, std::memory_order_release, kRelaxed)) {}
}

}  // namespace

// ---- Set-up ------------------------------------------------------------------------

int gAudioThread_setMonitorBuffer(int row, int block, double *work, unsigned char *dsdLeft, unsigned char *dsdRight) {
    if (!validRow(row) || block < 0 || block >= kCaptureBlocks) return kCaptureBadArgument;
    engine().captureRingTable[row][block] = work;
    engine().dsdRecBuffer0[row][block] = dsdLeft;
    engine().dsdRecBuffer1[row][block] = dsdRight;
    engine().monitorBuffer[row] = engine().captureRingTable[row];
    return 0;
}

void gAudioThread_setMonitorBufferSize(int frames) { engine().captureBlockFrames.store(frames, kRelaxed); }

void gAudioThread_setInputMonitorChannel(int channel) { engine().inputMonitorChannel.store(channel, kRelaxed); }

void gAudioThread_setOutputMonitorChannel(int first, int count) {
    engine().firstOutputChannel.store(first, kRelaxed);
    engine().maxOutputs.store(count < 5 ? int32_t(kMaxOutputsDefault) : count, kRelaxed);
}

void gAudioThread_setMonitorStatus(bool on) {
    if (on) {
        // A stop leaves its fade-out request standing, and the output
        // writers drive the level to the requested end on every chunk: the
        // monitor asks for a fade-in, as a job start does.
        for (int c = 0; c < 2; ++c) {
            engine().fadeAck[c].store(0, kRelaxed);
            engine().fadeReq[c].store(kFadeInBit, kRelaxed);
        }
        engine().fadeTargetRequest.store(kFadeTargetOne, kRelaxed);
        engine().inputMonitorEnable.store(true, std::memory_order_release);
        return;
    }
    engine().inputMonitorEnable.store(false, std::memory_order_release);
    if (engine().engineStatus.load(kRelaxed) == kEngineStopped)
        engine().fadeTargetRequest.store(kFadeTargetZero, kRelaxed);
}

void gAudioThread_getMoniPeak(double positive[2], double negative[2]) {
    for (int c = 0; c < 2; ++c) {
        if (positive) positive[c] = engine().monPeakPosi[c].load(kRelaxed);
        if (negative) negative[c] = engine().monPeakNega[c].load(kRelaxed);
    }
    engine().clearMoniPeakFlag.store(true, kRelaxed);
}

void gAudioThread_clearRecBufParam() {
    engine().captureBlocksWritten.store(0, kRelaxed);
    engine().monitorBlocksPlayed.store(0, kRelaxed);
}

int gAudioThread_prepareRecBuffer(int) { return 0; }

int gAudioThread_changeAsioBufferSize(long) { return 0; }

// ---- The recorder's view ----------------------------------------------------------------

void initRecordableBlocks(int row) {
    if (validRow(row)) engine().recordableBlocks[row].store(0, kRelaxed);
}

int tellRecordableBlocks(int row) {
    return validRow(row) ? engine().recordableBlocks[row].load(std::memory_order_acquire) : 0;
}

void subRecordableBlocks(int row, int n) {
    if (validRow(row)) engine().recordableBlocks[row].fetch_sub(n, std::memory_order_release);
}

int tellCurrentCaptureBlockNumber(int row) {
    return validRow(row) ? engine().captureWriteBlock[row].load(kRelaxed) : 0;
}

std::atomic<int32_t> *getSamplesPerBlock() { return engine().samplesPerCaptureBlock; }

void *getRecBuffer(int format, int row) {
    if (!validRow(row)) return nullptr;
    switch (format) {
    case kRecBufferWork: return engine().captureRingTable[row];
    case kRecBufferDsdLeft: return engine().dsdRecBuffer0[row];
    case kRecBufferDsdRight: return engine().dsdRecBuffer1[row];
    default: return nullptr;
    }
}

// ---- DSD buffers of the oscillator capture -------------------------------------------------

int gAudioThread_allocateDsdBuffer(int n, int bits) {
    if (n <= 0) return 0;
    const int count = std::min(n, int(kDsdRecBuffers));
    const uint64_t bytes = (uint64_t(std::max(bits, 0)) + 7) / 8;
    for (int i = 0; i < count; ++i) {
        auto *p = static_cast<unsigned char *>(_aligned_malloc(std::max<uint64_t>(bytes, 1), 16));
        if (!p) return -(i + 1);
        std::memset(p, kDsdIdleByte, bytes);
        _aligned_free(sDsdRecBuffer[i]);
        sDsdRecBuffer[i] = p;
    }
    sDsdRecBufferCount = count;
    sDsdRecBufferBits = int32_t(bytes * 8);
    return 0;
}

void gAudioThread_freeDsdBuffer() {
    for (unsigned char *&p : sDsdRecBuffer) {
        _aligned_free(p);
        p = nullptr;
    }
    sDsdRecBufferCount = 0;
    sDsdRecBufferBits = 0;
}

void cpyAsioBufToRecBuf(unsigned char *const dst[2], const unsigned char *const src[2], int bits) {
    if (!dst || !src || bits < 1) return;
    const size_t bytes = (size_t(bits) + 7) / 8;
    for (int c = 0; c < 2; ++c)
        if (dst[c] && src[c]) std::memcpy(dst[c], src[c], bytes);
}

// ---- Real-time steps ----------------------------------------------------------------------------

void captureInput(tEngine &e, CAudioThreadFunc *backEnd, int type, int recType, unsigned char *in, unsigned char *in2,
                  tBufferSwitchParams *rec) {
    const int blockFrames = e.captureBlockFrames.load(kRelaxed);
    if (!backEnd || !rec || blockFrames < 1) return;
    const bool oscillator = COscClass.getOscStatus();
    int remaining = rec->inputFrames;
    rec->capturedFrames = 0;
    while (remaining > 0) {
        int off = e.captureWriteOffset[kCaptureRow].load(kRelaxed);
        if (off < 0 || off >= blockFrames) off = 0;  // a block size made smaller under a running capture
        e.captureWriteOffset[kCaptureRow].store(off, kRelaxed);
        int block = e.captureWriteBlock[kCaptureRow].load(kRelaxed);
        if (block < 0 || block >= kCaptureBlocks) block = 0;
        double *work = e.monitorBuffer[kCaptureRow] ? e.monitorBuffer[kCaptureRow][block] : nullptr;
        // The recorder hands blocks back by lowering the count with release
        // once it has read them; this acquire orders its reads before the
        // block is written again.
        if (off == 0) (void)e.recordableBlocks[kCaptureRow].load(std::memory_order_acquire);
        const int n = std::min(remaining, blockFrames - off);
        if (work) {
            if (oscillator)
                backEnd->SineWaveToWorkBuffer(type, n, work, sDsdRecBuffer[0], sDsdRecBuffer[1], rec);
            else
                backEnd->convertAudioDriverToWorkBuffer(recType, n, work, in, in2, rec);
        }
        if (off + n < blockFrames) {
            addToWriteOffsets(e, n);
            return;
        }
        e.samplesPerCaptureBlock[block].store(blockFrames, kRelaxed);
        nextWriteBlock(e);
        countRecordableBlock(e);
        remaining -= n;
        rec->capturedFrames += n;
        e.captureBlocksWritten.fetch_add(1, kRelaxed);
    }
}

void playMonitor(tEngine &e, CAudioThreadFunc *backEnd, int type, int frames, unsigned char **outputs,
                 tBufferSwitchParams *rec) {
    if (!backEnd || !rec || !outputs || !outputs[0]) return;
    const int blockFrames = e.captureBlockFrames.load(kRelaxed);
    const int bits = backEnd->getBitLength(type);
    // Only row 0 holds captured input: the other rows play nothing.
    double **tables[kMaxTracks] = {};
    tables[kCaptureRow] = e.monitorBuffer[kCaptureRow];
    // The writer reads a DSD table as left at 2 x block, right at
    // 2 x block + 1; sDsdRecBuffer's entries stand in for it, the rest null.
    unsigned char *dsdTable[kDsdIdleRow] = {};
    std::copy(sDsdRecBuffer, sDsdRecBuffer + kDsdRecBuffers, dsdTable);

    int remaining = frames;
    rec->outputOffset = 0;
    while (remaining > 0) {
        if (blockFrames < 1 || e.captureBlocksWritten.load(kRelaxed) - e.monitorBlocksPlayed.load(kRelaxed) <= 1) {
            // Silence only after what this buffer has already played.
            unsigned char *at[kSwitchListEntries];
            std::copy(outputs, outputs + kSwitchListEntries, at);
            backEnd->incPlayBufferAddress(at, rec->outputOffset, bits, rec->outputChannels, backEnd->getDopMarkSize());
            backEnd->copy0DataToAudioDriverBuffer(type, remaining, at[0], at[1], rec->outputChannels);
            break;
        }
        int offsets[kMaxTracks], blocks[kMaxTracks];
        for (int t = 0; t < kMaxTracks; ++t) {
            offsets[t] = e.monitorReadOffset[t].load(kRelaxed);
            blocks[t] = e.monitorReadBlock[t].load(kRelaxed);
            if (offsets[t] < 0 || offsets[t] >= blockFrames) offsets[t] = 0;
            if (blocks[t] < 0 || blocks[t] >= kCaptureBlocks) blocks[t] = 0;
        }
        const int r = offsets[kCaptureRow];
        if (blockFrames > r + remaining) {
            (void)backEnd->convertDataToAudioDriverBuffer(type, remaining, offsets, tables, blocks, outputs, dsdTable,
                                                          rec);
            for (auto &o : e.monitorReadOffset) o.fetch_add(remaining, kRelaxed);
            break;
        }
        const int n = blockFrames - r;
        (void)backEnd->convertDataToAudioDriverBuffer(type, n, offsets, tables, blocks, outputs, dsdTable, rec);
        rec->outputOffset += n;
        for (int t = 0; t < kMaxTracks; ++t) {
            const int b = blocks[t] + 1;
            e.monitorReadBlock[t].store(b >= kCaptureBlocks ? 0 : b, kRelaxed);
            e.monitorReadOffset[t].store(0, kRelaxed);
        }
        e.monitorBlocksPlayed.fetch_add(1, kRelaxed);
        remaining -= n;
    }
    rec->outputOffset = 0;
    rec->capturedFrames = 0;
}

// On the current engine.
void captureInput(CAudioThreadFunc *backEnd, int type, int recType, unsigned char *in, unsigned char *in2,
                  tBufferSwitchParams *rec) {
    captureInput(engine(), backEnd, type, recType, in, in2, rec);
}
void playMonitor(CAudioThreadFunc *backEnd, int type, int frames, unsigned char **outputs, tBufferSwitchParams *rec) {
    playMonitor(engine(), backEnd, type, frames, outputs, rec);
}
