// The combine window: joins two audio files of one format into a new file,
// either one after the other ("On the time axis", on the window's
// combineThread through the conversion library) or two mono files into one
// stereo file ("Mono to Stereo", as a join job on the window's
// poly2monosteThread). The main window makes one at start-up, presets the
// head file and the folder, and shows it from its Combine command; the
// window reports to the user only and sends nothing back.
//
// GUI thread only. The workers write the progress words that the 200 ms
// timer reads; their results come back as queued signals. One combine runs
// at a time: "COMBINE" is ignored until the running one has reported.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QString>

#include "editing/combinethread.h"
#include "engine/jobrecords.h"
#include "widgets/dialogabout.h"  // tSetEdition

namespace Ui {
class DialogCombine;
}

class QDir;
class QLabel;
class QProgressBar;
class QTimer;
class labelCombine;
class poly2monosteThread;
class snxProgressDialog;
struct tPoly2MonosteMessages;

class DialogCombine : public QDialog {
    Q_OBJECT
public:
    explicit DialogCombine(QWidget *parent = nullptr);
    // Waits for a running combine (the library call cannot be interrupted)
    // and stops the join worker before the library handle goes.
    ~DialogCombine() override;

    // Presets the head file without checking it: path, the name shown,
    // file type code, rate in Hz, bits, channels, format id and the word
    // length text shown as it is.
    void setHeadFile(const QString &path, const QString &fileName, int fileType, int rate, int bits, int channels,
                     unsigned int formatId, const QString &bitText);
    // Puts the process's current folder (the main window already made it
    // current) in the Folder field; the folder object is only kept.
    void setDestination(QDir *folder);

    // The mode list's index (tCombineMode).
    int getCurrentCombineMode() const;
    // Captions of the head, tail and combined sections.
    void setSourceFile1Text(const QString &text);
    void setSourceFile2Text(const QString &text);
    void setDestFileText(const QString &text);
    // kEditionZolt: the edition's background and dark captions; others:
    // nothing.
    void setEdition(tSetEdition edition);

    // The library file the window binds: tests set it; otherwise the
    // engine's (the program's folder). Set it before a window is made.
    static void setLibraryPath(const QString &path);
    static QString libraryPath();

    // The file and folder dialogs of the "Select" buttons: (parent,
    // caption, start folder, filter or options) -> the chosen path, empty
    // when cancelled. Tests replace them.
    using tOpenFileNameFunc = QString (*)(QWidget *, const QString &, const QString &, const QString &);
    using tExistingDirectoryFunc = QString (*)(QWidget *, const QString &, const QString &, QFileDialog::Options);
    static tOpenFileNameFunc sGetOpenFileName;
    static tExistingDirectoryFunc sGetExistingDirectory;

public slots:
    void dropedToHeadFile();
    void dropedToTailFile();
    void takeSeveralHundredMili();
    void combineFinished(int code);
    void poly2monosteConvertedEvent(tPoly2MonosteMessages *message);

private slots:
    void on_pushButton_clicked();
    void on_pushSelDir_clicked();
    void on_pushButtonSelectHead_clicked();
    void on_pushButtonSelectTail_clicked();
    void on_comboBox_currentIndexChanged(int index);

private:
    // One side of the window: its drop area, value labels and record.
    struct Side {
        labelCombine *area;
        QLabel *freq;
        QLabel *bits;
        QLabel *channels;
        QString *path;
        tAudioFileInfo *info;
    };
    Side headSide();
    Side tailSide();

    void selectFile(labelCombine *area);
    void acceptFile(const Side &side);
    void clearSide(const Side &side);
    void setDstFileName();
    void Combine2Files(const QString &destination, const QString &temporary);
    void startJoin(const QString &destination);

    Ui::DialogCombine *ui;

    QString mHeadPath;
    QString mTailPath;
    tAudioFileInfo mHeadInfo;
    tAudioFileInfo mTailInfo;
    QString mHeadBaseName;
    QString mTailBaseName;
    QString mDstPath;
    QString mTempPath;

    tGetAudioFileInformationFunc mGetAudioFileInformation = nullptr;
    tCombineFilesFunc mCombineFiles = nullptr;

    // Written by the workers and the library, read by the timer (relaxed
    // atomic accesses through the plain int the interfaces take).
    int mCombineProgress = 0;
    int mJoinProgress = 0;
    bool mBusy = false;  // a combine or join has started and not reported

    combineThread mCombineThread;
    poly2monosteThread *mPoly2MonosteThread = nullptr;
    snxProgressDialog *mCombineDialog = nullptr;  // mode 0, made on first use
    snxProgressDialog *mJoinDialog = nullptr;     // mode 1, made on first use
    QProgressBar *mJoinBar = nullptr;             // mJoinDialog's bar, owned by it
    QTimer *mTimer = nullptr;

    const QString mPlainDropStyle;
};
