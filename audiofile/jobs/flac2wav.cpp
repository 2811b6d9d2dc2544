#include "audiofile/jobs/flac2wav.h"

#include <FLAC++/decoder.h>

#include <QByteArray>
#include <QList>

#include <cstring>

#include "audiofile/jobs/jobutil.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"

namespace {

constexpr uint32_t kOutBits = 64;
constexpr uint32_t kOutBytes = kOutBits / 8;
// Word lengths a FLAC stream may carry (RFC 9639, section 8.2); the 5-bit
// fields of STREAMINFO and of a frame header can also state 1 to 3.
constexpr uint32_t kMinBits = 4;
constexpr uint32_t kMaxBits = 32;

// "0" .. "2147483647" with nothing else around it; anything else gives 0.
int decimalOrZero(const QByteArray &s) {
    if (s.isEmpty() || s.size() > 10) return 0;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v > INT32_MAX ? 0 : static_cast<int>(v);
}

// Splits at every separator (empty parts kept) and stores part i in
// fields[i] while both last; missing parts leave their fields alone.
void splitInto(const QByteArray &value, char separator, int *const *fields, int count) {
    const QList<QByteArray> parts = value.split(separator);
    for (int i = 0; i < count && i < parts.size(); ++i) *fields[i] = decimalOrZero(parts[i]);
}

// One decoding: the FLAC file decoder with its callbacks writing the WAV
// file. Lives for one apply on the worker's thread.
class OurDecoder final : public FLAC::Decoder::File {
public:
    OurDecoder(FILE *wav, int *progress, tID3tagInfo *tag) : mWavFile(wav), mProgress(progress), mTag(tag) {}
    ~OurDecoder() override {
        _aligned_free(mWork);
        _aligned_free(mOut);
    }
    OurDecoder(const OurDecoder &) = delete;
    OurDecoder &operator=(const OurDecoder &) = delete;

    bool hasStreamInfo() const { return mHasStreamInfo; }
    bool failed() const { return mFailed; }
    bool headerWritten() const { return mHeaderWritten; }
    uint64_t statedTotal() const { return mTotal; }
    uint64_t decoded() const { return mDecoded; }
    uint64_t bytesWritten() const { return mBytesWritten; }
    uint32_t rate() const { return mRate; }
    uint32_t channels() const { return mChannels; }
    uint32_t bits() const { return mBits; }

    // Writes the header of the WAV file (the first frame does it). 0 or -1.
    int writeHeader() {
        tBwfHdrParam p{};
        p.channels = static_cast<uint16_t>(mChannels);
        p.bits = kOutBits;
        p.rate = mRate;
        p.stereo = mChannels != 1 ? 1 : 0;
        // A stream that states no length may grow past what RIFF can state.
        p.rf64 = (mTotal == 0 || jobs_wavNeedsRf64(mTotal * mChannels * kOutBytes)) ? 1 : 0;
        p.integer32 = 0;  // 64-bit samples with tag 3: IEEE float
        if (mWav.createHeader(mWavFile, &p, 0) != kAudioFileOK) return -1;
        if (v_lseek(mWavFile, 0, 2) != 0) return -1;
        mHeaderWritten = true;
        return 0;
    }

    // Sets the WAV sizes from what was written. 0 or -1.
    int finishWav() {
        if (mWav.updateDataSize(mWavFile, mBytesWritten, mDecoded) != kAudioFileOK) return -1;
        return v_flush(mWavFile) == 0 ? 0 : -1;
    }

protected:
    ::FLAC__StreamDecoderWriteStatus write_callback(const ::FLAC__Frame *frame,
                                                    const FLAC__int32 *const buffer[]) override {
        if (mFailed || !mHasStreamInfo) return fail();
        const uint32_t n = frame->header.blocksize;
        const uint32_t ch = frame->header.channels;
        const uint32_t bits = frame->header.bits_per_sample;
        if (ch != mChannels || bits < kMinBits || bits > kMaxBits) return fail();
        // A frame that does not continue where the last one ended means
        // audio was lost (a frame the decoder could not sync to).
        if (frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER &&
            frame->header.number.sample_number != mDecoded)
            return fail();
        if (!mHeaderWritten && writeHeader() != 0) return fail();
        if (n == 0) return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        if (n > mCapacity && grow(n) != 0) return fail();

        // Full scale of the stream's word length maps to +-1.0.
        const double scale = 1.0 / static_cast<double>(uint64_t{1} << (bits - 1));
        double *__restrict work = mWork;
        const FLAC__int32 *__restrict left = buffer[0];
        if (ch == 2) {
            const FLAC__int32 *__restrict right = buffer[1];
            for (uint32_t i = 0; i < n; ++i) {
                work[2 * i] = static_cast<double>(left[i]) * scale;
                work[2 * i + 1] = static_cast<double>(right[i]) * scale;
            }
        } else {
            for (uint32_t i = 0; i < n; ++i) {
                work[2 * i] = static_cast<double>(left[i]) * scale;
                work[2 * i + 1] = 0.0;
            }
        }
        if (pcm2wavFunc(mOut, mWork, n, static_cast<uint8_t>(ch), kOutBits, kPcmDitherNone) != kPcmPackOK)
            return fail();
        const uint32_t bytes = n * ch * kOutBytes;
        if (v_write(mWavFile, mOut, bytes) != bytes) return fail();
        mBytesWritten += bytes;
        mDecoded += n;
        if (mTotal != 0) {
            const uint64_t pct = mDecoded >= mTotal ? 100 : mDecoded * 100 / mTotal;
            jobs_storeProgress(mProgress, static_cast<int>(pct));
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    void metadata_callback(const ::FLAC__StreamMetadata *metadata) override {
        switch (metadata->type) {
        case FLAC__METADATA_TYPE_STREAMINFO: {
            const FLAC__StreamMetadata_StreamInfo &si = metadata->data.stream_info;
            mTotal = si.total_samples;
            mRate = si.sample_rate;
            mChannels = si.channels;
            mBits = si.bits_per_sample;
            mMaxBlock = si.max_blocksize;
            mHasStreamInfo = true;
            // The engine takes one or two channels; a rate of 0 states no
            // audio rate at all.
            if (mChannels < 1 || mChannels > 2 || mBits < kMinBits || mBits > kMaxBits || mRate == 0) mFailed = true;
            break;
        }
        case FLAC__METADATA_TYPE_PICTURE:
            if (mTag) writePicture(metadata->data.picture);
            break;
        case FLAC__METADATA_TYPE_VORBIS_COMMENT:
            if (mTag) takeComments(metadata->data.vorbis_comment);
            break;
        default: break;
        }
    }

    void error_callback(::FLAC__StreamDecoderErrorStatus status) override {
        // A corrupt frame reaches the write callback as silence and an
        // unparseable stream cannot be decoded faithfully: both fail the
        // import. Lost sync is only a failure when audio went missing, which
        // the frame position check and the length check find; it also
        // happens at harmless trailing bytes such as an appended ID3v1 tag.
        if (status == FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH ||
            status == FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM)
            mFailed = true;
    }

private:
    ::FLAC__StreamDecoderWriteStatus fail() {
        mFailed = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }

    int grow(uint32_t n) {
        const uint32_t want = n > mMaxBlock ? n : mMaxBlock;
        _aligned_free(mWork);
        _aligned_free(mOut);
        mWork = static_cast<double *>(_aligned_malloc(uint64_t{want} * 2 * sizeof(double), 16));
        mOut = static_cast<uint8_t *>(_aligned_malloc(uint64_t{want} * mChannels * kOutBytes, 8));
        mCapacity = (mWork && mOut) ? want : 0;
        return mCapacity ? 0 : -1;
    }

    void writePicture(const FLAC__StreamMetadata_Picture &pic) {
        if (!mTag->picturePath) return;
        FILE *fp = nullptr;
        if (v_create(&fp, mTag->picturePath, "wb+") != 0 || !fp) return;
        const bool ok = pic.data_length == 0 || v_write(fp, pic.data, pic.data_length) == pic.data_length;
        mTag->hasPicture = (ok && v_flush(fp) == 0) ? 1 : 0;
        v_close(fp);
    }

    void takeComments(const FLAC__StreamMetadata_VorbisComment &vc) {
        for (FLAC__uint32 i = 0; i < vc.num_comments; ++i) {
            const FLAC__StreamMetadata_VorbisComment_Entry &e = vc.comments[i];
            if (!e.entry) continue;
            takeComment(QByteArray(reinterpret_cast<const char *>(e.entry), static_cast<qsizetype>(e.length)));
        }
    }

    void takeComment(const QByteArray &entry) {
        struct TextKey {
            const char *prefix;
            wchar16 *tID3tagInfo::*field;
        };
        static const TextKey kTexts[] = {
            {"ALBUM=", &tID3tagInfo::album},
            {"TITLE=", &tID3tagInfo::title},
            {"ARTIST=", &tID3tagInfo::artist},
        };
        for (const TextKey &k : kTexts) {
            if (entry.startsWith(k.prefix)) {
                setText(mTag->*k.field, entry.mid(static_cast<qsizetype>(std::strlen(k.prefix))));
                return;
            }
        }
        if (entry.startsWith("TRACKNUMBER=")) {
            mTag->trackNo = decimalOrZero(entry.mid(12));
        } else if (entry.startsWith("GENRE=")) {
            setText(mTag->genre, entry.mid(6));
        } else if (entry.startsWith("TRACKTOTAL=")) {
            mTag->totalTracks = decimalOrZero(entry.mid(11));
        } else if (entry.startsWith("TOTALTRACKS=")) {
            mTag->totalTracks = decimalOrZero(entry.mid(12));
        } else if (entry.startsWith("ORIGDATE=")) {
            int *const date[] = {&mTag->year, &mTag->month, &mTag->day};
            splitInto(entry.mid(9), '-', date, 3);
        } else if (entry.startsWith("ORIGTIME=")) {
            int *const time[] = {&mTag->hour, &mTag->minute};
            splitInto(entry.mid(9), ':', time, 2);
        }
    }

    static void setText(wchar16 *dst, const QByteArray &utf8) {
        jobs_setTagText(dst, kTagTextUnits, QString::fromUtf8(utf8));
    }

    gClass_WavFile mWav;  // program build: no bext unless asked
    FILE *mWavFile;
    int *mProgress;
    tID3tagInfo *mTag;

    uint64_t mTotal = 0;  // STREAMINFO total samples per channel; 0 = not stated
    uint32_t mRate = 0;
    uint32_t mChannels = 0;
    uint32_t mBits = 0;
    uint32_t mMaxBlock = 0;
    bool mHasStreamInfo = false;
    bool mHeaderWritten = false;
    bool mFailed = false;
    uint64_t mDecoded = 0;  // samples per channel written
    uint64_t mBytesWritten = 0;

    double *mWork = nullptr;  // two-lane work frames
    uint8_t *mOut = nullptr;  // packed samples
    uint32_t mCapacity = 0;   // frames both buffers hold
};

}  // namespace

int ClassFlac2Wav::apply(const QString &flacPath, const QString &wavPath, const std::atomic<bool> *abort, int *progress,
                         tID3tagInfo *tag, tFlacFileInfo *info) {
    if (info) *info = tFlacFileInfo{};
    FILE *wav = jobs_open(wavPath, "wb+");
    if (!wav) return kFlacJobFailed;

    bool ok = false;
    {
        OurDecoder dec(wav, progress, tag);
        dec.set_metadata_respond(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        dec.set_metadata_respond(FLAC__METADATA_TYPE_PICTURE);
        FILE *flac = dec.is_valid() ? jobs_open(flacPath, "rb") : nullptr;
        // From init on the decoder owns the FLAC file, whatever init returns,
        // and closes it in finish or when it goes.
        if (flac && dec.init(flac) == FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            bool aborted = false;
            while (dec.get_state() != FLAC__STREAM_DECODER_END_OF_STREAM) {
                if (abort && abort->load(std::memory_order_relaxed)) {
                    aborted = true;
                    break;
                }
                if (!dec.process_single()) break;
            }
            const bool ended = dec.get_state() == FLAC__STREAM_DECODER_END_OF_STREAM;
            dec.finish();
            // The end of the stream is a good end only with audio decoded:
            // metadata that claims the rest of the file, a file cut inside
            // its metadata or frames all lost to sync errors also end it,
            // and a stream that states no length cannot tell them apart.
            ok = !aborted && ended && !dec.failed() && dec.hasStreamInfo() && dec.decoded() > 0 &&
                 (dec.statedTotal() == 0 || dec.decoded() == dec.statedTotal());
            if (ok) ok = dec.headerWritten() && dec.finishWav() == 0;
        }
        if (info && dec.hasStreamInfo())
            *info = tFlacFileInfo{ok ? dec.decoded() : dec.statedTotal(), dec.rate(), dec.channels(), dec.bits()};
    }
    const bool closed = std::fclose(wav) == 0;
    if (!ok || !closed) {
        jobs_remove(wavPath);
        return kFlacJobFailed;
    }
    jobs_storeProgress(progress, 100);
    return kFlacJobOK;
}
