// The registry file's line parsers over any bytes; whatever they accept must come back
// unchanged through the writer, or a value would change on its next save.
//
//   cmake --preset host-fuzz && cmake --build --preset host-fuzz --target registry_text_fuzz
//   build/host-fuzz/bin/registry_text_fuzz -max_total_time=300
#include "../winapi/src/registry_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::string name, value;
    DWORD type;
    if (registryText::parseValueLine(line, &name, &type, &value)) {
        std::string again = registryText::formatValueLine(name, type, value);
        std::string name2, value2;
        DWORD type2;
        if (!registryText::parseValueLine(again, &name2, &type2, &value2)) abort();
        if (name2 != name || type2 != type || value2 != value) abort();
    }
    std::vector<std::string> parts;
    if (registryText::parseKeyPath(line, &parts)) {
        for (const auto& part : parts) {
            std::vector<std::string> back;
            if (!registryText::parseKeyPath(registryText::formatKeyName(part), &back) ||
                back.size() != 1 || back[0] != part)
                abort();
        }
    }
    return 0;
}
