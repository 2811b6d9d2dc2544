// The reverb's parameter window: the room plan with its size sliders and ray
// animation, the time fields, the three stages' switches and levels, ten
// early reflections (level, cut-off, order), six comb filters (delay,
// pick-up), two all-pass delays, and the loading of an impulse response.
//
// Every change the user makes is reported with reverbParamChanged (the stage
// check boxes with their own signals); the owner then reads the whole panel
// with getPanelParam. At start the owner loads the reverb's default tables
// with setRefParams. The reverb receiving the values processes no audio in
// this build, so the panel only carries them.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include "dsp/imresponse.h"
#include "dsp/reverb.h"
#include "mixer/reverbpanelparam.h"

class QLabel;
class QSlider;
class QTimer;
class widgetReverb;
namespace Ui {
class reverbPanel;
}

// The room: the full view height stands for 120 m and the full width for
// 80 m. Slider values are percentages of the view.
int reverbPanel_roomPx(int viewPx, int sliderValue);
float reverbPanel_roomWideM(int sliderValue);
float reverbPanel_roomLongM(int sliderValue);
// Metres as the room labels show them: whole metres, truncated, then "m".
QString reverbPanel_metreText(float metres);
// A room-view ratio (fraction of the view height) in metres.
double reverbPanel_ratioToM(float ratio);

// A field read as an integer: the whole text as a base-10 32-bit number,
// 0 when it is not one.
int reverbPanel_readInt(const QString &text);
// A field read as a decimal number in single precision, 0 when it is not a
// finite number.
float reverbPanel_readFloat(const QString &text);

// An early-reflection level slider's value as its label shows it: v / 100
// with two decimals.
QString reverbPanel_levelText(int sliderValue);
// A value of the reverb's tables as the labels show it before the sliders
// follow: the shortest form with up to six significant digits.
QString reverbPanel_tableText(float value);
// A table level as its slider position: level × 100 in single precision,
// truncated.
int reverbPanel_levelSlider(float level);

class reverbPanel : public QDialog {
    Q_OBJECT

public:
    explicit reverbPanel(QWidget *parent = nullptr);
    ~reverbPanel() override;
    reverbPanel(const reverbPanel &) = delete;
    reverbPanel &operator=(const reverbPanel &) = delete;

    // Fills the record from the controls; changes nothing and reports
    // nothing.
    void getPanelParam(tReverbPanelParam *param);

    // Loads the reverb's early-reflection, comb and all-pass tables into the
    // controls. Each slider that moves reports through its own slot, as if
    // the user had moved it.
    void setRefParams(const tReverbFilterParams *tables);

    // The file dialog that "Load IR" opens: (parent, caption, start folder,
    // filter) -> the chosen path, empty when cancelled. Tests replace it.
    using tOpenFileNameFunc = QString (*)(QWidget *, const QString &, const QString &, const QString &);
    static tOpenFileNameFunc sGetOpenFileName;

    widgetReverb *roomView() const;
    float roomWideM() const { return mRoomWideM; }
    float roomLongM() const { return mRoomLongM; }
    bool isRunning() const { return mRunning; }
    // The loader's buffer once a file has been chosen, else null.
    double *irBuffer() const { return mIrBuffer; }

signals:
    void reverbParamChanged();
    void ERClicked(bool checked);
    void CombFilterClicked(bool checked);
    void APFClicked(bool checked);

private slots:
    void on_horizontalSliderWide_valueChanged(int value);
    void on_verticalSliderLong_valueChanged(int value);
    void cycleHandler();
    void on_pushButtonPropReset_clicked();
    void on_pushButtonStart_clicked();
    void on_pushButtonStop_clicked();
    void on_lineEditPreDelay_editingFinished();
    void on_checkBoxER_clicked(bool checked);
    void on_checkBoxCombFilter_clicked(bool checked);
    void on_checkBoxAPF_clicked(bool checked);
    void reverbParamChangeEvent();
    void on_ERLevel_valueChanged(int value);
    void on_CombLevel_valueChanged(int value);
    void on_CombDelay_1_valueChanged(int value);
    void on_CombDelay_2_valueChanged(int value);
    void on_CombDelay_3_valueChanged(int value);
    void on_slideLvER_valueChanged(int value);
    void on_slideLvER_2_valueChanged(int value);
    void on_slideLvER_3_valueChanged(int value);
    void on_slideLvER_4_valueChanged(int value);
    void on_slideLvER_5_valueChanged(int value);
    void on_slideLvER_6_valueChanged(int value);
    void on_slideLvER_7_valueChanged(int value);
    void on_slideLvER_8_valueChanged(int value);
    void on_slideLvER_9_valueChanged(int value);
    void on_slideLvER_10_valueChanged(int value);
    void on_slideCutOffER_valueChanged(int value);
    void on_slideCutOffER_2_valueChanged(int value);
    void on_slideCutOffER_3_valueChanged(int value);
    void on_slideCutOffER_4_valueChanged(int value);
    void on_slideCutOffER_5_valueChanged(int value);
    void on_slideCutOffER_6_valueChanged(int value);
    void on_slideCutOffER_7_valueChanged(int value);
    void on_slideCutOffER_8_valueChanged(int value);
    void on_slideCutOffER_9_valueChanged(int value);
    void on_slideCutOffER_10_valueChanged(int value);
    void on_slideOrderER_valueChanged(int value);
    void on_slideOrderER_2_valueChanged(int value);
    void on_slideOrderER_3_valueChanged(int value);
    void on_slideOrderER_4_valueChanged(int value);
    void on_slideOrderER_5_valueChanged(int value);
    void on_slideOrderER_6_valueChanged(int value);
    void on_slideOrderER_7_valueChanged(int value);
    void on_slideOrderER_8_valueChanged(int value);
    void on_slideOrderER_9_valueChanged(int value);
    void on_slideOrderER_10_valueChanged(int value);
    void on_lineEdit_RevTime_returnPressed();
    void on_CombDelay_4_valueChanged(int value);
    void on_CombDelay_5_valueChanged(int value);
    void on_CombDelay_6_valueChanged(int value);
    void on_lineEdit_HDump_returnPressed();
    void on_APFLevel_valueChanged(int value);
    void on_slideAPF_valueChanged(int value);
    void on_slideAPF_2_valueChanged(int value);
    void on_lineEdit_HDump_APF_returnPressed();
    // Both run on a click, in this order: the loading, then the report,
    // which follows every click whether or not a file was chosen.
    void on_pushButtonLoadIR_clicked();
    void on_pushButtonLoadIR_clicked(bool checked);

private:
    // The controls of early-reflection row k (0 .. 9) and of comb k (0 .. 5).
    struct ErRow {
        QSlider *level, *cutOff, *order;
        QLabel *levelLabel, *cutOffLabel, *orderLabel;
    };
    struct CombRow {
        QSlider *delay, *pickup;
        QLabel *delayLabel, *pickupLabel;
    };

    void showValue(QLabel *label, const QString &text);
    void setLevelLabel(int row, int value);

    Ui::reverbPanel *ui;
    QTimer *mTimer;
    bool mRunning = false;
    float mRoomWideM = 30.0f;
    float mRoomLongM = 60.0f;
    double mFixedValue = 20.0;
    double mDepthM = 0.0;
    double mBehindM = 0.0;
    double *mIrBuffer = nullptr;
    imResponse mResponse;
    ErRow mEr[kReverbEarlyReflections];
    CombRow mComb[kReverbCombFilters];
    QSlider *mApf[kReverbAllPassFilters];
    QLabel *mApfLabel[kReverbAllPassFilters];
};
