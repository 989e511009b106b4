// The public web-address list the build ships as zwwz.dat: every line a record the
// address lists load, codes a typist can guess from the name, addresses a browser or a
// mail program takes.
#include "gbk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

// Initials of every reading of each character of the pinyin dictionary.
std::map<std::string, std::set<char>> initials() {
    std::ifstream in(QX_PINYIN_DICT);
    std::map<std::string, std::set<char>> out;
    std::string line;
    bool body = false;
    while (std::getline(in, line)) {
        if (!body) {
            body = line == "...";
            continue;
        }
        std::istringstream fields(line);
        std::string text, syllables;
        if (line.empty() || line[0] == '#' || !std::getline(fields, text, '\t') || !std::getline(fields, syllables, '\t'))
            continue;
        if (text.size() == 3 && !syllables.empty()) out[text].insert(syllables[0]);  // one character in UTF-8
    }
    return out;
}

struct Record {
    std::string code, name, address;  // name in UTF-8
};

class PublicAddresses : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& line : lines(std::string(QX_BIN_DIR) + "/zwwz.dat")) {
            raw.push_back(line);
            std::vector<std::string> f;
            size_t start = 0, space;
            while ((space = line.find(' ', start)) != std::string::npos) {
                f.push_back(line.substr(start, space - start));
                start = space + 1;
            }
            f.push_back(line.substr(start));
            if (f.size() == 4) records.push_back({f[0], utf8(f[1]), f[2]});
        }
    }
    std::vector<std::string> raw;
    std::vector<Record> records;
};

// The record format of the lists: code, space, name, space, address, space; nothing else.
TEST_F(PublicAddresses, EveryLineIsARecordTheListsLoad) {
    ASSERT_GE(raw.size(), 300u) << "zwwz.dat missing or short";
    EXPECT_EQ(records.size(), raw.size());
    std::map<char, size_t> perLetter;
    char last = 'a';
    for (const std::string& line : raw) {
        EXPECT_LE(line.size(), 89u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 3) << line;
        EXPECT_EQ(line.back(), ' ') << line;
        EXPECT_EQ(line.find('\r'), std::string::npos);
        EXPECT_GE(line[0], last) << "letters out of order at " << line;  // one run per letter, a to z
        last = line[0];
        ++perLetter[line[0]];
    }
    for (auto [letter, count] : perLetter) EXPECT_LE(count, 200u) << letter;
    const std::regex code("[a-z]{1,10}");
    for (const Record& r : records) {
        EXPECT_TRUE(std::regex_match(r.code, code)) << r.code;
    }
}

TEST_F(PublicAddresses, AddressesAreWellFormedAndListedOnce) {
    const std::string host = "([a-z0-9]([a-z0-9-]*[a-z0-9])?\\.)+[a-z]{2,}";
    const std::regex web(host + "(/[!-~]*)?\\*?");
    const std::regex mail("[a-z0-9._+-]+@" + host + "\\*?");
    std::set<std::string> addresses, names;
    for (const Record& r : records) {
        EXPECT_LE(r.address.size(), 40u) << r.address;  // the management dialog's limit
        EXPECT_TRUE(std::regex_match(r.address, web) || std::regex_match(r.address, mail)) << r.address;
        std::string bare = r.address.back() == '*' ? r.address.substr(0, r.address.size() - 1) : r.address;
        EXPECT_TRUE(addresses.insert(bare).second) << "twice: " << bare;
        EXPECT_TRUE(names.insert(r.name).second) << "twice: " << r.name;
    }
}

// The code of an entry is the pinyin initial of each character of its name, in order.
TEST_F(PublicAddresses, CodesAreThePinyinInitialsOfTheName) {
    std::map<std::string, std::set<char>> readings = initials();
    ASSERT_GT(readings.size(), 1000u);
    for (const Record& r : records) {
        std::vector<std::string> characters;
        for (size_t i = 0; i < r.name.size(); i += 3) characters.push_back(r.name.substr(i, 3));
        ASSERT_EQ(r.code.size(), characters.size()) << r.code << " " << r.name;
        for (size_t i = 0; i < characters.size(); ++i)
            EXPECT_TRUE(readings[characters[i]].count(r.code[i]))
                << r.code << " " << r.name << ": " << characters[i] << " is not read with " << r.code[i];
    }
    auto find = [&](const char* name) {
        for (const Record& r : records)
            if (r.name == name) return r.code + " " + r.address;
        return std::string();
    };
    EXPECT_EQ(find("百度"), "bd www.baidu.com");
    EXPECT_EQ(find("中国工商银行"), "zggsyh www.icbc.com.cn");  // 行 as in 银行
    EXPECT_EQ(find("重庆大学"), "cqdx www.cqu.edu.cn");
}

}  // namespace
