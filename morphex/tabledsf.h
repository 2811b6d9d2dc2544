// The library's DSF table keeps the tag registered for the next DSF file
// the library writes; the DSF tag writer takes it from here.
#pragma once

#include "morphex/registeredtag.h"

cRegisteredTag &dsfTag_registered();
