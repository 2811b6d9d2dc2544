#include "engine/morphexbinding.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

const char *const kMorphexLibraryName = "libmorphex.so.1";

namespace {

// Set by tests; read on the GUI thread.
QString sLibraryPathOverride;

struct tBoundLibrary {
    QString path;
    QLibrary library;
    tMorphexBinding entries;
};

template <typename tFunc>
void bindEntry(tBoundLibrary &bound, tFunc &entry, const char *name) {
    entry = reinterpret_cast<tFunc>(bound.library.resolve(name));
    if (!entry)
        std::fprintf(stderr, "SonvexEditor: the conversion library %s has no entry point %s\n", qPrintable(bound.path),
                     name);
}

void bindAll(tBoundLibrary &bound) {
    tMorphexBinding &e = bound.entries;
    if (!bound.library.load()) {
        std::fprintf(stderr, "SonvexEditor: the conversion library %s could not be loaded: %s\n",
                     qPrintable(bound.path), qPrintable(bound.library.errorString()));
        return;
    }
    e.loaded = true;
    bindEntry(bound, e.morphexert, "morphexert");
    bindEntry(bound, e.getAudioFileInformation, "getAudioFileInformation");
    bindEntry(bound, e.id3tagInformation, "id3tagInformation");
    bindEntry(bound, e.combineFiles, "combineFiles");
    bindEntry(bound, e.getAudioWaveForm, "getAudioWaveForm");
    bindEntry(bound, e.analyzeFFTspectrum, "analyzeFFTspectrum");
    bindEntry(bound, e.initAnalyzingFFTparams, "initAnalyzingFFTparams");
    bindEntry(bound, e.setDecimationFirParam, "setDecimationFirParam");
    bindEntry(bound, e.setMeterFirParam, "setMeterFirParam");
    bindEntry(bound, e.gAudioDecimationFir, "gAudioDecimationFir");
}

}  // namespace

void setMorphexLibraryPath(const QString &path) { sLibraryPathOverride = path; }

QString morphexLibraryPath() {
    if (!sLibraryPathOverride.isEmpty()) return sLibraryPathOverride;
    const QString dir = QCoreApplication::instance()
                            ? QCoreApplication::applicationDirPath()
                            : QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    return dir + QLatin1Char('/') + QLatin1String(kMorphexLibraryName);
}

const tMorphexBinding &morphexBinding(const QString &path) {
    static std::mutex lock;
    // Never freed: the entries must stay valid while any thread may still
    // call into the library, up to the process's end.
    static auto *bindings = new std::map<QString, std::unique_ptr<tBoundLibrary>>;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<tBoundLibrary> &bound = (*bindings)[path];
    if (!bound) {
        bound = std::make_unique<tBoundLibrary>();
        bound->path = path;
        bound->library.setFileName(path);
        bindAll(*bound);
    }
    return bound->entries;
}

const tMorphexBinding &morphexBinding() { return morphexBinding(morphexLibraryPath()); }
