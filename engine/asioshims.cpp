#include "engine/asioshims.h"

namespace {

// Written and read on the GUI thread only.
QString sAsioNames[kAsioNameStoreSize];
int sAsioNameCount = 0;

}  // namespace

void asioOnReceivedNames(char **names, int count) {
    if (!names || count < 0) count = 0;
    if (count > kAsioNameStoreSize) count = kAsioNameStoreSize;
    for (int i = 0; i < count; ++i) sAsioNames[i] = names[i] ? QString::fromLatin1(names[i]) : QString();
    sAsioNameCount = count;
}

int getAsioDevicesNumber() { return sAsioNameCount; }

QString getAsioReceivednames(int index) { return index >= 0 && index < sAsioNameCount ? sAsioNames[index] : QString(); }

void bufferSwitchCS(tBufferSwitchCSParam *, void *, void *) {}

void bufferSizeChanged(long) {}

void setMainWindowPointer(MainWindow *) {}

audioIoThread::~audioIoThread() {
    stop();
    wait();
}

void audioIoThread::run() {
    while (!mStop.load(std::memory_order_relaxed)) mCount.fetch_add(1, std::memory_order_relaxed);
    mCount2.store(mCount.load(std::memory_order_relaxed), std::memory_order_relaxed);
}
