// The device tables and the selection of the output and input devices.
#include "engine/coreaudioio.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <thread>

#include "trace/debugclient.h"

const QStringList builtInOutputNameList = {
    QStringLiteral("Built-in Output"),    QStringLiteral("内蔵出力"),          QStringLiteral("Ausgang (integriert)"),
    QStringLiteral("Sortie intégrée"),    QStringLiteral("内建输出"),          QStringLiteral("Salida integrada"),
    QStringLiteral("Saída integrada"),    QStringLiteral("Встроенный выход"),  QStringLiteral("內建輸出"),
    QStringLiteral("Ingebouwde uitgang"), QStringLiteral("내장 출력"),         QStringLiteral("Wyjście wbudowane"),
    QStringLiteral("Yerleşik Çıkış"),     QStringLiteral("Output Internal"),   QStringLiteral("Output terbina dalam"),
    QStringLiteral("Đầu ra Tích hợp"),    QStringLiteral("Indbygget udgang"),  QStringLiteral("Sisäinen lähtö"),
    QStringLiteral("Inbyggd utgång"),     QStringLiteral("สัญญาณออกในตัวเครื่อง"), QStringLiteral("Vestavěný výstup"),
    QStringLiteral("مخرج متضمن"),
};

const QStringList builtInOutputNameListRec = {QStringLiteral("Built-in Input")};

namespace {

// Our own devices, matched exactly: they are held for exclusive use (the
// last one as an output only), and three of them take 32-bit integers.
const char *const kHogOutputNames[] = {
    "ZOLT USB HS ASYNC AUDIO DEVICE", "ZOLT USB AUDIO DEVICE", "KV-P5",
    "KV-P11 (Bit Accurate)",          "KV-P1 (Bit Accurate)",  "KV-P2 (Bit Accurate)",
    "KV-P17 (Bit Accurate)",          "KV-P18 (Bit Accurate)", "KV-P3",
};
constexpr int kHogInputNameCount = 8;  // the first eight of kHogOutputNames
const char *const kIntegerNames[] = {
    "KV-P2 (Bit Accurate)",
    "KV-P17 (Bit Accurate)",
    "KV-P18 (Bit Accurate)",
};
// Driver variants that are never listed.
const char *const kLeftOutNames[] = {
    "KV-P1 (Bit Accurate)",  "KV-P11 (Bit Accurate)", "KV-P12 (Bit Accurate)", "KV-P13 (Bit Accurate)",
    "KV-P14 (Bit Accurate)", "KV-P15 (Bit Accurate)", "KV-P16 (Bit Accurate)",
};

template <size_t N>
bool inList(const QString &name, const char *const (&list)[N], size_t count = N) {
    for (size_t i = 0; i < count && i < N; ++i)
        if (name == QLatin1String(list[i])) return true;
    return false;
}

// Whether this process runs translated for another processor. Programs run
// natively on this host; nothing translates them.
int queryProcessorType() { return CCoreAudioIOThread::kProcessNative; }

// Exclusive use of a device; prints the outcome. True when held.
bool tryHog(uint32_t id) {
    const int rc = audiohost_setHog(id, true);
    if (rc == kAudioHostOK) {
        std::printf("hog device, OK. %d\n", int(id));
        return true;
    }
    std::printf("Can't hog device, but the format is usable. %d\n", rc);
    return false;
}

void printFormat(const tAudioHostFormat &f) {
    std::printf("rate = %u, bits = %d, channels = %d, bytes per frame = %d\n", f.mRate, f.mBits, f.mChannels,
                f.mBytesPerFrame);
}

}  // namespace

CCoreAudioIOThread::CCoreAudioIOThread() : QThread(nullptr) {
    mRateList = new (std::nothrow) int[kMaxRates]();
    mCurFs = 48000;
    mAUSampleRate = 48000;
    mAUSampleRateRec = 48000;
    mRecParamList_PP = tAudioHostFormat{kAudioHostPcmInt, 48000, 24, 2, 6, 0};
    mPlayChannels.store(2, std::memory_order_relaxed);
    mRecChannels.store(0, std::memory_order_relaxed);
    mFrameBySampleRate = 2048;
    mAUHALEnable = mAUHAL_Integer = mHogModeOK = false;
    mAUHALEnableRec = mAUHAL_IntegerRec = mHogModeOKRec = false;
    mCurDevBuiltInOutput = mCurDevBuiltInInput = false;
    mZoltVx_DsdNative = false;
    mDsd0MuteCount.store(0, std::memory_order_relaxed);
    mAllowAccessBuffer.store(false, std::memory_order_relaxed);
    mStartedHogMode = false;
    startedDev.store(0, std::memory_order_relaxed);
    startedDevRec.store(0, std::memory_order_relaxed);
    mRecDevStarted = false;
    moniStartedF.store(0, std::memory_order_relaxed);
    mRecStreamID = 0;
    procID = procID2 = false;
    mRatedDev = 0;
    mFramesPerBuffer = 0;
    processorType = queryProcessorType();
}

CCoreAudioIOThread::~CCoreAudioIOThread() {
    // run() is never started; should a caller have started it, let it end.
    mRunStop.store(true, std::memory_order_relaxed);
    wait();
    delete[] mRateList;
}

void CCoreAudioIOThread::run() {
    while (!mRunStop.load(std::memory_order_relaxed)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    mRunEnded.store(true, std::memory_order_relaxed);
}

void CCoreAudioIOThread::getDevNames() {
    audiohost_refresh();
    uint32_t ids[kAudioHostMaxDevices];
    const int listed = std::min(audiohost_getDevices(ids, kAudioHostMaxDevices), int(kAudioHostMaxDevices));
    int outs = 0, ins = 0;
    for (int i = 0; i < listed; ++i) {
        tAudioHostDeviceInfo info;
        if (audiohost_getDeviceInfo(ids[i], &info) != kAudioHostOK) continue;
        if (info.mOutChannels <= 0 && info.mInChannels <= 0) continue;
        if (info.mUid[0] == '\0') continue;
        const QString name = QString::fromUtf8(info.mName);
        if (inList(name, kLeftOutNames)) continue;
        // The tables are full: further devices are not offered.
        if (info.mOutChannels > 0 && outs < kMaxDevices) {
            mOutDevNames[outs] = name;
            mOutDevIds[outs++] = info.mId;
        }
        if (info.mInChannels > 0 && ins < kMaxDevices) {
            mInDevNames[ins] = name;
            mInDevIds[ins++] = info.mId;
        }
    }
    mOutDevCount = outs;
    mInDevCount = ins;
}

void CCoreAudioIOThread::getDevSystemInfo(int id) {
    uint32_t rates[kAudioHostMaxRates];
    const int n = audiohost_getRates(uint32_t(id), rates, kAudioHostMaxRates);
    mRateCount = 0;
    if (n <= 0 || !mRateList) return;
    const int kept = std::min({n, int(kAudioHostMaxRates), int(kMaxRates)});
    for (int i = 0; i < kept; ++i) mRateList[i] = int(rates[i]);
    mRateCount = kept;
}

int CCoreAudioIOThread::getBufferSize() { return int(mFrameBySampleRate); }

unsigned CCoreAudioIOThread::getPlayRecChannels(unsigned id, unsigned direction) {
    tAudioHostFormat f;
    if (audiohost_getPhysicalFormat(id, int(direction), &f) != kAudioHostOK) return 0;
    return unsigned(f.mChannels);
}

int CCoreAudioIOThread::selectDevice(int id) {
    const uint32_t dev = uint32_t(id);
    QString name;
    for (int i = 0; i < mOutDevCount; ++i)
        if (mOutDevIds[i] == dev) {
            name = mOutDevNames[i];
            break;
        }
    mCurDevBuiltInOutput = builtInOutputNameList.contains(name);
    if (mCurDevBuiltInOutput) {
        std::printf("BuiltIn AudioDeviceID = %d\n", id);
        mAUHAL_Integer = false;
        (void)audiohost_setDefaultDevice(kAudioHostOutput, dev);
        mHogModeOK = false;
    } else {
        (void)audiohost_setMixing(dev, false);
        mHogModeOK = inList(name, kHogOutputNames) ? tryHog(dev) : false;
        mAUHAL_Integer = inList(name, kIntegerNames);
    }
    mAUHALEnable = true;
    std::printf("AUHAL Enable \n");

    tAudioHostFormat f;
    int rc = audiohost_getPhysicalFormat(dev, kAudioHostOutput, &f);
    if (rc != kAudioHostOK) {
        std::printf("AudioDeviceGetProperty streams err\n");
        return -1;
    }
    printFormat(f);
    if (processorType == kProcessNative) {
        f.mBits = 24;
        // The device keeps the format it has; only a trace monitor hears of it.
        if (audiohost_setPhysicalFormat(dev, kAudioHostOutput, f) != kAudioHostOK && DebugClient::sDebugLevel > 9)
            DebugClient::SendTrace(QStringLiteral("24-bit output format not taken"), "MAIN", 10, __FILE__, __LINE__,
                                   "setupOutput");
        rc = audiohost_getPhysicalFormat(dev, kAudioHostOutput, &f);
    }
    return rc;
}

int CCoreAudioIOThread::selectRecDevice(int id) {
    const uint32_t dev = uint32_t(id);
    QString name;
    for (int i = 0; i < mInDevCount; ++i)
        if (mInDevIds[i] == dev) {
            name = mInDevNames[i];
            break;
        }
    std::printf("RecDevName = %s\n", name.toUtf8().constData());
    const int channels = int(getPlayRecChannels(dev, kAudioHostInput));
    mCurDevBuiltInInput = builtInOutputNameListRec.contains(name);
    if (mCurDevBuiltInInput) {
        (void)audiohost_setDefaultDevice(kAudioHostInput, dev);
        mAUHALEnableRec = true;
        mHogModeOKRec = false;
        mAUHAL_IntegerRec = false;
        std::printf("AUHAL Enable (INPUT) \n");
    } else {
        (void)audiohost_setMixing(dev, false);
        const bool ours = inList(name, kHogOutputNames, kHogInputNameCount);
        if (!ours && channels > 2) {
            // A multichannel interface of another maker is left to the
            // system; only its first stream is read.
            mAUHALEnableRec = false;
            mAUHAL_IntegerRec = false;
            std::printf("AUHAL Disable (INPUT) \n");
        } else {
            mHogModeOKRec = ours ? tryHog(dev) : false;
            mAUHALEnableRec = true;
            std::printf("AUHAL Enable \n");
            mAUHAL_IntegerRec = inList(name, kIntegerNames);
        }
    }
    int rc = audiohost_setDefaultDevice(kAudioHostInput, dev);
    if (rc != kAudioHostOK) std::printf("set input default error ; %d\n", rc);

    tAudioHostFormat f;
    rc = audiohost_getPhysicalFormat(dev, kAudioHostInput, &f);
    if (rc != kAudioHostOK) {
        std::printf("AudioDeviceGetProperty streams err\n");
        return -1;
    }
    mRecStreamID = dev;
    mRecParamList_PP = f;
    mRecParamList_PP.mKind = kAudioHostPcmInt;
    mRecParamList_PP.mBits = 24;
    mRecParamList_PP.mBytesPerFrame = 3 * f.mChannels;
    if (audiohost_setPhysicalFormat(dev, kAudioHostInput, mRecParamList_PP) != kAudioHostOK)
        std::printf("error:AudioStreamSetProperty %d\n", int(mRecStreamID));
    rc = audiohost_getPhysicalFormat(dev, kAudioHostInput, &f);
    if (rc != kAudioHostOK) std::printf("error:AudioStreamGetProperty %d\n", int(mRecStreamID));
    return rc;
}
