#include "morphex/fileinfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/morphexjob.h"  // gMorphexMarkListMutex

namespace {

enum : int { kInfoMarkList = 0, kInfoNameField = 16 };

int failWith(FILE *fp, const char *line, int code) {
    if (fp) v_close(fp);
    if (line) std::printf("%s\n", line);
    return code;
}

}  // namespace

int getFileTypeFromExtention(const wchar16 *path) {
    if (!path) return -1;
    static const struct {
        const char *ext;
        int type;
    } kTypes[] = {
        {".wav", kAudioFileWAV}, {".dsf", kAudioFileDSF}, {".dff", kAudioFileDSDIFF}, {".wsd", kAudioFileWSD}};
    for (const auto &t : kTypes)
        if (checkFileExtention(path, t.ext)) return t.type;
    return -1;
}

int getAudioFileInfo(const wchar16 *path, tAudioFileInfoAFile *info) {
    FILE *fp = nullptr;
    if (!path || !info || v_open(&fp, path, "rb") != 0 || !fp)
        return failWith(nullptr, "Read File Open Error!", kFileInfoErrOpen);

    const int type = getFileTypeFromExtention(path);
    if (type < 0) return failWith(fp, nullptr, kFileInfoErrType);

    tRiffStatus status = kRiffStatusUnknown;
    if (audiofile_checkHeader(type, fp, &status) < 0) return failWith(fp, "Check Header Error!", kFileInfoErrType);

    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t formatTag = 0;
    // A header without channels or bits describes no audio (and the frame
    // count below would divide by zero).
    if (audiofile_searchFmtChunk(type, fp, &rate, &bits, &channels, &formatTag) < 0 || channels == 0 || bits == 0)
        return failWith(fp, "Search FMT Chunk Error!", kFileInfoErrFmt);

    uint64_t dataOffset = 0, dataBytes = 0, audioBytes = 0;
    if (audiofile_searchData(type, fp, &dataOffset, &dataBytes, &audioBytes) < 0)
        return failWith(fp, "Search DATA Chunk Error!", kFileInfoErrData);

    const uint64_t frames = dataBytes * 8 / (uint64_t{channels} * bits);

    // Mark list 0 is shared with conversion jobs on other threads.
    std::lock_guard<std::mutex> markLock(gMorphexMarkListMutex);
    (void)gMarkList.create(kInfoMarkList);
    if (audiofile_loadCueData(type, fp, frames, kInfoMarkList) < 0)
        return failWith(fp, "load cue data Error!", kFileInfoErrData);
    int32_t marks = 0;
    if (gMarkList.getMarkCnt(kInfoMarkList, &marks) != kMarkOk || marks < 0) marks = 0;
    uint32_t stored = 0;
    if (info->marks) {
        for (int32_t i = 0; i < marks; ++i) {
            char name[kMarkNameBytes + 4] = {0};
            uint64_t position = 0;
            (void)gMarkList.getMarkName(kInfoMarkList, i, name);
            (void)gMarkList.getMarkFs(kInfoMarkList, i, &position);
            tAudioFileMarkAFile &m = info->marks[i];
            // The record's name field holds 15 characters and a NUL; longer
            // names are cut.
            std::memset(m.name, 0, sizeof m.name);
            std::memcpy(m.name, name, std::min<size_t>(std::strlen(name), kInfoNameField - 1));
            m.position = position;
            ++stored;
        }
    }

    uint64_t start = 0;
    if (audiofile_searchBextChunk(type, fp, &start) < 0) start = 0;
    v_close(fp);

    info->sampleRate = rate;
    info->bitsPerSample = bits;
    info->channels = channels;
    info->dataOffset = static_cast<uint32_t>(dataOffset);
    info->dataBytesHigh = static_cast<uint32_t>(audioBytes >> 32);
    info->dataBytesLow = static_cast<uint32_t>(audioBytes);
    info->fileType = static_cast<uint32_t>(type);
    info->formatTag = formatTag;
    info->markCount = stored;
    info->startSample = start;
    return kFileInfoOk;
}

int id3tagInfo(int operation, int type, const wchar16 *path, tID3tagInfo *tag) {
    if (operation == 1) {
        if (!tag) return kFileInfoErrTagHandler;
        return audioFile_registerTagData(type, tag) < 0 ? kFileInfoErrTagHandler : kFileInfoOk;
    }
    if (operation != 0) return kFileInfoOk;

    FILE *fp = nullptr;
    if (!path || v_open(&fp, path, "rb") != 0 || !fp) return kFileInfoErrOpen;
    type &= 0xFF;
    if (type == kAudioFileByExtension) {
        type = getFileTypeFromExtention(path);
        if (type < 0) return failWith(fp, nullptr, kFileInfoErrType);
    }
    if (!tag) return failWith(fp, nullptr, kFileInfoErrTagHandler);
    const int rc = audioFIle_loadTagData(type, fp, tag);
    v_close(fp);
    return rc < 0 ? kFileInfoErrTagHandler : kFileInfoOk;
}
