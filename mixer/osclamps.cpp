#include "mixer/osclamps.h"

#include <QPixmap>
#include <QString>

namespace {

const char *const kOscOnPicture = ":/jpgData/oscOn.png";
const char *const kOscOffPicture = ":/jpgData/oscOff.png";
const char *const kOscSetOnPicture = ":/jpgData/eqOn.png";
const char *const kOscSetOffPicture = ":/jpgData/eqOff.png";
const char *const kInMoniOnPicture = ":/jpgData/inMoniOn.png";
const char *const kInMoniOffPicture = ":/jpgData/inMoniOff.png";

QPixmap lampPicture(const char *path) { return QPixmap(QString::fromLatin1(path)); }

}  // namespace

// ---- oscIndicator ----

oscIndicator::oscIndicator(QWidget *parent) : QLabel(parent) {}

oscIndicator::~oscIndicator() = default;

void oscIndicator::selectClickControl(tIndicatorClickControl control) { mClickControl = control; }

void oscIndicator::changeoscIndicator(bool on) {
    mOnOff = on;
    setPixmap(lampPicture(on ? kOscSetOnPicture : kOscSetOffPicture));
}

void oscIndicator::mousePressEvent(QMouseEvent *) {
    if (mClickControl == kIndicatorToggle) {
        mOnOff = !mOnOff;
        setPixmap(lampPicture(mOnOff ? kOscOnPicture : kOscOffPicture));
        emit selOscOnOff(mOnOff ? 1 : 0);
    } else if (mClickControl == kIndicatorClick) {
        emit oscIndicatorClicked();
    }
}

// ---- labelInMonitor ----

labelInMonitor::labelInMonitor(QWidget *parent) : QLabel(parent) {}

labelInMonitor::~labelInMonitor() = default;

void labelInMonitor::mousePressEvent(QMouseEvent *) {
    mOnOff = !mOnOff;
    setPixmap(lampPicture(mOnOff ? kInMoniOnPicture : kInMoniOffPicture));
    emit selectEnable(mOnOff);
}
