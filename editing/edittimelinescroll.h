// The timeline window's scroll bar with its two time-zoom buttons. The bar
// remembers its maximum and position as it last set or saw them; a zoom
// button halves (zoom in) or doubles (zoom out) that maximum before it
// reports the click, and the timeline window's own zoom handling then puts
// the maximum back while it can still zoom.
#pragma once

#include <QWidget>

namespace Ui {
class editTimelineScroll;
}

class editTimelineScroll : public QWidget {
    Q_OBJECT
public:
    explicit editTimelineScroll(QWidget *parent = nullptr);
    ~editTimelineScroll() override;

    // Sets the bar's maximum (at least 1) and notes what the bar then has.
    // A position beyond it is pulled back, which reports sliderMoved.
    void setSliderMax(int maximum);
    // Sets the bar's position and notes what the bar then has.
    void setSliderCurrent(int value);

    // The maximum and position as last set or seen.
    int sliderMax() const { return mMax; }
    int sliderCurrent() const { return mCurrent; }

signals:
    void zoomInClicked();
    void zoomOutClicked();
    void sliderMoved(int value);  // every change of the bar's position

private slots:
    // Connected by name by the form.
    void on_zoomInTimeButton_clicked();
    void on_zoomOutTimeButton_clicked();
    void on_waveScrollBar_sliderMoved(int value);
    void on_waveScrollBar_valueChanged(int value);

private:
    Ui::editTimelineScroll *ui;
    int mMax = 0;
    int mCurrent = 0;
};
