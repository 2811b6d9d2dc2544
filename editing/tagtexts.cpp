#include "editing/tagtexts.h"

#include <algorithm>

namespace {

// ID3v1 genre numbers 0 to 125: the 80 of the original list, then the
// 46 later additions. Written tags carry the name, never the number.
const char *const kGenreByNumber[] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk",
    "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // later additions, 80 to 125
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club",
    "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "A capella", "Euro-House", "Dance Hall",
};
constexpr int kGenreCount = static_cast<int>(sizeof kGenreByNumber / sizeof kGenreByNumber[0]);
static_assert(kGenreCount == 126, "ID3v1 numbers 0 to 125");

// The order the box lists them in.
const char *const kGenreListed[] = {
    "A capella", "Acid", "Acid Jazz", "Acid Punk", "Acoustic", "Alternative", "AlternRock", "Ambient",
    "Avantgarde", "Ballad", "Bass", "Bebob", "Big Band", "Bluegrass", "Blues", "Booty Bass", "Cabaret", "Celtic",
    "Chamber Music", "Chanson", "Chorus", "Christian Rap", "Classic Rock", "Classical", "Club", "Comedy",
    "Country", "Cult", "Dance", "Dance Hall", "Darkwave", "Death Metal", "Disco", "Dream", "Drum Solo", "Duet",
    "Easy Listening", "Electronic", "Ethnic", "Eurodance", "Euro-House", "Euro-Techno", "Fast Fusion", "Folk",
    "Folklore", "Folk-Rock", "Freestyle", "Funk", "Fusion", "Game", "Gangsta", "Gospel", "Gothic", "Gothic Rock",
    "Grunge", "Hard Rock", "Hip-Hop", "House", "Humour", "Industrial", "Instrumental", "Instrumental Pop",
    "Instrumental Rock", "Jazz", "Jazz+Funk", "Jungle", "Latin", "Lo-Fi", "Meditative", "Metal", "Musical",
    "National Folk", "Native American", "New Age", "New Wave", "Noise", "Oldies", "Opera", "Other", "Polka",
    "Pop", "Pop/Funk", "Pop-Folk", "Porn Groove", "Power Ballad", "Pranks", "Primus", "Progressive Rock",
    "Psychadelic", "Psychedelic Rock", "Punk", "Punk Rock", "R&B", "Rap", "Rave", "Reggae", "Retro", "Revival",
    "Rhythmic Soul", "Rock", "Rock & Roll", "Samba", "Satire", "Showtunes", "Ska", "Slow Jam", "Slow Rock",
    "Sonata", "Soul", "Sound Clip", "Soundtrack", "Southern Rock", "Space", "Speech", "Swing", "Symphonic Rock",
    "Symphony", "Tango", "Techno", "Techno-Industrial", "Top 40", "Trailer", "Trance", "Tribal", "Trip-Hop",
    "Vocal",
};
static_assert(sizeof kGenreListed / sizeof kGenreListed[0] == kGenreCount, "the same names in both tables");

int boundedLength(const wchar16 *buffer, int units)
{
    int n = 0;
    while (n < units && buffer[n] != 0) ++n;
    return n;
}

}  // namespace

QString tagTextFromBuffer(const wchar16 *buffer, int units)
{
    if (!buffer || units < 1) return QString();
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(buffer), boundedLength(buffer, units));
}

int tagTextToBuffer(const QString &text, wchar16 *buffer, int units)
{
    if (!buffer || units < 1) return 0;
    int n = std::min(static_cast<int>(text.size()), units - 1);
    if (n < text.size() && n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    const ushort *src = text.utf16();
    for (int i = 0; i < n; ++i) buffer[i] = static_cast<wchar16>(src[i]);
    buffer[n] = 0;
    return n;
}

bool tagTextFits(const QString &text, int units)
{
    return text.size() < units;
}

const QStringList &tagGenreList()
{
    static const QStringList list = [] {
        QStringList l{QString()};
        for (const char *name : kGenreListed) l << QString::fromLatin1(name);
        return l;
    }();
    return list;
}

QString tagGenreNameOfNumber(int number)
{
    if (number < 0 || number >= kGenreCount) return QString();
    return QString::fromLatin1(kGenreByNumber[number]);
}
