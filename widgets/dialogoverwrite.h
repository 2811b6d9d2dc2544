// The question whether an existing file is overwritten. Only a click on the
// box's buttons reports an answer; Escape or closing the window rejects it
// without either signal. No window of the program creates it; it is
// reachable through the widget type registry.
#pragma once

#include <QDialog>

class QAbstractButton;

namespace Ui {
class DialogOverWrite;
}

class DialogOverWrite : public QDialog {
    Q_OBJECT
public:
    Q_INVOKABLE explicit DialogOverWrite(QWidget *parent = nullptr);
    ~DialogOverWrite() override;

signals:
    void clickedOK();
    void clickedCancel();

private slots:
    void on_buttonBox_clicked(QAbstractButton *button);

private:
    Ui::DialogOverWrite *ui;
};
