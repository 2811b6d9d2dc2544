#include "editing/combinethread.h"

#include <QFile>

namespace {

std::vector<wchar16> utf16(const QString &text) {
    std::vector<wchar16> units(static_cast<size_t>(text.size()) + 1, 0);
    for (qsizetype i = 0; i < text.size(); ++i)
        units[static_cast<size_t>(i)] = static_cast<wchar16>(text.at(i).unicode());
    return units;
}

void storeProgress(int *progress, int percent) {
    if (progress) __atomic_store_n(progress, percent, __ATOMIC_RELAXED);
}

// Copies the head into a file created here, so that the output has the
// permissions any new file of the user gets rather than the source's (a
// read-only source would leave a copy the library cannot update, and
// widening the source's bits would make the output writable by everyone).
// A destination that already exists is not touched. On failure nothing is
// left behind.
bool copyHead(const QString &from, const QString &to) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    constexpr qint64 kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 n = in.read(buffer.data(), kChunk);
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (out.write(buffer.constData(), n) != n) {
            ok = false;
            break;
        }
    }
    ok = out.flush() && ok;
    out.close();
    // The library opens the copy for update; an unusual umask must not
    // leave it without the owner's read and write permission.
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (ok && (out.permissions() & owner) != owner) ok = out.setPermissions(out.permissions() | owner);
    if (!ok) QFile::remove(to);
    return ok;
}

}  // namespace

combineThread::combineThread(QObject *parent) : QThread(parent) {}

void combineThread::setParams(const QString &head, const QString &destination, const QString &tail,
                              const QString &temporary, int fileType, const tBwfHdrParam &header, int *progress,
                              tCombineFilesFunc combine) {
    mHeadPath = head;
    mDstPath = destination;
    mTempPath = temporary;
    mDst16 = utf16(destination);
    mTail16 = utf16(tail);
    mTemp16 = utf16(temporary);
    mFileType = fileType;
    mHeader = header;
    mProgress = progress;
    mCombineFiles = combine;
}

void combineThread::run() {
    storeProgress(mProgress, 1);
    if (!mCombineFiles || !copyHead(mHeadPath, mDstPath)) {
        emit allTransactionsDone_(-1);
        return;
    }
    const int result = mCombineFiles(mFileType, mDst16.data(), mTail16.data(), mTemp16.data(), &mHeader, mProgress);
    QFile::remove(mTempPath);
    // A failed append leaves a copy of the head with part of the tail or a
    // header that no longer matches: not a file to keep under the new name.
    if (result < 0) QFile::remove(mDstPath);
    emit allTransactionsDone_(result);
}
