// The one table of the bundle's pictures: resource path, size in logical
// pixels, and the recipe that draws it.
#pragma once

#include "draw.h"

#include <vector>

struct tPicture {
    QString path;  // inside the bundle, without ":/", e.g. "resources2/parts/mute-ON.png"
    int width;     // logical size; the file is scale times larger
    int height;
    double scale;   // 1 for plain pictures, the ratio of an @Nx member
    bool disabled;  // desaturate after drawing ("_disable" pictures)
    tRecipe draw;
};

// Every picture the program names, in no particular order.
std::vector<tPicture> resgen_pictures();
