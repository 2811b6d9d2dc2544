// The question which channel, or channel pair, of a file with three or more
// channels the program keeps. The main window passes the channel count with
// setTotalChannels, shows the dialog without waiting and receives the choice
// through channelSelected; Cancel reports nothing. Built once and reused:
// the Stereo/Mono choice carries over from one file to the next.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

namespace Ui {
class DialogPolyfile;
}

// The choice sent on OK.
struct tPoly2MonosteMsgParam {
    // Index of the chosen list entry, from 0. Stereo: entry k is channels
    // 2k+1 and 2k+2, or the last channel alone for the last entry of an odd
    // count. Mono: entry k is channel k+1.
    int entry = 0;
    bool stereo = true;
};

class DialogPolyfile : public QDialog {
    Q_OBJECT
public:
    explicit DialogPolyfile(QWidget *parent = nullptr);
    ~DialogPolyfile() override;

    // Stores the file's channel count and lists its channels or pairs
    // afresh; the first entry becomes current.
    void setTotalChannels(int channels);

signals:
    // On OK, with the dialog's own record (refilled at every OK). Read it in
    // the receiving slot; connect directly on the GUI thread.
    void channelSelected(tPoly2MonosteMsgParam *choice);

private slots:
    void on_radioButtonMono_clicked(bool checked);
    void on_radioButtonStereo_clicked(bool checked);
    void on_comboBoxSelectCh_currentIndexChanged(int index);
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    void rebuildList();

    Ui::DialogPolyfile *ui;
    int mTotalChannels = 2;
    int mEntry = 0;  // current entry of the list; -1 while it is rebuilt
    bool mStereo = true;
    tPoly2MonosteMsgParam mMessage;
};

// The list entries for a channel count: "Channel 1-2", "Channel 3-4", ... and
// "Channel N" for the odd last channel in stereo mode; "Channel 1" ...
// "Channel N" in mono mode. No entries for a count below 1.
QStringList polyfileChannelEntries(int channels, bool stereo);
