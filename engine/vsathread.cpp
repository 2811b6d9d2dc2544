#include "engine/vsathread.h"

#include <QThread>

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/playbackproducer.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The first row whose value is above the speed wins. A second row for 1.0
// (8192, 16384, 1) would always lie behind the first one, so it is not kept.
constexpr tVsaSpeedRow kSpeedTable[] = {
    {0.62f, 1024, 256, 3},   {0.75f, 1024, 512, 3},    {0.92f, 1024, 4096, 3}, {0.98f, 8192, 16384, 1},
    {1.0f, 12288, 16384, 1}, {1.04f, 12288, 16384, 1}, {1.3f, 1024, 4096, 3},  {1.5f, 768, 2048, 3},
    {1.8f, 512, 1024, 3},    {999.0f, 512, 128, 3},
};

constexpr float kMaxStretchSpeed = 2.0f;
constexpr int kMaxUnitFrames = 4096;  // one read from the ring
// A band keeps its stretched output until the slot is synthesised; the
// headroom takes the segments one unit can complete beyond the slot.
constexpr int kBandOutFrames = kVsaSlotFrames + 2 * kVsaWorkFrames;
constexpr int kDisabledSleepMs = 1000;
constexpr int kPollMs = 2;

template <class T>
T loadRelaxed(const T *p) {
    T v;
    __atomic_load(p, &v, __ATOMIC_RELAXED);
    return v;
}

// Not cleared: every buffer is written before it is read.
std::unique_ptr<double[]> allocFrames(size_t frames) {
    return std::unique_ptr<double[]>(new (std::nothrow) double[2 * frames]);
}

}  // namespace

ClassVsaThread::ClassVsaThread() {
    for (int i = 0; i < 2; ++i) {
        mSlot[i] = allocFrames(kVsaSlotFrames);
        mSlotPtr[i] = mSlot[i].get();
    }
    mInput = allocFrames(kMaxUnitFrames);
    for (auto &b : mBandIn) b = allocFrames(kMaxUnitFrames);
    for (auto &b : mBandOut) b = allocFrames(kBandOutFrames);
    std::fill(std::begin(mSwitch), std::end(mSwitch), 1);
}

ClassVsaThread::~ClassVsaThread() = default;

bool ClassVsaThread::buffersReady() const {
    if (!mSlot[0] || !mSlot[1] || !mInput) return false;
    for (int b = 0; b < kVsaBands; ++b)
        if (!mBandIn[b] || !mBandOut[b]) return false;
    return true;
}

const tVsaSpeedRow *ClassVsaThread::speedRow(float speed) {
    if (!(speed < 999.0f)) return nullptr;
    for (const tVsaSpeedRow &row : kSpeedTable)
        if (speed < row.below) return &row;
    return nullptr;
}

void ClassVsaThread::selectVsaParameters(tVsaParam *p) {
    if (!p) return;
    const float speed = loadRelaxed(&p->speed);
    if (const tVsaSpeedRow *row = speedRow(speed)) {
        p->a = row->a;
        p->b = row->b;
        p->n = row->n;
    }
    // The filter bank has one band more than splits, and there are
    // kVsaBands stretchers.
    const int n = std::clamp(static_cast<int>(p->n), 0, kVsaBands - 1);
    mSpeed = speed;
    for (int band = 0; band <= n; ++band) {
        mBand[band].setSampleRate(p->rate);
        mBand[band].setSpeed(std::min(speed, kMaxStretchSpeed) * 100.0f);
    }
    // As the filter bank lays the bands out: band s below the last at
    // 1/2^(s+1) of the rate, the last band at the rate of the one before.
    for (int band = 0; band < kVsaBands; ++band) {
        const int shift = n == 0 ? 0 : std::min(band + 1, n);
        mDecim[band] = 1 << shift;
        mDecimInv[band] = 1.0 / mDecim[band];
    }
    (void)mQmf.setBranches(n);
}

tVsaOutputSlots ClassVsaThread::configVsaParamToAudioThread() {
    repVsaParamArray(mSlotPtr, mSlotReady, mSlotFrames, mSlotSpeed);
    tVsaOutputSlots s;
    for (int i = 0; i < 2; ++i) {
        s.slot[i] = mSlot[i].get();
        s.ready[i] = &mSlotReady[i];
        s.frames[i] = mSlotFrames[i];
        s.speed[i] = &mSlotSpeed[i];
    }
    return s;
}

void ClassVsaThread::flushBufferingVsaSampleBank(tVsaParam *) {
    for (ClassVsa &band : mBand) band.invalidateCache();
    std::fill(std::begin(mPending), std::end(mPending), 0);
    std::fill(std::begin(mProduced), std::end(mProduced), 0);
    mQmf.clearBuffers();
}

void ClassVsaThread::readRing(double *const *blocks, int blockFrames, int frames) {
    double *dst = mInput.get();
    int64_t pos = mReadPos;
    int left = frames;
    while (left > 0) {
        const int64_t block = (pos / blockFrames) % kRingBlocks;
        const int offset = static_cast<int>(pos % blockFrames);
        const int n = std::min(left, blockFrames - offset);
        const double *src = blocks ? blocks[block] : nullptr;
        if (src)
            std::memcpy(dst, src + 2 * static_cast<size_t>(offset), static_cast<size_t>(n) * 16);
        else
            std::memset(dst, 0, static_cast<size_t>(n) * 16);
        dst += 2 * n;
        pos += n;
        left -= n;
    }
    mReadPos = pos;
}

int ClassVsaThread::processUnit(double *const *blocks, int blockFrames, int unit, int a, int b, int n) {
    readRing(blocks, blockFrames, unit);
    double *bands[kVsaBands];
    for (int i = 0; i < kVsaBands; ++i) bands[i] = mBandIn[i].get();
    if (int r = mQmf.analyze(bands, mInput.get(), unit, n); r != kQmfOk) return r;
    for (int band = 0; band <= n; ++band) {
        const int frames = unit / mDecim[band];
        double *out = mBandOut[band].get() + 2 * static_cast<size_t>(mProduced[band]);
        mBand[band].setVsaBuffer(out, nullptr, kBandOutFrames - mProduced[band]);
        int made = 0;
        if (int r = mBand[band].process(mBandIn[band].get(), 0, frames, &made, a, b); r != kVsaOk) return r;
        mProduced[band] += made;
        mPending[band] = mBand[band].getCarryOver();
    }
    return 0;
}

bool ClassVsaThread::completeSlot(int n, float speed) {
    // The common length at the input rate, in whole frames of every band.
    int64_t common = INT64_MAX;
    for (int band = 0; band <= n; ++band) common = std::min<int64_t>(common, int64_t(mProduced[band]) * mDecim[band]);
    if (common < kVsaSlotFrames) return false;

    double *slot = mSlot[mCurSlot].get();
    const double *bands[kVsaBands];
    for (int i = 0; i < kVsaBands; ++i) bands[i] = mBandOut[i].get();
    if (mQmf.synthesize(slot, bands, kVsaSlotFrames, n) != kQmfOk) return false;
    for (int band = 0; band <= n; ++band) {
        const int used = kVsaSlotFrames / mDecim[band];
        double *out = mBandOut[band].get();
        std::memmove(out, out + 2 * static_cast<size_t>(used), static_cast<size_t>(mProduced[band] - used) * 16);
        mProduced[band] -= used;
    }
    mSlotFrames[mCurSlot] = kVsaSlotFrames;
    mSlotSpeed[mCurSlot] = speed;
    // The frames and speed go out with the flag.
    __atomic_store_n(&mSlotReady[mCurSlot], true, __ATOMIC_RELEASE);
    vsaReady(mCurSlot);
    mCurSlot ^= 1;
    return true;
}

int ClassVsaThread::apply(const std::atomic<bool> *abort, tVsaParam *p) {
    if (!p || !abort) return kVsaThreadErrParam;
    if (!buffersReady()) return kVsaThreadErrMemory;
    selectVsaParameters(p);
    const int rate = loadRelaxed(&p->rate);
    if (mQmf.setDecimFirParam(0, kVsaFilterTaps, nullptr, nullptr, 1.0, rate, rate / 4, 1.0) != kQmfOk)
        return kVsaThreadErrParam;
    for (int i = 0; i < kVsaBandSwitches; ++i) {
        mSwitch[i] = loadRelaxed(&p->bandSwitch[i]);
        mQmf.switchBank(i, mSwitch[i] != 0);
    }
    const int n = std::clamp(static_cast<int>(p->n), 0, kVsaBands - 1);
    const int a = p->a, b = p->b;
    // The filter bank takes whole groups of 2^n frames.
    const int unit = std::min(std::max(mUnitFrames, 1 << n), kMaxUnitFrames);

    int result = kVsaThreadOk;
    while (!abort->load(kRelaxed) && result == kVsaThreadOk) {
        if (!loadRelaxed(&p->enabled)) {
            for (int ms = 0; ms < kDisabledSleepMs && !abort->load(kRelaxed); ms += 10) QThread::msleep(10);
            continue;
        }
        tAudioThreadRingState ring;
        (void)getAudioThreadParam(kVsaTrack, &ring);

        const float speed = loadRelaxed(&p->speed);
        if (speed != mSpeed) {
            mSpeed = speed;
            for (int band = 0; band <= n; ++band) mBand[band].setSpeed(std::min(speed, kMaxStretchSpeed) * 100.0f);
        }
        for (int i = 0; i < kVsaBandSwitches; ++i) {
            const uint8_t on = loadRelaxed(&p->bandSwitch[i]);
            if (on != mSwitch[i]) {
                mSwitch[i] = on;
                mQmf.switchBank(i, on != 0);
            }
        }

        const int blockFrames = std::max<int>(1, ring.blockFrames);
        // A new job starts its count again; a worker that fell behind the
        // ring skips to blocks the producer has not overwritten.
        if (ring.produced < mReadPos) mReadPos = ring.produced;
        const int64_t oldest = ring.produced - int64_t(kRingBlocks - 2) * blockFrames;
        if (mReadPos < oldest) mReadPos = oldest;

        while (!__atomic_load_n(&mSlotReady[mCurSlot], __ATOMIC_ACQUIRE) && ring.produced - mReadPos > unit &&
               !abort->load(kRelaxed)) {
            if (processUnit(ring.pcmBlocks, blockFrames, unit, a, b, n) != 0) {
                result = kVsaThreadErrParam;
                break;
            }
            (void)completeSlot(n, speed);
        }
        QThread::msleep(kPollMs);
    }
    for (ClassVsa &band : mBand) band.invalidateCache();
    return result;
}

vsaThread::vsaThread(QObject *parent) : tTransactionThread<vsaTransaction>(parent) {}

vsaThread::~vsaThread() {
    mFlags.stop();
    finishTransactions();
}

void vsaThread::addTransaction(vsaTransaction *job) {
    if (!job) return;
    mFlags.abort.store(false, kRelaxed);
    queueTransaction(job);
    setPriority(QThread::NormalPriority);
}

void vsaThread::setParam(tVsaParam *param) { mParam.store(param, kRelaxed); }

void vsaThread::stop() { mFlags.stop(); }

void vsaThread::runStarting() { mFlags.runStarting(); }

int vsaThread::runTransaction(vsaTransaction *job) { return job->apply(&mFlags.abort, mParam.load(kRelaxed)); }

void vsaThread::queueDrained() {
    // The running flag stays set: a later stop() leaves ended as it is.
    mFlags.ended.store(true, kRelaxed);
}
