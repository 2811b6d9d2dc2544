// Marks a declaration as part of libmorphex's exported surface. The library
// is built with hidden visibility, so only names marked so (and listed in
// morphex/libmorphex.map) are visible to the program.
#pragma once

#define MORPHEX_EXPORT __attribute__((visibility("default")))
