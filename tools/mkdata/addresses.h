// The public web-address list ("zwwz.dat"): our UTF-8 source, checked record by record and
// written in GBK, as the module reads it.
#pragma once

#include <string>

// Converts the whole source; false with the first fault (line number and what is wrong)
// in error. A record is "code name address " (three single spaces, the last one closing
// the line), codes of a-z grouped by first letter in alphabetical order, at most 200 a letter.
bool convertAddressList(const std::string& utf8, std::string& gbk, std::string& error);
