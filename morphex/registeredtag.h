// A tag record registered for the next file a format module writes (the DSF
// and DSDIFF modules each keep one). A registration and the write that uses
// it are usually separate calls, often on different threads (a tag query
// registers, the next export job writes), so the store is shared on purpose
// and guarded by a mutex. It keeps its own copies of the texts: the caller's
// buffers may be gone or reused by the time the tag is written.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "audiofile/tagrecord.h"

// A self-contained copy of a tag record. info()'s text pointers point into
// the copy and stay valid while it lives and is not changed.
class cTagCopy {
public:
    cTagCopy();
    cTagCopy(const cTagCopy &other);
    cTagCopy &operator=(const cTagCopy &other);

    // Copies the numbers and the six texts of tag (null texts become empty).
    // Each text is read up to its terminator but never beyond the capacity
    // its creator allocates (kTagTextUnits, kTagCommentUnits for the comment),
    // so at most capacity - 1 units are kept. The start sample is not copied
    // (the registered record ends before it).
    void assign(const tID3tagInfo &tag);
    const tID3tagInfo &info() const { return mInfo; }

private:
    void relink();

    tID3tagInfo mInfo;
    std::vector<wchar16> mTitle, mArtist, mAlbum, mComment, mGenre, mPicture;
};

class cRegisteredTag {
public:
    // Replaces any waiting registration.
    void registerTag(const tID3tagInfo &tag);
    // Drops the waiting registration.
    void clear();
    bool isRegistered() const;
    // Copies the waiting registration into out and gives its generation in
    // *generation. False (out untouched) when nothing waits.
    bool take(cTagCopy *out, uint64_t *generation) const;
    // Drops the registration once it has been written, unless a newer one
    // arrived meanwhile.
    void clearIfGeneration(uint64_t generation);

private:
    mutable std::mutex mMutex;
    cTagCopy mTag;
    bool mRegistered = false;
    uint64_t mGeneration = 0;
};
