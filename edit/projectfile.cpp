#include "edit/projectfile.h"

#include "audiofile/timecode.h"
#include "trace/debugclient.h"

#include <QDomElement>
#include <QDomText>
#include <QFile>
#include <QFileDialog>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstring>

const tAes31Entry aes31tableVersion[] = {
    {0, "ADL_ID", "06,64,43,52,01,01,01,04,01,02,03,04,"},
    {1, "ADL_UID", "4f1c2a90-7d3e-11e5-8b52-0a0b0c0d0e0f"},
    {2, "VER_ADR_VERSION", "01.02"},
    {3, "VER_CREATEOR", "KAVELO Sonvex Editor"},  // spelled so in every file
    {4, "VER_CRTR", "01.00"},
};
const tAes31Entry aes31tableProject[] = {
    {6, "PROJ_TITLE", "Project"}, {7, "PROJ_ORIGINATOR", "KAVELO"}, {8, "PROJ_CREATE_DATE", ""},
    {9, "PROJ_NOTES", ""},        {10, "PROJ_CLIENT_DATA", ""},
};
// Kept with the others; the system section is not written.
const tAes31Entry aes31tableSystem[] = {
    {12, "SYS_SRC_OFFSET", "00:00:00,00|0000"},
    {13, "SYS_BIT_DEPTH", "24"},
    {15, "SYS_XFADE_LEN", "0"},
    {16, "SYS_SYS_GAIN", "0.0"},
};
const tAes31Entry aes31tableSequence[] = {
    {18, "SEQ_TITLE", "\"_\""},        {19, "SEQ_DESCRIPT", "\"_\""}, {20, "SEQ_SAMPLE_RATE", "S44100"},
    {21, "SEQ_SAMP_RATE_FACTOR", "1"}, {22, "SEQ_FRAME_RATE", "30"},  {23, "SEQ_ADL_LEVEL", "1"},
    {24, "SEQ_CLEAN", "FALSE"},        {26, "SEQ_MULTICHAN", "TRUE"}, {27, "SEQ_DEST_START", "00:00:00,00|0000"},
};
const int kAes31tableVersionSize = sizeof(aes31tableVersion) / sizeof(aes31tableVersion[0]);
const int kAes31tableProjectSize = sizeof(aes31tableProject) / sizeof(aes31tableProject[0]);
const int kAes31tableSystemSize = sizeof(aes31tableSystem) / sizeof(aes31tableSystem[0]);
const int kAes31tableSequenceSize = sizeof(aes31tableSequence) / sizeof(aes31tableSequence[0]);

namespace {

// The frame type every point list is written in: 29.97 non-drop.
constexpr int kProjectFrameType = kTc29_97;
constexpr int kDefaultSampleRate = 44100;

// Every loader trace goes out only at a trace level above 9.
#define PROJECT_TRACE(msg)                                                                                         \
    do {                                                                                                           \
        if (DebugClient::sDebugLevel > 9) DebugClient::SendTrace((msg), "MAIN", 10, __FILE__, __LINE__, __func__); \
    } while (0)

enum tTableQuoting { kQuoteAllBut2And4, kQuoteAll, kQuoteNone };

QString tableText(const tAes31Entry *table, int rows, tTableQuoting quoting, int sampleRate) {
    QString text = QStringLiteral("\n");
    for (int i = 0; i < rows; ++i) {
        const tAes31Entry &e = table[i];
        text += QStringLiteral("\t\t(") + QLatin1String(e.key) + QStringLiteral(")\t");
        QString value = QString::fromUtf8(e.value);
        if (std::strcmp(e.key, "SEQ_SAMPLE_RATE") == 0) value = QStringLiteral("S") + QString::number(sampleRate);
        bool quoted = quoting == kQuoteAll || (quoting == kQuoteAllBut2And4 && e.id != 2 && e.id != 4);
        if (quoted)
            text += QLatin1Char('"') + value + QLatin1Char('"');
        else
            text += value;
        text += QLatin1Char('\n');
    }
    text += QStringLiteral("    ");
    return text;
}

QDomElement addTextElement(QDomDocument &doc, QDomElement &parent, const QString &name, const QString &text) {
    QDomElement e = doc.createElement(name);
    parent.appendChild(e);
    if (!text.isEmpty()) e.appendChild(doc.createTextNode(text));
    return e;
}

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

// The lines of a section text; empty parts are kept so that the line count
// traced matches the text.
QStringList sectionLines(const QDomElement &section) {
    if (section.isNull()) return QStringList();
    QString text = section.firstChild().toText().data();
    return text.split(QLatin1Char('\n'));
}

// A run of ASCII digits (no sign) as a number; false when it is not one.
bool plainDigits(const QString &s, int *out) {
    if (s.isEmpty() || s.size() > 9) return false;
    int v = 0;
    for (QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        v = v * 10 + (c.unicode() - '0');
    }
    *out = v;
    return true;
}

int toIntOr0(const QString &s) {
    bool ok = false;
    int v = s.toInt(&ok);
    return ok ? v : 0;
}

// Malformed numbers, and ones too large to be a setting (an overflow to
// infinity), read as 0.
double toDoubleOr0(const QString &s) {
    bool ok = false;
    double v = s.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

}  // namespace

projectFile::projectFile(QWidget *parent)
    : QWidget(parent),
      mTrackCount(0),
      mLoadedCount(0),
      mFrameType(kProjectFrameType),
      mSampleRate(kDefaultSampleRate),
      mLevel(),
      mPan(),
      mEq(),
      mDelay() {
    for (int i = 0; i < kProjectMaxTracks; ++i) mTrackNames.append(QString());
    createNewAdl();
}

projectFile::~projectFile() = default;

// ---------------------------------------------------------------- sources

int projectFile::appendTrack(const QString &path) {
    if (mTrackCount >= kProjectMaxTracks) return kProjectErrRange;
    mSourcePaths.append(path);
    ++mTrackCount;
    return kProjectOK;
}

int projectFile::deleteTrack(int index) {
    if (index >= 0 && index < mTrackCount) {
        // The later entries move down one place; the TRACK elements are
        // named after their place when the document is built.
        mSourcePaths.removeAt(index);
        if (mTrackCount > 0) --mTrackCount;
        mLevel[index].count = 0;
        mPan[index].count = 0;
    }
    return mTrackCount;
}

// ---------------------------------------------------------------- points

int projectFile::appendPoint(tPointList *lists, int track, float value, int position) {
    if (track < 0 || track >= kProjectMaxTracks) return kProjectErrRange;
    tPointList &l = lists[track];
    if (l.count >= kProjectMaxPoints) return kProjectErrRange;
    l.pt[l.count].position = position;
    l.pt[l.count].value = value;
    ++l.count;
    return kProjectOK;
}

void projectFile::deletePoint(tPointList *lists, int track, int index) {
    if (track < 0 || track >= kProjectMaxTracks) return;
    tPointList &l = lists[track];
    if (l.count <= 0) return;
    if (index < 0) index = 0;
    if (index >= l.count) index = l.count - 1;
    for (int i = index; i + 1 < l.count; ++i) l.pt[i] = l.pt[i + 1];
    --l.count;
}

void projectFile::sortPoints(tPointList *lists, int tracks) {
    for (int t = 0; t < tracks && t < kProjectMaxTracks; ++t) {
        tPointList &l = lists[t];
        std::stable_sort(l.pt, l.pt + l.count,
                         [](const tProjectPoint &a, const tProjectPoint &b) { return a.position < b.position; });
    }
}

int projectFile::appendVolData(int track, float level, int position) {
    return appendPoint(mLevel, track, level, position);
}

int projectFile::appendPanData(int track, float pan, int position) { return appendPoint(mPan, track, pan, position); }

void projectFile::clearVolData(int track) {
    if (track >= 0 && track < kProjectMaxTracks) mLevel[track].count = 0;
}

void projectFile::clearPanData(int track) {
    if (track >= 0 && track < kProjectMaxTracks) mPan[track].count = 0;
}

void projectFile::deleteVolData(int track, int index) { deletePoint(mLevel, track, index); }
void projectFile::deletePanData(int track, int index) { deletePoint(mPan, track, index); }
void projectFile::sortFadeData() { sortPoints(mLevel, mTrackCount); }
void projectFile::sortPanData() { sortPoints(mPan, mTrackCount); }

double projectFile::getParameterFromList(tADLParam kind, int track, int position) const {
    if (kind != kADLParamLevel && kind != kADLParamPan) return 0.0;
    double none = kind == kADLParamLevel ? 1.0 : 0.0;
    if (track < 0 || track >= kProjectMaxTracks) return none;
    const tPointList &l = kind == kADLParamLevel ? mLevel[track] : mPan[track];
    uint64_t pos = static_cast<uint64_t>(static_cast<int64_t>(position));
    for (int i = 0; i < l.count; ++i)
        if (static_cast<uint64_t>(l.pt[i].position) <= pos) return l.pt[i].value;
    return none;
}

int projectFile::pointCount(tADLParam kind, int track) const {
    if (track < 0 || track >= kProjectMaxTracks) return 0;
    if (kind == kADLParamLevel) return mLevel[track].count;
    if (kind == kADLParamPan) return mPan[track].count;
    return 0;
}

const tProjectPoint *projectFile::points(tADLParam kind, int track) const {
    if (track < 0 || track >= kProjectMaxTracks) return nullptr;
    if (kind == kADLParamLevel) return mLevel[track].pt;
    if (kind == kADLParamPan) return mPan[track].pt;
    return nullptr;
}

// ---------------------------------------------------------------- settings

void projectFile::setProjectSampleRate(int hz) {
    // Positions are converted at this rate; a rate of 0 would divide by it.
    if (hz > 0) mSampleRate = hz;
}

void projectFile::setTrackListName(int index, const QString &name) {
    if (index < 0 || index >= kProjectMaxTracks) return;
    mTrackNames[index] = name;
}

int projectFile::setEqParams(int index, const tProjectEQParams *params) {
    if (index < 0 || index >= kProjectEqRecords || !params) return kProjectErrRange;
    mEq[index] = *params;
    return kProjectOK;
}

tProjectEQParams *projectFile::getEqParams(int index) {
    if (index < 0 || index >= kProjectEqRecords) return nullptr;
    return &mEq[index];
}

void projectFile::setDelayTime(int track, int64_t samples) {
    if (track < 0 || track >= kProjectMaxTracks) return;
    mDelay[track] = static_cast<double>(samples);
}

double projectFile::getDelayTime(int track) const {
    if (track < 0 || track >= kProjectMaxTracks) return 0.0;
    return mDelay[track];
}

QString projectFile::getSampleRateIndicator() const {
    switch (mSampleRate) {
    case 48000: return QStringLiteral("/");
    case 88200: return QStringLiteral("@");
    case 96000: return QStringLiteral("*");
    default: return QStringLiteral("|");
    }
}

// ---------------------------------------------------------------- writing

void projectFile::createNewAdl() {
    mDoc = QDomDocument();
    QDomElement root = mDoc.createElement(QStringLiteral("SONVEXEDITOR"));
    mDoc.appendChild(root);
    addTextElement(mDoc, root, QStringLiteral("VERSION"),
                   tableText(aes31tableVersion, kAes31tableVersionSize, kQuoteAllBut2And4, mSampleRate));
    addTextElement(mDoc, root, QStringLiteral("PROJECT"),
                   tableText(aes31tableProject, kAes31tableProjectSize, kQuoteAll, mSampleRate));
}

QString projectFile::pointListText(tPointList *lists, const char *tag, int decimals) {
    sortPoints(lists, mTrackCount);
    QString text = QStringLiteral("\n");
    for (int t = 0; t < mTrackCount; ++t) {
        const tPointList &l = lists[t];
        for (int i = 0; i < l.count; ++i) {
            tTimeCode tc;
            gTc_convSampleToTimeCode(static_cast<uint64_t>(l.pt[i].position), mSampleRate, mFrameType, &tc);
            text += QStringLiteral("\t(") + QLatin1String(tag) + QStringLiteral(") ") + QString::number(t + 1) +
                    QLatin1Char(' ') + twoDigits(tc.hour) + QLatin1Char('.') + twoDigits(tc.minute) + QLatin1Char('.') +
                    twoDigits(tc.second) + QLatin1Char('.') + twoDigits(tc.frame) + QLatin1Char('|') +
                    QStringLiteral("%1").arg(tc.sampleOffset, 4, 10, QLatin1Char('0')) + QLatin1Char(' ') +
                    QString::number(l.pt[i].value, 'f', decimals) + QLatin1Char('\n');
        }
    }
    text += QStringLiteral("    ");
    return text;
}

void projectFile::createProjectFile() {
    createNewAdl();
    QDomElement root = mDoc.documentElement();
    addTextElement(mDoc, root, QStringLiteral("SEQUENCE"),
                   tableText(aes31tableSequence, kAes31tableSequenceSize, kQuoteNone, mSampleRate));

    QString tracks = QStringLiteral("\n");
    for (int i = 1; i <= mTrackCount; ++i)
        tracks += QStringLiteral("\t(Track) ") + QString::number(i) + QStringLiteral(" \"") + mTrackNames[i - 1] +
                  QStringLiteral("\"\n");
    tracks += QStringLiteral("    ");
    mTrackListText = tracks;
    addTextElement(mDoc, root, QStringLiteral("TRACKLIST"), tracks);

    if (mTrackCount > 0) {
        QDomElement index = mDoc.createElement(QStringLiteral("SOURCE_INDEX"));
        root.appendChild(index);
        for (int i = 0; i < mTrackCount; ++i) {
            QDomElement track = mDoc.createElement(QStringLiteral("TRACK") + QString::number(i + 1));
            index.appendChild(track);
            addTextElement(mDoc, track, QStringLiteral("FILEPATH"), mSourcePaths[i]);
        }
    }

    mFaderListText = pointListText(mLevel, "FP", 2);
    addTextElement(mDoc, root, QStringLiteral("FADER_LIST"), mFaderListText);
    mPanListText = pointListText(mPan, "PP", 1);
    addTextElement(mDoc, root, QStringLiteral("PAN_LIST"), mPanListText);

    auto onText = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    QDomElement peq = mDoc.createElement(QStringLiteral("PEQ"));
    root.appendChild(peq);
    for (int i = 0; i <= mTrackCount; ++i) {
        QString name =
            i < mTrackCount ? QStringLiteral("TRACK") + QString::number(i + 1) : QStringLiteral("TRACK_MASTER");
        QDomElement track = mDoc.createElement(name);
        peq.appendChild(track);
        const tProjectEQParams &eq = mEq[i];
        addTextElement(mDoc, track, QStringLiteral("ALL"),
                       onText(eq.allOn) + QLatin1Char(' ') + QString::number(eq.allGain, 'f', 1));
        for (int k = 0; k < 4; ++k) {
            const tProjectEQBand &b = eq.band[k];
            addTextElement(mDoc, track, QStringLiteral("EQ") + QString::number(k + 1),
                           onText(b.on) + QLatin1Char(' ') + QString::number(b.freq, 'f', 1) + QLatin1Char(' ') +
                               QString::number(b.q, 'f', 1) + QLatin1Char(' ') + QString::number(b.gain, 'f', 1) +
                               QLatin1Char(' ') + QString::number(b.type));
        }
    }

    QDomElement delay = mDoc.createElement(QStringLiteral("DELAY"));
    root.appendChild(delay);
    for (int i = 0; i < mTrackCount; ++i)
        addTextElement(mDoc, delay, QStringLiteral("TRACK") + QString::number(i + 1),
                       QString::number(mDelay[i], 'f', 4));
}

int projectFile::saveProjectFile(const QString &path) {
    // Written aside and renamed over the old file only once complete, so a
    // failed write never leaves a half-written project behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return kProjectErrIO;
    createProjectFile();
    {
        QTextStream out(&file);
        mDoc.save(out, 4);
        out.flush();
        if (out.status() != QTextStream::Ok) {
            file.cancelWriting();
            return kProjectErrIO;
        }
    }
    return file.commit() ? kProjectOK : kProjectErrIO;
}

void projectFile::newProjectFile() {
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Create Project File"), QStringLiteral("/"),
                                                QStringLiteral("Sonvex Editor Project Files (*.adl)"));
    if (path.isEmpty()) return;
    (void)saveProjectFile(path);
}

// ---------------------------------------------------------------- reading

int projectFile::getFrameCount(const QString &sep) {
    const QChar c = sep.isEmpty() ? QChar() : sep.at(0);
    if (c == QLatin1Char('!') || c == QLatin1Char('.') || c == QLatin1Char('/')) return 25;
    if (c == QLatin1Char('#') || c == QLatin1Char('=') || c == QLatin1Char('-')) return 24;
    return 30;
}

int projectFile::getTimeBase(const QString &sep) {
    const QChar c = sep.isEmpty() ? QChar() : sep.at(0);
    if (c == QLatin1Char(':') || c == QLatin1Char('/') || c == QLatin1Char('-')) return 1001;
    return 1000;
}

int projectFile::getVideoTCType(const QString &sep) {
    const QChar c = sep.isEmpty() ? QChar() : sep.at(0);
    return (c == QLatin1Char('.') || c == QLatin1Char(':')) ? 1 : 0;
}

int projectFile::getSampleRateTCF(const QString &sep) {
    const QChar c = sep.isEmpty() ? QChar() : sep.at(0);
    if (c == QLatin1Char('/')) return 48000;
    if (c == QLatin1Char('@')) return 88200;
    if (c == QLatin1Char('*')) return 96000;
    return 44100;
}

int projectFile::getFrameType(int frameCount, int timeBase, int nonDrop) {
    if (frameCount == 30 && timeBase == 1001) return nonDrop ? 4 : 3;
    if (frameCount == 30 && timeBase == 1000) return nonDrop ? 6 : 5;
    if (frameCount == 25) return 2;
    return nonDrop ? 1 : 0;
}

void projectFile::getTimecodeFromTcf(const QString &tcf, tTimecodeTcf *out) const {
    // Character positions: 0-1 hours, 2 separator A, 3-4 minutes, 5 B (not
    // read), 6-7 seconds, 8 C, 9-10 frames, 11 D, 12 onwards samples. A
    // short text leaves the missing parts 0 and the separators unknown.
    out->hours = toIntOr0(tcf.size() < 3 ? tcf : tcf.mid(0, 2));
    out->minutes = toIntOr0(tcf.mid(3, 2));
    out->seconds = toIntOr0(tcf.mid(6, 2));
    out->frames = toIntOr0(tcf.mid(9, 2));
    out->frameCount = getFrameCount(tcf.mid(2, 1));
    out->timeBase = getTimeBase(tcf.mid(2, 1));
    out->nonDrop = getVideoTCType(tcf.mid(8, 1));
    out->sampleRate = getSampleRateTCF(tcf.mid(11, 1));
    out->rateFactor = mSampleRate < out->sampleRate ? 1 : mSampleRate / out->sampleRate;
    out->samples = toIntOr0(tcf.mid(12)) / out->rateFactor;
    out->frameType = getFrameType(out->frameCount, out->timeBase, out->nonDrop);
}

int64_t projectFile::pointPosition(const QString &tcf, int fileRate) const {
    // Our own writer's form, "hh.mm.ss.ff|offset": the frame number counted
    // in the model's frame type at the rate the file was written at, and the
    // samples into that frame. Read it back as the exact inverse; the
    // frame's start computed back from the timecode can land a sample off
    // the truncated forward conversion, so the neighbours are checked.
    int h, m, s, f, off;
    if (tcf.size() >= 13 && tcf.at(2) == QLatin1Char('.') && tcf.at(5) == QLatin1Char('.') &&
        tcf.at(8) == QLatin1Char('.') && tcf.at(11) == QLatin1Char('|') && plainDigits(tcf.mid(0, 2), &h) &&
        plainDigits(tcf.mid(3, 2), &m) && plainDigits(tcf.mid(6, 2), &s) && plainDigits(tcf.mid(9, 2), &f) &&
        plainDigits(tcf.mid(12), &off) && h < 24 && m < 60 && s < 60 && f < 30) {
        tTimeCode tc = {h, m, s, f, 0, 0};
        uint64_t start = 0;
        gTc_convTimeCodeToSample(&tc, &start, fileRate, mFrameType);
        uint64_t guess = start + static_cast<uint64_t>(off);
        for (int d = -1; d <= 2; ++d) {
            if (d < 0 && guess == 0) continue;
            uint64_t cand = guess + static_cast<uint64_t>(static_cast<int64_t>(d));
            tTimeCode back;
            gTc_convSampleToTimeCode(cand, fileRate, mFrameType, &back);
            if (back.hour == h && back.minute == m && back.second == s && back.frame == f && back.sampleOffset == off)
                return static_cast<int64_t>(cand);
        }
        return static_cast<int64_t>(guess);
    }

    // Any other AES31 form: whole seconds at the project rate plus the
    // sample field; the frames do not enter the position.
    tTimecodeTcf t;
    getTimecodeFromTcf(tcf, &t);
    return static_cast<int64_t>(t.samples) +
           static_cast<int64_t>(mSampleRate) *
               (static_cast<int64_t>(t.hours) * 3600 + static_cast<int64_t>(t.minutes) * 60 + t.seconds);
}

void projectFile::readPointList(const QString &text, tPointList *lists, const char *tag, const char *illegalMessage,
                                bool traceCount, int fileRate) {
    for (int t = 0; t < kProjectMaxTracks; ++t) lists[t].count = 0;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (traceCount) PROJECT_TRACE(QStringLiteral("FaderList Number =") + QString::number(lines.size()));
    const QString key = QStringLiteral("(") + QLatin1String(tag) + QStringLiteral(")");
    for (const QString &raw : lines) {
        if (!raw.contains(key)) continue;
        QString line = raw.trimmed();
        PROJECT_TRACE(line);
        QStringList items = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        // "(FP) track timecode value": a shorter line is damaged; skip it.
        if (items.size() < 4) continue;
        int track = toIntOr0(items[1]);
        if (track < 1) {
            PROJECT_TRACE(QString::fromLatin1(illegalMessage));
            continue;
        }
        if (track > kProjectMaxTracks) continue;
        tPointList &l = lists[track - 1];
        if (l.count >= kProjectMaxPoints) continue;
        l.pt[l.count].position = pointPosition(items[2], fileRate);
        l.pt[l.count].value = static_cast<float>(toDoubleOr0(items[3]));
        ++l.count;
    }
}

int projectFile::loadProjectFile(const QString &path) {
    while (mTrackCount > 0) deleteTrack(mTrackCount - 1);

    // Read at most one byte more than a project file may hold, so that an
    // oversized or endless file (a device, a pipe) is refused, not slurped.
    QDomDocument doc;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray bytes = file.read(kProjectFileMaxBytes + 1);
            if (bytes.size() <= kProjectFileMaxBytes && !doc.setContent(bytes)) doc = QDomDocument();
        }
    }
    QDomElement root = doc.documentElement();
    if (root.tagName() != QLatin1String("SONVEXEDITOR")) root = QDomElement();
    auto section = [&root](const char *name) {
        return root.isNull() ? QDomElement() : root.firstChildElement(QLatin1String(name));
    };
    QDomElement trackList = section("TRACKLIST");
    QDomElement sourceIndex = section("SOURCE_INDEX");
    QDomElement faderList = section("FADER_LIST");
    QDomElement panList = section("PAN_LIST");
    QDomElement peq = section("PEQ");
    QDomElement delay = section("DELAY");

    mTrackCount = 0;
    mSourcePaths.clear();
    mLoadedCount = 0;
    mLoadedPaths.clear();
    for (int i = 0; i < kProjectMaxTracks; ++i) mTrackNames[i] = QString();

    // (Track) n "name": the name runs from the first double quote to the
    // last, so a name that itself holds double quotes reads back whole.
    for (const QString &raw : sectionLines(trackList)) {
        if (!raw.contains(QLatin1String("(Track)"))) continue;
        QString line = raw.trimmed();
        int open = line.indexOf(QLatin1Char('"'));
        int close = line.lastIndexOf(QLatin1Char('"'));
        if (open < 0 || close <= open) continue;
        QStringList head = line.left(open).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (head.size() < 2) continue;
        int n = toIntOr0(head[1]);
        if (n >= 1 && n <= kProjectMaxTracks) mTrackNames[n - 1] = line.mid(open + 1, close - open - 1);
    }

    if (!sourceIndex.isNull()) {
        for (int n = 1; n <= kProjectMaxTracks; ++n) {
            QDomElement track = sourceIndex.firstChildElement(QStringLiteral("TRACK") + QString::number(n));
            if (track.isNull()) continue;
            mLoadedPaths.append(track.firstChildElement(QStringLiteral("FILEPATH")).text());
            ++mLoadedCount;
        }
    }

    // The point lists were written at the rate the sequence records; read
    // our own timecode form back at that rate.
    int fileRate = mSampleRate;
    for (const QString &raw : sectionLines(section("SEQUENCE"))) {
        QString line = raw.trimmed();
        if (!line.startsWith(QLatin1String("(SEQ_SAMPLE_RATE)"))) continue;
        QString value = line.mid(17).trimmed();
        int hz = 0;
        if (value.startsWith(QLatin1Char('S')) && plainDigits(value.mid(1), &hz) && hz > 0) fileRate = hz;
        break;
    }

    readPointList(faderList.isNull() ? QString() : faderList.firstChild().toText().data(), mLevel, "FP",
                  "Loading Project : Track Number illegal.", true, fileRate);
    readPointList(panList.isNull() ? QString() : panList.firstChild().toText().data(), mPan, "PP",
                  "Loading Project : Track Number illegal..", false, fileRate);

    if (!peq.isNull()) {
        for (int i = 0; i <= mLoadedCount; ++i) {
            QString name =
                i < mLoadedCount ? QStringLiteral("TRACK") + QString::number(i + 1) : QStringLiteral("TRACK_MASTER");
            QDomElement track = peq.firstChildElement(name);
            if (track.isNull()) break;
            tProjectEQParams &eq = mEq[i];
            QStringList all =
                track.firstChildElement(QStringLiteral("ALL")).text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (!all.isEmpty()) {
                eq.allOn = all[0] == QLatin1String("true");
                if (all.size() > 1) eq.allGain = toDoubleOr0(all[1]);
            }
            for (int k = 0; k < 4; ++k) {
                QStringList items = track.firstChildElement(QStringLiteral("EQ") + QString::number(k + 1))
                                        .text()
                                        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
                // on, frequency, Q, gain, type: a band missing any of them is
                // damaged and keeps its settings.
                if (items.size() < 5) continue;
                tProjectEQBand &b = eq.band[k];
                b.on = items[0] == QLatin1String("true");
                b.freq = toDoubleOr0(items[1]);
                b.q = toDoubleOr0(items[2]);
                b.gain = toDoubleOr0(items[3]);
                b.type = toIntOr0(items[4]);
            }
        }
    }

    for (int i = 0; i < kProjectMaxTracks; ++i) mDelay[i] = 0.0;
    if (!delay.isNull()) {
        for (int i = 0; i < mLoadedCount; ++i) {
            QDomElement track = delay.firstChildElement(QStringLiteral("TRACK") + QString::number(i + 1));
            if (track.isNull()) break;
            mDelay[i] = toDoubleOr0(track.text());
        }
    }
    return mLoadedCount;
}

QString projectFile::getTrackFilePath(int index) const {
    if (index < 0 || index >= mLoadedCount) return QString();
    return mLoadedPaths[index];
}
