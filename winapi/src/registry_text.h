// The registry file's text: GBK names and strings shown as UTF-8 where they convert
// both ways, every other byte escaped, so a person can read the file and every byte
// comes back exactly as stored.
#pragma once

#include "winapi/base.h"

#include <string>
#include <vector>

namespace registryText {

// GBK bytes for display: printable ASCII and GBK characters as UTF-8; other bytes as
// \xHH (and \\, \") inside quoted strings, as %HH (and %25) in key names.
std::string quoted(const std::string& gbk);
std::string formatKeyName(const std::string& gbk);
// The reverse; false for text that is not in that form.
bool unquote(const std::string& text, std::string* gbk);
bool parseKeyPath(const std::string& text, std::vector<std::string>* parts);

// One value line: "name"=dword:0000002a, "name"=sz:"text", "name"=hex(3):01,ff
// (@ for the default value).
std::string formatValueLine(const std::string& name, DWORD type, const std::string& data);
bool parseValueLine(const std::string& line, std::string* name, DWORD* type, std::string* data);

// GBK to UTF-8 for a terminal; bytes that are not GBK come out as \xHH.
std::string toUtf8(const std::string& gbk);
// UTF-8 to GBK; false when a character has no GBK form.
bool fromUtf8(const std::string& utf8, std::string* gbk);

}  // namespace registryText
