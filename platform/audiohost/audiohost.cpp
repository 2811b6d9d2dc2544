#include "platform/audiohost/audiohost.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audiohost/hostbackend.h"
#include "platform/audiohost/hostconfig.h"

namespace {

// Records of every device seen since start; a record is never freed, so an
// id (index + 1) always names the same device.
constexpr size_t kMaxRecords = 256;

struct tHostState {
    std::mutex mMutex;
    bool mConfigured = false;
    tAudioHostConfig mConfig;
    std::vector<std::unique_ptr<tHostDevice>> mRecords;
    std::vector<tHostDevice *> mListed;  // listing order
    uint32_t mDefault[2] = {0, 0};       // 0: the first listed of that direction
    // Streams still running at exit are stopped by their back ends' own
    // state, which each back end destroys before its threads' data.
};

tHostState &host() {
    static tHostState s;
    return s;
}

thread_local bool tStreamThread = false;

bool isDsdRate(uint32_t r) { return r >= kAudioHostDsd64; }

bool hasRate(const tHostDevice &d, uint32_t r) {
    return std::find(d.mRates.begin(), d.mRates.end(), r) != d.mRates.end();
}

// A nominal rate the device can run: one of its PCM rates, or a sixteenth of
// one of its DSD rates.
bool nominalRateOffered(const tHostDevice &d, uint32_t rate) {
    if (rate == 0) return false;
    if (!isDsdRate(rate) && hasRate(d, rate)) return true;
    return rate <= 0xFFFFFFFFu / 16 && isDsdRate(rate * 16) && hasRate(d, rate * 16);
}

uint32_t defaultNominalRate(const tHostDevice &d) {
    if (hasRate(d, 48000)) return 48000;
    for (uint32_t r : d.mRates)
        if (!isDsdRate(r)) return r;
    return d.mRates.empty() ? 0 : d.mRates.front() / 16;
}

void resetSettings(tHostDevice &d, const tHostFoundDevice &f) {
    d.mNominalRate = defaultNominalRate(d);
    d.mFrames = f.mFrames;
    for (int dir = 0; dir < 2; ++dir) {
        d.mFormat[dir] = f.mFormat[dir];
        d.mContainer[dir] = kAudioHostContainerFloat32;
    }
    d.mMixing = false;
    d.mInputMuted.store(false, std::memory_order_relaxed);
    // The virtual device holds nothing for hog mode; an ALSA device's handle
    // stays with its back end until released.
    if (d.mVirtual) d.mHog = false;
    d.mCycle = 0;
    d.mFrameTime = 0;
}

void takeFound(tHostDevice &d, const tHostFoundDevice &f) {
    d.mName = f.mName;
    d.mChannels[0] = f.mChannels[0];
    d.mChannels[1] = f.mChannels[1];
    d.mRates = f.mRates;
    d.mMinFrames = f.mMinFrames;
    d.mMaxFrames = f.mMaxFrames;
    d.mData = f.mData;
}

// Under the mutex.
void listFound(tHostState &h, const tAudioHostBackend *backend, bool isVirtual,
               const std::vector<tHostFoundDevice> &found, std::vector<tHostDevice *> *listed) {
    for (const tHostFoundDevice &f : found) {
        if (listed->size() >= size_t(kAudioHostMaxDevices)) return;
        tHostDevice *d = nullptr;
        for (auto &r : h.mRecords)
            if (r->mUid == f.mUid && r->mBackend == backend) d = r.get();
        if (!d) {
            if (h.mRecords.size() >= kMaxRecords) continue;
            h.mRecords.push_back(std::make_unique<tHostDevice>());
            d = h.mRecords.back().get();
            d->mId = uint32_t(h.mRecords.size());
            d->mUid = f.mUid;
            d->mBackend = backend;
            d->mVirtual = isVirtual;
        }
        if (d->mOpen) {
            // Its stream keeps the settings it was opened with; only the name
            // and capabilities are refreshed.
            takeFound(*d, f);
        } else {
            const bool wasListed = d->mListed;
            takeFound(*d, f);
            // A device that comes back starts from its defaults, as one just
            // plugged in would.
            if (!wasListed) resetSettings(*d, f);
        }
        listed->push_back(d);
    }
}

// Under the mutex.
void refreshLocked(tHostState &h) {
    std::vector<tHostDevice *> listed;
    std::vector<tHostFoundDevice> found;
    if (h.mConfig.mVirtual) {
        gVirtualBackend.enumerate(&found);
        listFound(h, &gVirtualBackend, true, found, &listed);
    }
    if (h.mConfig.mReal) {
        found.clear();
        gAlsaBackend.enumerate(&found);
        listFound(h, &gAlsaBackend, false, found, &listed);
    }
    for (auto &r : h.mRecords) r->mListed = false;
    for (tHostDevice *d : listed) d->mListed = true;
    h.mListed.swap(listed);
}

// Under the mutex.
void ensureConfigured(tHostState &h) {
    if (h.mConfigured) return;
    h.mConfig = hostconfig_fromEnvironment();
    vdev_applyConfig(h.mConfig.mVirtualDevice, h.mConfig.mVirtual);
    h.mConfigured = true;
    refreshLocked(h);
}

// Locks the host for one call: refuses a stream thread, reads the
// configuration at the first call, and finds the listed device.
class tHostCall {
public:
    tHostCall() : mLock(host().mMutex, std::defer_lock) {
        if (tStreamThread) return;
        mLock.lock();
        ensureConfigured(host());
    }
    bool ok() const { return mLock.owns_lock(); }
    int find(uint32_t id, tHostDevice **dev) {
        if (!ok()) return kAudioHostErrState;
        tHostState &h = host();
        if (id == 0 || id > h.mRecords.size() || !h.mRecords[id - 1]->mListed) return kAudioHostErrNoDevice;
        *dev = h.mRecords[id - 1].get();
        return kAudioHostOK;
    }

private:
    std::unique_lock<std::mutex> mLock;
};

bool validDirection(int dir) { return dir == kAudioHostOutput || dir == kAudioHostInput; }

// The host's part of a format check: the shape of the record, and the
// rate against the device's list. The back end then checks what the device
// itself offers.
int checkShape(const tHostDevice &d, int dir, uint32_t rate, const tAudioHostFormat &f) {
    const int ch = f.mChannels;
    if (ch < 1 || ch > d.mChannels[dir]) return kAudioHostErrUnsupported;
    switch (f.mKind) {
    case kAudioHostPcmInt:
        if (f.mBits == 16 && f.mBytesPerFrame == 2 * ch) break;
        if (f.mBits == 24 && (f.mBytesPerFrame == 3 * ch || f.mBytesPerFrame == 4 * ch)) break;
        if (f.mBits == 32 && f.mBytesPerFrame == 4 * ch) break;
        return kAudioHostErrUnsupported;
    case kAudioHostPcmFloat:
        if (f.mBits == 32 && f.mBytesPerFrame == 4 * ch) break;
        return kAudioHostErrUnsupported;
    case kAudioHostDop:
        // A DSD byte pair and its marker need 24 bits; fewer would cut them.
        if (f.mBits == 24 && (f.mBytesPerFrame == 3 * ch || f.mBytesPerFrame == 4 * ch)) break;
        if (f.mBits == 32 && f.mBytesPerFrame == 4 * ch) break;
        return kAudioHostErrUnsupported;
    case kAudioHostDsd:
        // A container carries 16 DSD bits per channel.
        if (f.mBits == 16 && f.mBytesPerFrame == 2 * ch) break;
        return kAudioHostErrUnsupported;
    default: return kAudioHostErrUnsupported;
    }
    if (f.mKind == kAudioHostDsd) {
        if (rate > 0xFFFFFFFFu / 16 || !isDsdRate(rate * 16) || !hasRate(d, rate * 16)) return kAudioHostErrUnsupported;
    } else if (isDsdRate(rate) || !hasRate(d, rate)) {
        return kAudioHostErrUnsupported;
    }
    return kAudioHostOK;
}

int checkFormat(tHostDevice *d, int dir, uint32_t rate, tAudioHostFormat *f) {
    const int rc = checkShape(*d, dir, rate, *f);
    if (rc != 0) return rc;
    return d->mBackend->checkFormat(d, dir, rate, f);
}

// Copies UTF-8 text, cut if need be at a character boundary.
void copyText(char *dst, const std::string &src) {
    size_t n = std::min(src.size(), size_t(kAudioHostTextSize) - 1);
    if (n < src.size())
        while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80) --n;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

bool sameVirtualConfig(const tVirtualDeviceConfig &a, const tVirtualDeviceConfig &b) {
    return a.mName == b.mName && a.mUid == b.mUid && a.mRates == b.mRates && a.mOutChannels == b.mOutChannels &&
           a.mInChannels == b.mInChannels && a.mMinFrames == b.mMinFrames && a.mMaxFrames == b.mMaxFrames &&
           a.mFrames == b.mFrames && a.mSpeed == b.mSpeed && a.mCapture == b.mCapture &&
           a.mCaptureLimit == b.mCaptureLimit;
}

}  // namespace

void audiohost_markStreamThread() {
    tStreamThread = true;
    // A new thread carries its creator's name; the stream threads get their
    // own, so that a look at the process tells them from the thread that
    // started the stream.
    pthread_setname_np(pthread_self(), "audioHostStream");
}

int audiohost_configure(const tAudioHostConfig &config) { return audiohost_applyConfig(config, false); }

int audiohost_applyConfig(const tAudioHostConfig &config, bool freshVirtual) {
    if (tStreamThread) return kAudioHostErrState;
    tHostState &h = host();
    std::lock_guard<std::mutex> lk(h.mMutex);
    if (config.mVirtual && hostconfig_check(config.mVirtualDevice) != 0) return kAudioHostErrUnsupported;
    const bool virtualChanged = freshVirtual || !h.mConfigured || config.mVirtual != h.mConfig.mVirtual ||
                                !sameVirtualConfig(config.mVirtualDevice, h.mConfig.mVirtualDevice);
    for (auto &r : h.mRecords)
        // The virtual device cannot change under an open stream.
        if (r->mVirtual && r->mOpen && virtualChanged) return kAudioHostErrBusy;
    if (virtualChanged) {
        vdev_applyConfig(config.mVirtualDevice, config.mVirtual);
        // A reconfigured virtual device starts from its new defaults.
        for (auto &r : h.mRecords)
            if (r->mVirtual) r->mListed = false;
    }
    h.mConfig = config;
    h.mConfigured = true;
    refreshLocked(h);
    return kAudioHostOK;
}

int audiohost_refresh() {
    tHostCall call;
    if (!call.ok()) return 0;
    refreshLocked(host());
    return int(host().mListed.size());
}

int audiohost_getDevices(uint32_t *ids, int max) {
    tHostCall call;
    if (!call.ok()) return 0;
    const std::vector<tHostDevice *> &l = host().mListed;
    for (int i = 0; i < max && size_t(i) < l.size(); ++i) ids[i] = l[size_t(i)]->mId;
    return int(l.size());
}

int audiohost_getDeviceInfo(uint32_t id, tAudioHostDeviceInfo *info) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!info) return kAudioHostErrUnsupported;
    std::memset(info, 0, sizeof *info);
    info->mId = d->mId;
    copyText(info->mUid, d->mUid);
    copyText(info->mName, d->mName);
    info->mOutChannels = d->mChannels[kAudioHostOutput];
    info->mInChannels = d->mChannels[kAudioHostInput];
    info->mVirtual = d->mVirtual;
    return kAudioHostOK;
}

int audiohost_getRates(uint32_t id, uint32_t *rates, int max) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    for (int i = 0; i < max && size_t(i) < d->mRates.size(); ++i) rates[i] = d->mRates[size_t(i)];
    return int(d->mRates.size());
}

int audiohost_getNominalRate(uint32_t id, uint32_t *rate) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!rate) return kAudioHostErrUnsupported;
    *rate = d->mNominalRate;
    return kAudioHostOK;
}

int audiohost_setNominalRate(uint32_t id, uint32_t rate) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (d->mRunning) return kAudioHostErrBusy;
    if (!nominalRateOffered(*d, rate)) return kAudioHostErrUnsupported;
    d->mNominalRate = rate;
    return kAudioHostOK;
}

int audiohost_getPhysicalFormat(uint32_t id, int direction, tAudioHostFormat *format) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!validDirection(direction) || !format || d->mChannels[direction] == 0) return kAudioHostErrUnsupported;
    *format = d->mFormat[direction];
    format->mRate = d->mNominalRate;
    return kAudioHostOK;
}

int audiohost_setPhysicalFormat(uint32_t id, int direction, const tAudioHostFormat &format) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!validDirection(direction) || d->mChannels[direction] == 0) return kAudioHostErrUnsupported;
    if (d->mRunning) return kAudioHostErrBusy;
    tAudioHostFormat f = format;
    f.mRate = d->mNominalRate;
    f.mDeviceFormat = kDevFmtNone;
    if (int rc = checkFormat(d, direction, d->mNominalRate, &f); rc != 0) return rc;
    d->mFormat[direction] = f;
    return kAudioHostOK;
}

int audiohost_getContainer(uint32_t id, int direction, int *container) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!validDirection(direction) || !container) return kAudioHostErrUnsupported;
    *container = d->mContainer[direction];
    return kAudioHostOK;
}

int audiohost_setContainer(uint32_t id, int direction, int container) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!validDirection(direction) ||
        (container != kAudioHostContainerFloat32 && container != kAudioHostContainerInt32))
        return kAudioHostErrUnsupported;
    if (d->mRunning) return kAudioHostErrBusy;
    d->mContainer[direction] = container;
    return kAudioHostOK;
}

int audiohost_getBufferFrameRange(uint32_t id, uint32_t *minFrames, uint32_t *maxFrames) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!minFrames || !maxFrames) return kAudioHostErrUnsupported;
    *minFrames = d->mMinFrames;
    *maxFrames = d->mMaxFrames;
    return kAudioHostOK;
}

int audiohost_getBufferFrames(uint32_t id, uint32_t *frames) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!frames) return kAudioHostErrUnsupported;
    *frames = d->mFrames;
    return kAudioHostOK;
}

int audiohost_setBufferFrames(uint32_t id, uint32_t frames) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (d->mRunning) return kAudioHostErrBusy;
    if (frames < d->mMinFrames || frames > d->mMaxFrames) return kAudioHostErrUnsupported;
    d->mFrames = frames;
    return kAudioHostOK;
}

int audiohost_getMixing(uint32_t id, bool *on) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!on) return kAudioHostErrUnsupported;
    *on = d->mMixing;
    return kAudioHostOK;
}

int audiohost_setMixing(uint32_t id, bool on) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    return on ? kAudioHostErrUnsupported : kAudioHostOK;
}

int audiohost_getHog(uint32_t id, bool *held) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!held) return kAudioHostErrUnsupported;
    *held = d->mHog;
    return kAudioHostOK;
}

int audiohost_setHog(uint32_t id, bool hold) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (d->mHog == hold) return kAudioHostOK;
    if (int rc = d->mBackend->setHog(d, hold); rc != 0) return rc;
    d->mHog = hold;
    return kAudioHostOK;
}

uint32_t audiohost_getDefaultDevice(int direction) {
    tHostCall call;
    if (!call.ok() || !validDirection(direction)) return 0;
    tHostState &h = host();
    const uint32_t chosen = h.mDefault[direction];
    if (chosen && h.mRecords[chosen - 1]->mListed && h.mRecords[chosen - 1]->mChannels[direction] > 0) return chosen;
    for (tHostDevice *d : h.mListed)
        if (d->mChannels[direction] > 0) return d->mId;
    return 0;
}

int audiohost_setDefaultDevice(int direction, uint32_t id) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!validDirection(direction) || d->mChannels[direction] == 0) return kAudioHostErrUnsupported;
    host().mDefault[direction] = id;
    return kAudioHostOK;
}

int audiohost_getInputMute(uint32_t id, bool *muted) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!muted || d->mChannels[kAudioHostInput] == 0) return kAudioHostErrUnsupported;
    *muted = d->mInputMuted.load(std::memory_order_relaxed);
    return kAudioHostOK;
}

int audiohost_setInputMute(uint32_t id, bool muted) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (d->mChannels[kAudioHostInput] == 0) return kAudioHostErrUnsupported;
    // The stream thread reads the word once per cycle; a cycle that has
    // begun finishes with the old value.
    d->mInputMuted.store(muted, std::memory_order_relaxed);
    return d->mBackend->setInputMute(d, muted);
}

int audiohost_openStream(uint32_t id, unsigned directions, tAudioHostIoProc proc, void *client) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (d->mOpen) return kAudioHostErrBusy;
    if (!proc || directions == 0 || (directions & ~unsigned(kAudioHostStreamOutput | kAudioHostStreamInput)))
        return kAudioHostErrUnsupported;
    if ((directions & kAudioHostStreamOutput) && d->mChannels[kAudioHostOutput] == 0) return kAudioHostErrUnsupported;
    if ((directions & kAudioHostStreamInput) && d->mChannels[kAudioHostInput] == 0) return kAudioHostErrUnsupported;
    d->mOpen = true;
    d->mDirections = directions;
    d->mProc = proc;
    d->mClient = client;
    return kAudioHostOK;
}

int audiohost_startStream(uint32_t id) {
    tHostCall call;
    // A stream opened on a device that has since gone away can be stopped
    // and closed but not started again.
    tHostDevice *d;
    if (int rc = call.find(id, &d); rc != 0) return rc;
    if (!d->mOpen) return kAudioHostErrState;
    if (d->mRunning) return kAudioHostOK;
    tHostStreamSettings s;
    s.mDirections = d->mDirections;
    s.mRate = d->mNominalRate;
    s.mFrames = d->mFrames;
    s.mProc = d->mProc;
    s.mClient = d->mClient;
    for (int dir = 0; dir < 2; ++dir) {
        s.mContainer[dir] = d->mContainer[dir];
        if (!(d->mDirections & (1u << dir))) continue;
        // The format as set may not fit a rate set after it.
        tAudioHostFormat f = d->mFormat[dir];
        f.mRate = d->mNominalRate;
        if (int rc = checkFormat(d, dir, d->mNominalRate, &f); rc != 0) return rc;
        d->mFormat[dir] = f;
        s.mFormat[dir] = f;
    }
    if (s.mFrames < d->mMinFrames || s.mFrames > d->mMaxFrames) return kAudioHostErrUnsupported;
    if (int rc = d->mBackend->startStream(d, s); rc != 0) return rc;
    d->mRunning = true;
    return kAudioHostOK;
}

namespace {

// Under the mutex; the device need not be listed any more.
int stopLocked(tHostDevice *d) {
    if (!d->mOpen) return kAudioHostErrState;
    if (d->mRunning) {
        d->mBackend->stopStream(d);
        d->mRunning = false;
    }
    return kAudioHostOK;
}

// Any record with this id, listed or not: a stream outlives its device's
// listing.
int findRecord(tHostCall &call, uint32_t id, tHostDevice **dev) {
    if (!call.ok()) return kAudioHostErrState;
    tHostState &h = host();
    if (id == 0 || id > h.mRecords.size()) return kAudioHostErrNoDevice;
    *dev = h.mRecords[id - 1].get();
    return kAudioHostOK;
}

}  // namespace

int audiohost_stopStream(uint32_t id) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = findRecord(call, id, &d); rc != 0) return rc;
    return stopLocked(d);
}

int audiohost_closeStream(uint32_t id) {
    tHostCall call;
    tHostDevice *d;
    if (int rc = findRecord(call, id, &d); rc != 0) return rc;
    if (int rc = stopLocked(d); rc != 0) return rc;
    d->mOpen = false;
    d->mDirections = 0;
    d->mProc = nullptr;
    d->mClient = nullptr;
    return kAudioHostOK;
}

bool audiohost_isRunning(uint32_t id) {
    tHostCall call;
    tHostDevice *d;
    if (findRecord(call, id, &d) != 0) return false;
    return d->mRunning;
}
