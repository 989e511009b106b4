// Whole files read and written as bytes, as the tests check and prepare them.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A link at path is replaced, not written through: the system directory of a home that
// qxhost used holds links to the build's own pylm.dat and pywords.dat.
inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) std::filesystem::remove(path, error);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
