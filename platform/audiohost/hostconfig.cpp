#include "platform/audiohost/hostconfig.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/audiohost/audiohost.h"

namespace {

constexpr uint32_t kDsdRates[] = {kAudioHostDsd64, kAudioHostDsd128, kAudioHostDsd256, kAudioHostDsd512};

// A config file larger than this is not a config file.
constexpr long kMaxConfigFileBytes = 65536;

std::string trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// Splits at newlines and at ';' outside double quotes.
std::vector<std::string> splitItems(const char *text) {
    std::vector<std::string> items;
    std::string cur;
    bool quoted = false;
    for (const char *p = text; *p; ++p) {
        if (*p == '"') quoted = !quoted;
        if (*p == '\n' || (*p == ';' && !quoted)) {
            items.push_back(cur);
            cur.clear();
            quoted = false;
        } else {
            cur += *p;
        }
    }
    items.push_back(cur);
    return items;
}

bool parseBool(const std::string &v, bool *out) {
    if (v == "on" || v == "1" || v == "yes" || v == "true") {
        *out = true;
        return true;
    }
    if (v == "off" || v == "0" || v == "no" || v == "false") {
        *out = false;
        return true;
    }
    return false;
}

bool parseU64(const std::string &v, uint64_t *out) {
    if (v.empty() || v[0] < '0' || v[0] > '9') return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long x = std::strtoull(v.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *out = x;
    return true;
}

bool parseU32(const std::string &v, uint32_t *out) {
    uint64_t x;
    if (!parseU64(v, &x) || x > 0xFFFFFFFFull) return false;
    *out = uint32_t(x);
    return true;
}

bool parseRates(const std::string &v, std::vector<uint32_t> *out) {
    std::vector<uint32_t> rates;
    size_t pos = 0;
    while (pos <= v.size()) {
        size_t comma = v.find(',', pos);
        if (comma == std::string::npos) comma = v.size();
        uint32_t r;
        if (!parseU32(trim(v.substr(pos, comma - pos)), &r) || r == 0) return false;
        rates.push_back(r);
        pos = comma + 1;
    }
    if (rates.empty()) return false;
    *out = rates;
    return true;
}

bool applyItem(const std::string &key, const std::string &value, tAudioHostConfig *c) {
    tVirtualDeviceConfig &v = c->mVirtualDevice;
    if (key == "virtual") return parseBool(value, &c->mVirtual);
    if (key == "real") return parseBool(value, &c->mReal);
    if (key == "name") {
        if (value.empty() || value.size() >= kAudioHostTextSize) return false;
        v.mName = value;
        return true;
    }
    if (key == "uid") {
        if (value.empty() || value.size() >= kAudioHostTextSize) return false;
        v.mUid = value;
        return true;
    }
    if (key == "rates") return parseRates(value, &v.mRates);
    if (key == "dsd") {
        bool on;
        if (!parseBool(value, &on)) return false;
        v.mRates.erase(
            std::remove_if(v.mRates.begin(), v.mRates.end(), [](uint32_t r) { return r >= kAudioHostDsd64; }),
            v.mRates.end());
        if (on) v.mRates.insert(v.mRates.end(), std::begin(kDsdRates), std::end(kDsdRates));
        return true;
    }
    if (key == "outputs" || key == "inputs") {
        uint32_t n;
        if (!parseU32(value, &n) || n > uint32_t(kAudioHostMaxChannels)) return false;
        (key == "outputs" ? v.mOutChannels : v.mInChannels) = int(n);
        return true;
    }
    if (key == "buffer") {
        const size_t dash = value.find('-');
        uint32_t lo, hi;
        if (dash == std::string::npos || !parseU32(trim(value.substr(0, dash)), &lo) ||
            !parseU32(trim(value.substr(dash + 1)), &hi) || lo > hi)
            return false;
        v.mMinFrames = lo;
        v.mMaxFrames = hi;
        return true;
    }
    if (key == "frames") return parseU32(value, &v.mFrames);
    if (key == "speed") {
        char *end = nullptr;
        errno = 0;
        const double s = std::strtod(value.c_str(), &end);
        if (value.empty() || errno != 0 || *end != '\0' || !(s >= 0.0) || s > 1e6) return false;
        v.mSpeed = s;
        return true;
    }
    if (key == "capture") {
        if (value.empty()) return false;
        v.mCapture = value;
        return true;
    }
    if (key == "capture-limit") return parseU64(value, &v.mCaptureLimit);
    return false;
}

std::string readSmallFile(const char *path, bool *ok) {
    *ok = false;
    FILE *f = std::fopen(path, "rb");
    if (!f) return std::string();
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, n);
        if (long(text.size()) > kMaxConfigFileBytes) {
            std::fclose(f);
            return std::string();
        }
    }
    *ok = !std::ferror(f);
    std::fclose(f);
    return text;
}

void reportErrors(const std::string &errors) {
    if (!errors.empty()) std::fputs(errors.c_str(), stderr);
}

}  // namespace

int hostconfig_parse(const char *text, tAudioHostConfig *config, std::string *errors) {
    if (!text || !config) return 0;
    int bad = 0;
    for (const std::string &raw : splitItems(text)) {
        const std::string item = trim(raw);
        if (item.empty() || item[0] == '#') continue;
        const size_t eq = item.find('=');
        std::string key = eq == std::string::npos ? item : trim(item.substr(0, eq));
        std::string value = eq == std::string::npos ? std::string() : trim(item.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (eq == std::string::npos || !applyItem(key, value, config)) {
            ++bad;
            if (errors) *errors += "audio host: bad setting '" + item + "' skipped\n";
        }
    }
    return bad;
}

tAudioHostConfig hostconfig_fromEnvironment() {
    tAudioHostConfig config;
    std::string errors;
    if (const char *path = std::getenv("SONVEX_AUDIO_CONFIG"); path && *path) {
        bool ok;
        const std::string text = readSmallFile(path, &ok);
        if (ok)
            hostconfig_parse(text.c_str(), &config, &errors);
        else
            errors += std::string("audio host: cannot read the settings file '") + path + "'\n";
    }
    if (const char *text = std::getenv("SONVEX_AUDIO"); text && *text) hostconfig_parse(text, &config, &errors);
    // A virtual device that the settings made impossible is not listed.
    if (config.mVirtual && hostconfig_check(config.mVirtualDevice) != 0) {
        errors += "audio host: the virtual device's settings do not fit together; it is not listed\n";
        config.mVirtual = false;
    }
    reportErrors(errors);
    return config;
}

int hostconfig_check(const tVirtualDeviceConfig &v) {
    if (v.mName.empty() || v.mName.size() >= kAudioHostTextSize) return kAudioHostErrUnsupported;
    if (v.mUid.empty() || v.mUid.size() >= kAudioHostTextSize) return kAudioHostErrUnsupported;
    if (v.mOutChannels < 0 || v.mOutChannels > kAudioHostMaxChannels) return kAudioHostErrUnsupported;
    if (v.mInChannels < 0 || v.mInChannels > kAudioHostMaxChannels) return kAudioHostErrUnsupported;
    if (v.mOutChannels == 0 && v.mInChannels == 0) return kAudioHostErrUnsupported;
    if (v.mRates.empty() || v.mRates.size() > size_t(kAudioHostMaxRates)) return kAudioHostErrUnsupported;
    for (uint32_t r : v.mRates)
        if (r == 0) return kAudioHostErrUnsupported;
    if (v.mMinFrames < uint32_t(kAudioHostMinFrames) || v.mMaxFrames > uint32_t(kAudioHostMaxFrames) ||
        v.mMinFrames > v.mMaxFrames || v.mFrames < v.mMinFrames || v.mFrames > v.mMaxFrames)
        return kAudioHostErrUnsupported;
    if (!(v.mSpeed >= 0.0) || v.mSpeed > 1e6) return kAudioHostErrUnsupported;
    if (v.mCapture.empty()) return kAudioHostErrUnsupported;
    return kAudioHostOK;
}
