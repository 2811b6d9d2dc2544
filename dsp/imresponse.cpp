#include "dsp/imresponse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "base/alignedalloc.h"

namespace {

constexpr uint64_t kIrBufBytes = uint64_t(kImResponseFrames) * 2 * sizeof(double);

// Closes the file on every way out of the loader.
struct FileCloser {
    FILE *fp = nullptr;
    ~FileCloser() { v_close(fp); }
};

}  // namespace

imResponse::imResponse()
    : mWav(kAudioFileProgramBuild),
      mIrBuf(static_cast<double *>(_aligned_malloc(kIrBufBytes, 16))),
      mStage(static_cast<double *>(_aligned_malloc(kIrBufBytes, 16))),
      mReadBuf(static_cast<uint8_t *>(_aligned_malloc(kImResponseReadBytes, 16))),
      mIrFrames(0) {
    if (mIrBuf != nullptr) std::memset(mIrBuf, 0, kIrBufBytes);
}

imResponse::~imResponse() {
    _aligned_free(mIrBuf);
    _aligned_free(mStage);
    _aligned_free(mReadBuf);
}

int imResponse::loadIRfile(const wchar16 *path, int) {
    if (mIrBuf == nullptr || mStage == nullptr || mReadBuf == nullptr) return kImResponseErrMemory;
    if (path == nullptr) return kImResponseErrIO;

    FileCloser file;
    if (v_open(&file.fp, path, "rb") != 0 || file.fp == nullptr) return kImResponseErrIO;

    tRiffStatus status = kRiffStatusUnknown;
    if (mWav.checkHeader(file.fp, &status) != kAudioFileOK) return kImResponseErrFormat;
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t formatTag = 0;
    if (mWav.searchFmtChunk(file.fp, &rate, &bits, &channels, &formatTag) != kAudioFileOK) return kImResponseErrIO;
    uint64_t dataOffset = 0, dataBytes = 0, audioBytes = 0;
    if (mWav.searchData(file.fp, &dataOffset, &dataBytes, &audioBytes) != kAudioFileOK) return kImResponseErrIO;

    // Only what the unpacker reads: this also keeps the frame size above 0
    // and a piece of frames inside the read buffer.
    if (channels < 1 || channels > 2) return kImResponseErrFormat;
    if (bits != 16 && bits != 24 && bits != 32 && bits != 64) return kImResponseErrFormat;
    const uint32_t frameBytes = bits / 8 * channels;
    const uint64_t fileFrames = dataBytes / frameBytes;
    if (fileFrames == 0) return kImResponseErrFormat;
    const int frames = static_cast<int>(std::min<uint64_t>(fileFrames, kImResponseFrames));
    const int pieceFrames = std::min<int>(kImResponsePieceFrames, kImResponseReadBytes / frameBytes);

    if (v_lseek(file.fp, static_cast<int64_t>(dataOffset), 0) != 0) return kImResponseErrIO;
    for (int done = 0; done < frames;) {
        const int n = std::min(pieceFrames, frames - done);
        const uint32_t bytes = static_cast<uint32_t>(n) * frameBytes;
        if (v_read(file.fp, mReadBuf, bytes) != bytes) return kImResponseErrIO;
        if (wav2pcmFunc(mStage + 2 * done, mReadBuf, static_cast<uint32_t>(n), static_cast<uint8_t>(channels),
                        static_cast<uint8_t>(bits), formatTag) != kPcmPackOK)
            return kImResponseErrFormat;
        done += n;
    }

    // A shorter response than the last one must not keep the old one's tail.
    std::memcpy(mIrBuf, mStage, sizeof(double) * 2 * frames);
    std::memset(mIrBuf + 2 * frames, 0, sizeof(double) * 2 * (kImResponseFrames - frames));
    mIrFrames = frames;
    return kImResponseOk;
}
