#include "platform/audiohost/alsabackend.h"

#include <alsa/asoundlib.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/audiohost/hostbackend.h"

namespace {

constexpr uint32_t kPcmRates[] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};
constexpr uint32_t kDsdRates[] = {kAudioHostDsd64, kAudioHostDsd128, kAudioHostDsd256, kAudioHostDsd512};

// Preference orders; see alsabackend.h.
constexpr int kPcmCandidates[] = {kDevFmtS32LE, kDevFmtS24_3LE, kDevFmtS24LE, kDevFmtS16LE, kDevFmtFloatLE};
constexpr int kDopCandidates[] = {kDevFmtS32LE, kDevFmtS24_3LE, kDevFmtS24LE};
constexpr int kDsdCandidates[] = {kDevFmtDsdU32BE, kDevFmtDsdU16BE, kDevFmtDsdU8, kDevFmtDsdU32LE, kDevFmtDsdU16LE};

// How long the stream thread waits for the device at a time before it looks
// at its stop word again.
constexpr int kWaitMs = 100;

snd_pcm_format_t alsaFormat(int fmt) {
    switch (fmt) {
    case kDevFmtS16LE: return SND_PCM_FORMAT_S16_LE;
    case kDevFmtS24_3LE: return SND_PCM_FORMAT_S24_3LE;
    case kDevFmtS24LE: return SND_PCM_FORMAT_S24_LE;
    case kDevFmtS32LE: return SND_PCM_FORMAT_S32_LE;
    case kDevFmtFloatLE: return SND_PCM_FORMAT_FLOAT_LE;
    case kDevFmtDsdU8: return SND_PCM_FORMAT_DSD_U8;
    case kDevFmtDsdU16BE: return SND_PCM_FORMAT_DSD_U16_BE;
    case kDevFmtDsdU16LE: return SND_PCM_FORMAT_DSD_U16_LE;
    case kDevFmtDsdU32BE: return SND_PCM_FORMAT_DSD_U32_BE;
    case kDevFmtDsdU32LE: return SND_PCM_FORMAT_DSD_U32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
    }
}

void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

void silenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quietAlsa); });
}

struct tConfigDeleter {
    void operator()(snd_config_t *c) const { snd_config_delete(c); }
};
using tConfigPtr = std::shared_ptr<snd_config_t>;

// The back end's record of one PCM device; kept for the life of the process.
struct tAlsaDevice {
    std::string mUid;
    std::string mPcmName;    // hw:CARD=<id>,DEV=<n>, or the configured PCM's name
    std::string mPlugName;   // plughw:..., empty when there is no plug fallback
    std::string mMixerName;  // hw:CARD=<id>, empty for configured devices
    tConfigPtr mConfig;      // the configuration of an added device, else null

    // What the last probe found, per direction.
    bool mProbed[2] = {false, false};
    int mChannels[2] = {0, 0};
    int mDefaultChannels[2] = {2, 2};
    int mDefaultFormat[2] = {kDevFmtNone, kDevFmtNone};
    std::vector<uint32_t> mRates;

    // The open handle per direction (held for hog mode or used by the
    // stream), and whether it was opened through the plug layer.
    snd_pcm_t *mPcm[2] = {nullptr, nullptr};
    bool mPcmPlug[2] = {false, false};
    bool mHog = false;
    // The plug layer chosen by the last format check.
    bool mUsePlug[2] = {false, false};

    // The running stream. The host starts and stops it under its mutex; the
    // thread reads only the fields below and mPcm while it runs.
    std::thread mThread;
    std::atomic<bool> mStop{false};  // written by stopStream, read by the thread every wait
    tHostStreamSettings mSettings;
    tHostDevice *mHostDevice = nullptr;
    int mDevFmt[2] = {kDevFmtNone, kDevFmtNone};
    uint32_t mDevFrames[2] = {0, 0};
    tDevConvFunc mConv[2] = {nullptr, nullptr};
    std::unique_ptr<uint8_t[]> mContainer[2];
    std::unique_ptr<uint8_t[]> mDeviceBuf[2];

    ~tAlsaDevice() {
        if (mThread.joinable()) {
            mStop.store(true, std::memory_order_relaxed);
            mThread.join();
        }
        for (snd_pcm_t *p : mPcm)
            if (p) snd_pcm_close(p);
    }
};

struct tAddedDevice {
    tConfigPtr mConfig;
    std::string mPcmName;
    std::string mName;
};

struct tAlsaState {
    std::vector<std::unique_ptr<tAlsaDevice>> mDevices;
    std::mutex mAddedMutex;  // mAdded: tests add devices from their own thread
    std::vector<tAddedDevice> mAdded;
};

tAlsaState &alsa() {
    static tAlsaState s;
    return s;
}

tAlsaDevice *deviceFor(const std::string &uid) {
    for (auto &d : alsa().mDevices)
        if (d->mUid == uid) return d.get();
    auto d = std::unique_ptr<tAlsaDevice>(new (std::nothrow) tAlsaDevice);
    if (!d) return nullptr;
    d->mUid = uid;
    alsa().mDevices.push_back(std::move(d));
    return alsa().mDevices.back().get();
}

snd_pcm_stream_t streamOf(int dir) {
    return dir == kAudioHostOutput ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
}

int openPcm(const tAlsaDevice &d, int dir, bool plug, snd_pcm_t **pcm) {
    *pcm = nullptr;
    const std::string &name = plug ? d.mPlugName : d.mPcmName;
    if (name.empty()) return -ENOENT;
    // Non-blocking, so that a device held by another program answers at once
    // and the stream thread never sleeps where it cannot see a stop.
    if (d.mConfig) return snd_pcm_open_lconf(pcm, name.c_str(), streamOf(dir), SND_PCM_NONBLOCK, d.mConfig.get());
    // The plug layer may convert formats and channels but never the rate.
    const int mode = SND_PCM_NONBLOCK | (plug ? SND_PCM_NO_AUTO_RESAMPLE : 0);
    return snd_pcm_open(pcm, name.c_str(), streamOf(dir), mode);
}

int hostCode(int alsaErr) { return alsaErr == -EBUSY || alsaErr == -EAGAIN ? kAudioHostErrBusy : kAudioHostErrIO; }

// The configuration space with access, format and channels fixed, resampling
// off; false when the device refuses one of them.
bool restrictParams(snd_pcm_t *pcm, snd_pcm_hw_params_t *hw, int fmt, int channels) {
    return snd_pcm_hw_params_any(pcm, hw) >= 0 && snd_pcm_hw_params_set_rate_resample(pcm, hw, 0) >= 0 &&
           snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_set_format(pcm, hw, alsaFormat(fmt)) >= 0 &&
           snd_pcm_hw_params_set_channels(pcm, hw, unsigned(channels)) >= 0;
}

bool offers(snd_pcm_t *pcm, int fmt, int channels, uint32_t deviceRate) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    return restrictParams(pcm, hw, fmt, channels) && snd_pcm_hw_params_test_rate(pcm, hw, deviceRate, 0) == 0;
}

// Fills the direction's probe results from an open handle.
void probeOpen(tAlsaDevice &d, int dir, snd_pcm_t *pcm, std::vector<uint32_t> *rates) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    if (snd_pcm_hw_params_any(pcm, hw) < 0) return;
    unsigned cmin = 0, cmax = 0;
    if (snd_pcm_hw_params_get_channels_min(hw, &cmin) < 0 || snd_pcm_hw_params_get_channels_max(hw, &cmax) < 0 ||
        cmax == 0)
        return;
    if (cmin < 1) cmin = 1;
    if (cmax > unsigned(kAudioHostMaxChannels)) cmax = kAudioHostMaxChannels;
    if (cmin > cmax) return;
    d.mChannels[dir] = int(cmax);
    d.mDefaultChannels[dir] = (cmin <= 2 && 2 <= cmax) ? 2 : int(cmin);
    const int ch = d.mDefaultChannels[dir];
    d.mDefaultFormat[dir] = kDevFmtNone;
    for (int fmt : kPcmCandidates) {
        snd_pcm_hw_params_t *f;
        snd_pcm_hw_params_alloca(&f);
        if (!restrictParams(pcm, f, fmt, ch)) continue;
        if (d.mDefaultFormat[dir] == kDevFmtNone) d.mDefaultFormat[dir] = fmt;
        for (uint32_t r : kPcmRates)
            if (snd_pcm_hw_params_test_rate(pcm, f, r, 0) == 0) rates->push_back(r);
    }
    for (int fmt : kDsdCandidates) {
        for (uint32_t r : kDsdRates)
            if (offers(pcm, fmt, ch, devfmt_deviceRate(fmt, r / 16))) rates->push_back(r);
    }
    d.mProbed[dir] = true;
}

void sortUnique(std::vector<uint32_t> *v) {
    std::sort(v->begin(), v->end());
    v->erase(std::unique(v->begin(), v->end()), v->end());
}

tAudioHostFormat formatOf(int fmt, int kind, int channels) {
    tAudioHostFormat f{};
    if (kind == kAudioHostPcmInt || kind == kAudioHostPcmFloat)
        kind = fmt == kDevFmtFloatLE ? kAudioHostPcmFloat : kAudioHostPcmInt;
    f.mKind = kind;
    f.mChannels = channels;
    f.mDeviceFormat = fmt;
    if (kind == kAudioHostDsd) {
        f.mBits = 16;
        f.mBytesPerFrame = 2 * channels;
    } else {
        f.mBits = devfmt_bitsPerSample(fmt);
        f.mBytesPerFrame = devfmt_bytesPerSample(fmt) * channels;
    }
    return f;
}

// Probes a device (both directions that `present` names) and describes it.
void probe(tAlsaDevice &d, const bool present[2], const std::string &name, std::vector<tHostFoundDevice> *found) {
    std::vector<uint32_t> rates[2];
    bool any = false;
    for (int dir = 0; dir < 2; ++dir) {
        if (!present[dir]) {
            d.mChannels[dir] = 0;
            continue;
        }
        if (d.mPcm[dir]) {
            // Held or streaming: what the last probe found still holds.
            any = any || d.mProbed[dir];
            continue;
        }
        snd_pcm_t *pcm;
        if (openPcm(d, dir, false, &pcm) < 0) {
            if (!d.mProbed[dir]) d.mChannels[dir] = 0;
            any = any || d.mProbed[dir];
            continue;
        }
        probeOpen(d, dir, pcm, &rates[dir]);
        snd_pcm_close(pcm);
        any = any || d.mProbed[dir];
    }
    if (!any) return;
    // One rate list per device: the output's when it has one.
    std::vector<uint32_t> &r = d.mChannels[kAudioHostOutput] > 0 ? rates[kAudioHostOutput] : rates[kAudioHostInput];
    if (!r.empty() || d.mRates.empty()) {
        sortUnique(&r);
        // PCM rates first, then DSD rates: both ascending already.
        d.mRates = r;
    }
    tHostFoundDevice f;
    f.mUid = d.mUid;
    f.mName = name;
    f.mRates = d.mRates;
    for (int dir = 0; dir < 2; ++dir) {
        f.mChannels[dir] = d.mChannels[dir];
        if (d.mChannels[dir] > 0) {
            const int fmt = d.mDefaultFormat[dir] != kDevFmtNone ? d.mDefaultFormat[dir] : kDevFmtS32LE;
            f.mFormat[dir] = formatOf(fmt, kAudioHostPcmInt, d.mDefaultChannels[dir]);
        }
    }
    f.mData = &d;
    found->push_back(f);
}

void enumerateCards(std::vector<tHostFoundDevice> *found) {
    int card = -1;
    while (snd_card_next(&card) >= 0 && card >= 0) {
        char ctlName[32];
        std::snprintf(ctlName, sizeof ctlName, "hw:%d", card);
        snd_ctl_t *ctl;
        if (snd_ctl_open(&ctl, ctlName, 0) < 0) continue;
        snd_ctl_card_info_t *ci;
        snd_ctl_card_info_alloca(&ci);
        if (snd_ctl_card_info(ctl, ci) < 0) {
            snd_ctl_close(ctl);
            continue;
        }
        const std::string cardId = snd_ctl_card_info_get_id(ci);
        const std::string cardName = snd_ctl_card_info_get_name(ci);
        bool first = true;
        int dev = -1;
        while (snd_ctl_pcm_next_device(ctl, &dev) >= 0 && dev >= 0) {
            bool present[2] = {false, false};
            std::string pcmName;
            for (int dir = 0; dir < 2; ++dir) {
                snd_pcm_info_t *pi;
                snd_pcm_info_alloca(&pi);
                snd_pcm_info_set_device(pi, unsigned(dev));
                snd_pcm_info_set_subdevice(pi, 0);
                snd_pcm_info_set_stream(pi, streamOf(dir));
                if (snd_ctl_pcm_info(ctl, pi) >= 0) {
                    present[dir] = true;
                    if (pcmName.empty()) pcmName = snd_pcm_info_get_name(pi);
                }
            }
            if (!present[0] && !present[1]) continue;
            const std::string where = "CARD=" + cardId + ",DEV=" + std::to_string(dev);
            tAlsaDevice *d = deviceFor("hw:" + where);
            if (!d) continue;
            d->mPcmName = "hw:" + where;
            d->mPlugName = "plughw:" + where;
            d->mMixerName = "hw:CARD=" + cardId;
            // The card's name is what a USB device reports as its product;
            // the DoP table matches it by prefix, so further PCM devices of
            // the card keep it in front.
            const std::string name = first ? cardName : cardName + " (" + pcmName + ")";
            first = false;
            probe(*d, present, name, found);
        }
        snd_ctl_close(ctl);
    }
}

void enumerateAdded(std::vector<tHostFoundDevice> *found) {
    std::vector<tAddedDevice> added;
    {
        std::lock_guard<std::mutex> lk(alsa().mAddedMutex);
        added = alsa().mAdded;
    }
    for (const tAddedDevice &a : added) {
        tAlsaDevice *d = deviceFor("lconf:" + a.mPcmName);
        if (!d) continue;
        d->mPcmName = a.mPcmName;
        d->mPlugName.clear();
        d->mMixerName.clear();
        d->mConfig = a.mConfig;
        // The configuration says nothing about directions: a direction is
        // there when it opens.
        bool present[2];
        for (int dir = 0; dir < 2; ++dir) {
            snd_pcm_t *pcm = d->mPcm[dir];
            present[dir] = pcm != nullptr || d->mProbed[dir];
            if (!pcm && openPcm(*d, dir, false, &pcm) >= 0) {
                present[dir] = true;
                snd_pcm_close(pcm);
            }
        }
        probe(*d, present, a.mName, found);
    }
}

// ---- back-end slots --------------------------------------------------------

void alsaEnumerate(std::vector<tHostFoundDevice> *found) {
    silenceAlsa();
    enumerateCards(found);
    enumerateAdded(found);
}

tAlsaDevice &dataOf(tHostDevice *dev) { return *static_cast<tAlsaDevice *>(dev->mData); }

// Opens the direction's handle for a check or a stream: the held handle when
// it is of the right kind; a held hw handle gives way to a plug handle and is
// taken again when the plug handle closes (releaseHandle).
int acquireHandle(tAlsaDevice &d, int dir, bool plug, snd_pcm_t **pcm) {
    if (d.mPcm[dir] && d.mPcmPlug[dir] == plug) {
        *pcm = d.mPcm[dir];
        return 0;
    }
    if (d.mPcm[dir]) {
        snd_pcm_close(d.mPcm[dir]);
        d.mPcm[dir] = nullptr;
    }
    const int err = openPcm(d, dir, plug, pcm);
    if (err < 0) return err;
    d.mPcm[dir] = *pcm;
    d.mPcmPlug[dir] = plug;
    return 0;
}

// Closes the direction's handle unless hog mode keeps it; under hog mode a
// plug handle, or none (a failed open), becomes the held hw handle again.
void releaseHandle(tAlsaDevice &d, int dir) {
    if (d.mPcm[dir] && d.mHog && !d.mPcmPlug[dir]) {
        snd_pcm_drop(d.mPcm[dir]);
        return;
    }
    if (d.mPcm[dir]) {
        snd_pcm_close(d.mPcm[dir]);
        d.mPcm[dir] = nullptr;
    }
    if (d.mHog && d.mChannels[dir] > 0) {
        snd_pcm_t *pcm;
        if (openPcm(d, dir, false, &pcm) >= 0) {
            d.mPcm[dir] = pcm;
            d.mPcmPlug[dir] = false;
        }
    }
}

int alsaCheckFormat(tHostDevice *dev, int dir, uint32_t rate, tAudioHostFormat *format) {
    tAlsaDevice &d = dataOf(dev);
    const int *cand;
    size_t n;
    switch (format->mKind) {
    case kAudioHostDop:
        cand = kDopCandidates;
        n = std::size(kDopCandidates);
        break;
    case kAudioHostDsd:
        cand = kDsdCandidates;
        n = std::size(kDsdCandidates);
        break;
    default:
        cand = kPcmCandidates;
        n = std::size(kPcmCandidates);
        break;
    }
    const bool pcmKind = format->mKind == kAudioHostPcmInt || format->mKind == kAudioHostPcmFloat;
    for (int plug = 0; plug < 2; ++plug) {
        // Only PCM may go through the plug layer; DoP words and DSD bytes
        // must reach the device as they are.
        if (plug && (!pcmKind || d.mPlugName.empty())) break;
        snd_pcm_t *pcm;
        const int err = acquireHandle(d, dir, plug != 0, &pcm);
        if (err < 0) {
            releaseHandle(d, dir);
            if (plug) break;
            return hostCode(err);
        }
        int chosen = kDevFmtNone;
        for (size_t i = 0; i < n && chosen == kDevFmtNone; ++i)
            if (offers(pcm, cand[i], format->mChannels, devfmt_deviceRate(cand[i], rate))) chosen = cand[i];
        releaseHandle(d, dir);
        if (chosen != kDevFmtNone) {
            d.mUsePlug[dir] = plug != 0;
            *format = formatOf(chosen, format->mKind, format->mChannels);
            format->mRate = rate;
            return kAudioHostOK;
        }
    }
    return kAudioHostErrUnsupported;
}

int alsaSetHog(tHostDevice *dev, bool hold) {
    tAlsaDevice &d = dataOf(dev);
    if (!hold) {
        d.mHog = false;
        // A running stream keeps its handles until it stops.
        if (!d.mThread.joinable())
            for (int dir = 0; dir < 2; ++dir) releaseHandle(d, dir);
        return kAudioHostOK;
    }
    bool opened[2] = {false, false};
    for (int dir = 0; dir < 2; ++dir) {
        if (dev->mChannels[dir] == 0 || d.mPcm[dir]) continue;
        snd_pcm_t *pcm;
        const int err = openPcm(d, dir, false, &pcm);
        if (err < 0) {
            for (int k = 0; k < dir; ++k)
                if (opened[k]) {
                    snd_pcm_close(d.mPcm[k]);
                    d.mPcm[k] = nullptr;
                }
            return hostCode(err);
        }
        d.mPcm[dir] = pcm;
        d.mPcmPlug[dir] = false;
        opened[dir] = true;
    }
    d.mHog = true;
    return kAudioHostOK;
}

int alsaSetInputMute(tHostDevice *dev, bool muted) {
    tAlsaDevice &d = dataOf(dev);
    // The host mutes in software; unmuting also opens the card's capture
    // switches, as far as the card has any. Best effort: a card without a
    // mixer still unmutes.
    if (muted || d.mMixerName.empty()) return kAudioHostOK;
    snd_mixer_t *mixer;
    if (snd_mixer_open(&mixer, 0) < 0) return kAudioHostOK;
    if (snd_mixer_attach(mixer, d.mMixerName.c_str()) >= 0 && snd_mixer_selem_register(mixer, nullptr, nullptr) >= 0 &&
        snd_mixer_load(mixer) >= 0) {
        for (snd_mixer_elem_t *e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e))
            if (snd_mixer_selem_is_active(e) && snd_mixer_selem_has_capture_switch(e))
                snd_mixer_selem_set_capture_switch_all(e, 1);
    }
    snd_mixer_close(mixer);
    return kAudioHostOK;
}

// ---- the stream ------------------------------------------------------------

enum tIoResult { kIoDone, kIoStop, kIoGone };

// Recovers from an underrun or a suspend; false when the device is gone.
bool recover(snd_pcm_t *pcm, int err, bool capture) {
    if (err == -ESTRPIPE) {
        int r;
        while ((r = snd_pcm_resume(pcm)) == -EAGAIN) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (r == 0) return true;
        err = -EPIPE;
    }
    if (err != -EPIPE) return false;
    if (snd_pcm_prepare(pcm) < 0) return false;
    if (capture) snd_pcm_start(pcm);
    return true;
}

// Moves `frames` device frames, waiting in short slices; an underrun
// re-prepares and goes on.
tIoResult transfer(tAlsaDevice &d, snd_pcm_t *pcm, bool capture, uint8_t *buf, uint32_t frames, size_t frameBytes) {
    uint32_t done = 0;
    while (done < frames) {
        if (d.mStop.load(std::memory_order_relaxed)) return kIoStop;
        const snd_pcm_sframes_t r = capture ? snd_pcm_readi(pcm, buf + done * frameBytes, frames - done)
                                            : snd_pcm_writei(pcm, buf + done * frameBytes, frames - done);
        if (r >= 0) {
            done += uint32_t(r);
            continue;
        }
        if (r == -EAGAIN) {
            const int w = snd_pcm_wait(pcm, kWaitMs);
            if (w >= 0) continue;
            if (!recover(pcm, w, capture)) return kIoGone;
            continue;
        }
        if (!recover(pcm, int(r), capture)) return kIoGone;
    }
    return kIoDone;
}

// A device thread should not wait behind ordinary work, as a system's own
// audio I/O thread does not. Real-time scheduling needs a permission that
// many users lack; without it the thread simply keeps normal priority.
void raisePriority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void streamThread(tAlsaDevice *dp) {
    tAlsaDevice &d = *dp;
    audiohost_markStreamThread();
    raisePriority();
    const tHostStreamSettings &st = d.mSettings;
    tHostDevice *dev = d.mHostDevice;
    const bool hasOut = (st.mDirections & kAudioHostStreamOutput) != 0;
    const bool hasIn = (st.mDirections & kAudioHostStreamInput) != 0;
    const int outCh = hasOut ? st.mFormat[kAudioHostOutput].mChannels : 0;
    const int inCh = hasIn ? st.mFormat[kAudioHostInput].mChannels : 0;
    const size_t outBytes = size_t(st.mFrames) * size_t(outCh) * 4;
    const size_t inBytes = size_t(st.mFrames) * size_t(inCh) * 4;
    snd_pcm_t *pOut = hasOut ? d.mPcm[kAudioHostOutput] : nullptr;
    snd_pcm_t *pIn = hasIn ? d.mPcm[kAudioHostInput] : nullptr;
    const size_t outFrameBytes = size_t(devfmt_bytesPerSample(d.mDevFmt[kAudioHostOutput])) * size_t(outCh);
    const size_t inFrameBytes = size_t(devfmt_bytesPerSample(d.mDevFmt[kAudioHostInput])) * size_t(inCh);

    if (pIn) snd_pcm_start(pIn);
    while (!d.mStop.load(std::memory_order_relaxed)) {
        tAudioHostCycle cyc{};
        cyc.mCycle = dev->mCycle;
        cyc.mFrameTime = dev->mFrameTime;
        if (pIn) {
            const tIoResult r = transfer(d, pIn, true, d.mDeviceBuf[kAudioHostInput].get(),
                                         d.mDevFrames[kAudioHostInput], inFrameBytes);
            if (r != kIoDone) break;
            if (dev->mInputMuted.load(std::memory_order_relaxed))
                std::memset(d.mContainer[kAudioHostInput].get(), 0, inBytes);
            else
                d.mConv[kAudioHostInput](d.mContainer[kAudioHostInput].get(), d.mDeviceBuf[kAudioHostInput].get(),
                                         st.mFrames, inCh);
            cyc.mInput = d.mContainer[kAudioHostInput].get();
            cyc.mInChannels = inCh;
            cyc.mInFrames = st.mFrames;
            cyc.mInBytes = uint32_t(inBytes);
            cyc.mInContainer = st.mContainer[kAudioHostInput];
        }
        if (pOut) {
            std::memset(d.mContainer[kAudioHostOutput].get(), 0, outBytes);
            cyc.mOutput = d.mContainer[kAudioHostOutput].get();
            cyc.mOutChannels = outCh;
            cyc.mOutFrames = st.mFrames;
            cyc.mOutBytes = uint32_t(outBytes);
            cyc.mOutContainer = st.mContainer[kAudioHostOutput];
        }
        st.mProc(st.mClient, &cyc);
        ++dev->mCycle;
        dev->mFrameTime += st.mFrames;
        if (pOut) {
            d.mConv[kAudioHostOutput](d.mDeviceBuf[kAudioHostOutput].get(), d.mContainer[kAudioHostOutput].get(),
                                      st.mFrames, outCh);
            if (transfer(d, pOut, false, d.mDeviceBuf[kAudioHostOutput].get(), d.mDevFrames[kAudioHostOutput],
                         outFrameBytes) != kIoDone)
                break;
        }
    }
    // A device that went away just stops calling; the thread ends and waits
    // for stopStream to join it.
}

// Sets the hardware parameters and checks that ALSA granted exactly what was
// asked. The ALSA buffer holds two cycles, so the device plays one while the
// engine fills the next.
int configure(snd_pcm_t *pcm, int dir, int fmt, int channels, uint32_t deviceRate, uint32_t deviceFrames) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    if (!restrictParams(pcm, hw, fmt, channels) || snd_pcm_hw_params_set_rate(pcm, hw, deviceRate, 0) < 0)
        return kAudioHostErrUnsupported;
    snd_pcm_uframes_t period = deviceFrames;
    int sub = 0;
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &sub);
    snd_pcm_uframes_t buffer = snd_pcm_uframes_t(deviceFrames) * 2;
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    if (snd_pcm_hw_params(pcm, hw) < 0) return kAudioHostErrUnsupported;

    snd_pcm_format_t gotFormat;
    unsigned gotChannels = 0, gotRate = 0;
    int rateDir = 0;
    if (snd_pcm_hw_params_get_format(hw, &gotFormat) < 0 || snd_pcm_hw_params_get_channels(hw, &gotChannels) < 0 ||
        snd_pcm_hw_params_get_rate(hw, &gotRate, &rateDir) < 0)
        return kAudioHostErrIO;
    if (gotFormat != alsaFormat(fmt) || gotChannels != unsigned(channels) || gotRate != deviceRate || rateDir != 0)
        return kAudioHostErrUnsupported;

    snd_pcm_uframes_t gotBuffer = 0;
    snd_pcm_hw_params_get_buffer_size(hw, &gotBuffer);
    snd_pcm_sw_params_t *sw;
    snd_pcm_sw_params_alloca(&sw);
    if (snd_pcm_sw_params_current(pcm, sw) >= 0) {
        // Playback starts once the buffer is full, not on the first frame.
        if (dir == kAudioHostOutput) snd_pcm_sw_params_set_start_threshold(pcm, sw, gotBuffer);
        snd_pcm_sw_params_set_avail_min(pcm, sw, period);
        snd_pcm_sw_params(pcm, sw);
    }
    return snd_pcm_prepare(pcm) < 0 ? kAudioHostErrIO : kAudioHostOK;
}

void closeStreamHandles(tAlsaDevice &d) {
    for (int dir = 0; dir < 2; ++dir) releaseHandle(d, dir);
}

int alsaStartStream(tHostDevice *dev, const tHostStreamSettings &s) {
    tAlsaDevice &d = dataOf(dev);
    if (d.mThread.joinable()) return kAudioHostErrBusy;
    for (int dir = 0; dir < 2; ++dir) {
        d.mDevFmt[dir] = kDevFmtNone;
        d.mContainer[dir].reset();
        d.mDeviceBuf[dir].reset();
        if (!(s.mDirections & (1u << dir))) continue;
        const tAudioHostFormat &f = s.mFormat[dir];
        const int fmt = f.mDeviceFormat;
        // A DSD_U32 frame holds two container frames; half a frame cannot
        // be sent.
        if ((fmt == kDevFmtDsdU32BE || fmt == kDevFmtDsdU32LE) && (s.mFrames % 2) != 0) {
            closeStreamHandles(d);
            return kAudioHostErrUnsupported;
        }
        snd_pcm_t *pcm;
        const int err = acquireHandle(d, dir, d.mUsePlug[dir], &pcm);
        if (err < 0) {
            closeStreamHandles(d);
            return hostCode(err);
        }
        d.mDevFrames[dir] = devfmt_deviceFrames(fmt, s.mFrames);
        const int rc = configure(pcm, dir, fmt, f.mChannels, devfmt_deviceRate(fmt, s.mRate), d.mDevFrames[dir]);
        if (rc != 0) {
            closeStreamHandles(d);
            return rc;
        }
        d.mDevFmt[dir] = fmt;
        d.mConv[dir] = dir == kAudioHostOutput ? devconv_outputFunc(fmt, s.mContainer[dir])
                                               : devconv_inputFunc(fmt, s.mContainer[dir]);
        d.mContainer[dir].reset(new (std::nothrow) uint8_t[size_t(s.mFrames) * size_t(f.mChannels) * 4]);
        d.mDeviceBuf[dir].reset(
            new (std::nothrow)
                uint8_t[size_t(d.mDevFrames[dir]) * size_t(f.mChannels) * size_t(devfmt_bytesPerSample(fmt))]);
        if (!d.mConv[dir] || !d.mContainer[dir] || !d.mDeviceBuf[dir]) {
            closeStreamHandles(d);
            return kAudioHostErrNoMemory;
        }
    }
    d.mSettings = s;
    d.mHostDevice = dev;
    d.mStop.store(false, std::memory_order_relaxed);
    try {
        d.mThread = std::thread(streamThread, &d);
    } catch (const std::system_error &) {
        closeStreamHandles(d);
        return kAudioHostErrNoMemory;
    }
    return kAudioHostOK;
}

void alsaStopStream(tHostDevice *dev) {
    tAlsaDevice &d = dataOf(dev);
    if (d.mThread.joinable()) {
        d.mStop.store(true, std::memory_order_relaxed);
        d.mThread.join();
    }
    closeStreamHandles(d);
}

}  // namespace

// Slots in table order.
const tAudioHostBackend gAlsaBackend = {
    alsaEnumerate,     // enumerate
    alsaCheckFormat,   // checkFormat
    alsaSetHog,        // setHog
    alsaSetInputMute,  // setInputMute
    alsaStartStream,   // startStream
    alsaStopStream,    // stopStream
};

int alsahost_addConfiguredDevice(const char *configText, const char *pcmName, const char *name) {
    if (!configText || !pcmName || !name || !*pcmName || !*name || std::strlen(name) >= size_t(kAudioHostTextSize) ||
        std::strlen(pcmName) + 6 >= size_t(kAudioHostTextSize))
        return kAudioHostErrUnsupported;
    silenceAlsa();
    snd_config_t *top = nullptr;
    if (snd_config_top(&top) < 0) return kAudioHostErrNoMemory;
    tConfigPtr config(top, tConfigDeleter());
    snd_input_t *in = nullptr;
    if (snd_input_buffer_open(&in, configText, -1) < 0) return kAudioHostErrNoMemory;
    const int err = snd_config_load(top, in);
    snd_input_close(in);
    if (err < 0) return kAudioHostErrUnsupported;
    std::lock_guard<std::mutex> lk(alsa().mAddedMutex);
    for (tAddedDevice &a : alsa().mAdded) {
        if (a.mPcmName == pcmName) {
            a.mConfig = config;
            a.mName = name;
            return kAudioHostOK;
        }
    }
    alsa().mAdded.push_back({config, pcmName, name});
    return kAudioHostOK;
}

void alsahost_clearConfiguredDevices() {
    std::lock_guard<std::mutex> lk(alsa().mAddedMutex);
    alsa().mAdded.clear();
}
