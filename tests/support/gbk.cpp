#include "gbk.h"

#include "gbktext.h"

#include <gtest/gtest.h>

std::string gbk(const std::string& utf8Text) {
    std::string out;
    if (!utf8ToGbk(utf8Text, out)) ADD_FAILURE() << "no GBK text: " << utf8Text;
    return out;
}

std::string utf8(const std::string& gbkText) {
    std::string out;
    if (!gbkToUtf8(gbkText, out)) ADD_FAILURE() << "not GBK text (" << gbkText.size() << " bytes)";
    return out;
}
