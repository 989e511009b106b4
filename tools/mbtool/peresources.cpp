#include "peresources.h"

#include <fstream>
#include <iterator>

namespace {

struct Reader {
    std::span<const uint8_t> bytes;
    bool has(uint64_t at, uint64_t n) const { return at <= bytes.size() && n <= bytes.size() - at; }
    uint16_t u16(uint64_t at) const { return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)); }
    uint32_t u32(uint64_t at) const { return u16(at) | (static_cast<uint32_t>(u16(at + 2)) << 16); }
};

std::string hex(uint64_t v) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool readPeResources(std::span<const uint8_t> file, std::vector<PeFileResource>& resources,
                     std::string& error) {
    Reader r{file};
    auto fail = [&](uint64_t at, const std::string& message) {
        error = "offset " + hex(at) + ": " + message;
        return false;
    };
    if (!r.has(0, 0x40) || r.u16(0) != 0x5A4D) return fail(0, "no MZ header");
    uint32_t pe = r.u32(0x3C);
    if (!r.has(pe, 24) || r.u32(pe) != 0x00004550) return fail(0x3C, "no PE signature");
    uint16_t sections = r.u16(pe + 6);
    uint16_t optionalSize = r.u16(pe + 20);
    uint64_t opt = pe + 24;
    if (!r.has(opt, optionalSize) || optionalSize < 2) return fail(opt, "optional header cut short");
    uint16_t magic = r.u16(opt);
    uint64_t dirs;
    if (magic == 0x10B) dirs = opt + 96;
    else if (magic == 0x20B) dirs = opt + 112;
    else return fail(opt, "unknown optional header magic");
    if (dirs + 8 * 3 > opt + optionalSize) return fail(opt, "no resource directory entry");
    uint32_t rsrcRva = r.u32(dirs + 16), rsrcSize = r.u32(dirs + 20);
    if (rsrcRva == 0) return true;  // no resources at all

    uint64_t table = opt + optionalSize;
    if (!r.has(table, uint64_t{sections} * 40)) return fail(table, "section table cut short");
    // Maps an RVA range to file bytes through the section that holds it.
    auto locate = [&](uint32_t rva, uint32_t size, uint64_t& at) {
        for (uint16_t s = 0; s < sections; ++s) {
            uint64_t h = table + 40ull * s;
            uint32_t va = r.u32(h + 12), raw = r.u32(h + 16), ptr = r.u32(h + 20);
            if (rva >= va && uint64_t{rva} + size <= uint64_t{va} + raw) {
                at = ptr + uint64_t{rva - va};
                return r.has(at, size);
            }
        }
        return false;
    };
    uint64_t base;
    if (!locate(rsrcRva, rsrcSize, base)) return fail(dirs + 16, "resource directory outside every section");
    Reader rs{file.subspan(base, rsrcSize)};

    auto entryName = [&](uint32_t field, std::string& out) {
        if (!(field & 0x80000000u)) {
            out = "#" + std::to_string(field & 0xFFFF);
            return true;
        }
        uint32_t at = field & 0x7FFFFFFF;
        if (!rs.has(at, 2)) return false;
        uint16_t length = rs.u16(at);
        if (!rs.has(at + 2, 2ull * length)) return false;
        out.clear();
        for (uint16_t i = 0; i < length; ++i) {
            uint16_t c = rs.u16(at + 2 + 2ull * i);
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return true;
    };
    // Three levels: type, name, language. Depth is fixed, so a looping tree cannot recurse.
    auto directory = [&](uint32_t at, uint32_t& count) {
        if (!rs.has(at, 16)) return false;
        count = uint32_t{rs.u16(at + 12)} + rs.u16(at + 14);
        return rs.has(at + 16, 8ull * count);
    };
    uint32_t types;
    if (!directory(0, types)) return fail(base, "resource root directory cut short");
    for (uint32_t t = 0; t < types; ++t) {
        uint32_t te = 16 + 8 * t;
        PeFileResource res{};
        if (!entryName(rs.u32(te), res.type)) return fail(base + te, "bad type name");
        uint32_t nameDir = rs.u32(te + 4);
        if (!(nameDir & 0x80000000u)) return fail(base + te, "type entry is not a directory");
        nameDir &= 0x7FFFFFFF;
        uint32_t names;
        if (!directory(nameDir, names)) return fail(base + nameDir, "name directory cut short");
        for (uint32_t n = 0; n < names; ++n) {
            uint32_t ne = nameDir + 16 + 8 * n;
            if (!entryName(rs.u32(ne), res.name)) return fail(base + ne, "bad resource name");
            uint32_t langDir = rs.u32(ne + 4);
            if (!(langDir & 0x80000000u)) return fail(base + ne, "name entry is not a directory");
            langDir &= 0x7FFFFFFF;
            uint32_t langs;
            if (!directory(langDir, langs)) return fail(base + langDir, "language directory cut short");
            for (uint32_t l = 0; l < langs; ++l) {
                uint32_t dataEntry = rs.u32(langDir + 16 + 8 * l + 4);
                if ((dataEntry & 0x80000000u) || !rs.has(dataEntry, 16))
                    return fail(base + langDir, "language entry is not a data entry");
                uint32_t rva = rs.u32(dataEntry), size = rs.u32(dataEntry + 4);
                uint64_t at;
                if (!locate(rva, size, at)) return fail(base + dataEntry, "resource data outside every section");
                res.fileOffset = static_cast<uint32_t>(at);
                res.data = file.subspan(at, size);
                resources.push_back(res);
            }
        }
    }
    return true;
}
