// The main window's job record and its mixer and equaliser state, on one
// constructed window: describing files into track slots and the feed record
// (with the library bound and without), the mixer and equaliser start
// values, binding and opening the equaliser windows, and passing their
// on/off and close reports on.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QInputDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <limits>

#include "app/mainwindow.h"
#include "mixer/mixer.h"
#include "editing/cheditstrip.h"
#include "engine/audiothread.h"
#include "engine/mixerthread.h"
#include "mainwindowfixture.h"
#include "mixer/dialogpeq.h"
#include "mixer/eqcontrols.h"
#include "morphex/fileinfo.h"
#include "pcmwav.h"
#include "ui_mainwindow.h"

namespace {

using wavtest::writeWav;

class JobMixWindow : public tMainWindowSuite {
protected:
    static QString file(const char *name) { return sHome->filePath(QString::fromLatin1(name)); }
};

}  // namespace

TEST_F(JobMixWindow, DescribesAFileIntoItsSlotAndFillsTheFeed) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    ASSERT_NE(probe(w).getAudioFileInformation(), nullptr) << "the library is not bound";
    const QString wav = file("two.wav");
    ASSERT_TRUE(writeWav(wav, 96000, 24, 2, 96000 * 3));

    probe(w).cursorSample() = 0;
    probe(w).mixParam().ch[0].delayMs = 500.0;
    tMorphexParam job;
    ASSERT_EQ(w.getAudioParam(&job, wav, 0), 0);
    const tAudioFileInfo &info = probe(w).tracks()[0].fileInfo;
    EXPECT_EQ(info.sampleRate, 96000u);
    EXPECT_EQ(info.bitsPerSample, 24u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.dataBytes, 96000u * 3 * 6);
    EXPECT_EQ(info.totalSamples, 96000u * 3);
    EXPECT_EQ(info.seconds, 3u);
    EXPECT_EQ(probe(w).overview().length[0], 96000 * 3);
    EXPECT_EQ(probe(w).mixParam().ch[0].channels, 2);
    // The view: no marks, the length, short material, the channels.
    trackGraphic *view = probe(w).ui()->widgetTrack1;
    EXPECT_EQ(view->mMarkCount, 0);
    EXPECT_EQ(view->mMaterialLength, 96000 * 3);
    EXPECT_TRUE(view->mShortMaterial);
    EXPECT_EQ(view->mChannels[0], 2);
    // The feed: WAV at 44.1 kHz play rate, 500 ms of delay at 96 kHz.
    EXPECT_TRUE(job.srcPath == wav.toStdU16String());
    EXPECT_TRUE(job.dstPath == u"converted.wav");
    EXPECT_EQ(job.fileType, 0u);
    EXPECT_EQ(job.bits, 24u);
    EXPECT_EQ(job.srcChannels, 2u);
    EXPECT_EQ(job.startOffset, 48000);
    EXPECT_EQ(job.com.startSample, -48000);
    EXPECT_EQ(job.com.endSample, 96000 * 3);
    EXPECT_EQ(job.com.command, uint32_t(kMorphexComFeedOnly));
    EXPECT_EQ(job.com.peq, probe(w).tracks()[0].peq);
    EXPECT_EQ(job.fileCount, 1);
    probe(w).mixParam().ch[0].delayMs = 0.0;

    // A DSD play rate asks for DSDIFF, 1 bit.
    const int32_t playFs = probe(w).playFs();
    probe(w).playFs() = 2822400;
    ASSERT_EQ(w.getAudioParam(&job, wav, 0), 0);
    EXPECT_TRUE(job.dstPath == u"converted.dff");
    EXPECT_EQ(job.fileType, 3u);
    EXPECT_EQ(job.bits, 1u);
    probe(w).playFs() = playFs;

    // A further track fills its own slot and leaves the first track's view.
    const QString mono = file("mono.wav");
    ASSERT_TRUE(writeWav(mono, 44100, 16, 1, 4410));
    ASSERT_EQ(w.getAudioParam(&job, mono, 1), 0);
    EXPECT_EQ(probe(w).tracks()[1].fileInfo.channels, 1u);
    EXPECT_EQ(probe(w).overview().length[1], 4410);
    EXPECT_EQ(view->mChannels[1], 1);
    EXPECT_EQ(view->mMaterialLength, 96000 * 3);
    EXPECT_EQ(job.com.track, 1u);
    EXPECT_EQ(job.com.peq, probe(w).tracks()[1].peq);  // no record in slot 1 yet
    EXPECT_EQ(probe(w).mixParam().ch[1].channels, 1);
}

TEST_F(JobMixWindow, ShortFileFlagAt900And901Seconds) {
    MainWindow &w = *sWindow;
    struct Case {
        uint64_t seconds;
        bool shortFile;
    };
    const Case cases[] = {{900, true}, {901, false}};
    for (const Case &c : cases) {
        const QString wav = file("long.wav");
        ASSERT_TRUE(writeWav(wav, 44100, 16, 2, 44100 * c.seconds));
        tMorphexParam job;
        ASSERT_EQ(w.getAudioParam(&job, wav, 0), 0) << c.seconds;
        EXPECT_EQ(probe(w).tracks()[0].fileInfo.seconds, c.seconds);
        EXPECT_EQ(probe(w).ui()->widgetTrack1->mShortMaterial, c.shortFile) << c.seconds;
        QFile::remove(wav);
    }
}

TEST_F(JobMixWindow, FailuresKeepThePreviousInformation) {
    MainWindow &w = *sWindow;
    const QString wav = file("keep.wav");
    ASSERT_TRUE(writeWav(wav, 48000, 16, 2, 48000));
    tMorphexParam job;
    ASSERT_EQ(w.getAudioParam(&job, wav, 0), 0);
    const tAudioFileInfo before = probe(w).tracks()[0].fileInfo;

    // A file the library cannot open: its code, the slot as it was, no marks.
    EXPECT_EQ(w.getAudioParam(&job, file("missing.wav"), 0), kFileInfoErrOpen);
    EXPECT_EQ(std::memcmp(&probe(w).tracks()[0].fileInfo, &before, sizeof before), 0);
    EXPECT_EQ(probe(w).overview().length[0], 48000);
    EXPECT_EQ(probe(w).ui()->widgetTrack1->mMarkCount, 0);

    // The library not bound: a negative code rather than a call through null.
    const auto bound = probe(w).getAudioFileInformation();
    probe(w).getAudioFileInformation() = nullptr;
    EXPECT_EQ(w.getAudioParam(&job, wav, 0), kJobRecordNoLibrary);
    probe(w).getAudioFileInformation() = bound;
    EXPECT_EQ(std::memcmp(&probe(w).tracks()[0].fileInfo, &before, sizeof before), 0);

    // A slot outside the arrays is refused.
    EXPECT_LT(w.getAudioParam(&job, wav, kMainTrackSlots), 0);
    EXPECT_LT(w.getAudioParam(&job, wav, -1), 0);
}

TEST_F(JobMixWindow, MixerAndEqualiserStartValues) {
    MainWindow &w = *sWindow;
    const tMixParam &mix = probe(w).mixParam();
    EXPECT_EQ(mix.trackCount, 1);
    EXPECT_EQ(mix.ch[0].LL, 1.0);
    EXPECT_EQ(mix.ch[0].RR, 1.0);
    EXPECT_EQ(mix.ch[0].LR, 0.0);
    EXPECT_EQ(mix.ch[0].gain, 1.0);
    EXPECT_EQ(mix.ch[0].mute, 1.0f);
    EXPECT_EQ(mix.masterGain, 1.0);
    EXPECT_EQ(mix.masterMute, 1.0f);
    EXPECT_EQ(mix.masterFader, 1.0f);
    EXPECT_EQ(mix.fxReturnGain, 0.0);
    EXPECT_FALSE(mix.fxOn);

    // The master: 100, 400, 1000, 4000 Hz from EQ1 (band 3) to EQ4 (band
    // 0) at Q 0.7, every band off; a track's defaults at Q 0.9.
    const tPEQ *master = probe(w).masterPeq();
    ASSERT_NE(master, nullptr);
    const double masterFreq[kEqBands] = {4000, 1000, 400, 100};
    for (int b = 0; b < kEqBands; ++b) {
        EXPECT_EQ(master->band[b].mFreq, masterFreq[b]) << b;
        EXPECT_EQ(master->band[b].mQ, 0.7) << b;
        EXPECT_FALSE(master->band[b].mBandOn) << b;
    }
    EXPECT_EQ(master->totalGainLin, 1.0);
    EXPECT_EQ(master->allOn, &probe(w).masterPeqDialog()->mAllEqOn);

    w.initEQParams(0);
    const double trackFreq[kEqBands] = {5000, 2000, 1000, 100};
    for (int b = 0; b < kEqBands; ++b) {
        EXPECT_EQ(probe(w).tracks()[0].peq->band[b].mFreq, trackFreq[b]) << b;
        EXPECT_EQ(probe(w).tracks()[0].peq->band[b].mQ, 0.9) << b;
    }

    // A new mono track plays its left input fully on both sides until the
    // mixer recomputes it.
    probe(w).mixParam().ch[3].channels = 1;
    w.autoSetupMixerTrackParam(3);
    EXPECT_EQ(probe(w).mixParam().ch[3].LL, 1.0);
    EXPECT_EQ(probe(w).mixParam().ch[3].LR, 1.0);
    EXPECT_EQ(probe(w).mixParam().ch[3].RR, 0.0);
    probe(w).mixParam().ch[3] = tMixChParam{};
}

TEST_F(JobMixWindow, EqualiserWindowsBindOpenAndShowBandThreeAsEq1) {
    MainWindow &w = *sWindow;
    DialogPeq *track0 = probe(w).tracks()[0].peqDialog;
    ASSERT_NE(track0, nullptr);
    EXPECT_EQ(track0->mTrackId, 0);
    EXPECT_EQ(track0->windowTitle(), QStringLiteral("Parametric Equalizer - TRACK 1"));
    EXPECT_EQ(probe(w).tracks()[0].peq->allOn, &track0->mAllEqOn);

    // The master window opens bound to the master record at the play rate,
    // with the master analysis on; its EQ1 shows band 3.
    DialogPeq *masterWindow = probe(w).masterPeqDialog();
    probe(w).core().mMixerThread->setMasterAnalysis(false);
    w.on_pushCh1PEQ_clicked();
    EXPECT_TRUE(masterWindow->isVisible());
    EXPECT_TRUE(probe(w).core().mMixerThread->getMasterAnalysis());
    EXPECT_EQ(masterWindow->boundRecord(), probe(w).masterPeq());
    EXPECT_EQ(masterWindow->sampleRate(), probe(w).playFs());
    const char *fields[kEqBands] = {"textEditFreq1", "textEditFreq2", "textEditFreq3", "textEditFreq4"};
    for (int i = 0; i < kEqBands; ++i) {
        auto *f = masterWindow->findChild<widgetEqParamText *>(fields[i]);
        ASSERT_NE(f, nullptr);
        EXPECT_DOUBLE_EQ(f->text().toDouble(), probe(w).masterPeq()->band[kEqBands - 1 - i].mFreq) << fields[i];
    }
    masterWindow->hide();

    // A track's window: opened bound to its record, and the analysis of
    // that track asked for.
    QSignalSpy opened(&w, &MainWindow::chEqWindowOpended);
    w.mixerEqButtonClicked(0);
    EXPECT_TRUE(track0->isVisible());
    EXPECT_EQ(track0->boundRecord(), probe(w).tracks()[0].peq);
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.at(0).at(0).toInt(), 0);
    // A slot without a window is ignored.
    w.mixerEqButtonClicked(7);
    w.mixerEqButtonClicked(-1);
    EXPECT_EQ(opened.count(), 1);
    track0->hide();
}

TEST_F(JobMixWindow, OnOffAndCloseReports) {
    MainWindow &w = *sWindow;
    QSignalSpy toMixer(&w, &MainWindow::allEqOnOffToMixer);

    struct Case {
        int on, id;
        bool passed;
    };
    const Case cases[] = {{1, 1023, true}, {0, 5, true},   {2, 31, true},
                          {1, 40, false},  {1, -1, false}, {1, 1022, false}};
    for (const Case &c : cases) {
        toMixer.clear();
        w.selAllEqOnOff(c.on, c.id);
        ASSERT_EQ(toMixer.count(), c.passed ? 1 : 0) << c.id;
        if (c.passed) {
            EXPECT_EQ(toMixer.at(0).at(0).toBool(), c.on != 0);
            EXPECT_EQ(toMixer.at(0).at(1).toInt(), c.id);
        }
    }

    // The master's report also switches the form's lamp: its picture
    // changes with the state.
    eqIndicator *lamp = probe(w).ui()->labelEqIndicator;
    w.selAllEqOnOff(1, 1023);
    const QImage lit = lamp->pixmap().toImage();
    w.selAllEqOnOff(0, 1023);
    const QImage dark = lamp->pixmap().toImage();
    EXPECT_NE(lit, dark);
    w.selAllEqOnOff(1, 40);
    EXPECT_EQ(lamp->pixmap().toImage(), dark);

    // The track window's own switch reaches the main window through the
    // binding.
    toMixer.clear();
    emit probe(w).tracks()[0].peqDialog->selectAllEqOnOff(1, 0);
    ASSERT_EQ(toMixer.count(), 1);

    // Closing a track's window reports its id once, also after a second
    // binding (a track deletion binds again), and no longer after release.
    // Opening it starts that track's spectrum analysis, closing it stops it.
    QSignalSpy closed(&w, &MainWindow::eqWindowClosed);
    w.asignEQParameterTrack(0);
    w.mixerEqButtonClicked(0);
    EXPECT_TRUE(probe(w).core().mMixerThread->isEqWindowOpen(0));
    probe(w).tracks()[0].peqDialog->close();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).toInt(), 0);
    EXPECT_FALSE(probe(w).core().mMixerThread->isEqWindowOpen(0));
    w.mixerEqButtonClicked(0);
    EXPECT_TRUE(probe(w).core().mMixerThread->isEqWindowOpen(0));
    probe(w).tracks()[0].peqDialog->close();
    EXPECT_FALSE(probe(w).core().mMixerThread->isEqWindowOpen(0));
    ASSERT_EQ(closed.count(), 2);
    w.releaseEQParameterTrack(0);
    w.mixerEqButtonClicked(0);
    probe(w).tracks()[0].peqDialog->close();
    EXPECT_EQ(closed.count(), 2);
    w.asignEQParameterTrack(0);

    // The delay of a track, as the mixer window reports it: kept in the
    // mixer record and shown by the track's row of the volume-graph window,
    // in the track's samples (500 ms at 44.1 kHz: 22050).
    ASSERT_NE(probe(w).chEditStrip(), nullptr);
    ASSERT_NE(probe(w).mixer(), nullptr);
    probe(w).tracks()[2].fileInfo.sampleRate = 44100;
    tChEditerParameters row;
    row.length = 441000;
    probe(w).chEditStrip()->addChEditParameters(2, &row);
    const int shown = probe(w).chEditStrip()->searchDrawTrack(2);
    ASSERT_GE(shown, 0);
    emit probe(w).mixer()->reportChDelayChanged(2, 500.0);
    EXPECT_EQ(probe(w).mixParam().ch[2].delayMs, 500.0);
    EXPECT_EQ(probe(w).chEditStrip()->rowDelay(shown), 22050);
    w.ChDelayValueChangeEvent(32, 1.0);  // no such slot: nothing written
    probe(w).mixParam().ch[2].delayMs = 0.0;
    probe(w).tracks()[2].fileInfo = tAudioFileInfo();
    probe(w).chEditStrip()->deleteAllTracks();
}

TEST_F(JobMixWindow, DelayBoxSetsTheTrackUnderTheMouse) {
    MainWindow &w = *sWindow;
    QSignalSpy changed(&w, &MainWindow::delayTimeChanged);
    probe(w).mixParam().trackCount = 2;
    probe(w).mixParam().ch[1].delayMs = 120.7;
    const int height = probe(w).ui()->widgetTrack1->height();
    struct Case {
        int y;
        const char *typed;
        int track;
        double ms;
    };
    const Case cases[] = {
        {height * 3 / 4, "250", 1, 250.0},
        {height / 4, "abc", 0, 0.0},    // not a number: 0
        {height * 5, "12.5", 1, 12.5},  // below the view: the last track
    };
    for (const Case &c : cases) {
        probe(w).trackMousePos() = QPoint(10, c.y);
        QString title, label, shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            label = box->labelText();
            shown = box->textValue();
            box->setTextValue(QString::fromLatin1(c.typed));
            box->accept();
        });
        changed.clear();
        w.setDelayTimeClickEvent();
        const QString n = QString::number(c.track + 1);
        EXPECT_EQ(title, QStringLiteral("Please set Delay of Track ") + n);
        EXPECT_EQ(label, QStringLiteral("Delay Time[msec] of Track ") + n + QStringLiteral(" = "));
        if (c.y == height * 3 / 4) EXPECT_EQ(shown, QStringLiteral("120"));  // the current delay, whole
        EXPECT_EQ(probe(w).mixParam().ch[c.track].delayMs, c.ms) << c.typed;
        ASSERT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.at(0).at(0).toInt(), c.track);
        EXPECT_EQ(changed.at(0).at(1).toDouble(), c.ms);
    }
    // Cancel changes nothing.
    QTimer::singleShot(0, [] {
        if (auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) box->reject();
    });
    changed.clear();
    w.setDelayTimeClickEvent();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(probe(w).mixParam().ch[1].delayMs, 12.5);
    probe(w).mixParam().trackCount = 1;
    probe(w).mixParam().ch[0].delayMs = 0.0;
    probe(w).mixParam().ch[1].delayMs = 0.0;
}
