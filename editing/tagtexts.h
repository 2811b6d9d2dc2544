// The tag editor's texts outside its window: moving texts between QString
// and the fixed UTF-16 buffers of a tag record, and the genre names.
// Stateless; GUI thread in practice, but any thread may call them.
#pragma once

#include <QString>
#include <QStringList>

#include "base/wstring.h"

// The text of a record buffer of `units` units: everything before its first
// NUL, or all `units` units when the buffer holds none (a record filled by
// someone else is never read past its capacity). Null gives an empty text.
QString tagTextFromBuffer(const wchar16 *buffer, int units);

// Copies text into a buffer of `units` units (terminator included) and
// terminates it. A longer text is cut to units - 1 units; a cut never
// leaves the first half of a surrogate pair at the end. Returns the units
// written before the terminator; a null buffer or units < 1 writes nothing.
int tagTextToBuffer(const QString &text, wchar16 *buffer, int units);

// True when text fits a buffer of `units` units whole, terminator included.
bool tagTextFits(const QString &text, int units);

// The genre box's list: an empty entry, then the 126 names of the ID3v1
// genre numbers 0 to 125 in alphabetical order.
const QStringList &tagGenreList();

// The name that ID3v1 gives a genre number (0 to 125); empty otherwise.
QString tagGenreNameOfNumber(int number);
