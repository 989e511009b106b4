// Test helper: builds small code tables and libraries with the real mbtool.
#pragma once

#include "gbk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tablebuilder {

// A scratch folder of the running test program, created on first use.
std::string scratchDir();

// Writes text to a file in the scratch folder and returns its path.
std::string writeScratchFile(const std::string& name, const std::string& text);

// Runs build/host/bin/mbtool with the arguments; returns its exit code and, when given,
// what it printed on stdout and stderr.
int runMbtool(const std::string& arguments, std::string* out = nullptr, std::string* err = nullptr);

// Builds a table of the format ("packed", "fixed", "pymb", "pycz") from UTF-8 source text.
// Fails the current test and returns an empty table when mbtool refuses it.
std::vector<uint8_t> buildTable(const std::string& format, const std::string& source);

std::vector<uint8_t> readFile(const std::string& path);

// Table tests write their texts in UTF-8 (gbk.h).
using ::gbk;
using ::utf8;

}  // namespace tablebuilder
