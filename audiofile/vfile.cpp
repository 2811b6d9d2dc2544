#include "audiofile/vfile.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>
#include <string>

#include "base/alignedalloc.h"

int *pProgress = nullptr;

namespace {
uint8_t sEditBuffer[kEditFileChunk];
const uint32_t kCopyChunk = 0x100000;
}  // namespace

void reportEditProgress(int p) {
    if (!pProgress) return;
    int v = p * 90 / 100;
    *pProgress = v < 1 ? 1 : v;
}

void reportMakeHeaderProgress(int p) {
    if (!pProgress) return;
    int v = 90 + p / 10;
    *pProgress = v > 99 ? 99 : v;
}

int v_open(FILE **fp, const wchar16 *path, const char *mode) {
    std::string utf8 = w_toUtf8(path);
    *fp = std::fopen(utf8.c_str(), mode);
    if (!*fp) return errno ? errno : -1;
    return 0;
}

int v_create(FILE **fp, const wchar16 *path, const char *mode) { return v_open(fp, path, mode); }

int v_rm(const wchar16 *path) {
    std::string utf8 = w_toUtf8(path);
    return std::remove(utf8.c_str()) == 0 ? 0 : -1;
}

int v_close(FILE *fp) {
    if (fp) std::fclose(fp);
    return 0;
}

uint32_t v_read(FILE *fp, void *buf, uint32_t len) {
    if (!fp || len == 0) return 0;
    return static_cast<uint32_t>(std::fread(buf, 1, len, fp));
}

uint32_t v_write(FILE *fp, const void *buf, uint32_t len) {
    if (!fp || len == 0) return 0;
    return static_cast<uint32_t>(std::fwrite(buf, 1, len, fp));
}

int v_flush(FILE *fp) { return fp ? std::fflush(fp) : -1; }

int64_t v_tell(FILE *fp) { return fp ? static_cast<int64_t>(ftello(fp)) : -1; }

int v_lseek(FILE *fp, int64_t offset, int origin) {
    if (!fp) return -1;
    int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    return fseeko(fp, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

void tFileCloser::operator()(FILE *fp) const { (void)v_close(fp); }

int v_readAt(FILE *fp, uint64_t offset, void *buf, uint32_t len) {
    if (!fp || offset > static_cast<uint64_t>(INT64_MAX)) return -1;
    if (v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) return -1;
    return v_read(fp, buf, len) == len ? 0 : -1;
}

int v_writeAt(FILE *fp, uint64_t offset, const void *buf, uint32_t len) {
    if (!fp || offset > static_cast<uint64_t>(INT64_MAX)) return -1;
    if (v_lseek(fp, static_cast<int64_t>(offset), 0) != 0) return -1;
    if (v_write(fp, buf, len) != len) return -1;
    return v_flush(fp) == 0 ? 0 : -1;
}

int v_moveRange(FILE *src, uint64_t from, FILE *dst, uint64_t to, uint64_t length, void *buf, uint32_t bufLen) {
    if (!buf || bufLen == 0) return -1;
    // A range that wraps around 2^64 lies in no file.
    if (length > UINT64_MAX - from || length > UINT64_MAX - to) return -1;
    uint8_t *b = static_cast<uint8_t *>(buf);
    for (uint64_t done = 0; done < length;) {
        const uint32_t n = length - done > bufLen ? bufLen : static_cast<uint32_t>(length - done);
        if (v_readAt(src, from + done, b, n) != 0 || v_writeAt(dst, to + done, b, n) != 0) return -1;
        done += n;
    }
    return 0;
}

int v_getFileSize(FILE *fp, uint64_t *size) {
    if (!fp) return -1;
    // Buffered bytes count too: hand them to the file system first.
    std::fflush(fp);
    struct stat st;
    if (fstat(fileno(fp), &st) != 0) return -1;
    *size = static_cast<uint64_t>(st.st_size);
    return 0;
}

int v_ftruncate(FILE *fp, int64_t length) {
    if (!fp || length < 0) return -1;
    std::fflush(fp);
    return ftruncate(fileno(fp), static_cast<off_t>(length)) == 0 ? 0 : -1;
}

int v_copy(FILE *dst, FILE *src) {
    if (!dst || !src) return -1;
    if (v_lseek(src, 0, 2) != 0) return -1;
    int64_t size = v_tell(src);
    if (size < 0 || v_lseek(src, 0, 0) != 0 || v_lseek(dst, 0, 0) != 0) return -1;
    uint8_t *buf = static_cast<uint8_t *>(_aligned_malloc(kCopyChunk, 16));
    if (!buf) return -1;
    int64_t done = 0;
    int rc = 0;
    // An empty source fails like a source that ran out: the first read
    // yields nothing.
    do {
        int64_t want = size - done;
        uint32_t n = want > static_cast<int64_t>(kCopyChunk) ? kCopyChunk : static_cast<uint32_t>(want);
        uint32_t got = v_read(src, buf, n == 0 ? kCopyChunk : n);
        if (got == 0) {
            rc = -1;
            break;
        }
        if (v_write(dst, buf, got) != got) {
            rc = -1;
            break;
        }
        done += got;
    } while (done < size);
    _aligned_free(buf);
    return rc;
}

int getCreatFlag(int32_t value) { return value < 0 ? -1 : 0; }

int vfs_getCurrentClusterSize() {
    struct statvfs st;
    (void)statvfs("./", &st);
    return 0;
}

int vfs_editFile(FILE *src, FILE *dst, uint64_t srcOffset, uint64_t dstOffset, bool atOffset, int64_t length,
                 int kind) {
    if (!src || !dst) return -1;
    if (srcOffset > static_cast<uint64_t>(INT64_MAX) || dstOffset > static_cast<uint64_t>(INT64_MAX)) return -1;
    if (length < 0) {
        uint64_t size = 0;
        if (v_getFileSize(src, &size) != 0) return -1;
        length = size > srcOffset ? static_cast<int64_t>(size - srcOffset) : 0;
    }
    if (v_lseek(src, static_cast<int64_t>(srcOffset), 0) != 0) return -1;
    if (atOffset) {
        if (v_lseek(dst, static_cast<int64_t>(dstOffset), 0) != 0) return -1;
    } else if (v_lseek(dst, 0, 2) != 0) {
        return -1;
    }
    int64_t remaining = length;
    for (;;) {
        if (remaining == 0) {
            std::fflush(src);
            if (std::fflush(dst) != 0) return -1;
            return 0;
        }
        uint32_t n =
            remaining > static_cast<int64_t>(kEditFileChunk) ? kEditFileChunk : static_cast<uint32_t>(remaining);
        uint32_t got = v_read(src, sEditBuffer, n);
        if (got == 0) return -1;  // source exhausted before the range ended
        if (v_write(dst, sEditBuffer, got) != got) return -1;
        remaining -= got;
        if (remaining == 0) continue;
        int p = static_cast<int>(100 - remaining * 100 / length);
        if (kind == kEditProgressEdit)
            reportEditProgress(p);
        else if (kind == kEditProgressHeader)
            reportMakeHeaderProgress(p);
    }
}
