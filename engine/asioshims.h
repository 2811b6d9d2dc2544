// Driver shims of the per-channel driver model that nothing in this system
// drives: a store of device names, buffer callbacks that do nothing, and a
// counting test thread that nothing creates.
#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>

class MainWindow;
struct tBufferSwitchCSParam;

enum : int { kAsioNameStoreSize = 30 };

// Stores up to kAsioNameStoreSize names (Latin-1) and their count; names
// beyond the store are dropped, a negative count stores none.
void asioOnReceivedNames(char **names, int count);
int getAsioDevicesNumber();
// The stored name, or an empty text outside 0..count-1.
QString getAsioReceivednames(int index);

void bufferSwitchCS(tBufferSwitchCSParam *param, void *buffers, void *buffers2);
void bufferSizeChanged(long frames);
void setMainWindowPointer(MainWindow *window);

// Counts as fast as it can until stop(); the count then goes to the second
// counter.
class audioIoThread : public QThread {
    Q_OBJECT
public:
    explicit audioIoThread(QObject *parent = nullptr) : QThread(parent) {}
    ~audioIoThread() override;

    void stop() { mStop.store(true, std::memory_order_relaxed); }
    int64_t getTestCount() const { return mCount.load(std::memory_order_relaxed); }
    int64_t getTestCount2() const { return mCount2.load(std::memory_order_relaxed); }

protected:
    void run() override;

private:
    std::atomic<bool> mStop{false};
    std::atomic<int64_t> mCount{0};
    std::atomic<int64_t> mCount2{0};
};
