// Marks of WAV files (cue, LIST/adtl labels, plst). Until the mark list
// module and the mark chunk writer are in place the handler offers no marks:
// these report "not offered" and touch nothing.
#include "audiofile/wavfile.h"

int gClass_WavFile::saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    (void)fp;
    (void)existing;
    (void)listNo;
    (void)totalSamples;
    return kAudioFileErrIO;
}

int gClass_WavFile::saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    (void)fp;
    (void)existing;
    (void)listNo;
    (void)totalSamples;
    return kAudioFileErrIO;
}

int gClass_WavFile::loadCueData(FILE *fp, uint64_t totalSamples, int listNo) {
    (void)fp;
    (void)totalSamples;
    (void)listNo;
    return kAudioFileErrIO;
}
