// The conversion library's exported records moved to morphex/; this name
// stays until the code written against it has been moved over.
#pragma once

#include "morphex/morphexrecords.h"
