// The About window: application name, version, build and rights notice over
// a background picture. The main window runs it with exec() and destroys it
// afterwards; OK closes it (exec() then returns Rejected).
#pragma once

#include <QDialog>

namespace Ui {
class DialogAbout;
}

// The look of the About window.
enum tSetEdition : int {
    kEditionDefault = 0,
    kEditionZolt = 1,  // its own background, application name and dark text
};

class DialogAbout : public QDialog {
    Q_OBJECT
public:
    explicit DialogAbout(QWidget *parent = nullptr);
    ~DialogAbout() override;

    // Value 1 switches to the ZOLT look; any other value changes nothing.
    void setEdition(tSetEdition edition);

private:
    Ui::DialogAbout *ui;
};
