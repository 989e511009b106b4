// Which of the four table formats a resource holds, from its name.
#pragma once

#include <string>

enum class TableFormat { packed, fixed, pymb, pycz };

inline TableFormat formatOfResource(const std::string& name) {
    if (name == "XGBK" || name == "YGBK") return TableFormat::fixed;
    if (name == "PYMB") return TableFormat::pymb;
    if (name == "PYCZ") return TableFormat::pycz;
    return TableFormat::packed;
}

inline bool parseFormat(const std::string& word, TableFormat& format) {
    if (word == "packed") format = TableFormat::packed;
    else if (word == "fixed") format = TableFormat::fixed;
    else if (word == "pymb") format = TableFormat::pymb;
    else if (word == "pycz") format = TableFormat::pycz;
    else return false;
    return true;
}
