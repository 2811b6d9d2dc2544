#include "app/deviceaccess.h"

#include "app/startupthreads.h"
#include "engine/contcoreaudiothread.h"
#include "platform/audiohost/audiohost.h"

namespace {

// The device layer's id of list position `index` (0: none).
uint32_t idAt(const uint32_t *ids, int count, int index) { return index >= 0 && index < count ? ids[index] : 0; }

}  // namespace

tMainDeviceAccess mainDevices_forLayer(CContCoreAudioThread *control) {
    tMainDeviceAccess access;
    CCoreAudioIOThread *io = control->ioThread();
    access.enumerate = [io](QStringList *outputs, QStringList *inputs) {
        io->getDevNames();
        outputs->clear();
        inputs->clear();
        for (int i = 0; i < io->mOutDevCount; ++i) *outputs << io->mOutDevNames[i];
        for (int i = 0; i < io->mInDevCount; ++i) *inputs << io->mInDevNames[i];
    };
    access.rates = [io](int device) {
        QVector<int> rates;
        const uint32_t id = idAt(io->mOutDevIds, io->mOutDevCount, device);
        if (id == 0) return rates;
        io->getDevSystemInfo(int(id));
        for (int i = 0; i < io->mRateCount && io->mRateList; ++i) rates << io->mRateList[i];
        return rates;
    };
    access.bufferFrames = [io] { return io->getBufferSize(); };
    access.select = [io](int play, int rec) {
        if (const uint32_t id = idAt(io->mOutDevIds, io->mOutDevCount, play)) (void)io->selectDevice(int(id));
        if (const uint32_t id = idAt(io->mInDevIds, io->mInDevCount, rec)) (void)io->selectRecDevice(int(id));
    };
    access.channels = [io](int device, bool input) {
        const uint32_t id =
            input ? idAt(io->mInDevIds, io->mInDevCount, device) : idAt(io->mOutDevIds, io->mOutDevCount, device);
        if (id == 0) return 0;
        return int(io->getPlayRecChannels(id, input ? kAudioHostInput : kAudioHostOutput));
    };
    access.restartAt = [control, io](int play, int rec, int rate) {
        const uint32_t playId = idAt(io->mOutDevIds, io->mOutDevCount, play);
        if (playId == 0) return false;
        // The callbacks let go of the buffers first; then the control thread
        // stops the stream, re-rates the device and starts the stream again.
        io->AudioStopReq();
        control->addTransaction(new ClassStopAudioQueue);
        startup_sleepMs(1);
        // Stored for the two jobs that follow; written after the stop job
        // was queued, read when each job starts.
        control->setSamplingFreq(int(playId), unsigned(rate));
        if (rec >= 0) control->setSamplingFreqRec(int(idAt(io->mInDevIds, io->mInDevCount, rec)), rate);
        control->addTransaction(new ClassSetSampleRateCoreAudio);
        startup_sleepMs(1);
        control->addTransaction(new ClassStartAudioQueue);
        // The device layer's settle waits take most of a second; the wait
        // is bounded, and a device that does not answer in time stays
        // silent until the watchdog reports it.
        startup_waitDeviceStop(CCoreAudioIOThread::mAUHALEnable, control);
        return !control->isBusy();
    };
    access.settles = [io](int device) {
        const uint32_t id = idAt(io->mOutDevIds, io->mOutDevCount, device);
        tAudioHostDeviceInfo info{};
        return id != 0 && audiohost_getDeviceInfo(id, &info) == kAudioHostOK && !info.mVirtual;
    };
    return access;
}
