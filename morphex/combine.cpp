#include "morphex/combine.h"

#include "audiofile/vfile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/morphexjob.h"  // gMorphexMarkListMutex

int audioCombine(int type, const wchar16 *first, const wchar16 *second, const wchar16 *work, const tBwfHdrParam *param,
                 int *progress) {
    if (!param) return kAudioFileErrFormat;
    FILE *f1 = nullptr;
    FILE *f2 = nullptr;
    FILE *fw = nullptr;
    if (!first || v_open(&f1, first, "rb+") != 0 || !f1) return kCombineErrFirst;
    if (!second || v_open(&f2, second, "rb") != 0 || !f2) {
        v_close(f1);
        return kCombineErrSecond;
    }
    if (!work || v_create(&fw, work, "wb+") != 0 || !fw) {
        v_close(f1);
        v_close(f2);
        return kCombineErrFirst;
    }
    pProgress = progress;
    int r;
    {
        // A joined file's size update rewrites its marks through mark list
        // 0, which a conversion job beside us may be using.
        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        r = audiofile_combine(type, f1, f2, fw, param, 0);
    }
    // The word belongs to the caller and may be gone after the call; no
    // later range copy may report into it.
    pProgress = nullptr;
    v_close(f1);
    v_close(f2);
    v_close(fw);
    v_rm(work);
    return r;
}
