// Resource-only PE libraries: one .rsrc section, no code, no imports, no entry point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class PeMachine { x86, x64 };

struct PeResource {
    std::string type;  // stored upper case, as resource compilers do
    std::string name;
    std::vector<uint8_t> data;
};

// Every resource gets language 0x0804. Returns the whole file image.
std::vector<uint8_t> writeResourcePe(PeMachine machine, const std::vector<PeResource>& resources);
