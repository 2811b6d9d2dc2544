// The product's version, build and rights notice, shown by the splash screen
// and the About window, each in its own format (the splash writes 1.10 and
// 96, the About window " 1.10" and 0096).
#pragma once

constexpr double gAppVersion = 1.1;
constexpr int gAppBuild = 96;

// Two lines, split at the line break: the rights holder with the years, then
// the reservation. Not translated.
constexpr const char *gAppRightsNotice = "Copyright (C) 2016-2024 KAVELO Corporation.\nAll rights reserved.";
