// A small progress window with one bar. Nothing in the program shows it;
// the export window's own progress dialog is used instead.
#pragma once

#include <QDialog>

namespace Ui {
class DialogExporting;
}

class DialogExporting : public QDialog {
    Q_OBJECT
public:
    explicit DialogExporting(QWidget *parent = nullptr);
    ~DialogExporting() override;

    // The bar's value (0..100).
    void sendProgress(int value);

private:
    Ui::DialogExporting *ui;
};
