// Test support: the two web-address list files in the test home's system directory,
// written and read as bytes, and the lists of the engine record as text.
#pragma once

#include <string>
#include <vector>

// Path of a file in the system directory (host form).
std::string systemFile(const std::string& name);
// Writes bytes to a file, replacing it.
void writeSystemFile(const std::string& name, const std::string& bytes);
void removeSystemFile(const std::string& name);
// The bytes of a file; "<missing>" when it cannot be read.
std::string readSystemFile(const std::string& name);
// The name of this process's temporary file for a list file, as the save makes it.
std::string webListTemporary(const std::string& name);
// Removes both list files and their temporary files, and resets the engine record.
void freshWebLists();

// The records of one block (letter) of a list, in order, as GBK texts.
std::vector<std::string> webBlockRecords(int list, char letter);
// Lines in UTF-8 joined into a list file in GBK, each ending with "\n".
std::string webListFile(const std::vector<std::string>& utf8Lines);
