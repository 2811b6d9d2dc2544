// Style-sheet buttons and key-forwarding controls, driven as a user would:
// keys go to a focused control inside a window, and the look is read back
// from a grab of the widget.
#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <memory>

#include "widgets/snxbuttons.h"

namespace {

// A window that records the keys that reach it, so a test can tell whether a
// child let a key through.
class KeyRecorder : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override { keys << e->key(); }
};

struct Control {
    const char *className;
    const char *sheet;  // resource name without ".qss"; nullptr: none of its own
    bool forwards;      // re-emits keyPressed
    std::function<QWidget *(QWidget *)> make;
    // records the key code of every keyPressed emission into the list
    std::function<void(QWidget *, QList<int> *)> tap;
};

template <class T>
std::function<QWidget *(QWidget *)> maker() {
    return [](QWidget *parent) { return new T(parent); };
}

template <class T>
std::function<void(QWidget *, QList<int> *)> tapper() {
    return [](QWidget *w, QList<int> *keys) {
        QObject::connect(static_cast<T *>(w), &T::keyPressed, [keys](QKeyEvent *e) { keys->append(e->key()); });
    };
}

const Control kControls[] = {
    {"setPointButton", "setpointbutton", false, maker<setPointButton>(), nullptr},
    {"blackButton", "blackButton", true, maker<blackButton>(), tapper<blackButton>()},
    {"blackComboBox", "blackComboBox", false, maker<blackComboBox>(), nullptr},
    {"snxPlayButton", "snxPlayButton", true, maker<snxPlayButton>(), tapper<snxPlayButton>()},
    {"snxStopButton", "snxStopButton", true, maker<snxStopButton>(), tapper<snxStopButton>()},
    {"snxZeroPlayButton", "snxZeroPlayButton", true, maker<snxZeroPlayButton>(), tapper<snxZeroPlayButton>()},
    {"snxRecButton", "snxRecButton", false, maker<snxRecButton>(), nullptr},
    {"whiteButton", "whiteButton", false, maker<whiteButton>(), nullptr},
    {"zoomInButton", "zoomInButton", false, maker<zoomInButton>(), nullptr},
    {"zoomOutButton", "zoomOutButton", false, maker<zoomOutButton>(), nullptr},
    {"snxMuteButton", "snxMuteButton", false, maker<snxMuteButton>(), nullptr},
    {"snxSoloButton", "snxSoloButton", false, maker<snxSoloButton>(), tapper<snxSoloButton>()},
    {"snxRecArmButton", "snxRecArmButton", false, maker<snxRecArmButton>(), nullptr},
    {"snxPushButton", nullptr, true, maker<snxPushButton>(), tapper<snxPushButton>()},
    {"comboBoxMain", nullptr, true, maker<comboBoxMain>(), tapper<comboBoxMain>()},
};

QString resourceText(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

// Shows one control in a window and gives it the keyboard focus.
struct Stage {
    KeyRecorder window;
    QWidget *control = nullptr;

    explicit Stage(const Control &c) {
        auto *layout = new QVBoxLayout(&window);
        control = c.make(&window);
        layout->addWidget(control);
        if (auto *combo = qobject_cast<QComboBox *>(control)) combo->addItems({"first", "second", "third"});
        control->setFocusPolicy(Qt::StrongFocus);
        window.show();
        window.activateWindow();
        control->setFocus();
    }
    bool focused() { return QTest::qWaitForWindowActive(&window) && control->hasFocus(); }
};

}  // namespace

TEST(SnxButtons, EachClassCarriesItsOwnSheetUnderItsClassName) {
    for (const Control &c : kControls) {
        std::unique_ptr<QWidget> w(c.make(nullptr));
        // the sheets select by class name
        EXPECT_STREQ(w->metaObject()->className(), c.className);
        const QString expected = c.sheet ? resourceText(QString(":/resources2/qss/%1.qss").arg(c.sheet)) : QString();
        EXPECT_EQ(w->styleSheet(), expected) << c.className;
        if (c.sheet) {
            EXPECT_TRUE(w->styleSheet().contains(c.className)) << c.className;
        }
        const bool hasSignal = w->metaObject()->indexOfSignal("keyPressed(QKeyEvent*)") >= 0;
        EXPECT_EQ(hasSignal, bool(c.tap)) << c.className;
    }
}

TEST(SnxButtons, ForwardingControlsHandEveryKeyToTheirSignalOnly) {
    for (const Control &c : kControls) {
        if (!c.forwards) continue;
        Stage stage(c);
        ASSERT_TRUE(stage.focused()) << c.className;
        QList<int> forwarded;
        c.tap(stage.control, &forwarded);
        std::unique_ptr<QSignalSpy> clicked;
        if (qobject_cast<QAbstractButton *>(stage.control))
            clicked.reset(new QSignalSpy(stage.control, SIGNAL(clicked(bool))));

        const QList<int> keys = {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Down, Qt::Key_Up, Qt::Key_A};
        for (int k : keys) QTest::keyClick(stage.control, Qt::Key(k));
        EXPECT_EQ(forwarded, keys) << c.className;
        if (clicked) {
            EXPECT_EQ(clicked->count(), 0) << c.className << " clicked from the keyboard";
        }
        if (auto *combo = qobject_cast<QComboBox *>(stage.control)) {
            EXPECT_EQ(combo->currentIndex(), 0) << c.className << " changed its selection from the keyboard";
        }
        EXPECT_TRUE(stage.window.keys.isEmpty()) << c.className << " let a key through to its parent";
    }
}

TEST(SnxButtons, AForwardingControlWithNothingConnectedSwallowsKeys) {
    Stage stage(kControls[3]);  // snxPlayButton
    ASSERT_TRUE(stage.focused());
    auto *play = static_cast<snxPlayButton *>(stage.control);
    play->setCheckable(true);
    QSignalSpy clicked(play, &QAbstractButton::clicked);
    QTest::keyClick(play, Qt::Key_Space);
    QTest::keyClick(play, Qt::Key_Return);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(play->isChecked());
    EXPECT_TRUE(stage.window.keys.isEmpty());
}

TEST(SnxButtons, OtherControlsKeepTheirOwnKeysAndEmitNothing) {
    for (const Control &c : kControls) {
        if (c.forwards) continue;
        Stage stage(c);
        ASSERT_TRUE(stage.focused()) << c.className;
        QList<int> forwarded;
        if (c.tap)  // the solo button: declared, never emitted
            c.tap(stage.control, &forwarded);
        if (auto *button = qobject_cast<QAbstractButton *>(stage.control)) {
            QSignalSpy clicked(button, &QAbstractButton::clicked);
            QTest::keyClick(button, Qt::Key_Space);
            EXPECT_EQ(clicked.count(), 1) << c.className << " did not click on Space";
        } else {
            auto *combo = qobject_cast<QComboBox *>(stage.control);
            QTest::keyClick(combo, Qt::Key_Down);
            EXPECT_EQ(combo->currentIndex(), 1) << c.className;
        }
        EXPECT_TRUE(forwarded.isEmpty()) << c.className;
    }
}

namespace {

// Fraction of pixels of a grab that differ from the picture by more than a
// few levels in any channel; the border image is drawn at 1:1.
double mismatch(const QImage &grab, const QString &picture) {
    const QImage want = QImage(picture).convertToFormat(QImage::Format_ARGB32);
    const QImage got = grab.convertToFormat(QImage::Format_ARGB32);
    if (want.size() != got.size()) return 1.0;
    int bad = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QColor a = got.pixelColor(x, y), b = want.pixelColor(x, y);
            if (b.alpha() < 250) continue;  // transparent corners show the window behind
            if (qAbs(a.red() - b.red()) > 4 || qAbs(a.green() - b.green()) > 4 || qAbs(a.blue() - b.blue()) > 4) ++bad;
        }
    return double(bad) / (got.width() * got.height());
}

struct LookCase {
    const char *what;
    std::function<QPushButton *()> make;
    QSize size;
    bool checked, down, enabled;
    const char *picture;
};

}  // namespace

TEST(SnxButtons, CheckablePicturesFollowTheButtonState) {
    auto mute = [] { return new snxMuteButton; };
    auto solo = [] { return new snxSoloButton; };
    auto arm = [] { return new snxRecArmButton; };
    auto play = [] { return new snxPlayButton; };
    auto rec = [] { return new snxRecButton; };
    const QSize strip(84, 27);
    const LookCase cases[] = {
        {"mute off", mute, strip, false, false, true, "mute-OFF.png"},
        {"mute checked", mute, strip, true, false, true, "mute-ON.png"},
        {"mute pressed", mute, strip, false, true, true, "mute-OFF-holdOn.png"},
        {"mute pressed and checked", mute, strip, true, true, true, "mute-ON-holdOn.png"},
        {"mute disabled and checked", mute, strip, true, false, false, "mute-OFF.png"},
        {"solo checked", solo, strip, true, false, true, "solo-ON.png"},
        {"solo pressed and checked", solo, strip, true, true, true, "solo-ON-holdOn.png"},
        {"solo disabled", solo, strip, false, false, false, "solo-OFF.png"},
        {"record-arm checked", arm, strip, true, false, true, "rec-ON.png"},
        {"record-arm disabled", arm, strip, true, false, false, "rec-OFF.png"},
        {"play checked", play, QSize(45, 35), true, false, true, "Operation-play_on.png"},
        {"play pressed and checked", play, QSize(45, 35), true, true, true, "Operation-play_onon.png"},
        {"play pressed", play, QSize(45, 35), false, true, true, "Operation-play_off-on.png"},
        {"record checked", rec, QSize(32, 32), true, false, true, "Operation-rec_on.png"},
        {"record pressed and checked", rec, QSize(32, 32), true, true, true, "Operation-rec_onon.png"},
        {"record disabled", rec, QSize(32, 32), false, false, false, "Operation-rec_disable.png"},
    };
    for (const LookCase &lc : cases) {
        std::unique_ptr<QPushButton> b(lc.make());
        b->setCheckable(true);
        b->setFixedSize(lc.size);
        b->setChecked(lc.checked);
        b->setDown(lc.down);
        b->setEnabled(lc.enabled);
        const QImage grab = b->grab().toImage();
        EXPECT_LT(mismatch(grab, QString(":/resources2/parts/") + lc.picture), 0.02) << lc.what;
    }
    // and the states are told apart: checked is not the off picture
    std::unique_ptr<QPushButton> b(mute());
    b->setCheckable(true);
    b->setFixedSize(strip);
    b->setChecked(true);
    EXPECT_GT(mismatch(b->grab().toImage(), ":/resources2/parts/mute-OFF.png"), 0.1);
}

TEST(SnxButtons, DisabledTextTurnsGrey) {
    // a set-point button with its text: white while enabled, grey when disabled
    setPointButton b;
    b.setFixedSize(110, 23);
    b.setText("IN");
    // the text sits in the middle; the rounded corners show the window behind
    auto brightest = [](const QImage &img) {
        int best = 0;
        for (int y = 6; y < img.height() - 6; ++y)
            for (int x = 20; x < img.width() - 20; ++x) best = qMax(best, qGray(img.pixel(x, y)));
        return best;
    };
    const int enabled = brightest(b.grab().toImage());
    b.setEnabled(false);
    const int disabled = brightest(b.grab().toImage());
    EXPECT_GE(enabled, 240);
    EXPECT_LE(disabled, 140);
}
