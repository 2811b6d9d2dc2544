// The conversion library's copy of the iXML control table: the same
// operations as giXMLControlMain, with the library's product text (converted
// through gFont) and version in the PROJECT and USER values.
#pragma once

#include "audiofile/ixml.h"
#include "morphex/morphexexport.h"

extern MORPHEX_EXPORT const tiXMLControl giXMLControl;
