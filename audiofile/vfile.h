// Thin wrappers over standard streams for every file the file layer, the
// workers and the conversion library touch. Paths arrive as 16-bit strings
// and become UTF-8 only here, where a file is opened or removed. Offsets and
// sizes are 64-bit throughout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/wstring.h"

// Progress word that range copies report into (percent). Set by the
// conversion library's combine; may be null, in which case nothing is
// reported.
extern int *pProgress;

// Stores max(1, p * 90 / 100): a range copy runs the word from 1 to 90.
void reportEditProgress(int p);
// Stores min(99, 90 + p / 10): a following header rebuild runs it to 99.
void reportMakeHeaderProgress(int p);

enum tEditProgressKind : int {
    kEditProgressNone = 0,
    kEditProgressEdit = 1,    // through reportEditProgress
    kEditProgressHeader = 2,  // through reportMakeHeaderProgress
};

// 0, or the system error number; *fp is null on failure.
int v_open(FILE **fp, const wchar16 *path, const char *mode);
int v_create(FILE **fp, const wchar16 *path, const char *mode);
int v_rm(const wchar16 *path);                              // 0 or -1
int v_close(FILE *fp);                                      // null is ignored; 0
uint32_t v_read(FILE *fp, void *buf, uint32_t len);         // bytes read
uint32_t v_write(FILE *fp, const void *buf, uint32_t len);  // bytes written
int v_flush(FILE *fp);
int64_t v_tell(FILE *fp);
int v_lseek(FILE *fp, int64_t offset, int origin);  // origin 0 start, 1 current, 2 end; 0 or -1
int v_getFileSize(FILE *fp, uint64_t *size);        // 0 or -1
int v_ftruncate(FILE *fp, int64_t length);          // 0 or -1
// An open file that closes itself (v_close).
struct tFileCloser {
    void operator()(FILE *fp) const;
};
using tFileHandle = std::unique_ptr<FILE, tFileCloser>;

// Positioned reads and writes. An offset above INT64_MAX is refused (no
// seek reaches it). v_readAt reads exactly len bytes; v_writeAt writes all
// len bytes and pushes them to the file, so a disk that refuses them fails
// here and not unnoticed at close. 0, or -1 for a failed seek, a short read
// or write, or a failed flush; the file position afterwards is unspecified.
[[nodiscard]] int v_readAt(FILE *fp, uint64_t offset, void *buf, uint32_t len);
[[nodiscard]] int v_writeAt(FILE *fp, uint64_t offset, const void *buf, uint32_t len);
// Copies length bytes of src at `from` to dst at `to`, front to back in
// pieces of bufLen bytes through buf (the caller's). src and dst may be one
// file when the bytes move towards its start (to <= from). After a copy of
// one byte or more, dst is positioned behind the copied bytes. 0, or -1 when a seek, read, write or
// flush fails or src ends before the range.
[[nodiscard]] int v_moveRange(FILE *src, uint64_t from, FILE *dst, uint64_t to, uint64_t length, void *buf,
                              uint32_t bufLen);
// Copies the whole source into dst from the start of both; dst is not
// truncated first. 0 or -1 (also for an empty source).
int v_copy(FILE *dst, FILE *src);
int getCreatFlag(int32_t value);  // -1 for a negative value, else 0
int vfs_getCurrentClusterSize();  // 0

// Copies length bytes from src at srcOffset to dst at dstOffset (atOffset
// set) or at its end; a negative length means up to the end of src. Moves
// 0x18000 bytes at a time through one static buffer, so two range copies must
// not run at once. 0, or -1 when a read or write fails or src runs out.
enum : uint32_t { kEditFileChunk = 0x18000 };
int vfs_editFile(FILE *src, FILE *dst, uint64_t srcOffset, uint64_t dstOffset, bool atOffset, int64_t length, int kind);
