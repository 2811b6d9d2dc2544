#include "audiofile/jobs/wav2flac.h"

#include <FLAC++/encoder.h>
#include <FLAC++/metadata.h>

#include <QByteArray>

#include <cmath>
#include <cstring>
#include <memory>

#include "audiofile/jobs/jobutil.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"

namespace {

constexpr uint32_t kBlockFrames = 1024;     // frames handed to the encoder at a time
constexpr uint32_t kReadBufBytes = 32768;   // holds 1024 frames of two 24-bit samples with room
constexpr uint32_t kSampleBufBytes = 8192;  // 1024 frames of two 32-bit samples
constexpr uint32_t kWorkBufBytes = 32768;   // 1024 two-lane work frames
constexpr uint32_t kPaddingBytes = 4096;
constexpr uint32_t kCompressionLevel = 5;

constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kJfifStart[4] = {0xFF, 0xD8, 0xFF, 0xE0};
constexpr uint8_t kExifStart[4] = {0xFF, 0xD8, 0xFF, 0xE1};

struct AlignedFree {
    void operator()(void *p) const { _aligned_free(p); }
};
template <typename T>
using AlignedPtr = std::unique_ptr<T, AlignedFree>;

template <typename T>
AlignedPtr<T> alignedAlloc(uint64_t bytes, uint64_t alignment) {
    return AlignedPtr<T>(static_cast<T *>(_aligned_malloc(bytes, alignment)));
}

// A work-frame sample on the 32-bit grid, rounded to nearest (ties to even,
// the default rounding mode), then cut to the source's word length. The
// sources are 16- or 24-bit integers, which the unpacker maps exactly, so
// this gives back the file's own integers; +1.0, which no integer source
// produces, is held at the largest value.
inline FLAC__int32 toSample(double x, int shift) {
    double v = x * 2147483648.0;
    if (!(v == v)) v = 0.0;
    if (v > 2147483647.0) v = 2147483647.0;
    if (v < -2147483648.0) v = -2147483648.0;
    return static_cast<FLAC__int32>(std::nearbyint(v)) >> shift;
}

void convertBlock(FLAC__int32 *__restrict out, const double *__restrict work, uint32_t n, uint32_t channels,
                  int shift) {
    if (channels == 2) {
        for (uint32_t i = 0; i < 2 * n; ++i) out[i] = toSample(work[i], shift);
    } else {
        for (uint32_t i = 0; i < n; ++i) out[i] = toSample(work[2 * i], shift);
    }
}

// "KEY=value" with the value in UTF-8. false when libFLAC refuses it.
bool appendComment(FLAC::Metadata::VorbisComment &vc, const char *key, const QString &value) {
    const QByteArray utf8 = value.toUtf8();
    FLAC::Metadata::VorbisComment::Entry e(key, utf8.constData(), static_cast<uint32_t>(utf8.size()));
    return e.is_valid() && vc.append_comment(e);
}

bool buildComments(FLAC::Metadata::VorbisComment &vc, const tID3tagInfo *tag) {
    if (!tag) return true;
    struct TextKey {
        const char *key;
        const wchar16 *text;
    };
    const TextKey texts[] = {
        {"TITLE", tag->title}, {"ALBUM", tag->album}, {"ARTIST", tag->artist}, {"GENRE", tag->genre}};
    for (const TextKey &t : texts) {
        const QString s = jobs_tagText(t.text, kTagTextUnits);
        if (!s.isEmpty() && !appendComment(vc, t.key, s)) return false;
    }
    if (tag->trackNo > 0 && !appendComment(vc, "TRACKNUMBER", QString::number(tag->trackNo))) return false;
    if (tag->year > 0 || tag->month > 0 || tag->day > 0) {
        QString d = QString::number(tag->year < 1 ? 2000 : tag->year);
        d += '-' + QString::number(tag->month < 1 ? 1 : tag->month);
        if (tag->day >= 1) d += '-' + QString::number(tag->day);
        if (!appendComment(vc, "ORIGDATE", d)) return false;
    }
    if (tag->hour > 0 || tag->minute > 0) {
        QString t = QString::number(tag->hour < 0 ? 0 : tag->hour);
        t += ':' + QString::number(tag->minute < 0 ? 0 : tag->minute);
        if (!appendComment(vc, "ORIGTIME", t)) return false;
    }
    return true;
}

}  // namespace

int checkPicMetadata(FILE *fp, tPicFileType *type) {
    *type = kPicFileNone;
    uint8_t head[20];
    if (!fp || v_lseek(fp, 0, 0) != 0) return -1;
    const uint32_t n = v_read(fp, head, sizeof head);
    if (n >= sizeof kPngSignature && std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0) {
        *type = kPicFilePNG;
        return 0;
    }
    if (n >= sizeof kJfifStart && (std::memcmp(head, kJfifStart, sizeof kJfifStart) == 0 ||
                                   std::memcmp(head, kExifStart, sizeof kExifStart) == 0)) {
        *type = kPicFileJPEG;
        return 0;
    }
    return -1;
}

ClassWav2Flac::~ClassWav2Flac() { _aligned_free(mPicture); }

// Reads the album art into the picture buffer. No art, art that is neither
// PNG nor JPEG, and art too large for a FLAC block all give 0 with no
// picture; -1 when the art file cannot be read whole.
int ClassWav2Flac::loadPicture(const tID3tagInfo *tag, tPicFileType *type) {
    *type = kPicFileNone;
    if (!tag || !tag->picturePath || tag->picturePath[0] == 0) return 0;
    FILE *fp = nullptr;
    if (v_open(&fp, tag->picturePath, "rb") != 0 || !fp) return 0;
    uint64_t size = 0;
    int rc = 0;
    if (v_getFileSize(fp, &size) != 0) {
        rc = -1;
    } else if (checkPicMetadata(fp, type) == 0 && size <= kFlacPictureMaxBytes) {
        mPicture = static_cast<uint8_t *>(_aligned_malloc(size, 16));
        if (!mPicture) {
            rc = -1;
        } else {
            mPictureBytes = static_cast<uint32_t>(size);
            std::memset(mPicture, 0, size);
            if (v_lseek(fp, 0, 0) != 0 || v_read(fp, mPicture, mPictureBytes) != mPictureBytes) rc = -1;
        }
    } else {
        *type = kPicFileNone;
    }
    v_close(fp);
    return rc;
}

int ClassWav2Flac::encode(const QString &flacPath, FILE *wav, const std::atomic<bool> *abort, int *progress,
                          const tID3tagInfo *tag, bool *created) {
    gClass_WavFile wavFile;
    tRiffStatus kind = kRiffStatusUnknown;
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t formatTag = 0;
    uint64_t dataOffset = 0, dataBytes = 0, audioBytes = 0;
    if (wavFile.checkHeader(wav, &kind) != kAudioFileOK ||
        wavFile.searchFmtChunk(wav, &rate, &bits, &channels, &formatTag) != kAudioFileOK ||
        wavFile.searchData(wav, &dataOffset, &dataBytes, &audioBytes) != kAudioFileOK)
        return kFlacJobFailed;
    // The encoder could take wider words, but the export only ever hands it
    // 16 or 24 bits; anything else would be a float or 32-bit intermediate
    // that has no lossless place in the stream written here.
    if ((bits != 16 && bits != 24) || (channels != 1 && channels != 2) || !FLAC__format_sample_rate_is_subset(rate))
        return kFlacJobFailed;
    const uint32_t frameBytes = bits / 8 * channels;
    mTotalFrames = audioBytes / frameBytes;

    AlignedPtr<uint8_t> readBuf = alignedAlloc<uint8_t>(kReadBufBytes, 16);
    AlignedPtr<FLAC__int32> samples = alignedAlloc<FLAC__int32>(kSampleBufBytes, 4);
    AlignedPtr<double> work = alignedAlloc<double>(kWorkBufBytes, 16);
    if (!readBuf || !samples || !work) return kFlacJobFailed;

    tPicFileType picType = kPicFileNone;
    if (loadPicture(tag, &picType) != 0) return kFlacJobFailed;

    const int shift = bits == 16 ? 16 : 8;

    // The blocks must outlive the encoder's use of them, which lasts until
    // it is finished, on error paths by its destructor: made before it.
    FLAC::Metadata::VorbisComment comments;
    FLAC::Metadata::Picture picture;
    FLAC::Metadata::Padding padding;
    if (!comments.is_valid() || !picture.is_valid() || !padding.is_valid()) return kFlacJobFailed;

    FLAC::Encoder::File enc;
    if (!enc.is_valid()) return kFlacJobFailed;
    enc.set_verify(true);
    enc.set_compression_level(kCompressionLevel);
    enc.set_channels(channels);
    enc.set_bits_per_sample(bits);
    enc.set_sample_rate(rate);
    enc.set_total_samples_estimate(mTotalFrames);

    if (!buildComments(comments, tag)) return kFlacJobFailed;
    padding.set_length(kPaddingBytes);
    FLAC::Metadata::Prototype *blocks[3] = {&comments, &padding, nullptr};
    uint32_t blockCount = 2;
    if (picType != kPicFileNone && mPicture) {
        picture.set_type(FLAC__STREAM_METADATA_PICTURE_TYPE_OTHER);
        if (!picture.set_mime_type(picType == kPicFilePNG ? "image/png" : "image/jpeg") ||
            !picture.set_description(reinterpret_cast<const FLAC__byte *>("")) ||
            !picture.set_data(mPicture, mPictureBytes))
            return kFlacJobFailed;
        picture.set_width(0);
        picture.set_height(0);
        picture.set_depth(0);
        picture.set_colors(0);
        blocks[1] = &picture;
        blocks[2] = &padding;
        blockCount = 3;
    }
    if (!enc.set_metadata(blocks, blockCount)) return kFlacJobFailed;

    FILE *out = jobs_open(flacPath, "w+b");
    if (!out) return kFlacJobFailed;
    *created = true;
    // From init on the encoder owns the file, whatever init returns.
    if (enc.init(out) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) return kFlacJobFailed;

    if (v_lseek(wav, static_cast<int64_t>(dataOffset), 0) != 0) return kFlacJobFailed;
    uint64_t remaining = mTotalFrames;
    while (remaining > 0) {
        if (abort && abort->load(std::memory_order_relaxed)) return kFlacJobFailed;
        const uint32_t n = remaining < kBlockFrames ? static_cast<uint32_t>(remaining) : kBlockFrames;
        const uint32_t bytes = n * frameBytes;
        if (v_read(wav, readBuf.get(), bytes) != bytes) return kFlacJobFailed;
        if (wav2pcmFunc(work.get(), readBuf.get(), n, static_cast<uint8_t>(channels), static_cast<uint8_t>(bits),
                        kWaveFormatIeeeFloat) != kPcmPackOK)
            return kFlacJobFailed;
        convertBlock(samples.get(), work.get(), n, channels, shift);
        if (!enc.process_interleaved(samples.get(), n)) {
            std::printf("encode error.\n");
            return kFlacJobFailed;
        }
        remaining -= n;
        jobs_storeProgress(progress, static_cast<int>((mTotalFrames - remaining) * 100 / mTotalFrames));
    }
    // finish writes the last frame and the final STREAMINFO; with verify on
    // it also fails when the last frame does not decode back to its input.
    return enc.finish() ? kFlacJobOK : kFlacJobFailed;
}

int ClassWav2Flac::apply(const QString &flacPath, const QString &wavPath, const std::atomic<bool> *abort, int *progress,
                         tID3tagInfo *tag, tFlacFileInfo * /*info*/) {
    FILE *wav = jobs_open(wavPath, "rb");
    if (!wav) return kFlacJobFailed;
    bool created = false;
    const int rc = encode(flacPath, wav, abort, progress, tag, &created);
    v_close(wav);
    if (rc != kFlacJobOK) {
        // The encoder has closed the file by now; what it holds is not a
        // complete stream of the source.
        if (created) jobs_remove(flacPath);
        return rc;
    }
    jobs_storeProgress(progress, 100);
    return kFlacJobOK;
}
