#include "mixer/mixer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QThread>
#include <algorithm>

#include "mixer/chstrip.h"
#include "mixer/fxstrip.h"
#include "mixer/masterstrip.h"
#include "mixer/mixlaw.h"
#include "ui_mixer.h"

namespace {

constexpr int kScrollBarThickness = 16;
constexpr int kScrollSteps = 99;  // the bars keep their default range 0..99
constexpr int kStripsPerScrollRow = 16;
constexpr int kSideStripTop = 16;  // the effect and master strips do not scroll vertically
constexpr int kApfPartnerOffset[kReverbAllPassFilters] = {18, 14};

}  // namespace

tMixerLayout mixer_layout(int strips, int winW, int winH, int stripW, int stripH, int hScroll, int vScroll) {
    tMixerLayout l{};
    const int n = std::clamp(strips, 0, static_cast<int>(kMaxTracks));
    const int barX = winW - kScrollBarThickness;
    const int barY = winH - kScrollBarThickness;
    int x = -(((n + 2) * stripW - winW + kScrollBarThickness) * hScroll) / kScrollSteps;
    int y = -((((n - 1) / kStripsPerScrollRow) + 1) * vScroll * stripH) / kScrollSteps;
    for (int i = 0; i < n; ++i) {
        if (x < barX && x + stripW >= barX) x = winW;
        // Once below the window, y stays there for every later strip.
        if (y < barY && y + stripH >= barY) y = winH;
        l.strip[i] = QPoint(x, y);
        x += stripW;
    }
    l.fx = QPoint(x, kSideStripTop);
    l.master = QPoint(x + stripW, kSideStripTop);
    return l;
}

void mixer_reverbParam(const tReverbPanelParam &panel, tReverbParam *out) {
    out->preDelay = static_cast<float>(panel.preDelay);
    out->erTime = static_cast<float>(panel.erTime);
    out->density = static_cast<float>(panel.density);
    out->highDamp = static_cast<float>(panel.highDamp);
    out->reverbTime = static_cast<float>(panel.reverbTime);
    out->roomLong = static_cast<float>(panel.roomLong);
    out->roomWide = static_cast<float>(panel.roomWide);
    out->fixedValue = static_cast<float>(panel.fixedValue);
    out->sourceDepth = static_cast<float>(panel.sourceDepth);
    out->listenerBehind = static_cast<float>(panel.listenerBehind);
    out->erLevel = panel.erLevel;
    out->combLevel = panel.combLevel;
    out->apfLevel = panel.apfLevel;
    out->apfHighDamp = static_cast<float>(panel.apfHighDamp);
    std::copy(std::begin(panel.erRows), std::end(panel.erRows), std::begin(out->erRows));
    for (int i = 0; i < kReverbCombFilters; ++i) {
        out->comb[i].delay = panel.combDelay[i];
        out->comb[i].pickUp = panel.combPickup[i];
    }
    for (int i = 0; i < kReverbAllPassFilters; ++i) {
        out->allPass[i].delay = panel.apfDelay[i];
        out->allPass[i].partner = panel.apfDelay[i] + kApfPartnerOffset[i];
    }
    out->irBuffer = panel.irBuffer;
    out->useIr = panel.useIr;
}

// ---- Construction -----------------------------------------------------

mixer::mixer(QWidget *parent) : QDialog(parent), ui(new Ui::mixer) {
    ui->setupUi(this);
    mReverbTables = mReverb.getReflectionParams();

    mChStrip[0] = new chstrip(this);
    mMasterStrip = new masterstrip(this);
    mFxStrip = new fxstrip(this);
    mChStrip[0]->setTrackNumber(0);
    mStripCount = 1;
    mVScroll = 0;
    mHScroll = 0;
    mInputChannels = 0;
    const int w = mChStrip[0]->width();
    mChStrip[0]->move(0, 0);
    mFxStrip->move(w, 0);
    mMasterStrip->move(2 * w, 0);

    connectChStripSignalSlot(0);
    connect(mMasterStrip, &masterstrip::reportVolumeChanged, this, &mixer::masterVolumeChanged);
    connect(mMasterStrip, &masterstrip::muteButtonClicked, this, &mixer::masterMuteButtonClickEvent);
    connect(mMasterStrip, &masterstrip::eqButtonClicked, this, &mixer::masterEQClickedEvent);
    connect(this, &mixer::updateMasterMeter, mMasterStrip, &masterstrip::updateMeter);
    connect(mFxStrip, &fxstrip::reportVolumeChanged, this, &mixer::fxVolumeChangeEvent);
    connect(mFxStrip, &fxstrip::fxSetToOnOff, this, &mixer::setFxOnOffEvent);
    connect(mFxStrip, &fxstrip::reverbParamChanged, this, &mixer::reverbParamChangeEvent);
    connect(mFxStrip, &fxstrip::ERclicked, this, &mixer::reverbERClickEvent);
    connect(mFxStrip, &fxstrip::CombFilterClicked, this, &mixer::reverbCombFilterClickEvent);
    connect(mFxStrip, &fxstrip::APFclicked, this, &mixer::reverbAPFClickEvent);

    gOutputPatch[0] = kOutputPatchMaster;
    std::fill(gOutputPatch + 1, gOutputPatch + kOutputPatchSize, -1);
    std::fill(std::begin(mMute), std::end(mMute), 0);
    std::fill(std::begin(mSolo), std::end(mSolo), 0);
    std::fill(std::begin(mSoloMuted), std::end(mSoloMuted), 0);

    mMasterStrip->setOutputChannels(2);
    mMasterStrip->setCurrentOutputBus(0);
    mFxStrip->setOutputChannels(2);
    mFxStrip->setCurrentOutputBus(0);
    mFxStrip->setInitRefParams(mReverbTables);
}

mixer::~mixer() {
    for (int i = mStripCount - 1; i >= 0; --i) {
        delete mChStrip[i];
        mChStrip[i] = nullptr;
    }
    delete mMasterStrip;
    mMasterStrip = nullptr;
    delete ui;
}

void mixer::connectChStripSignalSlot(int track) {
    chstrip *s = mChStrip[track];
    connect(s, &chstrip::reportVolumeChanged, this, &mixer::volumeChanged);
    connect(s, &chstrip::reportPanChanged, this, &mixer::panChanged);
    connect(s, &chstrip::reportEqButtonClicked, this, &mixer::eqButtonClicked);
    connect(s, &chstrip::muteButtonClicked, this, &mixer::muteButtonClickEvent);
    connect(s, &chstrip::soloButtonClicked, this, &mixer::soloButtonClickEvent);
    connect(s, &chstrip::fxSendLevelChanged, this, &mixer::fxSendLevelChangeEvent);
    connect(s, &chstrip::fxSendOnClicked, this, &mixer::fxSendOnClickEvent);
    connect(s, &chstrip::reportDelayValChanged, this, &mixer::chDelayValChangeEvent);
    connect(this, &mixer::selectAllEqOnOff, s, &chstrip::allEqOnOffEvent);
    connect(this, &mixer::updateChMeter, s, &chstrip::updateMeter);
    connect(this, &mixer::delayTimeChangedFromMain, s, &chstrip::delayTimeChangeEvent);
    connect(this, &mixer::trackNameLoaded, s, &chstrip::trackNameLoadEvent);
}

// ---- Strips -----------------------------------------------------------

bool mixer::addDelTrack(int add, int track) {
    if (add == 1) {
        // tMixParam, the engine's tables and the strip table have 32 places.
        if (mStripCount >= kMaxTracks) return false;
        const int index = mStripCount;
        chstrip *s = new chstrip(this);
        mChStrip[index] = s;
        s->setTrackNumber(index);
        connectChStripSignalSlot(index);
        s->setInputCh(static_cast<unsigned>(mInputChannels));
        mMute[index] = 0;
        mSolo[index] = 0;
        ++mStripCount;
    } else {
        if (mStripCount <= 1 || track < 0) return false;
        const int last = mStripCount - 1;
        const int gone = std::min(track, last);
        delete mChStrip[gone];
        // The flags travel with their strips, so every strip keeps its own
        // mute and solo state under its new number.
        for (int i = gone; i < last; ++i) {
            mChStrip[i] = mChStrip[i + 1];
            mChStrip[i]->setTrackNumber(i);
            mMute[i] = mMute[i + 1];
            mSolo[i] = mSolo[i + 1];
        }
        mChStrip[last] = nullptr;
        mMute[last] = 0;
        mSolo[last] = 0;
        mSoloMuted[last] = 0;
        --mStripCount;
    }
    // A new strip is silenced by a solo elsewhere; removing the last soloed
    // strip releases the others. The mute factors in the record follow when
    // the owner calls calcMuteSoloVolume with the records in place.
    resolveSoloMuted();
    controlMuteIndicator();
    rebuildMixerWindow();
    for (int i = 0; i < mStripCount; ++i) {
        mChStrip[i]->update();
        mChStrip[i]->show();
        mChStrip[i]->raise();
    }
    return true;
}

void mixer::redrawWindow() {
    for (int i = 0; i < mStripCount; ++i) mChStrip[i]->redrawWindow();
    mFxStrip->redrawWindow();
    mMasterStrip->redrawWindow();
}

void mixer::setInputChannels(int channels) {
    mInputChannels = std::max(channels, 0);
    for (int i = 0; i < mStripCount; ++i) mChStrip[i]->setInputCh(static_cast<unsigned>(mInputChannels));
}

void mixer::setOutputChannels(int channels) {
    mFxStrip->setOutputChannels(channels);
    mMasterStrip->setOutputChannels(channels);
}

QStringList mixer::getTrackNames() {
    mTrackNames.clear();
    for (int i = 0; i < mStripCount; ++i) mTrackNames.append(mChStrip[i]->getTrackName());
    return mTrackNames;
}

void mixer::unselectAll() {
    for (int i = 0; i < mStripCount; ++i) mChStrip[i]->unselectAll();
}

// ---- Gains ------------------------------------------------------------

void mixer::applyGain(int track) { mixLaw_applyGain(&mMixParam->ch[track]); }

void mixer::volumeChanged(int track) {
    if (!validTrack(track) || !mMixParam) return;
    tMixChParam &ch = mMixParam->ch[track];
    const float dB = mChStrip[track]->mLevel;
    ch.faderDb = dB;
    ch.gain = mixLaw_dbToGain(dB);
    applyGain(track);
}

void mixer::panChanged(int track) {
    if (!validTrack(track) || !mMixParam) return;
    mMixParam->ch[track].pan = mChStrip[track]->mPan;
    applyGain(track);
}

void mixer::recalMixParam(int track) {
    if (track < 0 || track >= kMaxTracks || !mMixParam) return;
    applyGain(track);
}

void mixer::resolveSoloMuted() {
    bool anySolo = false;
    for (int i = 0; i < mStripCount; ++i) anySolo = anySolo || mSolo[i];
    for (int i = 0; i < mStripCount; ++i) mSoloMuted[i] = (!mSolo[i] && anySolo) ? 1 : 0;
}

void mixer::calcMuteSoloVolume() {
    if (!mMixParam) return;
    for (int i = 0; i < mStripCount; ++i) {
        mMixParam->ch[i].mute = mixLaw_muteFactor(mSolo[i], mMute[i], mSoloMuted[i]);
        applyGain(i);
    }
}

void mixer::controlMuteIndicator() {
    bool anySolo = false;
    for (int i = 0; i < mStripCount; ++i) anySolo = anySolo || mSolo[i];
    for (int i = 0; i < mStripCount; ++i) mChStrip[i]->setMuteIndicatorOn(anySolo ? !mSolo[i] : mMute[i] != 0);
}

void mixer::muteButtonClickEvent(int track, bool on) {
    if (!validTrack(track)) return;
    mMute[track] = on ? 1 : 0;
    calcMuteSoloVolume();
    controlMuteIndicator();
}

void mixer::soloButtonClickEvent(int track, bool on) {
    if (!validTrack(track)) return;
    mSolo[track] = on ? 1 : 0;
    resolveSoloMuted();
    calcMuteSoloVolume();
    controlMuteIndicator();
}

void mixer::fxSendLevelChangeEvent(int track, int levelDb) {
    if (!validTrack(track) || !mMixParam) return;
    // The only place the send matrix is computed: later pan, fader, mute or
    // solo changes leave it as it is.
    mixLaw_applySend(&mMixParam->ch[track], levelDb);
}

void mixer::fxSendOnClickEvent(int track, bool on) {
    if (!validTrack(track) || !mMixParam) return;
    mMixParam->ch[track].fxSendOn = on;
}

void mixer::masterVolumeChanged() {
    if (!mMixParam) return;
    mMixParam->masterFader = mixLaw_masterFader(mMasterStrip->mLevel);
    mMixParam->masterGain = mixLaw_masterGain(mMixParam->masterFader, mMixParam->masterMute);
}

void mixer::masterMuteButtonClickEvent(bool on) {
    if (!mMixParam) return;
    mMixParam->masterMute = on ? 0.0f : 1.0f;
    mMixParam->masterGain = mixLaw_masterGain(mMixParam->masterFader, mMixParam->masterMute);
}

void mixer::recalMasterParam() {
    if (!mMixParam) return;
    mMixParam->masterGain = mixLaw_masterGain(mMixParam->masterFader, mMixParam->masterMute);
}

void mixer::fxVolumeChangeEvent(int) {
    if (!mMixParam) return;
    mMixParam->fxReturnGain = mixLaw_dbToGain(mFxStrip->mFaderDb);
}

void mixer::setFxOnOffEvent(int on) {
    if (!mMixParam) return;
    mMixParam->fxOn = on != 0;
}

// ---- Reverb -----------------------------------------------------------

void mixer::reverbParamChangeEvent(tReverbPanelParam *param) {
    if (!param) return;
    mixer_reverbParam(*param, &mReverbParam);
    mReverb.setReverbParam(&mReverbParam);
}

void mixer::reverbERClickEvent(bool on) { mReverb.setFilter(kRevFilterEarlyReflections, on); }

void mixer::reverbCombFilterClickEvent(bool on) { mReverb.setFilter(kRevFilterComb, on); }

void mixer::reverbAPFClickEvent(bool on) { mReverb.setFilter(kRevFilterAllPass, on); }

// ---- Relays -----------------------------------------------------------

void mixer::eqButtonClicked(int track) {
    if (validTrack(track)) emit reportEqButtonClicked(track);
}

void mixer::chDelayValChangeEvent(int track, double ms) {
    if (validTrack(track)) emit reportChDelayChanged(track, ms);
}

void mixer::masterEQClickedEvent() { emit masterEQClicked(); }

void mixer::selectAllEqOnOffEvent(bool on, int track) { emit selectAllEqOnOff(on, track); }

void mixer::delayTimeChangeEvent(int track, double ms) { emit delayTimeChangedFromMain(track, ms); }

void mixer::trackNameloadEvent(const QStringList &names) { emit trackNameLoaded(names); }

void mixer::setStripFFTPeakFreq(int strip, float hz) {
    if (strip < 0 || strip >= kMaxTracks) return;
    if (QThread::currentThread() == thread()) {
        if (validTrack(strip)) mChStrip[strip]->setFFTPeakFreq(hz);
        return;
    }
    // The analysis thread never reads the strip table: it leaves the newest
    // value per track, and one queued call hands every waiting value to the
    // strips that exist by then.
    mPeakHz[strip].store(hz);
    if (mPeakDirty.fetch_or(1u << strip) == 0)
        QMetaObject::invokeMethod(
            this, [this] { showStripPeaks(); }, Qt::QueuedConnection);
}

void mixer::setStripInputCh(int channel) {
    if (QThread::currentThread() == thread()) {
        setInputChannels(channel);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, channel] { setInputChannels(channel); }, Qt::QueuedConnection);
}

void mixer::showStripPeaks() {
    const uint32_t dirty = mPeakDirty.exchange(0);
    for (int i = 0; i < mStripCount; ++i) {
        if (dirty & (1u << i)) mChStrip[i]->setFFTPeakFreq(mPeakHz[i].load());
    }
}

// ---- Layout, keys, mouse ----------------------------------------------

void mixer::rebuildMixerWindow() {
    const int winW = width();
    const int winH = height();
    ui->horizontalScrollBar->setGeometry(0, winH - kScrollBarThickness, winW - kScrollBarThickness,
                                         kScrollBarThickness);
    ui->verticalScrollBar->setGeometry(winW - kScrollBarThickness, 0, kScrollBarThickness, winH - kScrollBarThickness);
    const tMixerLayout l =
        mixer_layout(mStripCount, winW, winH, mChStrip[0]->width(), mChStrip[0]->height(), mHScroll, mVScroll);
    for (int i = 0; i < mStripCount; ++i) mChStrip[i]->move(l.strip[i]);
    mFxStrip->move(l.fx);
    mMasterStrip->move(l.master);
    // The bars stay reachable above any strip that reaches under them.
    ui->horizontalScrollBar->raise();
    ui->verticalScrollBar->raise();
}

void mixer::on_verticalScrollBar_valueChanged(int value) {
    mVScroll = value;
    rebuildMixerWindow();
}

void mixer::on_horizontalScrollBar_valueChanged(int value) {
    mHScroll = value;
    rebuildMixerWindow();
}

void mixer::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    rebuildMixerWindow();
}

void mixer::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Control) mFxStrip->contKeyPressed();
    event->accept();
}

void mixer::keyReleaseEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Control) mFxStrip->contKeyReleased();
    event->accept();
}

void mixer::mousePressEvent(QMouseEvent *event) {
    unselectAll();
    QDialog::mousePressEvent(event);
}
