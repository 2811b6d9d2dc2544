// The open-source notices: the bundle's HTML licence page in a read-only
// browser whose links open in the system's browser. Run with exec() by the
// main window; OK accepts it.
#pragma once

#include <QDialog>

namespace Ui {
class dialogLicenses;
}

class dialogLicenses : public QDialog {
    Q_OBJECT
public:
    explicit dialogLicenses(QWidget *parent = nullptr);
    ~dialogLicenses() override;

private:
    Ui::dialogLicenses *ui;
};
