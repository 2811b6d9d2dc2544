#include "app/jobrecord.h"

#include "morphex/fileinfo.h"

int jobRecord_fileInfo(const tAudioFileInfoAFile &lib, tAudioFileInfo *info) {
    // A description the library should never give, but a zero here would be
    // a division by zero; report it as the library reports a file without a
    // usable format, so the caller's message for that applies.
    const uint64_t frameBits = uint64_t(lib.bitsPerSample) * lib.channels;
    if (frameBits == 0 || lib.sampleRate == 0) return kFileInfoErrFmt;

    info->sampleRate = lib.sampleRate;
    info->bitsPerSample = lib.bitsPerSample;
    info->channels = lib.channels;
    info->dataOffset = lib.dataOffset;
    info->dataBytes = (uint64_t(lib.dataBytesHigh) << 32) | lib.dataBytesLow;
    // × 8 first keeps the exact count; only a size beyond 2^61 bytes, which
    // no real file has, would overflow it, and is divided first instead.
    if (info->dataBytes < (uint64_t(1) << 61))
        info->totalSamples = info->dataBytes * 8 / frameBits;
    else
        info->totalSamples = info->dataBytes / frameBits * 8;
    info->seconds = info->totalSamples / lib.sampleRate;
    info->fileType = lib.fileType;
    info->formatTag = lib.formatTag;
    info->startSample = lib.startSample;
    return 0;
}

void jobRecord_setFeedFormat(tMorphexParam *param, int32_t playFs, uint32_t playFsIndex) {
    param->rateIndex = playFsIndex;
    param->outChannels = 2;
    if (playFs >= kJobRecordDsdPlayRate) {
        param->fileType = 3;
        param->bits = 1;
        param->dstPath = u"converted.dff";
    } else {
        param->fileType = 0;
        param->bits = 24;
        param->dstPath = u"converted.wav";
    }
    param->mode = 0;
    param->option = 0;
}

int64_t jobRecord_startOffset(uint32_t sampleRate, double delayMs) {
    return int64_t(double(sampleRate) * delayMs / 1000.0);
}

bool jobRecord_isShortFile(uint64_t seconds) { return seconds < kJobRecordShortSeconds; }

void jobRecord_fillFeed(tMorphexParam *param, const tAudioFileInfo &info, const tJobRecordFeed &feed) {
    for (double &v : param->panVol) v = 0.0;
    param->panVol[0] = 1.0;
    param->panVol[3] = 1.0;
    param->fileCount = 1;
    param->progress = 0;
    param->com = tMorphexCom{};
    param->com.track = uint32_t(feed.track);
    param->com.command = kMorphexComFeedOnly;
    param->startOffset = jobRecord_startOffset(info.sampleRate, feed.delayMs);
    param->com.startSample = feed.cursorSample - param->startOffset;
    param->com.endSample = int64_t(info.totalSamples);
    param->com.peq = feed.peq;
    param->com.dither = feed.dither;
}
