// The tag editor: edits one tag record (tID3tagInfo) for a file that is to
// be written or has been opened. Which fields can be edited follows the tag
// type of the file that will carry the tag. It can also load the tag of
// another audio file through the conversion library, copy the last
// confirmed tag and paste it back, fill date and time from the clock and
// reset the form.
//
// The owner (the main window, the export window) sets the tag type, fills
// the form from its record with setID3tagInfo and shows the editor; on
// id3paramsConfirmed it copies the result into its record with
// getEditedTagInfo. Showing the editor again does not reset the form, and
// the confirmed tag changes only on OK.
//
// GUI thread only. The library call of Load Tag Data runs on it.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "engine/morphexbinding.h"  // tId3tagInformationFunc

namespace Ui {
class DialogEditTag;
}

class QTemporaryDir;
class QWidget;

// The kind of file a tag is edited for; it decides which fields can be
// edited.
enum tEnumTagType : int {
    kTagTypeWav = 0,  // a WAV export: the start time code only
    kTagTypeFlac = 1,
    kTagTypeDsdiff = 2,  // title, artist and the start time code; Latin-1 texts only
    kTagTypeDsf = 3,
    kTagTypeWsd = 4,
};

enum : int {
    kTagTypeCount = 5,
    kTagColumnCount = 18,  // columns of sTagDisableTable
};

class DialogEditTag : public QDialog {
    Q_OBJECT
public:
    explicit DialogEditTag(QWidget *parent = nullptr);
    // Removes the loaded pictures with their private folder.
    ~DialogEditTag() override;

    // Enables the fields of the type's editable columns and disables the
    // rest, shows "Start TC :" where the start time code is edited; no
    // field's content changes. A value outside 0..4 counts as a WAV export.
    void setTagType(tEnumTagType type);
    // Fills the form from a record under the current tag type: the fields of
    // disabled columns are emptied; for DSDIFF a title or artist beyond
    // Latin-1 is shown empty (the record is not changed). The track number
    // fields keep what was typed. Texts are read up to their buffers'
    // capacities. Null does nothing.
    void setID3tagInfo(tID3tagInfo *info);
    // Copies the confirmed tag into the record's numbers and text buffers
    // (cut to each buffer's capacity, terminated) and returns its
    // has-picture flag; the record's start sample stays. A picture path that
    // does not fit is written empty, with no picture, never cut.
    bool getEditedTagInfo(tID3tagInfo *info);
    // True when every character is below U+0100 (a DSDIFF text can carry
    // nothing else); true for an empty text.
    static bool checkLatinCharacter(const QString &text);

    // Lists the genre names in the genre box, with none selected.
    void setupGenreBox();
    // Makes the confirmed tag "nothing set": texts empty, track number 0,
    // year -1, month and day 0, hour, minute, second and frame -1, no
    // picture.
    void initTemporaryID3tagInfo();
    // Position in the genre box (from 0, the empty entry not counted) of the
    // name of an ID3v1 genre number; -1 for an unknown number.
    int getGenreUiIndexFromGenreNumber(int number);

    // 1 = the column's widgets are disabled under that tag type (row) and
    // setID3tagInfo empties the fields it fills for the column. Columns:
    // 0 track number and total, 1 title, 2 album, 3 artist, 4 genre, 5 month,
    // 6 day, 7 year, 8 hour, 9 minute, 10 second, 11 frame, 12 unused,
    // 13 date label, 14 "Start TC :" hidden, 15 comment, 16 album art,
    // 17 unused (the two keep the form's column numbers).
    static const uint8_t sTagDisableTable[kTagTypeCount][kTagColumnCount];

    // The library file the editor binds ("libmorphex.so" in the program's
    // folder unless set). Tests set it; set it before an editor is made.
    static void setLibraryPath(const QString &path);
    static QString libraryPath();

    // The file dialogs of Load Tag Data and Select: (parent, caption, start
    // folder, filter) -> the chosen path, empty when cancelled. Tests
    // replace them.
    using tOpenFileNameFunc = QString (*)(QWidget *, const QString &, const QString &, const QString &);
    static tOpenFileNameFunc sGetOpenFileName;
    // The clock of Get Current Time (local time). Tests replace it.
    using tCurrentDateTimeFunc = QDateTime (*)();
    static tCurrentDateTimeFunc sCurrentDateTime;

public slots:
    // OK: for DSDIFF refuses a title beyond Latin-1 with a warning and stays
    // open; otherwise stores the form as the confirmed tag, emits
    // id3paramsConfirmed and hides.
    void accept() override;

signals:
    // The confirmed tag was stored; read it with getEditedTagInfo.
    void id3paramsConfirmed();

private slots:
    void on_pushButtonPhoto_clicked();
    void on_pushButtonGetTime_clicked();
    void on_pushButtonReset_clicked();
    void on_pushButtonLoad_clicked();
    void on_pushButtonCopy_clicked();
    void on_pushButtonPaste_clicked();

private:
    // The form's content as of the last OK.
    struct tConfirmedTag {
        int trackNo = 0;
        int totalTracks = 0;
        QString title;
        QString artist;
        QString album;
        int year = -1;
        int month = 0;
        int day = 0;
        int hour = -1;
        int minute = -1;
        QString comment;
        QString genre;
        QString picturePath;
        bool hasPicture = false;
        int second = -1;
        int frame = -1;
    };

    // A tag record with text buffers of its own, zero-filled.
    struct tOwnedTagRecord {
        tOwnedTagRecord();
        std::vector<wchar16> title, artist, album, genre, picturePath, comment;
        tID3tagInfo info{};
    };

    bool disabled(int column) const;
    void showNoPhoto();
    void showPicture(const QString &path);
    QString nextLoadedPicturePath();

    Ui::DialogEditTag *ui;
    tEnumTagType mTagType = kTagTypeWav;
    std::vector<QWidget *> mColumnWidgets[kTagColumnCount];

    tConfirmedTag mConfirmed;
    QString mPicturePath;  // the picture the form shows, set by filling, Select and Reset
    bool mHasPicture = false;

    tOwnedTagRecord mLoadRecord;
    tOwnedTagRecord mCopyRecord;
    QStringList mGenreList;
    QDir mAlbumArtDir;

    // Loaded pictures go to a folder only this user can enter, one file per
    // load, so that a later load never replaces a picture that a confirmed
    // or copied tag still names.
    std::unique_ptr<QTemporaryDir> mPictureDir;
    QString mPictureTemplate;  // the load record's first picture path
    int mLoadCount = 0;

    tId3tagInformationFunc mId3tagInformation = nullptr;
};
