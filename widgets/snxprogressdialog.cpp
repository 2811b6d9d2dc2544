#include "widgets/snxprogressdialog.h"

snxProgressDialog::snxProgressDialog(QWidget *parent, Qt::WindowFlags flags) : QProgressDialog(parent, flags) {
    myConstructor();
}

snxProgressDialog::snxProgressDialog(const QString &labelText, const QString &cancelButtonText, int minimum,
                                     int maximum, QWidget *parent, Qt::WindowFlags flags)
    : QProgressDialog(labelText, cancelButtonText, minimum, maximum, parent, flags) {
    myConstructor();
}

void snxProgressDialog::myConstructor() {
    setModal(false);
    setWindowFlags(windowFlags() & ~(Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint));
    hide();
    // QProgressDialog arms a timer at construction that shows it by itself
    // after its minimum duration. The owner decides when the window appears,
    // so drop that pending show; reset() leaves the bar as constructed.
    reset();
}
