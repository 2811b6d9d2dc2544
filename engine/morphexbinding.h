// The program's one binding to the conversion library libmorphex.
//
// The program does not link against the library's symbols: it loads the
// library file at run time and resolves the entry points by their plain
// names. morphexBinding does that once per library file for the whole
// process and hands every caller the same record of typed entry points;
// the library then stays loaded until the process ends (the work threads
// and the device thread run its code at any time).
//
// Threads: any thread may ask for a binding (a lock guards the first load);
// the record never changes once made, so its entries may be read anywhere,
// the device thread included.
#pragma once

#include <QString>

#include "morphex/decimfir.h"
#include "morphex/morphexapi.h"

// The entry points as the library declares them.
using tMorphexertFunc = decltype(&::morphexert);
using tGetAudioFileInformationFunc = decltype(&::getAudioFileInformation);
using tId3tagInformationFunc = decltype(&::id3tagInformation);
using tCombineFilesFunc = decltype(&::combineFiles);
using tGetAudioWaveFormFunc = decltype(&::getAudioWaveForm);
using tAnalyzeFFTspectrumFunc = decltype(&::analyzeFFTspectrum);
using tInitAnalyzingFFTparamsFunc = decltype(&::initAnalyzingFFTparams);
using tSetDecimationFirParamFunc = decltype(&::setDecimationFirParam);
using tSetMeterFirParamFunc = decltype(&::setMeterFirParam);
using tAudioDecimationFirFunc = decltype(&::gAudioDecimationFir);

// Every entry point the program calls. A null entry did not resolve (or the
// library did not load); each user decides what it does without it.
struct tMorphexBinding {
    bool loaded = false;  // the library file was loaded
    tMorphexertFunc morphexert = nullptr;
    tGetAudioFileInformationFunc getAudioFileInformation = nullptr;
    tId3tagInformationFunc id3tagInformation = nullptr;
    tCombineFilesFunc combineFiles = nullptr;
    tGetAudioWaveFormFunc getAudioWaveForm = nullptr;
    tAnalyzeFFTspectrumFunc analyzeFFTspectrum = nullptr;
    tInitAnalyzingFFTparamsFunc initAnalyzingFFTparams = nullptr;
    tSetDecimationFirParamFunc setDecimationFirParam = nullptr;
    tSetMeterFirParamFunc setMeterFirParam = nullptr;
    tAudioDecimationFirFunc gAudioDecimationFir = nullptr;
};

// The library's file name beside the program.
extern const char *const kMorphexLibraryName;  // "libmorphex.so.1"

// The library file the program binds: the path tests set, else
// kMorphexLibraryName in the program's folder (the application's when there
// is one, else the running executable's).
void setMorphexLibraryPath(const QString &path);
QString morphexLibraryPath();

// The binding of the library file at `path`. The first call for a path
// loads the file and resolves every entry point; later calls return the
// same record. When the file does not load, or a name does not resolve,
// one line on the standard error says which file or name and why; the
// record then has loaded false or that entry null.
const tMorphexBinding &morphexBinding(const QString &path);
// The same for morphexLibraryPath().
const tMorphexBinding &morphexBinding();
