#include "audiofile/jobs/jobutil.h"

#include <QFile>

#include "audiofile/vfile.h"

FILE *jobs_open(const QString &path, const char *mode) {
    if (path.isEmpty()) return nullptr;
    FILE *fp = nullptr;
    if (v_open(&fp, reinterpret_cast<const wchar16 *>(path.utf16()), mode) != 0) return nullptr;
    return fp;
}

int jobs_remove(const QString &path) {
    if (path.isEmpty() || !QFile::exists(path)) return 0;
    return QFile::remove(path) ? 0 : -1;
}

QString jobs_tagText(const wchar16 *text, int capacity) {
    if (!text || capacity <= 0) return QString();
    int n = 0;
    while (n < capacity && text[n] != 0) ++n;
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), n);
}

void jobs_setTagText(wchar16 *dst, int capacity, const QString &text) {
    if (!dst || capacity <= 0) return;
    qsizetype n = text.size();
    if (n > capacity - 1) {
        n = capacity - 1;
        // Never keep the first half of a surrogate pair on its own.
        if (n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    }
    const char16_t *src = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < n; ++i) dst[i] = static_cast<wchar16>(src[i]);
    dst[n] = 0;
}
