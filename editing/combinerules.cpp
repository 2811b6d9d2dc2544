#include "editing/combinerules.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <filesystem>
#include <system_error>

#include "widgets/filenamecheck.h"

namespace {

QString trCombine(const char *text) { return QCoreApplication::translate("DialogCombine", text); }

void addLine(QString &message, const QString &line) {
    if (!message.isEmpty()) message += QLatin1Char('\n');
    message += line;
}

}  // namespace

QString combineBaseName(const QString &fileName) {
    QStringList parts = fileName.split(QLatin1Char('.'));
    parts.removeLast();
    return parts.join(QString());
}

tCombineName combineNameRule(const QString &headPath, const QString &tailPath, const QString &folder) {
    tCombineName n;
    const QString headName = fileNameString(headPath);
    n.headBase = combineBaseName(headName);
    n.tailBase = combineBaseName(fileNameString(tailPath));
    n.fileName = n.headBase + QLatin1Char('_') + n.tailBase;
    n.type = QLatin1Char('.') + headName.split(QLatin1Char('.')).last();

    // The separator is not counted here, so a cut name still gives a 256-unit
    // destination; "COMBINE" then asks for a name two units shorter.
    const int length = folder.length() + n.fileName.length() + n.type.length();
    if (length >= kCombineNameLimit) {
        const int room = kCombineNameLimit - n.type.length() - folder.length();
        if (room >= 0)
            n.fileName.truncate(room);
        else
            n.folderTooLong = true;
    }
    return n;
}

QString combineRefusal(const tCombineCheck &c) {
    const bool stereo = c.mode != kCombineTimeAxis;
    QString m;
    if (!c.headSelected)
        addLine(m, stereo ? trCombine("The L-ch file has not been selected.")
                          : trCombine("The head file has not been selected."));
    if (!c.tailSelected)
        addLine(m, stereo ? trCombine("The R-ch file has not been selected.")
                          : trCombine("The tail file has not been selected."));
    if (!m.isEmpty()) return m;

    if (c.head.fileType != c.tail.fileType) return trCombine("File formats of two files do not match.");
    if (c.head.sampleRate != c.tail.sampleRate)
        addLine(m, trCombine("Sampling frequencies of two files do not match."));
    if (c.head.bitsPerSample != c.tail.bitsPerSample) addLine(m, trCombine("Bit length of two files do not match."));
    if (c.head.channels != c.tail.channels) addLine(m, trCombine("Num. of channels of two files do not match."));
    if (c.head.formatTag != c.tail.formatTag) addLine(m, trCombine("Format ID of channels of two files do not match."));
    if (!m.isEmpty()) return m;

    if (c.destination.length() > kCombineMaxDestination)
        m = trCombine("The file name would be too long.") + QLatin1Char('\n') +
            trCombine("You can shorten the file name and try again,\nor try a location that has a shorter path.");
    if (c.fileName.isEmpty())
        addLine(m,
                trCombine("The file name is blank.") + QLatin1Char('\n') + trCombine("Please give the file a name."));
    if (!m.isEmpty()) return m;

    // Overwriting would remove a file that the combine is about to read.
    if (c.destinationIsSource)
        return trCombine("The combined file would replace one of the two files to combine.") + QLatin1Char('\n') +
               trCombine("Please choose another file name or folder.");
    if (!c.libraryBound) return trCombine("The conversion library could not be loaded.");
    return m;
}

QString combineResultText(int code) {
    if (code >= 0) return trCombine("Combine completed.");
    QString text = trCombine("Combine failed.") + QLatin1Char('\n');
    if (code == -38) text += trCombine("It seems that no disk space left.\nPlease free up disk space.");
    text += QLatin1Char('\n') + trCombine("[Code = %1]").arg(code);
    return text;
}

tAudioFileInfo combineFileRecord(const tAudioFileInfoAFile &info) {
    tAudioFileInfo r;
    r.sampleRate = info.sampleRate;
    r.bitsPerSample = info.bitsPerSample;
    r.channels = info.channels;
    r.dataOffset = info.dataOffset;
    r.dataBytes = (uint64_t{info.dataBytesHigh} << 32) | info.dataBytesLow;
    const uint64_t bitsPerFrame = uint64_t{info.bitsPerSample} * info.channels;
    r.totalSamples = bitsPerFrame ? r.dataBytes * 8 / bitsPerFrame : 0;
    r.seconds = info.sampleRate ? r.totalSamples / info.sampleRate : 0;
    r.fileType = info.fileType;
    r.formatTag = info.formatTag;
    r.startSample = info.startSample;
    return r;
}

QRect combineJoinProgressRect(const QRect &window) {
    const QSize size(100, 50);
    return QRect(QPoint(window.x() + window.width() / 2 - size.width() / 2, window.y() + window.height() / 4), size);
}

bool combineIsSameFile(const QString &a, const QString &b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(std::filesystem::path(QFile::encodeName(a).toStdString()),
                                                  std::filesystem::path(QFile::encodeName(b).toStdString()), ec);
    return !ec && same;
}
