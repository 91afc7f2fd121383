// Conversion between the ANSI code page and UTF-16, shaped like the Windows
// calls. The ANSI code page here is UTF-8. Both keep the two-call protocol: a
// null destination or a destination size of 0 asks for the size needed.
// A source length of -1 means the source is NUL-terminated and the terminator
// is converted too. Ill-formed input (invalid UTF-8, unpaired surrogates)
// comes out as U+FFFD instead of failing.
#pragma once

constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_UTF8 = 65001;

// Returns the number of UTF-16 code units written (or needed), 0 on failure.
int MultiByteToWideChar(unsigned codePage, unsigned long flags, const char* src, int srcLen,
                        char16_t* dst, int dstLen);
// Returns the number of bytes written (or needed), 0 on failure. `defaultChar`
// is ignored, as Windows ignores it for UTF-8; `usedDefault`, if given, tells
// whether any code unit had to be replaced.
int WideCharToMultiByte(unsigned codePage, unsigned long flags, const char16_t* src, int srcLen,
                        char* dst, int dstLen, const char* defaultChar, int* usedDefault);
