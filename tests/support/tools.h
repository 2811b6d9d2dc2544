// Running the outside programs the tests check written files with (sox,
// ffprobe/ffmpeg, readelf/nm and the numpy scripts), all installed by
// scripts/deps.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>

namespace sxtest {

// The interpreter the numpy/scipy scripts run with: the system's, where
// scripts/deps installs the modules (never whatever "python3" is first on
// the search path).
inline constexpr const char *kPython = "/usr/bin/python3";

// The source tree (ctest sets SONVEX_SOURCE_DIR; "." when run by hand from
// the source folder).
inline std::string sourceDir() {
    const char *d = std::getenv("SONVEX_SOURCE_DIR");
    return d ? d : ".";
}

// Command line that runs the script at relPath (from the source tree).
inline std::string pythonScript(const std::string &relPath) {
    return std::string(kPython) + " " + sourceDir() + "/" + relPath;
}

inline bool haveTool(const char *name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The names among `names` that are not installed, space-separated.
inline std::string missingTools(std::initializer_list<const char *> names) {
    std::string missing;
    for (const char *n : names)
        if (!haveTool(n)) missing += (missing.empty() ? "" : " ") + std::string(n);
    return missing;
}

}  // namespace sxtest

// Skips the test when an outside tool it checks with is missing, but fails
// it when CI is set: there a check must never pass unseen because the
// machine lacked the program. Use at the top of a test body.
#define SX_REQUIRE_TOOLS(...)                                                         \
    do {                                                                              \
        const std::string sxMissing = sxtest::missingTools({__VA_ARGS__});            \
        if (!sxMissing.empty()) {                                                     \
            if (std::getenv("CI")) FAIL() << sxMissing << " missing on a CI machine"; \
            GTEST_SKIP() << sxMissing << " missing";                                  \
        }                                                                             \
    } while (0)

namespace sxtest {

// Standard output of a shell command, trailing line ends removed; status
// receives what pclose returns (-1 when the command could not be started).
// Standard error is left alone: redirect it in cmd where it matters.
inline std::string commandOutput(const std::string &cmd, int *status = nullptr) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = rc;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// ffprobe's "key=value" lines for the first audio stream's entries (a
// -show_entries argument, e.g. "stream=codec_name,channels").
inline std::map<std::string, std::string> probeStream(const std::string &path, const std::string &entries) {
    const std::string out = commandOutput("ffprobe -v error -select_streams a:0 -show_entries " + entries +
                                          " -of default=nw=1 '" + path + "' 2>/dev/null");
    std::map<std::string, std::string> kv;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t nl = out.find('\n', pos);
        std::string line = out.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        size_t eq = line.find('=');
        if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return kv;
}

}  // namespace sxtest
