// Style sheets of the resource bundle, read the way every widget reads them:
// the whole file as Latin-1 text. Also used by windows that style one child
// (the timeline splitter) and by start-up for the application's sheet.
#pragma once

#include <QString>

class QWidget;

// The text of the sheet at resourcePath (":/resources2/qss/..."); empty when
// the file cannot be opened, so that a missing sheet leaves the default look.
QString styleSheet_read(const QString &resourcePath);

// widget->setStyleSheet(styleSheet_read(resourcePath)).
void styleSheet_apply(QWidget *widget, const QString &resourcePath);
