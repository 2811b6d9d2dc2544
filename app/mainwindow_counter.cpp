// The time counter and the position labels: how a sample position becomes
// counter text in each counter mode, how a typed position moves the cursor,
// the counter-mode and frame-rate commands, the mark label, the length of
// the material and the placing of the cursor line.
//
// Positions are sample counts of the first track's file. In timecode mode
// the counter reads the file's own timecode: every position shown gets the
// file's start time added, and a typed timecode has it taken off again.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QMouseEvent>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "editing/cheditstrip.h"
#include "engine/engineparams.h"

namespace {

// "07" for 7, "12" for 12: hours, minutes, seconds and sub-frames.
QString twoDigits(int v) { return v <= 9 ? QStringLiteral("0") + QString::number(v) : QString::number(v); }

// The sub-second value (time mode) or the frame number (timecode mode),
// zero-padded to the counter's digit count.
QString fractionDigits(int v, int digits) {
    const int width = digits >= 4 ? 4 : (digits == 3 ? 3 : 2);
    return QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
}

// A field of the typed counter read as an integer; 0 when it is not one.
int typedField(const QString &text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

// Hours, minutes and seconds from the ":"-separated part of a typed
// counter: the last three fields count; fewer fields are minutes and
// seconds, or seconds alone.
void typedClock(const QString &text, tTimeCode *tc) {
    const QStringList fields = text.split(QLatin1Char(':'));
    const int n = int(fields.size());
    tc->second = n >= 1 ? typedField(fields[n - 1]) : 0;
    tc->minute = n >= 2 ? typedField(fields[n - 2]) : 0;
    tc->hour = n >= 3 ? typedField(fields[n - 3]) : 0;
}

}  // namespace

int64_t MainWindow::counterDisplayOffset() const {
    return mCounterMode == kCounterTimeCode ? static_cast<int64_t>(mTracks[0].fileInfo.startSample) : 0;
}

void MainWindow::prepareTimeInfoDisp(QString &text, int64_t position, int rate) {
    // Without a rate no position can be converted: the counter reads zero.
    if (rate <= 0) {
        position = 0;
        rate = 1;
    }
    QLineEdit *field = ui->lineEditTime;
    const auto setFontSize = [field](const char *from, const char *to) {
        QString sheet = field->styleSheet();
        if (sheet.contains(QLatin1String(from))) {
            sheet.replace(QLatin1String(from), QLatin1String(to));
            field->setStyleSheet(sheet);
        }
    };

    if (mCounterMode == kCounterSamples) {
        text = QString::number(position);
        setFontSize("31px", "28px");
        return;
    }
    setFontSize("28px", "31px");

    const int64_t wholeSeconds = position / rate;
    const int64_t remainder = position % rate;
    const int digits = mSubSecondDigits;

    if (mCounterMode == kCounterTimeCode) {
        tTimeCode tc{};
        gTc_convSampleToTimeCode(static_cast<uint64_t>(position), rate, mFrameType, &tc);
        QString t = twoDigits(tc.hour) + QLatin1Char(':') + twoDigits(tc.minute) + QLatin1Char(':') +
                    twoDigits(tc.second) + QLatin1Char(';') + fractionDigits(tc.frame, digits);
        if (mShowSubFrames) {
            t += QLatin1Char('.') + twoDigits(tc.subFrame);
            setFontSize("31px", "24px");
        }
        text = t;
        return;
    }

    const int32_t s32 = static_cast<int32_t>(wholeSeconds);
    int hours = s32 / 3600;
    int minutes = s32 / 60 - 60 * hours;
    int seconds = s32 % 60;
    int fraction = 0;
    int whole = 100;
    if (digits >= 4) {
        fraction = static_cast<int>(remainder * 10000 / rate);
        whole = 10000;
    } else if (digits == 3) {
        fraction = static_cast<int>(static_cast<float>(remainder) * 1000.0f / static_cast<float>(rate) + 0.5f);
        whole = 1000;
    } else {
        fraction = static_cast<int>(static_cast<float>(remainder) * 100.0f / static_cast<float>(rate) + 0.5f);
    }
    // Rounding may reach a whole second; it carries up through the hours.
    if (fraction >= whole) {
        fraction = 0;
        if (++seconds == 60) {
            seconds = 0;
            if (++minutes == 60) {
                minutes = 0;
                ++hours;
            }
        }
    }
    text = twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) + QLatin1Char(':') + twoDigits(seconds) +
           QLatin1Char('.') + fractionDigits(fraction, digits);
}

void MainWindow::showMarkName(int64_t position) {
    QString name;
    const int count = std::clamp(mMarkCount, 0, int(sizeof mMarkBuffer / sizeof mMarkBuffer[0]));
    for (int i = 0; i < count; ++i) {
        const tAudioFileMarkAFile &mark = mMarkBuffer[i];
        if (static_cast<int64_t>(mark.position) > position) break;
        name = QString::fromLocal8Bit(mark.name, int(strnlen(mark.name, sizeof mark.name)));
    }
    ui->labelMark->setText(tr("MARK = ") + name);
}

void MainWindow::showCounterAt(int64_t cursor) {
    const int64_t shown = cursor + counterDisplayOffset();
    QString text;
    prepareTimeInfoDisp(text, shown, static_cast<int>(mTracks[0].fileInfo.sampleRate));
    ui->lineEditTime->setText(text);
    showMarkName(shown);
}

uint64_t MainWindow::getMaxSamples() {
    const int count = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    uint64_t longest = 0;
    int longestTrack = 0;
    for (int t = 0; t < count; ++t) {
        const tAudioFileInfo &info = mTracks[t].fileInfo;
        const double end = static_cast<double>(info.totalSamples) +
                           static_cast<double>(info.sampleRate) * mMixParam.ch[t].delayMs / 1000.0;
        const uint64_t e = end > 0 ? static_cast<uint64_t>(end) : 0;
        if (e > longest) {
            longest = e;
            longestTrack = t;
        }
    }
    setMaxWaveLengthThreadID(longestTrack);
    return longest;
}

double MainWindow::calcCurrentCursor(double fraction) {
    const double z = mWaveZoom >= 1.0 ? mWaveZoom : 1.0;
    const double length = static_cast<double>(mWaveLevelLength[waveLevelForZoom(z)]);
    double x = 0.0;
    if (length > 0) x = (fraction * length - static_cast<double>(mViewOffset)) / (length / z);
    ui->widgetTrack1->lineCurrentPosition(x);
    if (mChEditStrip) mChEditStrip->setCursorPosition(fraction);
    return x;
}

void MainWindow::timeCounterEscapePressed() { showCounterAt(mCursorSample); }

void MainWindow::timeCounterEnterPressed() {
    const QString text = ui->lineEditTime->text();
    if (text.isEmpty()) {
        timeCounterEscapePressed();
        return;
    }
    const int rate = static_cast<int>(mTracks[0].fileInfo.sampleRate);
    const int64_t offset = counterDisplayOffset();
    int64_t cursor = 0;

    if (mCounterMode == kCounterSamples) {
        bool ok = false;
        cursor = text.trimmed().toLongLong(&ok, 10);
        if (!ok || cursor < 0) cursor = 0;
    } else if (mCounterMode == kCounterTimeCode) {
        const QStringList parts = text.split(QLatin1Char(';'));
        tTimeCode tc{};
        typedClock(parts[0], &tc);
        tc.frame = parts.size() > 1 ? static_cast<int>(parts[1].trimmed().toDouble()) : 0;
        uint64_t position = 0;
        gTc_convTimeCodeToSample(&tc, &position, rate, mFrameType);
        cursor = static_cast<int64_t>(position) - offset;
        if (cursor < 0) cursor = 0;
    } else {
        const int dot = text.indexOf(QLatin1Char('.'));
        const QString clock = dot < 0 ? text : text.left(dot);
        tTimeCode tc{};
        typedClock(clock, &tc);
        int frameType = kTcHundredth;
        double units = 100.0;
        if (mSubSecondDigits >= 4) {
            frameType = kTcTenThousandth;
            units = 10000.0;
        } else if (mSubSecondDigits == 3) {
            frameType = kTcThousandth;
            units = 1000.0;
        }
        if (dot >= 0) {
            const QString after = text.mid(dot + 1).section(QLatin1Char('.'), 0, 0);
            if (!after.isEmpty()) {
                const double fraction = after.toDouble() / std::pow(10.0, after.size());
                tc.frame = static_cast<int>(fraction * units);
            }
        }
        uint64_t position = 0;
        gTc_convTimeCodeToSample(&tc, &position, rate, frameType);
        cursor = static_cast<int64_t>(position);
    }

    // A place outside the material is held to its end: a cursor beyond it
    // would be drawn off the waveform and leave the play button dead with
    // nothing to say why. The counter then shows the place that was taken.
    const uint64_t length = getMaxSamples();
    cursor = std::clamp<int64_t>(cursor, 0, int64_t(std::min<uint64_t>(length, INT64_MAX)));
    mCursorSample = cursor;
    showCounterAt(cursor);
    mCursorFraction = length > 0 ? static_cast<double>(cursor) / static_cast<double>(length) : 0.0;
    calcCurrentCursor(mCursorFraction);
}

void MainWindow::mousePressEvent(QMouseEvent *event) {
    // A click beside the counter commits what was typed into it.
    if (ui->lineEditTime->hasFocus()) {
        ui->lineEditTime->deselect();
        ui->lineEditTime->clearFocus();
        timeCounterEnterPressed();
    }
    event->accept();
}

void MainWindow::counterTimeTriggered(bool checked) {
    if (!checked) return;
    mCounterMode = kCounterTime;
    showCounterAt(mCursorSample);
    QString text;
    prepareTimeInfoDisp(text, static_cast<int64_t>(mTracks[0].fileInfo.totalSamples) + counterDisplayOffset(),
                        int(mTracks[0].fileInfo.sampleRate));
    ui->label_orgTime->setText(text);
}

void MainWindow::counterSampleTriggered(bool checked) {
    if (!checked) return;
    mCounterMode = kCounterSamples;
    showCounterAt(mCursorSample);
    QString text;
    prepareTimeInfoDisp(text, static_cast<int64_t>(mTracks[0].fileInfo.totalSamples) + counterDisplayOffset(),
                        int(mTracks[0].fileInfo.sampleRate));
    ui->label_orgTime->setText(text);
}

void MainWindow::counterTimecodeTriggered(bool checked) {
    if (!checked) return;
    mCounterMode = kCounterTimeCode;
    showCounterAt(mCursorSample);
    QString text;
    prepareTimeInfoDisp(text, static_cast<int64_t>(mTracks[0].fileInfo.totalSamples) + counterDisplayOffset(),
                        int(mTracks[0].fileInfo.sampleRate));
    ui->label_orgTime->setText(text);
}

void MainWindow::frameRateTriggered(tTcFrameType type) {
    mFrameType = type;
    showCounterAt(mCursorSample);
}

void MainWindow::frameRate23Triggered(bool checked) {
    if (checked) frameRateTriggered(kTc23_976);
}
void MainWindow::frameRate24Triggered(bool checked) {
    if (checked) frameRateTriggered(kTc24);
}
void MainWindow::frameRate25Triggered(bool checked) {
    if (checked) frameRateTriggered(kTc25);
}
void MainWindow::frameRate2997DFTriggered(bool checked) {
    if (checked) frameRateTriggered(kTc29_97Drop);
}
void MainWindow::frameRate2997NDFTriggered(bool checked) {
    if (checked) frameRateTriggered(kTc29_97);
}
void MainWindow::frameRate30DFTriggered(bool checked) {
    if (checked) frameRateTriggered(kTc30Drop);
}
void MainWindow::frameRate30NDFTriggered(bool checked) {
    if (checked) frameRateTriggered(kTc30);
}

void MainWindow::digitFrameChanged(int digits) { mSubSecondDigits = digits; }
