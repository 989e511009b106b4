// Test expectations are written in UTF-8; the module's text is GBK. A text that does not
// convert fails the running test.
#pragma once

#include <string>

std::string gbk(const std::string& utf8Text);
std::string utf8(const std::string& gbkText);
