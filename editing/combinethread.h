// The worker of the combine window's "On the time axis" mode: copies the
// head file to the destination and has the conversion library append the
// tail file to that copy in place. One combine per start; the window sets
// the job with setParams while the thread is not running.
//
// Threads: setParams on the GUI thread before start(); run on the worker.
// The progress word is written here and by the library and read by the
// window's timer without a lock (relaxed atomic accesses).
#pragma once

#include <QString>
#include <QThread>

#include <vector>

#include "audiofile/audiofileif.h"
#include "engine/morphexbinding.h"  // tCombineFilesFunc
#include "morphex/morphexapi.h"

class combineThread : public QThread {
    Q_OBJECT
public:
    explicit combineThread(QObject *parent = nullptr);

    // The next combine: head (copied), destination (written), tail
    // (appended), the library's work file, the head's file type code, the
    // header record (channels, bits, rate, time reference), the caller's
    // progress word in percent (must outlive the job) and the entry point.
    void setParams(const QString &head, const QString &destination, const QString &tail, const QString &temporary,
                   int fileType, const tBwfHdrParam &header, int *progress, tCombineFilesFunc combine);

    // The library call cannot be interrupted, so there is nothing to stop.
    void stop() {}

signals:
    // Once per run: 0 on success, -1 when the head could not be copied (or
    // nothing is bound), else the library's negative code.
    void allTransactionsDone_(int status);

protected:
    void run() override;

private:
    QString mHeadPath;
    QString mDstPath;
    QString mTempPath;
    std::vector<wchar16> mDst16;
    std::vector<wchar16> mTail16;
    std::vector<wchar16> mTemp16;
    int mFileType = 0;
    tBwfHdrParam mHeader{};
    int *mProgress = nullptr;
    tCombineFilesFunc mCombineFiles = nullptr;
};
