// File-name, extension and sampling-rate checks shared by the opening and
// combining paths, and the shortening of file names for labels.
//
// GUI thread only: the checks that refuse show a modal warning box titled
// "Cannot Open" and return once the user has closed it; the caller then stops
// what it was doing.
#pragma once

#include <QString>
#include <cstdint>

class QLabel;
class QWidget;

// True when the text after the path's last "." is, in lower case, one of the
// extensions the Open path admits (wav, dsf, dff). Otherwise shows the
// "Unsupported audio file." warning naming the file and returns false.
bool isValidFileExtension(QWidget *parent, const QString &path);

// The same test for the combine window, against its own list (the same three
// extensions today).
bool isValidFileExtensionForCombine(QWidget *parent, const QString &path);

// True for 44,100 to 384,000 Hz (PCM) and 2,822,400 to 11,289,600 Hz (DSD),
// both ends included. Any other rate, including the device-only rates 705.6
// and 768 kHz and 22.5792 MHz, shows "Unsupported sampling frequency." and
// gives false.
bool isValidFs(QWidget *parent, uint32_t rateHz);

// The extension warning for a file whose header could not be read.
void showMessageBox_parseFailed(QWidget *parent, const QString &path);

// The text after the last "/": the whole path when it has none, empty when it
// ends in "/".
QString fileNameString(const QString &path);

// The text shortened in the middle ("begin…end") to the label's current
// width in its own font; the text unchanged when there is no label.
QString elidedString(const QString &text, const QLabel *label);
