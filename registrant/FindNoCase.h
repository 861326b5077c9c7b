#pragma once

// The case-blind text search shared by the WIN.INI edit and the modem's reply scanner.

// The 0-based position of the first occurrence of word in text, letter case ignored (ASCII
// letters), or -1. Only matches that end within the first limit characters count: positions
// are tried while they lie below limit - (length of word - 1) and the text has not ended at a
// zero byte. Pass 65535 to let the end of the text alone bound the search. A null text or
// word is found nowhere; an empty word is found at 0 in any non-empty text.
int FindNoCase(const char* text, const char* word, unsigned short limit);
