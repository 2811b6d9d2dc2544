#include "morphex/registeredtag.h"

namespace {

void copyText(std::vector<wchar16> *dst, const wchar16 *src, int capacity) {
    dst->clear();
    if (src) {
        for (int i = 0; i < capacity - 1 && src[i] != 0; ++i) dst->push_back(src[i]);
    }
    dst->push_back(0);
}

}  // namespace

cTagCopy::cTagCopy() : mInfo() {
    mInfo.year = -1;
    mInfo.hour = -1;
    mInfo.minute = -1;
    mInfo.second = -1;
    mInfo.frame = -1;
    for (auto *v : {&mTitle, &mArtist, &mAlbum, &mComment, &mGenre, &mPicture}) v->assign(1, 0);
    relink();
}

cTagCopy::cTagCopy(const cTagCopy &other)
    : mInfo(other.mInfo),
      mTitle(other.mTitle),
      mArtist(other.mArtist),
      mAlbum(other.mAlbum),
      mComment(other.mComment),
      mGenre(other.mGenre),
      mPicture(other.mPicture) {
    relink();
}

cTagCopy &cTagCopy::operator=(const cTagCopy &other) {
    if (this != &other) {
        mInfo = other.mInfo;
        mTitle = other.mTitle;
        mArtist = other.mArtist;
        mAlbum = other.mAlbum;
        mComment = other.mComment;
        mGenre = other.mGenre;
        mPicture = other.mPicture;
        relink();
    }
    return *this;
}

void cTagCopy::assign(const tID3tagInfo &tag) {
    mInfo = tag;
    mInfo.startSample = 0;
    copyText(&mTitle, tag.title, kTagTextUnits);
    copyText(&mArtist, tag.artist, kTagTextUnits);
    copyText(&mAlbum, tag.album, kTagTextUnits);
    copyText(&mComment, tag.comment, kTagCommentUnits);
    copyText(&mGenre, tag.genre, kTagTextUnits);
    copyText(&mPicture, tag.picturePath, kTagTextUnits);
    relink();
}

void cTagCopy::relink() {
    mInfo.title = mTitle.data();
    mInfo.artist = mArtist.data();
    mInfo.album = mAlbum.data();
    mInfo.comment = mComment.data();
    mInfo.genre = mGenre.data();
    mInfo.picturePath = mPicture.data();
}

void cRegisteredTag::registerTag(const tID3tagInfo &tag) {
    // Copy outside the lock; the caller's record is the caller's business.
    cTagCopy copy;
    copy.assign(tag);
    std::lock_guard<std::mutex> lock(mMutex);
    mTag = copy;
    mRegistered = true;
    ++mGeneration;
}

void cRegisteredTag::clear() {
    std::lock_guard<std::mutex> lock(mMutex);
    mRegistered = false;
}

bool cRegisteredTag::isRegistered() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mRegistered;
}

bool cRegisteredTag::take(cTagCopy *out, uint64_t *generation) const {
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mRegistered) return false;
    *out = mTag;
    *generation = mGeneration;
    return true;
}

void cRegisteredTag::clearIfGeneration(uint64_t generation) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mGeneration == generation) mRegistered = false;
}
