#include "pewriter.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionAlign = 0x1000;
constexpr uint32_t kRsrcRva = 0x1000;
constexpr uint16_t kLanguage = 0x0804;

uint32_t alignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

struct Writer {
    std::vector<uint8_t>& out;
    void u8(uint8_t v) { out.push_back(v); }
    void u16(uint16_t v) { u8(v & 0xFF), u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
    void u64(uint64_t v) { u32(static_cast<uint32_t>(v)), u32(static_cast<uint32_t>(v >> 32)); }
    void pad(size_t to) { out.resize(std::max(out.size(), to), 0); }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The resource tree type -> name -> language, named entries sorted as the loader's
// binary search expects.
std::vector<uint8_t> buildResourceSection(const std::vector<PeResource>& resources) {
    std::map<std::string, std::map<std::string, const PeResource*>> tree;
    for (const PeResource& r : resources) tree[upper(r.type)][upper(r.name)] = &r;

    size_t typeCount = tree.size(), nameCount = 0;
    for (auto& [type, names] : tree) nameCount += names.size();
    // Directories: root, one per type, one per name (each with one language entry).
    uint32_t dirBytes = static_cast<uint32_t>(16 + 8 * typeCount + (16 + 8) * typeCount +
                                              8 * nameCount + (16 + 8) * nameCount);
    uint32_t dataEntryBytes = static_cast<uint32_t>(16 * nameCount);
    uint32_t stringBytes = 0;
    for (auto& [type, names] : tree) {
        stringBytes += static_cast<uint32_t>(2 + 2 * type.size());
        for (auto& [name, r] : names) stringBytes += static_cast<uint32_t>(2 + 2 * name.size());
    }
    uint32_t dataStart = alignUp(dirBytes + dataEntryBytes + stringBytes, 8);

    std::vector<uint8_t> out;
    Writer w{out};
    uint32_t nextDir = 16 + 8 * static_cast<uint32_t>(typeCount);
    uint32_t nextDataEntry = dirBytes;
    uint32_t nextString = dirBytes + dataEntryBytes;
    uint32_t nextData = dataStart;
    out.assign(dataStart, 0);

    auto directoryHeader = [&](size_t at, uint16_t named) {
        // Characteristics, time stamp, version: zero. Then named and id entry counts.
        out[at + 12] = static_cast<uint8_t>(named);
        out[at + 13] = static_cast<uint8_t>(named >> 8);
    };
    auto putString = [&](const std::string& s) {
        uint32_t at = nextString;
        out[at] = static_cast<uint8_t>(s.size());
        out[at + 1] = static_cast<uint8_t>(s.size() >> 8);
        for (size_t i = 0; i < s.size(); ++i) out[at + 2 + 2 * i] = static_cast<uint8_t>(s[i]);
        nextString += static_cast<uint32_t>(2 + 2 * s.size());
        return at;
    };

    directoryHeader(0, static_cast<uint16_t>(typeCount));
    size_t typeEntry = 16;
    for (auto& [type, names] : tree) {
        uint32_t typeDir = nextDir;
        nextDir += static_cast<uint32_t>(16 + 8 * names.size());
        w.put32(typeEntry, 0x80000000u | putString(type));
        w.put32(typeEntry + 4, 0x80000000u | typeDir);
        typeEntry += 8;
        directoryHeader(typeDir, static_cast<uint16_t>(names.size()));
        size_t nameEntry = typeDir + 16;
        for (auto& [name, resource] : names) {
            uint32_t langDir = nextDir;
            nextDir += 16 + 8;
            w.put32(nameEntry, 0x80000000u | putString(name));
            w.put32(nameEntry + 4, 0x80000000u | langDir);
            nameEntry += 8;
            out[langDir + 14] = 1;  // one id entry
            w.put32(langDir + 16, kLanguage);
            w.put32(langDir + 20, nextDataEntry);
            w.put32(nextDataEntry, kRsrcRva + nextData);
            w.put32(nextDataEntry + 4, static_cast<uint32_t>(resource->data.size()));
            nextDataEntry += 16;
            out.resize(nextData);
            out.insert(out.end(), resource->data.begin(), resource->data.end());
            nextData = alignUp(static_cast<uint32_t>(out.size()), 8);
        }
    }
    return out;
}

// The PE checksum: 16-bit one's-complement-style sum over the file with the checksum
// field taken as zero, plus the file length.
uint32_t peChecksum(const std::vector<uint8_t>& file, size_t checksumAt) {
    uint64_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        if (i == checksumAt || i == checksumAt + 2) continue;
        uint16_t word = file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + file.size());
}

}  // namespace

std::vector<uint8_t> writeResourcePe(PeMachine machine, const std::vector<PeResource>& resources) {
    bool x64 = machine == PeMachine::x64;
    std::vector<uint8_t> rsrc = buildResourceSection(resources);
    uint32_t rsrcSize = static_cast<uint32_t>(rsrc.size());

    std::vector<uint8_t> out;
    Writer w{out};
    // DOS header: only the signature and the offset of the PE header matter.
    w.u16(0x5A4D);
    w.pad(0x3C);
    w.u32(0x40);
    // PE signature and file header.
    w.u32(0x00004550);
    w.u16(x64 ? 0x8664 : 0x014C);
    w.u16(1);         // sections
    w.u32(0);         // time stamp: builds are reproducible
    w.u32(0), w.u32(0);
    w.u16(x64 ? 0xF0 : 0xE0);
    // Executable image, DLL, line numbers and symbols stripped; 32-bit machine or large
    // address aware.
    w.u16(static_cast<uint16_t>(0x2002 | 0x0004 | 0x0008 | (x64 ? 0x0020 : 0x0100)));
    // Optional header.
    w.u16(x64 ? 0x20B : 0x10B);
    w.u8(2), w.u8(40);                      // linker version
    w.u32(0);                               // code size
    w.u32(alignUp(rsrcSize, kFileAlign));   // initialised data size
    w.u32(0);                               // uninitialised data size
    w.u32(0);                               // entry point: none
    w.u32(kRsrcRva);                        // base of code
    if (x64) {
        w.u64(0x180000000ull);
    } else {
        w.u32(kRsrcRva);                    // base of data
        w.u32(0x10000000);
    }
    w.u32(kSectionAlign), w.u32(kFileAlign);
    w.u16(4), w.u16(0);                     // OS version
    w.u16(0), w.u16(0);                     // image version
    w.u16(x64 ? 5 : 4), w.u16(x64 ? 2 : 0); // subsystem version
    w.u32(0);
    w.u32(kRsrcRva + alignUp(rsrcSize, kSectionAlign));  // image size
    w.u32(kFileAlign);                      // headers size
    size_t checksumAt = out.size();
    w.u32(0);
    w.u16(2);                               // GUI subsystem
    w.u16(0x0100 | 0x0400);                 // NX compatible, no SEH
    if (x64) {
        w.u64(0x100000), w.u64(0x1000), w.u64(0x100000), w.u64(0x1000);
    } else {
        w.u32(0x100000), w.u32(0x1000), w.u32(0x100000), w.u32(0x1000);
    }
    w.u32(0);                               // loader flags
    w.u32(16);
    for (int i = 0; i < 16; ++i) {
        if (i == 2) {
            w.u32(kRsrcRva), w.u32(rsrcSize);
        } else {
            w.u32(0), w.u32(0);
        }
    }
    // Section table.
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (char c : name) w.u8(static_cast<uint8_t>(c));
    w.u32(rsrcSize);
    w.u32(kRsrcRva);
    w.u32(alignUp(rsrcSize, kFileAlign));
    w.u32(kFileAlign);
    w.u32(0), w.u32(0), w.u16(0), w.u16(0);
    w.u32(0x40000040);                      // initialised data, readable
    w.pad(kFileAlign);
    out.insert(out.end(), rsrc.begin(), rsrc.end());
    w.pad(kFileAlign + alignUp(rsrcSize, kFileAlign));
    w.put32(checksumAt, peChecksum(out, checksumAt));
    return out;
}
