#include "app/threadwait.h"

#include <QDeadlineTimer>
#include <QThread>

tThreadWait threadWait_all(QThread *const *threads, int count, int boundMs) {
    const QDeadlineTimer deadline(boundMs);
    bool waited = false;
    for (int i = 0; i < count; ++i) {
        QThread *thread = threads[i];
        if (!thread || !thread->isRunning()) continue;
        waited = true;
        if (!thread->wait(deadline)) return tThreadWait::TimedOut;
    }
    return waited ? tThreadWait::Finished : tThreadWait::NothingToWait;
}
