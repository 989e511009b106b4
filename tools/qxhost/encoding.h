// GBK, the module's text, and UTF-8, the terminal's.
#pragma once

#include <string>
#include <string_view>

std::string gbkToUtf8(std::string_view gbk);   // undecodable bytes become U+FFFD
std::string utf8ToGbk(std::string_view utf8);  // unmappable characters become '?'
