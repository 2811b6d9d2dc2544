// The ID3v2 tag code of the DSF handler and the helpers it shares with the
// conversion library's DSF tag writer.
#include "audiofile/dsftag.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "audiofile/dsffile.h"
#include "audiofile/marklist.h"
#include "audiofile/vfile.h"

const char kDsfMarkDescriptor[] = "KAVELO DSF MARK";
const char kDsfTagWorkFileName[] = "_id3v2tagTemp.bin";

namespace {

const char kSoftwareName[] = "KAVELO Sonvex Editor    ";

bool isTagHeader(const uint8_t *h, uint8_t version) {
    return h[0] == 'I' && h[1] == 'D' && h[2] == '3' && h[3] == version;
}

// A text frame's data into a 16-bit text of at most units - 1 units. With
// encoding 1 the UTF-16 text is taken from its byte-order mark on, so the
// mark stays the first unit; any other encoding is 8-bit text, one unit per
// byte.
void decodeText(const uint8_t *data, uint32_t bytes, wchar16 *out, uint32_t units) {
    uint32_t n = 0;
    if (bytes > 0 && data[0] == 1) {
        for (uint32_t i = 1; i + 1 < bytes && n + 1 < units; i += 2) {
            uint16_t u = static_cast<uint16_t>(data[i] | (data[i + 1] << 8));
            if (u == 0) break;
            out[n++] = static_cast<wchar16>(u);
        }
    } else {
        for (uint32_t i = 1; i < bytes && n + 1 < units; ++i) {
            if (data[i] == 0) break;
            out[n++] = static_cast<wchar16>(data[i]);
        }
    }
    out[n] = 0;
}

// Folder of the file behind fp, with its trailing '/'; empty when the
// system cannot tell.
std::string folderOf(FILE *fp) {
    if (!fp) return std::string();
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(fp));
    char buf[4096];
    ssize_t n = readlink(link, buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    buf[n] = 0;
    std::string path(buf);
    if (path.empty() || path[0] != '/') return std::string();
    size_t slash = path.rfind('/');
    return path.substr(0, slash + 1);
}

}  // namespace

std::string dsfTag_softwareText() {
    char v[32];
    std::snprintf(v, sizeof v, "v%02d.%02d b%04d", kDsfSoftwareVersionMajor, kDsfSoftwareVersionMinor,
                  kDsfSoftwareBuild);
    return std::string(kSoftwareName) + v;
}

uint32_t id3_getSyncsafe(const uint8_t *p) {
    return (static_cast<uint32_t>(p[0] & 0x7F) << 21) | (static_cast<uint32_t>(p[1] & 0x7F) << 14) |
           (static_cast<uint32_t>(p[2] & 0x7F) << 7) | static_cast<uint32_t>(p[3] & 0x7F);
}

void id3_putSyncsafe(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>((value >> 21) & 0x7F);
    p[1] = static_cast<uint8_t>((value >> 14) & 0x7F);
    p[2] = static_cast<uint8_t>((value >> 7) & 0x7F);
    p[3] = static_cast<uint8_t>(value & 0x7F);
}

int dsfTag_locate(FILE *fp, const ClassChunkUtility &chunk, uint64_t *offset, uint8_t *version, uint8_t *header) {
    *offset = 0;
    *version = 0;
    uint64_t dataHdr = 0, dataSize = 0, fileSize = 0;
    if (!fp || chunk.mChunk_searchSpecifiedChunkSize(fp, "data", &dataHdr, &dataSize, kChunkModeDsf) != 0) return -1;
    if (v_getFileSize(fp, &fileSize) != 0) return -1;
    // A data size below its own header cannot be stepped over.
    if (dataSize < 12 || dataSize > fileSize - dataHdr) return -1;
    const uint64_t pos = dataHdr + dataSize;
    if (kId3HeaderBytes > fileSize - pos) return -1;
    uint8_t h[kId3HeaderBytes];
    if (v_readAt(fp, pos, h, sizeof h) != 0) return -1;
    static const uint8_t kOrder[] = {3, 2, 4};
    for (uint8_t v : kOrder) {
        if (isTagHeader(h, v)) {
            *offset = pos;
            *version = v;
            if (header) std::memcpy(header, h, sizeof h);
            return 0;
        }
    }
    return -1;
}

int id3_frameArea(FILE *fp, uint64_t tagOffset, const uint8_t *header, uint8_t *buf, uint64_t *start,
                  uint64_t *length) {
    *start = tagOffset + kId3HeaderBytes;
    *length = 0;
    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0 || tagOffset > fileSize || kId3HeaderBytes > fileSize - tagOffset) return -1;
    const uint8_t version = header[3];
    uint64_t tagSize = id3_getSyncsafe(header + 6);
    // A tag cut short keeps what the file holds.
    const uint64_t room = fileSize - tagOffset - kId3HeaderBytes;
    if (tagSize > room) tagSize = room;

    if ((header[5] & kId3FlagExtendedHeader) && (version == 3 || version == 4)) {
        uint8_t field[4];
        if (tagSize < 4 || v_readAt(fp, tagOffset + kId3HeaderBytes, field, 4) != 0) return -1;
        uint64_t ext = version == 4 ? id3_getSyncsafe(field) : chunk_getBE32(field);
        if (ext > kId3ExtHeaderMax) {
            std::printf("\n expHeadSize size over!");
            std::fflush(stdout);
            return -1;
        }
        if (version == 3) {
            // Size field, then ext bytes: two flag bytes and the padding size
            // (the 4 bytes at tag offset 16), perhaps a CRC.
            if (ext < 6 || ext > tagSize - 4) return -1;
            if (v_readAt(fp, tagOffset + kId3HeaderBytes + 4, buf, static_cast<uint32_t>(ext)) != 0) return -1;
            uint64_t padding = chunk_getBE32(buf + 2);
            uint64_t used = ext + 4;
            if (padding > tagSize - used) return -1;
            *start = tagOffset + kId3HeaderBytes + used;
            *length = tagSize - used - padding;
        } else {
            // The 2.4 size counts the size field itself.
            if (ext < 6 || ext > tagSize) return -1;
            if (v_readAt(fp, tagOffset + kId3HeaderBytes, buf, static_cast<uint32_t>(ext)) != 0) return -1;
            *start = tagOffset + kId3HeaderBytes + ext;
            *length = tagSize - ext;
        }
        return 0;
    }
    *length = tagSize;
    return 0;
}

int id3_nextFrame(FILE *fp, uint8_t version, uint64_t *pos, uint64_t end, tId3Frame *frame) {
    if (*pos > end || kId3FrameHeaderBytes > end - *pos) return 0;
    if (v_readAt(fp, *pos, frame->header, kId3FrameHeaderBytes) != 0) return -1;
    if (frame->header[0] == 0) return 0;  // padding
    std::memcpy(frame->id, frame->header, 4);
    frame->id[4] = 0;
    // ID3v2.4 frame sizes are syncsafe; 2.3 sizes are plain.
    frame->size = version == 4 ? id3_getSyncsafe(frame->header + 4) : chunk_getBE32(frame->header + 4);
    frame->dataOffset = *pos + kId3FrameHeaderBytes;
    if (frame->size > end - frame->dataOffset) return -1;
    *pos = frame->dataOffset + frame->size;
    return 1;
}

void dsfTag_makeMarkEntry(uint8_t *entry, const char *name, uint64_t position, uint32_t rate) {
    std::memset(entry, 0, kDsfMarkEntryBytes);
    std::memset(entry, ' ', 12);
    for (uint32_t i = 0; i < kDsfMarkNameChars && name && name[i]; ++i) entry[i] = static_cast<uint8_t>(name[i]);
    std::memcpy(entry + 12, "@fs=", 4);
    for (int i = 0; i < 16; ++i) {
        entry[kDsfMarkHexOffset + i] =
            static_cast<uint8_t>(conv_bb_ab(static_cast<uint8_t>((position >> (60 - 4 * i)) & 0xF)));
    }
    std::memset(entry + 32, ' ', 3);
    entry[35] = 0;
    uint32_t ms = 0;
    if (rate != 0) {
        float v = static_cast<float>(position) * 1000.0f / static_cast<float>(rate);
        ms = v >= 4294967040.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    }
    chunk_putBE32(entry + kDsfMarkTextBytes, ms);
}

uint64_t dsfTag_markEntryPosition(const uint8_t *entry, uint32_t rate) {
    // The text is zero-terminated inside its 36 bytes.
    const char *text = reinterpret_cast<const char *>(entry);
    size_t len = strnlen(text, kDsfMarkTextBytes);
    for (size_t i = 0; i + 4 <= len; ++i) {
        if (std::memcmp(text + i, "@fs=", 4) != 0) continue;
        uint64_t pos = 0;
        for (size_t k = i + 4; k < i + 20 && k < len; ++k) pos = (pos << 4) | conv_ab_bb(text[k]);
        return pos;
    }
    float v = static_cast<float>(rate) * (static_cast<float>(chunk_getBE32(entry + kDsfMarkTextBytes)) / 1000.0f);
    if (!(v > 0.0f)) return 0;
    if (v >= 18446744073709551615.0f) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

uint32_t dsfTag_makeMarkFrameHead(uint8_t *out, uint32_t count) {
    std::memcpy(out, "SYLT", 4);
    chunk_putBE32(out + 4, kDsfMarkFrameFixedBytes + kDsfMarkEntryBytes * count);
    out[8] = 0;
    out[9] = 0;
    uint8_t *d = out + kId3FrameHeaderBytes;
    d[0] = 0;  // 8-bit text
    std::memcpy(d + 1, "eng", 3);
    d[4] = 2;  // time stamps in milliseconds
    d[5] = 4;  // content type
    d[6] = 0;  // empty content descriptor
    std::memcpy(d + kDsfMarkDescriptorOffset, kDsfMarkDescriptor, 16);
    d[23] = 0x00;
    d[24] = 0x00;
    d[25] = 0x01;
    d[26] = 0x0C;
    return kId3FrameHeaderBytes + kDsfMarkFrameFixedBytes;
}

int dsfTag_parseMarkFrame(const uint8_t *data, uint32_t bytes, uint8_t (*entries)[kDsfMarkEntryBytes]) {
    if (bytes < kDsfMarkFrameFixedBytes || std::memcmp(data + kDsfMarkDescriptorOffset, kDsfMarkDescriptor, 16) != 0)
        return -1;
    int count = 0;
    uint32_t pos = kDsfMarkFrameFixedBytes;
    while (pos < bytes && count < static_cast<int>(kDsfMarkMaxEntries)) {
        const void *nul = std::memchr(data + pos, 0, bytes - pos);
        if (!nul) break;  // an unterminated last text
        uint32_t len = static_cast<uint32_t>(static_cast<const uint8_t *>(nul) - (data + pos));
        if (4 > bytes - pos - len - 1) break;  // no room for its time stamp
        if (len < kDsfMarkTextBytes) {
            uint8_t *e = entries[count++];
            std::memset(e, 0, kDsfMarkEntryBytes);
            std::memcpy(e, data + pos, len);
            std::memcpy(e + kDsfMarkTextBytes, data + pos + len + 1, 4);
        }
        // Texts of 36 characters or more do not fit an entry: skipped.
        pos += len + 1 + 4;
    }
    return count;
}

int dsfTag_createWorkFile(FILE *target, std::string *path, FILE **work) {
    *work = nullptr;
    path->clear();
    std::string tmpl = folderOf(target) + kDsfTagWorkFileName + ".XXXXXX";
    std::string buf(tmpl);
    int fd = mkstemp(&buf[0]);
    if (fd < 0) return -1;
    FILE *fp = fdopen(fd, "wb+");
    if (!fp) {
        close(fd);
        std::remove(buf.c_str());
        return -1;
    }
    *path = buf;
    *work = fp;
    return 0;
}

// ---------------------------------------------------------------------------
// The handler's tag code

void gClass_DsfFile::forgetTagState() {
    mFrmWritten = 0;
    mOldTagSize = 0;
}

void gClass_DsfFile::removeWorkFile() {
    if (!mWorkPath.empty()) std::remove(mWorkPath.c_str());
    mWorkPath.clear();
}

uint32_t gClass_DsfFile::getTagSize(const uint8_t *bytes) { return id3_getSyncsafe(bytes); }

void gClass_DsfFile::createID3v2tagSize(uint8_t *bytes, uint32_t value) { id3_putSyncsafe(bytes, value); }

int gClass_DsfFile::saveMarkData(uint8_t *out, uint32_t *length) {
    *length = dsfTag_makeMarkFrameHead(out, 0);
    return 0;
}

int gClass_DsfFile::makeLylicFrame(uint8_t *out, uint32_t *length) { return saveMarkData(out, length); }

int gClass_DsfFile::saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    if (mBuild.saveTag) return mBuild.saveTag(fp, existing, listNo, totalSamples);
    (void)existing;
    (void)listNo;
    (void)totalSamples;
    return createID3v2Tag(fp, nullptr, 0);
}

int gClass_DsfFile::createID3v2Tag(FILE *fp, const uint8_t *frames, uint32_t length) {
    if (!fp || !mFrameBuf) return kAudioFileErrIO;
    uint8_t *b = mFrameBuf.get();
    std::memcpy(b, "ID3", 3);
    b[3] = 3;
    b[4] = 0;
    b[5] = 0;
    std::memset(b + 6, 0, 4);
    uint32_t n = kId3HeaderBytes;

    std::time_t now = std::time(nullptr);
    std::tm lt{};
    localtime_r(&now, &lt);
    char text[64];
    auto textFrame = [&](const char *id, const std::string &s) {
        const uint32_t size = static_cast<uint32_t>(s.size()) + 2;
        std::memcpy(b + n, id, 4);
        chunk_putBE32(b + n + 4, size);
        b[n + 8] = 0;
        b[n + 9] = 0;
        b[n + 10] = 0;  // 8-bit text
        std::memcpy(b + n + 11, s.data(), s.size());
        b[n + 11 + s.size()] = 0;
        n += kId3FrameHeaderBytes + size;
    };
    if (!(mFrmWritten & kDsfTagHasTYER)) {
        std::snprintf(text, sizeof text, "%04d", (lt.tm_year + 1900) % 10000);
        textFrame("TYER", text);
    }
    if (!(mFrmWritten & kDsfTagHasTDAT)) {
        std::snprintf(text, sizeof text, "%02d%02d", lt.tm_mday % 100, (lt.tm_mon + 1) % 100);
        textFrame("TDAT", text);
    }
    if (!(mFrmWritten & kDsfTagHasTIME)) {
        std::snprintf(text, sizeof text, "%02d%02d", lt.tm_hour % 100, lt.tm_min % 100);
        textFrame("TIME", text);
    }
    if (!(mFrmWritten & kDsfTagHasTSSE)) textFrame("TSSE", dsfTag_softwareText());

    if (length > 0) {
        if (!frames || length > kDsfTagFrameBufBytes - n) return kAudioFileErrFormat;
        std::memcpy(b + n, frames, length);
        n += length;
    }
    const uint64_t newFrames = n - kId3HeaderBytes;
    if (mOldTagSize > kId3SyncsafeMax - newFrames) return kAudioFileErrFormat;
    id3_putSyncsafe(b + 6, static_cast<uint32_t>(newFrames + mOldTagSize));
    return rebuildID3tag(fp, static_cast<uint32_t>(newFrames));
}

int gClass_DsfFile::rebuildID3tag(FILE *fp, uint32_t newLength) {
    if (!fp || !mFrameBuf || !mCopyBuf || newLength > kDsfTagFrameBufBytes - kId3HeaderBytes) {
        removeWorkFile();
        return kAudioFileErrIO;
    }
    // The kept frames must all be there before the old tag is cut.
    FILE *work = nullptr;
    uint64_t kept = mOldTagSize;
    if (kept > 0 && !mWorkPath.empty()) {
        work = std::fopen(mWorkPath.c_str(), "rb");
        uint64_t size = 0;
        if (work && (v_getFileSize(work, &size) != 0 || size < kept)) {
            std::fclose(work);
            work = nullptr;
        }
    }
    // Without its work file, a tag keeps no frames: its size must say so.
    if (!work && kept > 0) {
        kept = 0;
        id3_putSyncsafe(mFrameBuf.get() + 6, newLength);
    }

    int rc = kAudioFileOK;
    uint64_t tagOffset = 0;
    uint8_t version = 0;
    if (dsfTag_locate(fp, mChunk, &tagOffset, &version, nullptr) == 0 &&
        v_ftruncate(fp, static_cast<int64_t>(tagOffset)) != 0)
        rc = kAudioFileErrIO;
    if (rc == 0 && (v_lseek(fp, 0, 2) != 0 || v_write(fp, mFrameBuf.get(), kId3HeaderBytes) != kId3HeaderBytes))
        rc = kAudioFileErrIO;
    if (rc == 0 && work) {
        // Behind the header just written, at the end of the file.
        const int64_t at = v_tell(fp);
        if (at < 0 ||
            v_moveRange(work, 0, fp, static_cast<uint64_t>(at), kept, mCopyBuf.get(), kDsfTagCopyBufBytes) != 0)
            rc = kAudioFileErrIO;
    }
    if (work) std::fclose(work);
    removeWorkFile();
    if (rc == 0 && newLength > 0 && v_write(fp, mFrameBuf.get() + kId3HeaderBytes, newLength) != newLength)
        rc = kAudioFileErrIO;
    if (rc == 0 && v_flush(fp) != 0) rc = kAudioFileErrIO;
    if (rc != 0) return rc;
    uint64_t size = 0;
    if (v_getFileSize(fp, &size) == 0) (void)updateDsdFileSize(fp, size, kDsfSizeSet);
    return kAudioFileOK;
}

int gClass_DsfFile::readID3v2Tag(FILE *fp) {
    mOldTagSize = 0;
    mFrmWritten = 0;
    mCueCount = 0;
    // Texts of an earlier file must not pass for this one's.
    mTitle[0] = mArtist[0] = mSoftware[0] = 0;
    if (!fp || !mReadBuf) return kAudioFileErrIO;
    uint64_t tagOffset = 0;
    uint8_t version = 0;
    uint8_t header[kId3HeaderBytes];
    if (dsfTag_locate(fp, mChunk, &tagOffset, &version, header) != 0) return kAudioFileErrIO;
    // Kept frames are forgotten, so their work file is stale.
    removeWorkFile();

    uint64_t fileSize = 0;
    if (v_getFileSize(fp, &fileSize) != 0) return kAudioFileErrIO;
    if (version == 2) {
        uint64_t size = id3_getSyncsafe(header + 6);
        const uint64_t room = fileSize - tagOffset - kId3HeaderBytes;
        if (size > room) size = room;
        if (size > kDsfTagReadBufBytes - kId3HeaderBytes) size = kDsfTagReadBufBytes - kId3HeaderBytes;
        const uint32_t len = static_cast<uint32_t>(size);
        if (len > 0 && v_readAt(fp, tagOffset + kId3HeaderBytes, mReadBuf.get(), len) != 0) return kAudioFileErrIO;
        uint32_t pos = 0;
        while (kId3v22FrameHeaderBytes <= len - pos) {
            const uint8_t *h = mReadBuf.get() + pos;
            if (h[0] == 0) break;
            uint32_t fsize = (static_cast<uint32_t>(h[3]) << 16) | (static_cast<uint32_t>(h[4]) << 8) | h[5];
            pos += kId3v22FrameHeaderBytes;
            // A frame past what was read is cut to it.
            if (fsize > len - pos) fsize = len - pos;
            const uint8_t *d = mReadBuf.get() + pos;
            if (std::memcmp(h, "TT2", 3) == 0)
                decodeText(d, fsize, mTitle, kDsfTagTextUnits);
            else if (std::memcmp(h, "TP1", 3) == 0)
                decodeText(d, fsize, mArtist, kDsfTagTextUnits);
            else if (std::memcmp(h, "TSS", 3) == 0)
                decodeText(d, fsize, mSoftware, kDsfTagTextUnits);
            pos += fsize;
        }
        return kAudioFileOK;
    }

    uint64_t pos = 0, area = 0;
    if (id3_frameArea(fp, tagOffset, header, mReadBuf.get(), &pos, &area) != 0) return kAudioFileErrIO;
    const uint64_t end = pos + area;
    tId3Frame fr;
    for (;;) {
        int more = id3_nextFrame(fp, version, &pos, end, &fr);
        if (more < 0) return kAudioFileErrIO;
        if (more == 0) return kAudioFileOK;
        const std::string id(fr.id);
        wchar16 *text = id == "TIT2" ? mTitle : id == "TPE1" ? mArtist : id == "TSSE" ? mSoftware : nullptr;
        if (id == "SYLT" || text) {
            // Only the part that fits the read buffer is looked at: no mark
            // frame or text this system uses comes near it.
            uint32_t n = fr.size > kDsfTagReadBufBytes ? kDsfTagReadBufBytes : fr.size;
            if (n > 0 && v_readAt(fp, fr.dataOffset, mReadBuf.get(), n) != 0) return kAudioFileErrIO;
            if (text) {
                decodeText(mReadBuf.get(), n, text, kDsfTagTextUnits);
            } else {
                int count = dsfTag_parseMarkFrame(mReadBuf.get(), n, mCueEntries);
                if (count >= 0) mCueCount = static_cast<uint32_t>(count);
            }
        } else if (id == "TYER") {
            mFrmWritten |= kDsfTagHasTYER;
        } else if (id == "TDAT") {
            mFrmWritten |= kDsfTagHasTDAT;
        } else if (id == "TIME") {
            mFrmWritten |= kDsfTagHasTIME;
        }
    }
}

int gClass_DsfFile::loadCueChunk(FILE *fp, uint64_t totalSamples, int listNo) {
    (void)totalSamples;
    (void)readID3v2Tag(fp);
    gMarkList.create(listNo);
    uint8_t fmt[kDsfFmtChunkBytes];
    uint32_t rate = 0;
    if (fp && readFmt(fp, fmt) == 0) rate = chunk_getLE32(fmt + kDsfFmtRate);
    for (uint32_t i = 0; i < mCueCount; ++i) {
        const uint8_t *e = mCueEntries[i];
        // Room for the label number addMark may append.
        char name[kDsfMarkNameChars + 4] = {};
        std::memcpy(name, e, kDsfMarkNameChars);
        const uint64_t pos = dsfTag_markEntryPosition(e, rate);
        (void)gMarkList.addMark(listNo, 1, 1, name, pos, pos, kMarkFlagSerial | kMarkFlagReserved);
    }
    return kAudioFileOK;
}

int gClass_DsfFile::loadCueData(FILE *fp, uint64_t totalSamples, int listNo) {
    if (mBuild.loadMarks) return mBuild.loadMarks(fp, totalSamples, listNo);
    (void)loadCueChunk(fp, totalSamples, listNo);
    gMarkList.renumber(listNo);
    gMarkList.clrModifyFlag(listNo);
    return kAudioFileOK;
}

int gClass_DsfFile::copyID3v2TagToTemp(FILE *fp) {
    uint64_t tagOffset = 0;
    uint8_t version = 0;
    if (!fp || dsfTag_locate(fp, mChunk, &tagOffset, &version, nullptr) != 0) return kAudioFileErrIO;
    removeWorkFile();
    FILE *work = nullptr;
    std::string path;
    if (dsfTag_createWorkFile(fp, &path, &work) != 0) return kAudioFileErrIO;
    mWorkPath = path;
    if (v_lseek(fp, static_cast<int64_t>(tagOffset), 0) != 0) {
        std::fclose(work);
        removeWorkFile();
        return kAudioFileErrIO;
    }
    int rc = copyID3v2TagToTempExec(fp, work, version);
    if (std::fclose(work) != 0) rc = kAudioFileErrIO;
    if (rc != 0) {
        removeWorkFile();
        forgetTagState();
    }
    return rc;
}

int gClass_DsfFile::copyID3v2TagToTempExec(FILE *fp, FILE *work, uint8_t version) {
    forgetTagState();
    if (!fp || !work || !mReadBuf || !mCopyBuf) return kAudioFileErrIO;
    const int64_t at = v_tell(fp);
    if (at < 0) return kAudioFileErrIO;
    const uint64_t tagOffset = static_cast<uint64_t>(at);
    uint8_t header[kId3HeaderBytes];
    if (v_readAt(fp, tagOffset, header, sizeof header) != 0) return kAudioFileErrIO;
    if (version != 3 && version != 4) return kAudioFileOK;

    uint64_t pos = 0, area = 0;
    if (id3_frameArea(fp, tagOffset, header, mReadBuf.get(), &pos, &area) != 0) return kAudioFileErrIO;
    const uint64_t end = pos + area;
    tId3Frame fr;
    uint32_t bits = 0;
    uint64_t kept = 0;
    for (;;) {
        int more = id3_nextFrame(fp, version, &pos, end, &fr);
        if (more < 0) return kAudioFileErrIO;
        if (more == 0) break;
        const std::string id(fr.id);
        if (id == "SYLT") continue;  // the marks are written anew
        if (id == "TYER") bits |= kDsfTagHasTYER;
        if (id == "TDAT") bits |= kDsfTagHasTDAT;
        if (id == "TIME") bits |= kDsfTagHasTIME;
        if (id == "TSSE") bits |= kDsfTagHasTSSE;
        // The kept frames go into a version 2.3 tag: plain sizes.
        uint8_t h[kId3FrameHeaderBytes];
        std::memcpy(h, fr.header, sizeof h);
        chunk_putBE32(h + 4, fr.size);
        if (v_write(work, h, sizeof h) != sizeof h) return kAudioFileErrIO;
        const int64_t at = v_tell(work);
        if (at < 0 || v_moveRange(fp, fr.dataOffset, work, static_cast<uint64_t>(at), fr.size, mCopyBuf.get(),
                                  kDsfTagCopyBufBytes) != 0)
            return kAudioFileErrIO;
        kept += kId3FrameHeaderBytes + uint64_t{fr.size};
    }
    if (v_flush(work) != 0) return kAudioFileErrIO;
    mFrmWritten = bits;
    mOldTagSize = kept;
    return kAudioFileOK;
}
