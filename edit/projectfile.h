// The project model and its project file (".adl").
//
// A project file is an XML document whose root element SONVEXEDITOR holds
// sections modelled on the AES31 audio decision list (AES31-3): VERSION,
// PROJECT, SEQUENCE, TRACKLIST, FADER_LIST and PAN_LIST hold one text each
// whose lines are AES31-style entries; SOURCE_INDEX, PEQ and DELAY are
// nested elements. The model keeps the tracks' source paths, names, level
// and pan point lists, equaliser records and delays; the main window fills
// it before saving and reads it back after loading.
//
// Everything here runs on the GUI thread; nothing is locked.
#pragma once

#include <QDomDocument>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>

// Limits of the model. Calls beyond them are refused, and reading a file
// ignores whatever lies beyond them.
constexpr int kProjectMaxTracks = 32;
constexpr int kProjectMaxPoints = 100;                    // per track and list
constexpr int kProjectEqRecords = kProjectMaxTracks + 1;  // tracks + master

// A project file larger than this is not read: real ones are a few
// kilobytes, and the whole document is held in memory while it is parsed.
constexpr int64_t kProjectFileMaxBytes = 16 * 1024 * 1024;

// Result codes of the model's operations.
constexpr int kProjectOK = 0;
constexpr int kProjectErrIO = -1;      // the file could not be written
constexpr int kProjectErrRange = -17;  // index or count outside the model

// Which point list: 0 level (fader) points, 1 pan points.
typedef int tADLParam;
constexpr tADLParam kADLParamLevel = 0;
constexpr tADLParam kADLParamPan = 1;

// One equaliser band as the project stores it.
struct tProjectEQBand {
    bool on;
    double freq;  // Hz
    double q;
    double gain;  // dB
    int type;     // the equaliser band's filter type code
};

// One equaliser: bands written as EQ1 to EQ4, then the equaliser's own
// on/off state and its total gain.
struct tProjectEQParams {
    tProjectEQBand band[4];
    bool allOn;
    double allGain;  // dB
};

// One point of a level or pan list.
struct tProjectPoint {
    int64_t position;  // samples at the project rate
    float value;       // level in dB, or the mixer's pan value
};

// A decoded AES31 timecode text (TCF).
struct tTimecodeTcf {
    int hours;
    int minutes;
    int seconds;
    int frames;
    int timeBase;    // 1000, or 1001 for the 29.97/23.976-style rates
    int frameCount;  // 24, 25 or 30
    int nonDrop;     // 1 non-drop, 0 drop-frame
    int rateFactor;  // project rate div TCF rate, at least 1
    int sampleRate;  // Hz, from separator D
    int samples;     // the sample field divided by the rate factor
    int frameType;   // a tTcFrameType
};

// One row of the AES31 default tables: id, key, value.
struct tAes31Entry {
    int id;
    const char *key;
    const char *value;
};

extern const tAes31Entry aes31tableVersion[];
extern const tAes31Entry aes31tableProject[];
extern const tAes31Entry aes31tableSystem[];
extern const tAes31Entry aes31tableSequence[];
extern const int kAes31tableVersionSize;
extern const int kAes31tableProjectSize;
extern const int kAes31tableSystemSize;
extern const int kAes31tableSequenceSize;

// A widget only to parent its save dialog; it is never shown.
class projectFile : public QWidget {
    Q_OBJECT
public:
    explicit projectFile(QWidget *parent = nullptr);
    ~projectFile() override;

    // Source entries. appendTrack refuses a 33rd entry (kProjectErrRange).
    int appendTrack(const QString &path);
    // Removes entry `index` and moves the later entries down; empties the
    // point lists at that index (the other per-track data stay in place).
    // Returns the new track count.
    int deleteTrack(int index);
    int trackCount() const { return mTrackCount; }

    // Point lists; track 0 to 31, position in samples. Appending refuses a
    // 101st point or a track outside the model (kProjectErrRange).
    int appendVolData(int track, float level, int position);
    int appendPanData(int track, float pan, int position);
    void clearVolData(int track);
    void clearPanData(int track);
    // Removes the point at the index (the last one when the index is at or
    // beyond it); an empty list is left alone.
    void deleteVolData(int track, int index);
    void deletePanData(int track, int index);
    // Sort the lists of the tracks below the track count by position,
    // keeping the list order of equal positions.
    void sortFadeData();
    void sortPanData();
    // The value of the first point, in list order, at or before the
    // position (compared as unsigned 64-bit numbers); 1.0 for level and 0.0
    // for pan when none qualifies; 0.0 for any other kind.
    double getParameterFromList(tADLParam kind, int track, int position) const;
    int pointCount(tADLParam kind, int track) const;
    const tProjectPoint *points(tADLParam kind, int track) const;

    // Hz; a rate of 0 or below is refused and the rate kept.
    void setProjectSampleRate(int hz);
    int projectSampleRate() const { return mSampleRate; }
    // Ignored for an index outside 0 to 31.
    void setTrackListName(int index, const QString &name);
    QStringList getTrackListNames() const { return mTrackNames; }

    // Equaliser records 0 to 32; the master's is the one at the track count.
    int setEqParams(int index, const tProjectEQParams *params);
    // nullptr outside 0 to 32.
    tProjectEQParams *getEqParams(int index);

    // Delays in samples, tracks 0 to 31.
    void setDelayTime(int track, int64_t samples);
    double getDelayTime(int track) const;

    // The AES31 sample-rate separator of the project rate: 48000 "/",
    // 88200 "@", 96000 "*", any other "|".
    QString getSampleRateIndicator() const;

    // Builds the document and writes it to the path, replacing the file.
    // The file is written aside and renamed into place, so a failed write
    // leaves an existing file untouched. kProjectOK or kProjectErrIO.
    int saveProjectFile(const QString &path);
    // Asks for a path with a save dialog and writes the document there.
    void newProjectFile();
    // Empties the document and builds it from the model.
    void createProjectFile();
    const QDomDocument &document() const { return mDoc; }

    // Reads a project file into the model; returns the number of source
    // entries found (0 when the file does not open or does not parse).
    int loadProjectFile(const QString &path);
    // The loaded source path at the index; empty beyond the loaded count.
    QString getTrackFilePath(int index) const;
    int loadedSourceCount() const { return mLoadedCount; }

    // AES31 timecode texts.
    void getTimecodeFromTcf(const QString &tcf, tTimecodeTcf *out) const;
    static int getFrameCount(const QString &sep);
    static int getTimeBase(const QString &sep);
    static int getVideoTCType(const QString &sep);
    static int getSampleRateTCF(const QString &sep);
    static int getFrameType(int frameCount, int timeBase, int nonDrop);

    // The texts of the last build.
    QString trackListText() const { return mTrackListText; }
    QString faderListText() const { return mFaderListText; }
    QString panListText() const { return mPanListText; }

private:
    struct tPointList {
        tProjectPoint pt[kProjectMaxPoints];
        int count;
    };

    void createNewAdl();
    QString pointListText(tPointList *lists, const char *tag, int decimals);
    static int appendPoint(tPointList *lists, int track, float value, int position);
    static void deletePoint(tPointList *lists, int track, int index);
    static void sortPoints(tPointList *lists, int tracks);
    void readPointList(const QString &text, tPointList *lists, const char *tag, const char *illegalMessage,
                       bool traceCount, int fileRate);
    int64_t pointPosition(const QString &tcf, int fileRate) const;

    QDomDocument mDoc;
    QStringList mSourcePaths;  // the source entries, one per track
    int mTrackCount;
    int mLoadedCount;
    int mFrameType;
    int mSampleRate;
    tPointList mLevel[kProjectMaxTracks];
    tPointList mPan[kProjectMaxTracks];
    QStringList mTrackNames;  // always kProjectMaxTracks entries
    QStringList mLoadedPaths;
    tProjectEQParams mEq[kProjectEqRecords];
    double mDelay[kProjectMaxTracks];
    QString mTrackListText;
    QString mFaderListText;
    QString mPanListText;
};
