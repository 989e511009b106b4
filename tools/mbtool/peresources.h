// Reading the resources of a PE library file, for the commands that inspect libraries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct PeFileResource {
    std::string type;  // as stored (upper case for named types); "#n" for numeric ones
    std::string name;
    uint32_t fileOffset;
    std::span<const uint8_t> data;
};

// Lists every resource of the file. False with a message naming the offset of the first
// structural fault.
bool readPeResources(std::span<const uint8_t> file, std::vector<PeFileResource>& resources,
                     std::string& error);

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
