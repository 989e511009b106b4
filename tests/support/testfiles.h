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

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
