// GBK text for the host tools, tests and benchmarks: the module's text is GBK, that of
// source files, dumps, terminals and test expectations UTF-8.
//
// The converter's code page is GB18030: its two-byte codes are exactly GBK's, and it names
// the few GBK codes that the plain GBK converter leaves unmapped, so every byte pair of a
// table survives a dump and a rebuild. Its four-byte codes are no GBK and are refused.
#pragma once

#include <string>
#include <string_view>

// UTF-8 to GBK. False (out untouched) when a character has no GBK code or the input is not
// valid UTF-8. ASCII passes through as single bytes.
bool utf8ToGbk(std::string_view utf8, std::string& gbk);

// GBK to UTF-8. False (out untouched) on a byte sequence that is no GBK text.
bool gbkToUtf8(std::string_view gbk, std::string& utf8);

// For showing text, never failing: a byte that starts no GBK character becomes U+FFFD, a
// character without a GBK code '?'.
std::string gbkToUtf8(std::string_view gbk);
std::string utf8ToGbk(std::string_view utf8);

// True when every character of the text is a two-byte code (no ASCII, nothing cut).
bool isDoubleByteText(std::string_view gbk);

// True when the two bytes are a GB2312 code: the only characters a packed table can hold,
// since it borrows bit 7 of each byte.
bool isGb2312(unsigned char lead, unsigned char trail);

// True when the two bytes can be a GBK character.
bool isGbk(unsigned char lead, unsigned char trail);
