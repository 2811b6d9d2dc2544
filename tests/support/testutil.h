// Small helpers shared by the tests: a scratch folder that removes itself
// and conversions between test literals and the file layer's 16-bit text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sxtest {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "sxtest-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        char *p = mkdtemp(buf.data());
        path_ = p ? std::string(p) : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// UTF-8 literal (ASCII or BMP text) to a NUL-terminated vector of signed
// 16-bit units, the form the file layer takes paths and names in.
inline std::vector<int16_t> u16(const std::string &s) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            len = 3;
        } else {
            cp = c & 0x07;
            len = 4;
        }
        for (int k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<int16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<int16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<int16_t>(cp));
        }
    }
    out.push_back(0);
    return out;
}

// 16-bit text (up to its terminator) back to a std::u16string for comparisons
// and readable failure messages.
inline std::u16string s16(const int16_t *p) {
    std::u16string out;
    while (p && *p) out.push_back(static_cast<char16_t>(static_cast<uint16_t>(*p++)));
    return out;
}

// An open file that closes itself.
struct File {
    File(const std::string &path, const char *mode) : fp(std::fopen(path.c_str(), mode)) {}
    ~File() { close(); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    void close() {
        if (fp) std::fclose(fp);
        fp = nullptr;
    }
    FILE *fp;
};

inline std::vector<uint8_t> readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeAll(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace sxtest
