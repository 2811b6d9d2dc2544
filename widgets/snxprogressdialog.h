// The progress window of exports, mix-downs and combinations. It never
// blocks the rest of the program, cannot be closed from its title bar and is
// hidden until its owner shows it; the owner polls its job and sets the
// value. Everything else (bar, label, cancel button, canceled(), automatic
// reset and close at the maximum) is QProgressDialog's.
#pragma once

#include <QProgressDialog>

class snxProgressDialog : public QProgressDialog {
    Q_OBJECT
public:
    explicit snxProgressDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    snxProgressDialog(const QString &labelText, const QString &cancelButtonText, int minimum, int maximum,
                      QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

private:
    // The set-up every constructor runs after the base class's.
    void myConstructor();
};
