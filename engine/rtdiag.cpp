#include "engine/rtdiag.h"

#include <QString>

#include <atomic>

#include "engine/bufferswitch.h"
#include "trace/debugclient.h"

namespace {

std::atomic<uint32_t> sRaised{0};
std::atomic<int64_t> sValues[kRtDiagCount];

int bitIndex(uint32_t diag) {
    for (int i = 0; i < kRtDiagCount; ++i)
        if (diag == (1u << i)) return i;
    return -1;
}

}  // namespace

void rtDiag_raise(tRtDiag diag, int64_t value) {
    const int i = bitIndex(diag);
    if (i < 0) return;
    // The value first: the take that sees the bit (acquire) sees it too.
    sValues[i].store(value, std::memory_order_relaxed);
    sRaised.fetch_or(diag, std::memory_order_release);
}

uint32_t rtDiag_take(int64_t values[kRtDiagCount]) {
    const uint32_t raised = sRaised.exchange(0, std::memory_order_acquire);
    for (int i = 0; i < kRtDiagCount; ++i)
        if (values) values[i] = sValues[i].load(std::memory_order_relaxed);
    return raised;
}

uint32_t rtDiag_drain() {
    int64_t v[kRtDiagCount] = {};
    const uint32_t raised = rtDiag_take(v);
    if (raised & kRtDiagBufferTooLarge) bufferSwitchReserve(int(v[bitIndex(kRtDiagBufferTooLarge)]));
    if (DebugClient::sDebugLevel < 10) return raised;
    auto send = [](const QString &text, const char *function) {
        DebugClient::SendTrace(text, "MAIN", 10, "../audioThread", 0, function);
    };
    if (raised & kRtDiagStopTimedOut) send(QStringLiteral("Time Out Play Stop..."), "check_thread_stopRequest");
    if (raised & kRtDiagOddDsdChunk)
        send(QStringLiteral("DSD chunk of %1 bits is no whole number of words").arg(v[bitIndex(kRtDiagOddDsdChunk)]),
             "writeProgramme");
    if (raised & kRtDiagBufferTooLarge)
        send(QStringLiteral("Device buffer of %1 frames beyond the reserved size: buffers grown")
                 .arg(v[bitIndex(kRtDiagBufferTooLarge)]),
             "bufferSwitchCommon");
    if (raised & kRtDiagWorkBufferMissing)
        send(QStringLiteral("Work buffers short for a chunk of %1 frames").arg(v[bitIndex(kRtDiagWorkBufferMissing)]),
             "writeProgramme");
    return raised;
}
