// The oscillator window: typed frequency, level and frame digits turned into
// valid values, the fixed pattern decoded from hex, the wave radios and the
// stored wave type, the two lamps, the input-monitor warning and the input
// pair list, and the pass-through switches.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "mixer/dialogoscillator.h"
#include "mixer/eqcontrols.h"
#include "mixer/osclamps.h"

namespace {

// What the window told its owner, in order.
struct Recorder {
    std::vector<QString> events;
    explicit Recorder(DialogOscillator &d) {
        auto add = [this](QString e) { events.push_back(std::move(e)); };
        QObject::connect(&d, &DialogOscillator::selOscOnOff, [add](int v) { add(QString("osc %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::freqChanged, [add](int v) { add(QString("freq %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::levelChanged, [add](double v) { add(QString("level %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::digitFrameChanged, [add](int v) { add(QString("digits %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::oscParamChanged, [add] { add("param"); });
        QObject::connect(&d, &DialogOscillator::selectInMonitorEnToMain,
                         [add](bool v) { add(QString("monitor %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::changeInputMoniCh, [add](int v) { add(QString("inputs %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::ncPhaseClicked, [add](bool v) { add(QString("phase %1").arg(v)); });
        QObject::connect(&d, &DialogOscillator::showSubFrameCheckBoxClicked,
                         [add](bool v) { add(QString("subframe %1").arg(v)); });
    }
    std::vector<QString> take() {
        std::vector<QString> out;
        out.swap(events);
        return out;
    }
};

using Events = std::vector<QString>;

template <class T>
T *child(DialogOscillator &d, const char *name) {
    T *w = d.findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Types `text` into a field (replacing what it holds) and presses Return.
void enter(widgetEqParamText *field, const QString &text) {
    field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
}

bool samePicture(const QLabel *label, const char *path) {
    const QImage want = QPixmap(QString::fromLatin1(path)).toImage();
    return !want.isNull() && label->pixmap().toImage() == want;
}

// The message boxes a call opened, each closed with Ok as soon as it
// appeared.
struct Boxes {
    int count = 0;
    QString title;
    QString text;
    bool done = false;
};

void watch(const std::shared_ptr<Boxes> &seen) {
    QTimer::singleShot(10, [seen] {
        if (seen->done) return;
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ++seen->count;
            seen->title = box->windowTitle();
            seen->text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
        watch(seen);
    });
}

Boxes boxesDuring(const std::function<void()> &action) {
    auto seen = std::make_shared<Boxes>();
    watch(seen);
    action();
    seen->done = true;
    return *seen;
}

}  // namespace

TEST(OscillatorWindow, StartsWithTheGeneratorsValues) {
    DialogOscillator d;
    EXPECT_EQ(d.windowTitle(), "Special Menu");
    EXPECT_EQ(d.minimumSize(), QSize(400, 260));
    EXPECT_EQ(d.maximumSize(), QSize(400, 352));
    EXPECT_FALSE(d.windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(d.mOscType, kOscSine);
    EXPECT_EQ(d.mFixedPattern, 0xA53CA53Cu);
    // The owner copies the two as one pair into the generator's pair.
    EXPECT_EQ(reinterpret_cast<char *>(&d.mFixedPattern) - reinterpret_cast<char *>(&d.mOscType), 4);
    EXPECT_TRUE(child<QRadioButton>(d, "radioButtonSine")->isChecked());
    EXPECT_EQ(child<widgetEqParamText>(d, "lineEditFreq")->text(), "1000");
    EXPECT_EQ(child<widgetEqParamText>(d, "lineEditLevel")->text(), "-16");
    EXPECT_EQ(child<widgetEqParamText>(d, "lineEditLevel")->mDecimals, 2);
    EXPECT_EQ(child<widgetEqParamText>(d, "lineEditFreq")->mDecimals, 1);
    EXPECT_EQ(child<widgetEqParamText>(d, "lineEditDigitFrame")->text(), "2");
    EXPECT_EQ(child<QLineEdit>(d, "lineEditFixedPat")->text(), "A53CA53C");
    EXPECT_TRUE(samePicture(child<QLabel>(d, "labelOscIndicator"), ":/jpgData/oscOff.png"));
    EXPECT_EQ(child<QComboBox>(d, "comboBoxInputCh")->count(), 0);
}

TEST(OscillatorWindow, FrequencyTextsBecomeValidFrequencies) {
    struct Row {
        const char *typed;
        int hz;
    };
    const Row rows[] = {{"0", 1},          {"1", 1}, {"-5", 1},    {"12.5", 1},          {"", 1},
                        {"-", 1},          {"2", 2}, {"440", 440}, {"1000000", 1000000}, {"2000000", 1000000},
                        {"99999999999", 1}};
    DialogOscillator d;
    Recorder rec(d);
    auto *freq = child<widgetEqParamText>(d, "lineEditFreq");
    for (const Row &row : rows) {
        enter(freq, row.typed);
        EXPECT_EQ(freq->text(), QString::number(row.hz)) << row.typed;
        // Return in the frequency field confirms the level too.
        EXPECT_EQ(rec.take(), (Events{QString("freq %1").arg(row.hz), "level -16"})) << row.typed;
    }
}

TEST(OscillatorWindow, LevelTextsAreLimitedAndShownWithTwoDecimals) {
    struct Row {
        const char *typed;
        const char *shown;
        double dB;
    };
    const Row rows[] = {{"20", "18.00", 18.0},    {"-150", "-100.00", -100.0},  {"", "0.00", 0.0},
                        {"-16", "-16.00", -16.0}, {"-3.14159", "-3.14", -3.14}, {"-", "0.00", 0.0},
                        {"1.2.3", "1.20", 1.2}};
    DialogOscillator d;
    Recorder rec(d);
    auto *level = child<widgetEqParamText>(d, "lineEditLevel");
    for (const Row &row : rows) {
        enter(level, row.typed);
        EXPECT_EQ(level->text(), row.shown) << row.typed;
        EXPECT_EQ(rec.take(), (Events{"freq 1000", QString("level %1").arg(row.dB)})) << row.typed;
    }
    // A press on the window's background confirms both fields as well.
    level->setText("-20");
    QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(rec.take(), (Events{"freq 1000", "level -20"}));
    EXPECT_EQ(level->text(), "-20.00");
}

TEST(OscillatorWindow, FrameDigitsAreTwoThreeOrFour) {
    struct Row {
        const char *typed;
        int digits;
    };
    const Row rows[] = {{"3", 3},   {"7", 4}, {"4", 4},  {"1", 2},          {"0", 2},
                        {"2.5", 2}, {"", 2},  {"-3", 2}, {"99999999999", 2}};
    DialogOscillator d;
    Recorder rec(d);
    auto *digits = child<widgetEqParamText>(d, "lineEditDigitFrame");
    for (const Row &row : rows) {
        enter(digits, row.typed);
        EXPECT_EQ(digits->text(), QString::number(row.digits)) << row.typed;
        EXPECT_EQ(rec.take(), (Events{QString("digits %1").arg(row.digits)})) << row.typed;
    }
}

TEST(OscillatorWindow, FixedPatternIsDecodedFromHexOnEveryChange) {
    struct Row {
        const char *text;
        uint32_t pattern;
    };
    const Row rows[] = {{"A5", 0xA5000000u},          {"A53C", 0xA53C0000u},    {"A53", 0x0A530000u},
                        {"A53CA53C12", 0xA53CA53Cu},  {"G1", 0x01000000u},      {"", 0u},
                        {"ff ff-ff:ff", 0xFFFFFFFFu}, {"80000001", 0x80000001u}};
    for (const Row &row : rows) EXPECT_EQ(osc_patternFromText(row.text), row.pattern) << row.text;

    DialogOscillator d;
    Recorder rec(d);
    auto *field = child<QLineEdit>(d, "lineEditFixedPat");
    field->clear();
    EXPECT_EQ(d.mFixedPattern, 0u);
    rec.take();
    // Each keystroke sends the pair again, whatever wave is chosen.
    QTest::keyClicks(field, "A53");
    EXPECT_EQ(d.mFixedPattern, 0x0A530000u);
    EXPECT_EQ(rec.take(), (Events{"param", "param", "param"}));
    EXPECT_EQ(d.mOscType, kOscSine);
}

TEST(OscillatorWindow, WaveRadiosStoreTheTypeAndSendTheParameters) {
    DialogOscillator d;
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    Recorder rec(d);
    struct Row {
        const char *radio;
        tOscWaveType type;
    };
    const Row rows[] = {{"radioButtonFixed", kOscFixedPattern}, {"radioButtonSaw", kOscSawtooth},
                        {"radioButtonTriangle", kOscTriangle},  {"radioButtonWhite", kOscWhiteNoise},
                        {"radioButtonPink", kOscPinkNoise},     {"radioButtonSine", kOscSine}};
    const char *const waves[] = {"radioButtonSine",     "radioButtonFixed", "radioButtonSaw",
                                 "radioButtonTriangle", "radioButtonWhite", "radioButtonPink"};
    for (const Row &row : rows) {
        auto *radio = child<QRadioButton>(d, row.radio);
        QTest::mouseClick(radio, Qt::LeftButton, Qt::NoModifier, QPoint(5, radio->height() / 2));
        EXPECT_EQ(d.mOscType, row.type) << row.radio;
        EXPECT_EQ(rec.take(), Events{"param"}) << row.radio;
        for (const char *w : waves) EXPECT_EQ(child<QRadioButton>(d, w)->isChecked(), QString(w) == row.radio) << w;
    }
    // A click on the radio already checked sends the parameters again.
    auto *sine = child<QRadioButton>(d, "radioButtonSine");
    QTest::mouseClick(sine, Qt::LeftButton, Qt::NoModifier, QPoint(5, sine->height() / 2));
    EXPECT_EQ(rec.take(), Events{"param"});

    // The Voice Guidance radios share the exclusive set but send nothing
    // and leave the wave type alone.
    d.radioFixedPatClicked(true);
    rec.take();
    auto *vg = child<QRadioButton>(d, "radioButtonVGON");
    QTest::mouseClick(vg, Qt::LeftButton, Qt::NoModifier, QPoint(5, vg->height() / 2));
    EXPECT_TRUE(vg->isChecked());
    EXPECT_FALSE(child<QRadioButton>(d, "radioButtonFixed")->isChecked());
    EXPECT_EQ(d.mOscType, kOscFixedPattern);
    EXPECT_TRUE(rec.take().empty());
    // A slot called with false does nothing.
    d.radioSineClicked(false);
    EXPECT_EQ(d.mOscType, kOscFixedPattern);
    EXPECT_TRUE(rec.take().empty());
}

TEST(OscillatorWindow, GeneratorLampTogglesAndReportsItsState) {
    DialogOscillator d;
    Recorder rec(d);
    auto *lamp = child<oscIndicator>(d, "labelOscIndicator");
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(samePicture(lamp, ":/jpgData/oscOn.png"));
    QTest::mouseClick(lamp, Qt::RightButton);
    EXPECT_TRUE(samePicture(lamp, ":/jpgData/oscOff.png"));
    EXPECT_EQ(rec.take(), (Events{"osc 1", "osc 0"}));

    // The lamp family's other click rules.
    oscIndicator own;
    QSignalSpy clicked(&own, &oscIndicator::oscIndicatorClicked);
    QSignalSpy state(&own, &oscIndicator::selOscOnOff);
    own.selectClickControl(kIndicatorClick);
    QTest::mouseClick(&own, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_FALSE(own.isOn());
    own.selectClickControl(kIndicatorIgnore);
    QTest::mouseClick(&own, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(state.count(), 0);
    own.changeoscIndicator(true);
    EXPECT_TRUE(own.isOn());
    EXPECT_TRUE(samePicture(&own, ":/jpgData/eqOn.png"));
    EXPECT_EQ(state.count(), 0);
}

TEST(OscillatorWindow, InputMonitorWarnsWithoutInputsAndFollowsTheLampWithThem) {
    DialogOscillator d;
    Recorder rec(d);
    auto *lamp = child<labelInMonitor>(d, "labelInMoni");
    for (const char *picture : {":/jpgData/inMoniOn.png", ":/jpgData/inMoniOff.png"}) {
        const Boxes shown = boxesDuring([&] { QTest::mouseClick(lamp, Qt::LeftButton); });
        EXPECT_EQ(shown.count, 1);
        EXPECT_EQ(shown.title, "Could not monitor.");
        EXPECT_EQ(shown.text, "No Recordable inputs in this device.\nPlease select recordable audio device.");
        EXPECT_TRUE(samePicture(lamp, picture));
        EXPECT_TRUE(rec.take().empty());
    }

    // Three inputs: two pairs, the first chosen as it arrives.
    d.setAsioInputCh(3);
    auto *combo = child<QComboBox>(d, "comboBoxInputCh");
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "Ch 3-4");
    EXPECT_EQ(rec.take(), Events{"inputs 0"});
    const Boxes shown = boxesDuring([&] {
        QTest::mouseClick(lamp, Qt::LeftButton);
        QTest::mouseClick(lamp, Qt::LeftButton);
    });
    EXPECT_EQ(shown.count, 0);
    EXPECT_EQ(rec.take(), (Events{"monitor 1", "monitor 0"}));
    combo->setCurrentIndex(1);
    EXPECT_EQ(rec.take(), Events{"inputs 1"});

    // No inputs again: the list empties, which is reported as well.
    d.setAsioInputCh(0);
    EXPECT_EQ(combo->count(), 0);
    EXPECT_EQ(rec.take(), Events{"inputs -1"});

    struct Row {
        unsigned int n;
        QStringList items;
    };
    const Row rows[] = {{0, {}},
                        {1, {"Ch 1-2"}},
                        {2, {"Ch 1-2"}},
                        {3, {"Ch 1-2", "Ch 3-4"}},
                        {8, {"Ch 1-2", "Ch 3-4", "Ch 5-6", "Ch 7-8"}}};
    for (const Row &row : rows) EXPECT_EQ(osc_inputPairItems(row.n), row.items) << row.n;
}

TEST(OscillatorWindow, PhaseAndSubFrameBoxesAndTheRateArePassedOn) {
    DialogOscillator d;
    d.resize(400, 352);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    Recorder rec(d);
    auto *sub = child<QCheckBox>(d, "checkBoxShowSubFrame");
    QTest::mouseClick(sub, Qt::LeftButton, Qt::NoModifier, QPoint(5, sub->height() / 2));
    auto *phase = child<QCheckBox>(d, "checkBoxNcPhase");
    // The box lies below the tallest window; the click reaches it all the
    // same.
    phase->click();
    phase->click();
    EXPECT_EQ(rec.take(), (Events{"subframe 1", "phase 1", "phase 0"}));

    d.setCurrentSampleRate(96000);
    EXPECT_EQ(d.currentSampleRate(), 96000);
    EXPECT_TRUE(rec.take().empty());
}
