#include "registrant/FindNoCase.h"

#include <cstring>

namespace {

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

int FindNoCase(const char* text, const char* word, unsigned short limit)
{
    if (!text || !word)
        return -1;
    const long length = static_cast<long>(std::strlen(word));
    // Computed in a signed type wide enough for every limit and word, so that a word longer
    // than the limit gives an empty range instead of a wrapped-around one.
    const long end = static_cast<long>(limit) - (length - 1);
    for (long position = 0; position < end && text[position] != '\0'; ++position) {
        // The comparison stops at the first mismatch, and the text's zero byte mismatches
        // every character of the word, so a text shorter than the word is never read past.
        long i = 0;
        while (i < length && upperAscii(text[position + i]) == upperAscii(word[i]))
            ++i;
        if (i == length)
            return static_cast<int>(position);
    }
    return -1;
}
