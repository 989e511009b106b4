// Text conversion between the UTF-8 of source files and dumps and the GBK bytes that
// the tables hold.
#pragma once

#include <string>
#include <string_view>

// UTF-8 to GBK. Fails (returns false) when a character has no two-byte GBK code or the
// input is not valid UTF-8. ASCII passes through as single bytes.
bool utf8ToGbk(std::string_view utf8, std::string& gbk);

// GBK to UTF-8. Fails on a byte sequence that is no GBK text.
bool gbkToUtf8(std::string_view gbk, std::string& utf8);

// True when every character of the text is a two-byte code (no ASCII, nothing cut).
bool isDoubleByteText(std::string_view gbk);

// True when the two bytes are a GB2312 code: the only characters a packed table can hold,
// since it borrows bit 7 of each byte.
bool isGb2312(unsigned char lead, unsigned char trail);

// True when the two bytes can be a GBK character.
bool isGbk(unsigned char lead, unsigned char trail);
