// Libraries and resources. A PE library (PE32 or PE32+) is mapped read-only and its
// resource directory walked once at load, every offset checked against the file, so a
// damaged file is refused rather than read past its end; resources are then used in
// place. A host library (ELF) is loaded by the dynamic linker; while it is mapped it
// describes its entry point and its resources (a compiled .res blob) from a constructor,
// where a PE image has them in its headers.
#include "internal.h"
#include "winapi/library.h"
#include "winapi/system.h"
#include "winapi_host.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <link.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A type or name of a resource: a number, or a UTF-16 string.
struct ResourceKey {
    bool isId;
    WORD id;
    std::u16string name;
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    WORD language;
    const BYTE* data;
    DWORD size;
};

struct Module {
    std::string path;   // empty for resources attached in memory
    int references = 0;
    bool live = false;
    void* mapping = nullptr;
    size_t mappingSize = 0;
    void* library = nullptr;   // dlopen handle of a host library
    WinapiEntryPoint entry = nullptr;
    std::vector<Resource> resources;
};

// What host libraries said of themselves, by the dynamic linker's record of each. A
// library's constructors run once per mapping, so a description outlives a FreeLibrary
// that leaves the library mapped and is dropped when the mapping goes.
struct HostDescription {
    WinapiEntryPoint entry;
    const BYTE* res;
    size_t size;
};
std::map<const void*, HostDescription> hostDescriptions;

// Module records are never freed, so a handle from a freed library is refused by the
// live flag instead of pointing at reused memory.
std::recursive_mutex libraryLock;
std::vector<std::unique_ptr<Module>> modules;
Module* mainModule = nullptr;

// Walks are bounded against hostile directories that share or repeat entries.
constexpr size_t maxResources = 65536;

uint16_t read16(const BYTE* p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}
uint32_t read32(const BYTE* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

std::string convert(const char* to, const char* from, const std::string& in, bool* ok) {
    iconv_t cd = iconv_open(to, from);
    *ok = false;
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    *ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && !srcLeft;
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

std::u16string gbkToUtf16(const char* gbk) {
    bool ok;
    std::string bytes = convert("UTF-16LE", "GBK", gbk, &ok);
    std::u16string out(bytes.size() / 2, u'\0');
    memcpy(out.data(), bytes.data(), out.size() * 2);
    return ok ? out : std::u16string();
}

std::string utf16ToGbk(const std::u16string& text) {
    bool ok;
    std::string out = convert("GBK", "UTF-16LE",
                              std::string(reinterpret_cast<const char*>(text.data()),
                                          text.size() * 2),
                              &ok);
    return ok ? out : std::string("?");
}

bool sameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z') x -= 32;
        if (y >= u'a' && y <= u'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// PE images
// ---------------------------------------------------------------------------------------
struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

struct PeImage {
    const BYTE* base;
    size_t size;
    std::vector<Section> sections;

    // File offset of `length` bytes at `rva`, or false when they are not all in the file.
    bool locate(uint32_t rva, uint32_t length, size_t* offset) const {
        for (const Section& s : sections) {
            uint64_t start = s.virtualAddress;
            uint64_t extent = std::max(s.virtualSize, s.rawSize);
            if (rva < start || rva >= start + extent) continue;
            uint64_t into = rva - start;
            if (into + length > s.rawSize) return false;
            uint64_t at = uint64_t(s.rawOffset) + into;
            if (at + length > size) return false;
            *offset = static_cast<size_t>(at);
            return true;
        }
        return false;
    }
};

// Where and why an image is refused: the file offset of the first structure at fault.
struct PeFault {
    uint64_t offset = 0;
    const char* what = "";

    bool at(uint64_t fileOffset, const char* why) {
        offset = fileOffset;
        what = why;
        return false;
    }
};

struct ResourceWalk {
    const PeImage& image;
    size_t treeStart;   // file offset of the root directory
    size_t treeEnd;     // end of the section holding it
    std::set<uint32_t> visited;
    std::vector<Resource>* out;
    PeFault* fault;

    bool inTree(uint64_t offset, uint64_t length) const {
        return treeStart + offset + length <= treeEnd;
    }

    bool refuse(uint64_t offset, const char* why) { return fault->at(treeStart + offset, why); }

    bool readKey(uint32_t field, ResourceKey* key) const {
        if (!(field & 0x80000000u)) {
            *key = ResourceKey{true, static_cast<WORD>(field & 0xFFFF), {}};
            return true;
        }
        uint32_t offset = field & 0x7FFFFFFFu;
        if (!inTree(offset, 2)) return false;
        const BYTE* p = image.base + treeStart + offset;
        uint16_t length = read16(p);
        if (!inTree(offset + 2, uint64_t(length) * 2)) return false;
        std::u16string name(length, u'\0');
        memcpy(name.data(), p + 2, size_t(length) * 2);
        *key = ResourceKey{false, 0, std::move(name)};
        return true;
    }

    // Level 0 holds types, 1 names, 2 languages; level 2 entries point at data. The
    // caller has checked that the directory's header lies in the tree and was not seen.
    bool directory(uint32_t offset, int level, ResourceKey* type, ResourceKey* name) {
        const BYTE* dir = image.base + treeStart + offset;
        uint32_t count = uint32_t(read16(dir + 12)) + read16(dir + 14);
        if (!inTree(uint64_t(offset) + 16, uint64_t(count) * 8))
            return refuse(offset, "resource directory entries cut short");
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t at = uint64_t(offset) + 16 + uint64_t(i) * 8;
            const BYTE* entry = dir + 16 + size_t(i) * 8;
            ResourceKey key;
            if (!readKey(read32(entry), &key)) return refuse(at, "bad resource name");
            uint32_t target = read32(entry + 4);
            bool isDirectory = target & 0x80000000u;
            target &= 0x7FFFFFFFu;
            if (level < 2) {
                if (!isDirectory) return refuse(at, "type or name entry is not a directory");
                if (!inTree(target, 16)) return refuse(at, "subdirectory outside the resources");
                if (!visited.insert(target).second) return refuse(at, "subdirectory reached twice");
                if (!directory(target, level + 1, level == 0 ? &key : type,
                               level == 1 ? &key : name))
                    return false;
                continue;
            }
            if (!key.isId) return refuse(at, "language entry with a name");
            if (isDirectory || !inTree(target, 16)) return refuse(at, "language entry is not a data entry");
            const BYTE* data = image.base + treeStart + target;
            uint32_t rva = read32(data), size = read32(data + 4);
            size_t found;
            if (!image.locate(rva, size, &found)) return refuse(target, "resource data outside every section");
            if (out->size() >= maxResources) return refuse(target, "too many resources");
            out->push_back(Resource{*type, *name, key.id, image.base + found, size});
        }
        return true;
    }
};

bool parsePe(const BYTE* base, size_t size, std::vector<Resource>* out, PeFault* fault) {
    out->clear();
    if (size < 64 || base[0] != 'M' || base[1] != 'Z') return fault->at(0, "no MZ header");
    uint64_t pe = read32(base + 0x3C);
    if (pe + 24 > size || memcmp(base + pe, "PE\0\0", 4) != 0) return fault->at(0x3C, "no PE signature");
    uint32_t sectionCount = read16(base + pe + 6);
    uint32_t optionalSize = read16(base + pe + 20);
    uint64_t optional = pe + 24;
    if (sectionCount > 96) return fault->at(pe + 6, "too many sections");
    if (optional + optionalSize > size || optionalSize < 2) return fault->at(optional, "optional header cut short");
    uint16_t magic = read16(base + optional);
    uint64_t countAt, directories;
    if (magic == 0x10B) countAt = 92, directories = 96;
    else if (magic == 0x20B) countAt = 108, directories = 112;
    else return fault->at(optional, "unknown optional header magic");
    PeImage image{base, size, {}};
    uint64_t table = optional + optionalSize;
    if (table + uint64_t(sectionCount) * 40 > size) return fault->at(table, "section table cut short");
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const BYTE* s = base + table + size_t(i) * 40;
        image.sections.push_back({read32(s + 12), read32(s + 8), read32(s + 16), read32(s + 20)});
    }
    // No resource directory is a valid library without resources.
    if (countAt + 4 > optionalSize || read32(base + optional + countAt) < 3 ||
        directories + 24 > optionalSize)
        return true;
    uint32_t rva = read32(base + optional + directories + 16);
    if (rva == 0) return true;
    size_t root;
    if (!image.locate(rva, 16, &root))
        return fault->at(optional + directories + 16, "resource directory outside every section");
    size_t end = 0;
    for (const Section& s : image.sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
            end = std::min<uint64_t>(uint64_t(s.rawOffset) + s.rawSize, size);
            break;
        }
    }
    ResourceWalk walk{image, root, end, {0}, out, fault};
    ResourceKey none{true, 0, {}};
    ResourceKey type = none, name = none;
    if (!walk.inTree(0, 16)) return fault->at(root, "resource directory cut short");
    if (!walk.directory(0, 0, &type, &name)) {
        out->clear();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// .res blobs: a run of records, each a header (sizes, type, name, language) then data.
// ---------------------------------------------------------------------------------------
bool readResKey(const BYTE* base, uint64_t* at, uint64_t end, ResourceKey* key) {
    if (*at + 2 > end) return false;
    if (read16(base + *at) == 0xFFFF) {
        if (*at + 4 > end) return false;
        *key = ResourceKey{true, read16(base + *at + 2), {}};
        *at += 4;
        return true;
    }
    std::u16string name;
    while (true) {
        if (*at + 2 > end) return false;
        char16_t c = read16(base + *at);
        *at += 2;
        if (!c) break;
        name += c;
    }
    *key = ResourceKey{false, 0, std::move(name)};
    return true;
}

bool parseRes(const BYTE* base, size_t size, std::vector<Resource>* out) {
    out->clear();
    uint64_t at = 0;
    bool whole = true;
    // Records run to the end; fewer than a record's first 8 bytes left is padding.
    while (at + 8 <= size) {
        uint64_t dataSize = read32(base + at), headerSize = read32(base + at + 4);
        uint64_t headerEnd = at + headerSize;
        uint64_t p = at + 8;
        ResourceKey type, name;
        if (headerSize < 8 || headerEnd > size || dataSize > size - headerEnd ||
            !readResKey(base, &p, headerEnd, &type) || !readResKey(base, &p, headerEnd, &name)) {
            whole = false;
            break;
        }
        p = (p + 3) & ~uint64_t(3);
        if (p + 16 > headerEnd || out->size() >= maxResources) {
            whole = false;
            break;
        }
        WORD language = read16(base + p + 6);
        // The blob opens with an empty record that marks the format.
        if (!(dataSize == 0 && type.isId && type.id == 0))
            out->push_back(Resource{type, name, language, base + headerEnd,
                                    static_cast<DWORD>(dataSize)});
        at = (headerEnd + dataSize + 3) & ~uint64_t(3);
    }
    if (!whole) out->clear();
    return whole;
}

// ---------------------------------------------------------------------------------------
// Modules
// ---------------------------------------------------------------------------------------
Module* liveModule(HMODULE handle) {
    if (!handle) {
        GetModuleHandleA(nullptr);
        return mainModule;
    }
    for (auto& m : modules)
        if (reinterpret_cast<HMODULE>(m.get()) == handle) return m->live ? m.get() : nullptr;
    return nullptr;
}

std::string programPath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Windows file names ignore case: an exact match first, else any spelling.
bool findFile(const std::string& directory, const std::string& name, std::string* path) {
    std::string exact = directory + "/" + name;
    struct stat st;
    if (stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        *path = exact;
        return true;
    }
    DIR* dir = opendir(directory.c_str());
    if (!dir) return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (compareNoCase(entry->d_name, name) != 0) continue;
        std::string candidate = directory + "/" + entry->d_name;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            *path = candidate;
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

// A name without an extension gets ".dll"; a final dot means "no extension".
std::string withExtension(std::string name) {
    std::string last = baseName(name);
    if (last.find('.') == std::string::npos) return name + ".dll";
    if (!name.empty() && name.back() == '.') name.pop_back();
    return name;
}

std::string dllDirectory;

bool resolveLibrary(const char* requested, std::string* path) {
    std::string name(requested);
    for (char& c : name)
        if (c == '\\') c = '/';
    name = withExtension(name);
    if (name.find('/') != std::string::npos)
        return findFile(directoryOf(name), baseName(name), path);
    char cwd[PATH_MAX];
    std::string systemDirectory = homeDirectory() + "/system";
    for (const std::string& dir :
         {directoryOf(programPath()), dllDirectory.empty() ? directoryOf(programPath()) : dllDirectory,
          systemDirectory, std::string(getcwd(cwd, sizeof cwd) ? cwd : ".")})
        if (findFile(dir, name, path)) return true;
    return false;
}

const void* linkMapOf(void* library) {
    link_map* map = nullptr;
    return dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 ? map : nullptr;
}

void unloadModule(Module* m) {
    if (m->library) {
        if (m->entry) m->entry(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_DETACH, nullptr);
        const void* map = linkMapOf(m->library);
        dlclose(m->library);
        m->library = nullptr;
        if (void* still = dlopen(m->path.c_str(), RTLD_NOW | RTLD_NOLOAD)) dlclose(still);
        else hostDescriptions.erase(map);
    }
    m->entry = nullptr;
    if (m->mapping) munmap(m->mapping, m->mappingSize);
    m->mapping = nullptr;
    m->resources.clear();
    m->live = false;
    m->references = 0;
}

// Loads one file as a module; false with the last error set when it is refused.
bool loadFile(Module* m, bool runEntry) {
    int fd = open(m->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    struct stat st;
    BYTE magic[4] = {};
    bool sized = fstat(fd, &st) == 0 && st.st_size >= 4 && pread(fd, magic, 4, 0) == 4;
    if (sized && magic[0] == 'M' && magic[1] == 'Z') {
        void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        close(fd);
        if (map == MAP_FAILED) {
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return false;
        }
        m->mapping = map;
        m->mappingSize = static_cast<size_t>(st.st_size);
        PeFault fault;
        if (!parsePe(static_cast<const BYTE*>(map), m->mappingSize, &m->resources, &fault)) {
            munmap(map, m->mappingSize);
            m->mapping = nullptr;
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return false;
        }
        return true;
    }
    close(fd);
    if (!sized || memcmp(magic, "\x7f" "ELF", 4) != 0) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    m->library = dlopen(m->path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m->library) {
        winapiRecordEvent("dlopen", dlerror());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    auto described = hostDescriptions.find(linkMapOf(m->library));
    if (described != hostDescriptions.end()) {
        const HostDescription& d = described->second;
        if (d.res && !parseRes(d.res, d.size, &m->resources)) {
            dlclose(m->library);
            m->library = nullptr;
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return false;
        }
        m->entry = runEntry ? d.entry : nullptr;
    }
    m->live = true;
    m->references = 1;
    if (m->entry && !m->entry(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_ATTACH, nullptr)) {
        unloadModule(m);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return false;
    }
    return true;
}

bool matchKey(const ResourceKey& key, LPCSTR wanted) {
    if (IS_INTRESOURCE(wanted)) return key.isId && key.id == static_cast<WORD>(reinterpret_cast<ULONG_PTR>(wanted));
    if (wanted[0] == '#') {
        char* end;
        unsigned long id = strtoul(wanted + 1, &end, 10);
        return !*end && key.isId && key.id == id;
    }
    return !key.isId && sameName(key.name, gbkToUtf16(wanted));
}

std::string keyText(const ResourceKey& key) {
    return key.isId ? "#" + std::to_string(key.id) : utf16ToGbk(key.name);
}

void listResources(const std::vector<Resource>& resources, std::vector<WinapiResource>* out) {
    for (const Resource& r : resources)
        out->push_back({keyText(r.type), keyText(r.name), r.language, r.data, r.size});
}

// The resource a handle names, when it belongs to the module.
const Resource* resourceOf(Module* m, HRSRC handle) {
    if (!m || !handle || m->resources.empty()) return nullptr;
    auto* r = reinterpret_cast<const Resource*>(handle);
    const Resource* first = m->resources.data();
    if (r < first || r >= first + m->resources.size()) return nullptr;
    return r;
}

}  // namespace

HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    std::string found;
    if (!resolveLibrary(name, &found)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    char real[PATH_MAX];
    std::string path = realpath(found.c_str(), real) ? real : found;
    for (auto& m : modules) {
        if (m->live && m->path == path) {
            ++m->references;
            return reinterpret_cast<HMODULE>(m.get());
        }
    }
    auto record = std::make_unique<Module>();
    record->path = path;
    Module* m = record.get();
    modules.push_back(std::move(record));
    if (!loadFile(m, !(flags & LOAD_LIBRARY_AS_DATAFILE))) return nullptr;
    m->live = true;
    m->references = 1;
    return reinterpret_cast<HMODULE>(m);
}

BOOL WINAPI SetDllDirectoryA(LPCSTR path) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    dllDirectory = path != nullptr ? path : "";
    for (char& c : dllDirectory)
        if (c == '\\') c = '/';
    return TRUE;
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) { return LoadLibraryExA(name, nullptr, 0); }

BOOL WINAPI FreeLibrary(HMODULE handle) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    Module* m = handle ? liveModule(handle) : nullptr;
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (m == mainModule) return TRUE;
    if (--m->references <= 0) unloadModule(m);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR name) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    Module* m = liveModule(handle);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = nullptr;
    if (name && !IS_INTRESOURCE(name)) {
        if (m->library) symbol = dlsym(m->library, name);
        else if (m == mainModule) symbol = dlsym(RTLD_DEFAULT, name);
    }
    if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    if (!name) {
        if (!mainModule) {
            auto record = std::make_unique<Module>();
            record->path = programPath();
            record->live = true;
            record->references = 1;
            mainModule = record.get();
            modules.push_back(std::move(record));
        }
        return reinterpret_cast<HMODULE>(mainModule);
    }
    std::string wanted = withExtension(name);
    for (char& c : wanted)
        if (c == '\\') c = '/';
    bool byPath = wanted.find('/') != std::string::npos;
    for (auto& m : modules) {
        if (!m->live || m->path.empty()) continue;
        if (byPath ? m->path == wanted : compareNoCase(baseName(m->path), wanted) == 0)
            return reinterpret_cast<HMODULE>(m.get());
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE handle, LPSTR buffer, DWORD size) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    Module* m = liveModule(handle);
    if (!m) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::string& path = m->path;
    if (path.size() >= size) {
        // Cut and terminated; the caller learns of the cut from the result and the error.
        memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

HRSRC WINAPI FindResourceExA(HMODULE handle, LPCSTR type, LPCSTR name, WORD language) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    Module* m = liveModule(handle);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!type || !name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (m->resources.empty()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // Any language: neutral first, then Simplified Chinese, then English, then the first.
    const Resource* best = nullptr;
    int bestRank = 99;
    bool typeSeen = false, nameSeen = false;
    for (const Resource& r : m->resources) {
        if (!matchKey(r.type, type)) continue;
        typeSeen = true;
        if (!matchKey(r.name, name)) continue;
        nameSeen = true;
        int rank = language != 0xFFFF ? (r.language == language ? 0 : 99)
                   : r.language == 0  ? 0
                   : r.language == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED) ? 1
                   : r.language == MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)             ? 2
                                                                                         : 3;
        if (rank < bestRank) best = &r, bestRank = rank;
    }
    if (!best) {
        SetLastError(!typeSeen   ? ERROR_RESOURCE_TYPE_NOT_FOUND
                     : !nameSeen ? ERROR_RESOURCE_NAME_NOT_FOUND
                                 : ERROR_RESOURCE_LANG_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<Resource*>(best));
}

HRSRC WINAPI FindResourceA(HMODULE handle, LPCSTR name, LPCSTR type) {
    return FindResourceExA(handle, type, name, 0xFFFF);
}

HGLOBAL WINAPI LoadResource(HMODULE handle, HRSRC resource) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    const Resource* r = resourceOf(liveModule(handle), resource);
    if (!r) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // The data stays where the library holds it, as on Windows.
    return const_cast<BYTE*>(r->data);
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE handle, HRSRC resource) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    const Resource* r = resourceOf(liveModule(handle), resource);
    if (!r) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return r->size;
}

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

void winapiDescribeHostLibrary(const void* inside, WinapiEntryPoint entry, const void* res, size_t size) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    Dl_info info;
    link_map* map = nullptr;
    if (dladdr1(inside, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) && map)
        hostDescriptions[map] = HostDescription{entry, static_cast<const BYTE*>(res), size};
}

HMODULE winapiAttachResources(HMODULE handle, const void* res, size_t size) {
    std::lock_guard<std::recursive_mutex> guard(libraryLock);
    std::vector<Resource> parsed;
    if (!res || !parseRes(static_cast<const BYTE*>(res), size, &parsed)) return nullptr;
    Module* m;
    if (handle) {
        m = liveModule(handle);
        if (!m) return nullptr;
    } else {
        auto record = std::make_unique<Module>();
        record->live = true;
        record->references = 1;
        m = record.get();
        modules.push_back(std::move(record));
    }
    m->resources = std::move(parsed);
    return reinterpret_cast<HMODULE>(m);
}

bool winapiListPeResources(const void* image, size_t size, std::vector<WinapiResource>* out,
                           WinapiResourceFault* fault) {
    std::vector<Resource> resources;
    PeFault found;
    out->clear();
    if (!image || !parsePe(static_cast<const BYTE*>(image), size, &resources, &found)) {
        if (fault) *fault = WinapiResourceFault{static_cast<size_t>(found.offset), found.what};
        return false;
    }
    listResources(resources, out);
    return true;
}

bool winapiListResResources(const void* res, size_t size, std::vector<WinapiResource>* out) {
    std::vector<Resource> resources;
    out->clear();
    if (!res || !parseRes(static_cast<const BYTE*>(res), size, &resources)) return false;
    listResources(resources, out);
    return true;
}
