// DSF files: the AccessAudioFile handler for DSD in the DSF container.
//
// Layout (all integers little-endian): a fixed 92-byte header of three
// chunks, "DSD " (28 bytes: total file size, metadata pointer), "fmt "
// (52 bytes: format, channels, rate, sample count, block size) and the
// 12-byte "data" chunk header; then the audio in groups of one 4096-byte
// block per channel, in channel order, each block holding 32768 samples of
// its channel with the earliest sample in the least significant bit; then
// an ID3v2 tag at the metadata pointer. Chunk sizes count the chunk's own
// header. The last block group is filled up with the DSD idle byte 0x96.
//
// Invariant kept by every size update: the metadata pointer, the end of the
// "data" chunk and the ID3v2 tag coincide, the data chunk describes whole
// block groups, and the total file size is the file's length.
//
// The tag (dsftag.h) is written by updateDataSize after every size update:
// the date and software frames, plus the frames of an existing tag that
// copyID3v2TagToTemp kept in a work file. Marks live in a "SYLT" frame of
// that tag. In the conversion library's build the build's saveTag and
// loadMarks (the library's own tag writer and mark loader) take the place
// of saveCueData, saveCueDataNew and loadCueData, so that the size update
// writes the library's tag.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "audiofile/audiofileif.h"
#include "audiofile/chunkutil.h"
#include "audiofile/dsftag.h"
#include "base/alignedalloc.h"
#include "base/wstring.h"

enum : uint32_t {
    kDsfHeaderBytes = 92,  // audio starts here in files this handler writes
    kDsfDsdChunkBytes = 28,
    kDsfFmtChunkBytes = 52,
    kDsfDataHeaderBytes = 12,
    kDsfBlockPerChannel = 4096,  // bytes of one channel's block
    kDsfMaxChannels = 6,         // the format's channel types 1..7 name at most 6 channels
    kDsfReserveSize = 171,       // what a header rewrite may need (getReserveSize)
};

// Offsets inside the "DSD " and "fmt " chunks (from the chunk's start).
enum : uint32_t {
    kDsfDsdTotalSize = 12,    // u64
    kDsfDsdMetaPointer = 20,  // u64, 0 when there is no tag
    kDsfFmtVersion = 12,      // u32, 1
    kDsfFmtFormatId = 16,     // u32, 0 raw DSD
    kDsfFmtChannelType = 20,  // u32
    kDsfFmtChannelNum = 24,   // u32
    kDsfFmtRate = 28,         // u32, hertz
    kDsfFmtBits = 32,         // u32, 1
    kDsfFmtSampleCount = 36,  // u64, per channel
    kDsfFmtBlockSize = 44,    // u32, 4096
};

// How updateDsdFileSize changes the total file size.
enum tDsfSizeHow : uint32_t {
    kDsfSizeAdd = 0,
    kDsfSizeSubtract = 1,
    kDsfSizeSet = 2,  // any other value sets as well
};

class gClass_DsfFile : public AccessAudioFile {
public:
    explicit gClass_DsfFile(const tAudioFileBuild &build = kAudioFileProgramBuild);
    ~gClass_DsfFile() override;
    gClass_DsfFile(const gClass_DsfFile &) = delete;
    gClass_DsfFile &operator=(const gClass_DsfFile &) = delete;

    // "DSD " at 0 and a "fmt " chunk of at least 52 bytes, which is kept for
    // the other operations. -17 when the file does not start with "DSD " (or
    // is shorter than its 28-byte chunk), -1 when "fmt " is missing or short.
    // status is not touched.
    [[nodiscard]] int checkHeader(FILE *fp, tRiffStatus *status) override;
    // dataOffset: first audio byte; dataBytes: the "data" chunk's size field
    // (header included; cut to what the file holds); audioBytes: channels x
    // sample count / 8, at most the data chunk's payload. 0 or -1 (-17 from
    // checkHeader).
    [[nodiscard]] int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) override;
    [[nodiscard]] int searchChunk(FILE *fp, const char *id, uint64_t *offset) override;  // -1
    // rate, bits and channel number of the "fmt " chunk; format tag 0.
    [[nodiscard]] int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                     uint16_t *formatTag) override;
    [[nodiscard]] int searchBextChunk(FILE *fp, uint64_t *startSample) override;  // start 0, -1
    [[nodiscard]] int deleteChunk(FILE *fp, const char *id) override;             // -1
    // Writes the 92-byte header at 0 (total size 92, no tag, 0 samples, data
    // size 0) with param's channels and rate; withBext is ignored (only WAV
    // has a bext chunk; the handlers share one signature). Forgets
    // the tag state and removes a pending tag work file first. -17 for 0 or
    // more than 6 channels or a rate of 0.
    [[nodiscard]] int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) override;
    // Finalises a file whose audio has been written: audioBytes from the
    // data offset on, either whole block groups or the audio alone (c x
    // samples / 8; each channel's last block then holds audioBytes / c mod
    // 4096 bytes). Fills the rest of each channel's last block with 0x96 (a
    // mono writer leaves its last block short), cuts whatever follows the
    // padded audio (an old tag), sets the metadata pointer and the data size
    // from the padded audio and the sample count to samples, writes the tag
    // behind the audio and sets the total file size. -17 when the file lacks
    // audio that audioBytes claims or the header is unusable; -1 on an I/O
    // failure. A failed tag write leaves the file without a tag (pointer 0)
    // and still gives 0: the audio is complete.
    [[nodiscard]] int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) override;
    // src keeps its audio before pos (a byte position in the audio, a whole
    // number of block groups); second (an empty file) receives the header
    // and the audio from pos on. Both get their own tag. work is not used.
    // -17 for a position beyond the audio or inside a block group.
    [[nodiscard]] int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) override;
    // Appends the audio of second to first in place, continuing first's last
    // partly filled block of each channel; param's channels describe both
    // files. work and fileNo are not used. -17 when the two files or param
    // disagree on channels or rate, or second holds less audio than its
    // header claims (checked before first is touched); -1 on I/O failure.
    [[nodiscard]] int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                              uint32_t fileNo) override;
    // Writes the tag (date and software frames plus kept frames); the
    // arguments after fp are ignored (the handlers share one signature). 0, -1 or -17 (see createID3v2Tag).
    [[nodiscard]] int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;
    [[nodiscard]] int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;
    // Replaces mark list listNo by the marks of the tag's mark frame; its
    // modify flag ends clear. 0.
    [[nodiscard]] int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) override;
    [[nodiscard]] int setStartSample(FILE *fp, uint64_t startSample) override;   // -1
    [[nodiscard]] int getStartSample(FILE *fp, uint64_t *startSample) override;  // -1
    uint32_t getReserveSize() override;                                          // 171 + cluster size
    // Header offset of the first chunk with that id, by the DSF chunk walk.
    [[nodiscard]] int searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) override;

    // --- Further operations ---------------------------------------------

    // Total file size = the file's length. -17 when the length cannot be
    // read, -1 when "DSD " cannot be found, read or written.
    [[nodiscard]] int updateFileSizeDsf(FILE *fp);
    // Changes the total file size: how 0 adds value, 1 subtracts it, any
    // other value sets it. 0, or -1 (also when the result would wrap).
    [[nodiscard]] int updateDsdFileSize(FILE *fp, uint64_t value, uint32_t how);
    // Copies a NUL-terminated 16-bit string.
    static wchar16 *w_strcpy_temp(wchar16 *dst, const wchar16 *src);

    // --- Tag code (dsftag.cpp) -------------------------------------------

    // Builds the header and the date and software frames the kept frames
    // lack, appends length bytes of frames, and writes the tag with
    // rebuildID3tag. -17 when it all does not fit the 4 KiB frame buffer or
    // the tag would exceed 2^28 bytes; else rebuildID3tag's result.
    [[nodiscard]] int createID3v2Tag(FILE *fp, const uint8_t *frames, uint32_t length);
    // Replaces the tag behind the audio by: header, the kept frames of the
    // work file (which is removed afterwards), then the newLength bytes of
    // new frames that follow the header in the frame buffer; sets the total
    // file size. 0 or -1.
    [[nodiscard]] int rebuildID3tag(FILE *fp, uint32_t newLength);
    // The tag scan: title, artist and software texts, the date frames
    // present, and up to 100 mark entries. 0, or -1 when there is no tag, a
    // read fails or the tag is damaged (what was found up to there is kept).
    [[nodiscard]] int readID3v2Tag(FILE *fp);
    // The scan and the mark loading of loadCueData (without renumbering).
    [[nodiscard]] int loadCueChunk(FILE *fp, uint64_t totalSamples, int listNo);
    // Copies the frames of an existing version 2.3 or 2.4 tag, except mark
    // frames, to a fresh work file beside fp's file, for the next tag write
    // to keep. 0 or -1.
    [[nodiscard]] int copyID3v2TagToTemp(FILE *fp);
    // The copy itself: from the tag at fp's position into work. 0 or -1.
    [[nodiscard]] int copyID3v2TagToTempExec(FILE *fp, FILE *work, uint8_t version);
    // Syncsafe 28-bit numbers (seven bits a byte, most significant first).
    static uint32_t getTagSize(const uint8_t *bytes);
    static void createID3v2tagSize(uint8_t *bytes, uint32_t value);
    // An empty mark frame (frame header and the 27 bytes of fixed data).
    // out holds at least kDsfMarkFrameFixedBytes + 10; *length = 37. 0.
    int saveMarkData(uint8_t *out, uint32_t *length);
    int makeLylicFrame(uint8_t *out, uint32_t *length);

    // What the last scan found.
    uint32_t framesPresent() const { return mFrmWritten; }  // kDsfTagHas* bits
    uint64_t keptTagSize() const { return mOldTagSize; }    // bytes of kept frames
    uint32_t markEntryCount() const { return mCueCount; }
    // Entry i (kDsfMarkEntryBytes: 36-byte text, 4-byte time stamp).
    const uint8_t *markEntry(uint32_t i) const { return i < mCueCount ? mCueEntries[i] : nullptr; }
    const wchar16 *title() const { return mTitle; }
    const wchar16 *artist() const { return mArtist; }
    const wchar16 *software() const { return mSoftware; }
    // Path of the pending tag work file, empty when there is none.
    const std::string &workFilePath() const { return mWorkPath; }

private:
    int readFmt(FILE *fp, uint8_t *fmt);  // the 52 bytes of "fmt "; 0 or -1
    int fillIdle(FILE *fp, uint64_t offset, uint64_t length);
    int readBlock(FILE *fp, uint64_t offset, uint64_t available, uint8_t *block);
    void forgetTagState();
    void removeWorkFile();
    int writeSizes(FILE *fp, uint64_t metaPointer, uint64_t dataSize, uint64_t samples);

    tAudioFileBuild mBuild;
    ClassChunkUtility mChunk;
    // Null when they could not be allocated.
    tAlignedBuffer<uint8_t> mFrameBuf;     // kDsfTagFrameBufBytes: the tag being assembled
    tAlignedBuffer<uint8_t> mReadBuf;      // kDsfTagReadBufBytes
    tAlignedBuffer<uint8_t> mCopyBuf;      // kDsfTagCopyBufBytes
    tAlignedBuffer<uint8_t> mBlock;        // combine: one block
    tAlignedBuffer<uint8_t> mSilence;      // combine: 4096 bytes of 0x96
    uint8_t mFmt[kDsfFmtChunkBytes] = {};  // "fmt " as checkHeader found it

    // Tag state.
    uint32_t mFrmWritten = 0;  // kDsfTagHas* bits of the scanned or copied tag
    uint64_t mOldTagSize = 0;  // kept frame bytes in the work file
    uint32_t mCueCount = 0;
    uint8_t mCueEntries[kDsfMarkMaxEntries][kDsfMarkEntryBytes] = {};
    wchar16 mTitle[kDsfTagTextUnits] = {};
    wchar16 mArtist[kDsfTagTextUnits] = {};
    wchar16 mSoftware[kDsfTagTextUnits] = {};
    std::string mWorkPath;  // the pending work file, UTF-8
};
