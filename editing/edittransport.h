// The timeline window's transport bar: the time counter and four transport
// buttons. Only the counter is used; the buttons are for show.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class editTransport;
}

class editTransport : public QWidget {
    Q_OBJECT
public:
    explicit editTransport(QWidget *parent = nullptr);
    ~editTransport() override;

    // Shows the text in the counter.
    void setTimeCounter(const QString &text);

private:
    Ui::editTransport *ui;
};
