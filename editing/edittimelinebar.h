// The timeline window's bar with the start and end times of the visible
// range, shown as hours, minutes, seconds and hundredths.
#pragma once

#include <QWidget>

namespace Ui {
class editTimelineBar;
}

class editTimelineBar : public QWidget {
    Q_OBJECT
public:
    explicit editTimelineBar(QWidget *parent = nullptr);
    ~editTimelineBar() override;

    // Positions in samples at the bar's rate.
    void setStartTime(unsigned long long position);
    void setEndTime(unsigned long long position);
    void setSampleRate(int rateHz);

private:
    Ui::editTimelineBar *ui;
    int mRate = 44100;
};
