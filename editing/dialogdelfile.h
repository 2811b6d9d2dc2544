// The track deletion dialog: one line asking which track to delete. The main
// window makes it at start-up without a parent, hides it and deletes it at
// shut-down; it has no buttons, signals or slots of its own.
#pragma once

#include <QDialog>

namespace Ui {
class DialogDelFile;
}

class DialogDelFile : public QDialog {
    Q_OBJECT
public:
    explicit DialogDelFile(QWidget *parent = nullptr);
    ~DialogDelFile() override;

private:
    Ui::DialogDelFile *ui;
};
