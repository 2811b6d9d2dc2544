// Helpers of the editing window tests: the built conversion library, modal
// message boxes answered from inside their own loop, and waits that keep
// the event loop running.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/enginetestutil.h"  // engtest::libraryFile

namespace edtest {

inline QString q(const std::string &s) { return QString::fromStdString(s); }

inline QString builtLibrary() { return q(engtest::libraryFile()); }

// Runs the event loop until pred holds or ms milliseconds passed (a bound
// that only reports a hang: a loaded machine may take long).
inline bool waitUntil(const std::function<bool()> &pred, int ms = 120000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return pred();
        QTest::qWait(5);
    }
    return true;
}

// Every message box that becomes the active modal window while this object
// lives is recorded and closed with the next queued answer (OK when none is
// queued).
class MessageBoxes {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    MessageBoxes() {
        QObject::connect(&mTimer, &QTimer::timeout, [this] { poll(); });
        mTimer.start(10);
    }

    void answer(QMessageBox::StandardButton button) { mAnswers.push_back(button); }
    const std::vector<Seen> &seen() const { return mSeen; }
    void clear() { mSeen.clear(); }
    // Titles and texts joined for failure messages.
    std::string list() const {
        std::string s;
        for (const Seen &b : mSeen) s += "[" + b.title.toStdString() + "] " + b.text.toStdString() + "\n";
        return s;
    }
    bool waitFor(const QString &title, int ms = 20000) {
        return waitUntil(
            [&] {
                for (const Seen &b : mSeen)
                    if (b.title == title) return true;
                return false;
            },
            ms);
    }

private:
    void poll() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == mLast) return;
        mLast = box;
        mSeen.push_back({box->windowTitle(), box->text(), box->icon()});
        QMessageBox::StandardButton b = QMessageBox::Ok;
        if (!mAnswers.empty()) {
            b = mAnswers.front();
            mAnswers.pop_front();
        }
        QAbstractButton *button = box->button(b);
        if (button)
            button->click();
        else
            box->done(b);
    }

    QTimer mTimer;
    QPointer<QMessageBox> mLast;
    std::deque<QMessageBox::StandardButton> mAnswers;
    std::vector<Seen> mSeen;
};

}  // namespace edtest
