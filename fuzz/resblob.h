// A .res blob as the fuzzers build one around their input: RESOURCEHEADERs with numbered
// types and names, each followed by its data padded to 4 bytes, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline void put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

inline void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, uint16_t(x));
    put16(v, uint16_t(x >> 16));
}

// One resource: its header (type and name by number, language 0x0804), then the data.
inline void entry(std::vector<uint8_t>& v, uint16_t type, uint16_t name, const uint8_t* data, size_t size) {
    put32(v, uint32_t(size));
    put32(v, 32);
    put16(v, 0xFFFF);
    put16(v, type);
    put16(v, 0xFFFF);
    put16(v, name);
    put32(v, 0);
    put16(v, 0x30);
    put16(v, 0x0804);
    put32(v, 0);
    put32(v, 0);
    v.insert(v.end(), data, data + size);
    while (v.size() % 4) v.push_back(0);
}
