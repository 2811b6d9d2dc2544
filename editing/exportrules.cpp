#include "editing/exportrules.h"

#include <QCoreApplication>
#include <QMessageBox>

const char *const kExportFlacTempName = "SonvexEditorFlacExportTemp.wav";
const char *const kExportBounceBaseName = "SonvexBounceTemp";

namespace {

QString trEdit(const char *text) { return QCoreApplication::translate("DialogEdit", text); }

struct RateRow {
    const char *text;
    uint32_t hz;
    int rateIndex;
    const char *suffix;
};

const RateRow kRates[] = {
    {"44.1kHz", 44100, 0, "_44k"},       {"48kHz", 48000, 1, "_48k"},         {"88.2kHz", 88200, 2, "_88k"},
    {"96kHz", 96000, 3, "_96k"},         {"176.4kHz", 176400, 4, "_176k"},    {"192kHz", 192000, 5, "_192k"},
    {"352.8kHz", 352800, 6, "_352k"},    {"384kHz", 384000, 7, "_384k"},      {"705.6kHz", 705600, 8, "_705k"},
    {"768kHz", 768000, 9, "_768k"},      {"2.8MHz", 2822400, 16, "_2.8M"},    {"5.6MHz", 5644800, 17, "_5.6M"},
    {"11.2MHz", 11289600, 18, "_11.2M"}, {"22.5MHz", 22579200, 19, "_22.5M"},
};

constexpr uint32_t kDsdRateFloor = 2822400;

}  // namespace

tExportFormat exportFormatOfIndex(int index) {
    tExportFormat f;
    switch (index) {
    case 2:
        f.fileType = kExportDsf;
        f.extension = QStringLiteral(".dsf");
        f.dsd = true;
        break;
    case 1:
        f.fileType = kExportDsdiff;
        f.extension = QStringLiteral(".dff");
        f.dsd = true;
        break;
    default:
        f.fileType = kExportWav;
        f.extension = QStringLiteral(".wav");
        break;
    }
    return f;
}

tExportRate exportRateOfText(const QString &text) {
    for (const RateRow &row : kRates) {
        if (text == QLatin1String(row.text)) {
            tExportRate r;
            r.hz = row.hz;
            r.rateIndex = row.rateIndex;
            r.suffix = QLatin1String(row.suffix);
            return r;
        }
    }
    tExportRate r;
    r.suffix = QStringLiteral("_44k");
    return r;
}

tExportBits exportBitsOfText(const QString &text) {
    if (text == QLatin1String("1bit")) return {1, false};
    if (text == QLatin1String("16bit")) return {16, true};
    if (text == QLatin1String("24bit")) return {24, true};
    if (text == QLatin1String("32bit Float") || text == QLatin1String("32bit Int")) return {32, false};
    return {16, true};
}

tExportMenus exportMenusFor(bool dsd, int fileType) {
    tExportMenus m;
    if (dsd) {
        m.bits = QStringList{QStringLiteral("1bit")};
        m.rates = QStringList{QStringLiteral("2.8MHz"), QStringLiteral("5.6MHz"), QStringLiteral("11.2MHz")};
        m.bitIndex = 0;
        m.rateIndex = 0;
        return m;
    }
    const bool flac = fileType == kExportFlac;
    m.bits = QStringList{QStringLiteral("16bit"), QStringLiteral("24bit")};
    if (!flac) m.bits << QStringLiteral("32bit Float");
    m.rates = QStringList{QStringLiteral("44.1kHz"), QStringLiteral("48kHz"),    QStringLiteral("88.2kHz"),
                          QStringLiteral("96kHz"),   QStringLiteral("176.4kHz"), QStringLiteral("192kHz")};
    if (!flac) m.rates << QStringLiteral("352.8kHz") << QStringLiteral("384kHz");
    m.bitIndex = 1;   // "24bit"
    m.rateIndex = 1;  // "48kHz"
    return m;
}

int exportDitherMode(int index) { return index == 1 || index == 2 ? index : 0; }

int exportChannelsOfIndex(int index) { return index != 0 ? 2 : 1; }

QStringList exportChannelList(int channels, int trackCount) {
    if (channels == 1 && trackCount <= 1) return QStringList{QStringLiteral("MONO")};
    return QStringList{QStringLiteral("DUAL MONO"), QStringLiteral("STEREO")};
}

int exportStereoFlagOfText(const QString &channelText) {
    if (channelText == QLatin1String("MONO")) return 1;
    if (channelText == QLatin1String("DUAL MONO")) return 2;
    return 0;
}

QString exportPassName(const QString &name, const QString &extension, bool dualMono, bool rightPass) {
    if (!dualMono) return name + extension;
    return name + (rightPass ? QStringLiteral("_02") : QStringLiteral("_01")) + extension;
}

QString exportShownName(const QString &name, const QString &extension, bool dualMono) {
    return dualMono ? name + QStringLiteral("_01 & 02") + extension : name + extension;
}

QStringList exportDestinations(const QString &folder, const QString &name, const QString &extension, bool dualMono) {
    const QString dir = folder + QLatin1Char('/');
    if (!dualMono) return QStringList{dir + exportPassName(name, extension, false, false)};
    return QStringList{dir + exportPassName(name, extension, true, false),
                       dir + exportPassName(name, extension, true, true)};
}

QString exportRefusal(const QStringList &destinations, const QString &name) {
    for (const QString &path : destinations) {
        if (path.size() >= kExportPathLimit)
            return trEdit("The file name would be too long.") + QLatin1Char('\n') +
                   trEdit("You can shorten the file name and try again,\nor try a location that has a shorter path.");
    }
    if (name.isEmpty())
        return trEdit("The file name is blank.") + QLatin1Char('\n') + trEdit("Please give the file a name.");
    return QString();
}

bool exportIsLatin1(const QString &text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x100) return false;
    return true;
}

int exportFileRecord(const tAudioFileInfoAFile &info, tAudioFileInfo *out) {
    if (!out || info.channels == 0 || info.bitsPerSample == 0 || info.sampleRate == 0) return kExportErrSource;
    tAudioFileInfo r;
    r.sampleRate = info.sampleRate;
    r.bitsPerSample = info.bitsPerSample;
    r.channels = info.channels;
    r.dataOffset = info.dataOffset;
    r.dataBytes = (static_cast<uint64_t>(info.dataBytesHigh) << 32) | info.dataBytesLow;
    // 128-bit: the byte count of a large file times 8 leaves 64 bits.
    r.totalSamples = static_cast<uint64_t>(static_cast<unsigned __int128>(r.dataBytes) * 8 /
                                           (static_cast<uint64_t>(info.channels) * info.bitsPerSample));
    r.seconds = r.totalSamples / info.sampleRate;
    r.fileType = info.fileType;
    *out = r;
    return 0;
}

int64_t exportMinimumFade(uint32_t sourceRate, bool shortFade) {
    return shortFade ? static_cast<int64_t>(sourceRate * 0.1) : 0;
}

void exportBounceParams(tBounceParam *record, int rate, int channels, const QString &folder) {
    if (!record) return;
    const bool pcm = rate < static_cast<int>(kDsdRateFloor);
    const QString extension = pcm ? QStringLiteral(".wav") : QStringLiteral(".dff");
    record->extension = extension.toStdU16String();
    record->bits = pcm ? 32 : 1;
    record->fileType = pcm ? kExportWav : kExportDsdiff;
    record->outRate = rate;
    record->channels = channels;
    record->bouncePath =
        (folder + QLatin1Char('/') + QLatin1String(kExportBounceBaseName) + extension).toStdU16String();
}

QString exportResultText(int code) {
    if (code >= 0) return trEdit("Export completed.");
    if (code == kExportCancelPcm || code == kExportCancelDsd) return trEdit("Export aborted.");
    QString text;
    if (code == kExportErrWrite || code == kExportErrUpdateSize)
        text = trEdit("Write file failed.");
    else if (code == kExportErrDiskFull)
        text = trEdit("Write file failed.\nIt seems that no disk space left.\nPlease free up disk space.");
    else
        text = trEdit("Export failed.");
    return text + QLatin1Char('\n') + trEdit("[Code = %1]").arg(code);
}

bool exportFailureRemovesFiles(int code) {
    // The library refuses a destination that is the source before it opens
    // anything: that file is the user's source and must stay.
    return code < 0 && code != kExportCancelPcm && code != kExportCancelDsd && code != kExportErrSameFile;
}

QString exportFailedText(int code) {
    return trEdit("Export failed.") + QLatin1Char('\n') + trEdit("[Code = %1]").arg(code);
}

QString exportSameFileText() {
    return trEdit("The exported file would replace the file being exported.") + QLatin1Char('\n') +
           trEdit("Please choose another file name or folder.");
}

bool exportRegionTooShort(const tWaveEditParam &region) {
    return region.outPoint - region.inPoint <= kExportShortestRegion;
}

bool exportCheckRegion(QWidget *parent, const tWaveEditParam &region) {
    if (!exportRegionTooShort(region)) return true;
    QMessageBox::warning(parent, trEdit("Cannot Export"), trEdit("IN - OUT too short."));
    return false;
}
