#include "editing/edittimelinebar.h"

#include <cstdint>
#include <string>

#include "audiofile/timecode.h"
#include "ui_edittimelinebar.h"

namespace {

QString timeText(unsigned long long position, int rate) {
    std::string text;
    gTc_prepareTimeInfoDisp(&text, static_cast<int64_t>(position), rate, kCounterTime, kTc29_97Drop);
    return QString::fromStdString(text);
}

}  // namespace

editTimelineBar::editTimelineBar(QWidget *parent) : QWidget(parent), ui(new Ui::editTimelineBar) { ui->setupUi(this); }

editTimelineBar::~editTimelineBar() { delete ui; }

void editTimelineBar::setStartTime(unsigned long long position) {
    ui->labelSttTime->setText(timeText(position, mRate));
}

void editTimelineBar::setEndTime(unsigned long long position) { ui->labelEndTime->setText(timeText(position, mRate)); }

void editTimelineBar::setSampleRate(int rateHz) { mRate = rateHz; }
