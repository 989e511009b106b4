// Registry: one tree of keys and typed values for the whole machine, kept in
// QX_HOME/registry.txt. Every call first picks up changes other programs made to the
// file; every change is written to a temporary file and renamed over it under a lock,
// so programs that share a home share the registry and a crash never leaves half a file.
#include "internal.h"
#include "registry_text.h"
#include "winapi/registry.h"
#include "winapi/system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

struct Key {
    std::string name;
    std::vector<std::unique_ptr<Key>> children;   // sorted without regard to case
    std::vector<Value> values;                    // in the order they were created
};

constexpr const char* rootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                     "HKEY_LOCAL_MACHINE", "HKEY_USERS", nullptr,
                                     "HKEY_CURRENT_CONFIG"};
constexpr int rootCount = 6;

struct OpenKey {
    int root;
    std::vector<std::string> path;
};

// Roots an ordinary user of Windows NT may read but not change (winapiSetRegistryReadOnly).
bool readOnlyRoots[8] = {};

constexpr REGSAM WRITE_ACCESS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000 /* DELETE */;

bool readOnly(const OpenKey& key) { return key.root >= 0 && key.root < 8 && readOnlyRoots[key.root]; }

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

std::recursive_mutex registryLock;
Key roots[rootCount];
std::map<uintptr_t, OpenKey> handles;
uintptr_t nextHandle = 0x1000;
bool loaded = false;
FileStamp loadedStamp;
std::string loadedText;

std::string registryPath() { return homeDirectory() + "/registry.txt"; }

bool statFile(const std::string& path, FileStamp* stamp) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    stamp->device = st.st_dev;
    stamp->inode = st.st_ino;
    stamp->size = st.st_size;
    stamp->modified = st.st_mtim;
    return true;
}

bool readFile(const std::string& path, std::string* text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    text->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
    fclose(f);
    return true;
}

Key* findChild(Key* key, const std::string& name) {
    for (auto& child : key->children)
        if (compareNoCase(child->name, name) == 0) return child.get();
    return nullptr;
}

Key* addChild(Key* key, const std::string& name) {
    auto child = std::make_unique<Key>();
    child->name = name;
    auto at = std::lower_bound(key->children.begin(), key->children.end(), name,
                               [](const std::unique_ptr<Key>& k, const std::string& n) {
                                   return compareNoCase(k->name, n) < 0;
                               });
    return key->children.insert(at, std::move(child))->get();
}

Value* findValue(Key* key, const std::string& name) {
    for (auto& value : key->values)
        if (compareNoCase(value.name, name) == 0) return &value;
    return nullptr;
}

void clearTree() {
    for (auto& root : roots) {
        root.children.clear();
        root.values.clear();
    }
}

int rootIndex(const std::string& name) {
    for (int i = 0; i < rootCount; ++i)
        if (rootNames[i] && compareNoCase(name, rootNames[i]) == 0) return i;
    return -1;
}

void parseTree(const std::string& text) {
    clearTree();
    Key* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 2) continue;
            std::vector<std::string> parts;
            if (!registryText::parseKeyPath(line.substr(1, line.size() - 2), &parts) ||
                parts.empty())
                continue;
            int root = rootIndex(parts[0]);
            if (root < 0) continue;
            current = &roots[root];
            for (size_t i = 1; i < parts.size(); ++i) {
                Key* child = findChild(current, parts[i]);
                current = child ? child : addChild(current, parts[i]);
            }
            continue;
        }
        if (!current) continue;
        std::string name, data;
        DWORD type;
        if (!registryText::parseValueLine(line, &name, &type, &data)) continue;
        if (Value* old = findValue(current, name)) {
            old->type = type;
            old->data = data;
        } else {
            current->values.push_back({name, type, data});
        }
    }
}

void formatKey(const Key& key, const std::string& path, std::string* out) {
    *out += "\n[" + path + "]\n";
    for (const auto& value : key.values)
        *out += registryText::formatValueLine(value.name, value.type, value.data) + "\n";
    for (const auto& child : key.children)
        formatKey(*child, path + "\\" + registryText::formatKeyName(child->name), out);
}

std::string formatTree() {
    std::string out =
        "; qx registry. Keys in [brackets], values as \"name\"=type:data (@ is the default "
        "value).\n; Text is GBK shown as UTF-8; other bytes are written \\xHH in strings and "
        "%HH in key names.\n";
    for (int i = 0; i < rootCount; ++i)
        if (rootNames[i]) formatKey(roots[i], rootNames[i], &out);
    return out;
}

// Picks up a change made by another program. A rewrite within the file system's
// timestamp granularity can leave the stamp unchanged, so a file that changed in the
// last two seconds is also compared by content.
void refresh() {
    FileStamp stamp;
    std::string path = registryPath();
    if (!statFile(path, &stamp)) {
        if (!loaded || loadedStamp.size != -1) {
            clearTree();
            loadedText.clear();
        }
        loaded = true;
        loadedStamp = FileStamp{};
        return;
    }
    bool recent = time(nullptr) - stamp.modified.tv_sec < 2;
    if (loaded && stamp == loadedStamp && !recent) return;
    std::string text;
    if (!readFile(path, &text)) return;
    if (!loaded || text != loadedText) parseTree(text);
    loadedText = std::move(text);
    loadedStamp = stamp;
    loaded = true;
}

// Holds the cross-process lock for one change.
class FileLock {
public:
    FileLock() {
        fd_ = open((homeDirectory() + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                   0644);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);   // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

bool writeTree() {
    std::string text = formatTree();
    // A change that leaves the file's text as it is saves nothing: no write, no flush.
    if (loadedStamp.size != -1 && text == loadedText) return true;
    std::string path = registryPath();
    std::string temp = path + ".tmp." + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == text.size() && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    statFile(path, &loadedStamp);
    loadedText = std::move(text);
    return true;
}

// Runs a change against the newest tree and writes it; a failed write leaves the file
// as it was and the tree as the file says.
template <typename Change>
LONG changeRegistry(Change change) {
    FileLock lock;
    loaded = false;
    refresh();
    LONG result = change();
    if (result != ERROR_SUCCESS) return result;
    if (!writeTree()) {
        loaded = false;
        refresh();
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

int predefinedRoot(HKEY key) {
    uintptr_t v = reinterpret_cast<uintptr_t>(key) & 0xFFFFFFFFu;
    if (v >= 0x80000000u && v < 0x80000000u + rootCount && rootNames[v - 0x80000000u])
        return static_cast<int>(v - 0x80000000u);
    return -1;
}

// The key a handle names: its root and path. False for a handle that is not open.
bool handlePath(HKEY key, OpenKey* out) {
    int root = predefinedRoot(key);
    if (root >= 0) {
        *out = OpenKey{root, {}};
        return true;
    }
    auto it = handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles.end()) return false;
    *out = it->second;
    return true;
}

Key* resolve(const OpenKey& key) {
    Key* k = &roots[key.root];
    for (const auto& part : key.path)
        if (!(k = findChild(k, part))) return nullptr;
    return k;
}

// Splits a subkey path. Empty components and a leading backslash are refused as
// Windows refuses them; one trailing backslash is allowed.
LONG splitSubKey(LPCSTR subKey, std::vector<std::string>* parts) {
    parts->clear();
    if (!subKey || !*subKey) return ERROR_SUCCESS;
    std::string s(subKey);
    if (s[0] == '\\') return ERROR_BAD_PATHNAME;
    if (s.back() == '\\') s.pop_back();
    size_t start = 0;
    while (true) {
        size_t slash = s.find('\\', start);
        std::string part = s.substr(start, slash == std::string::npos ? slash : slash - start);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > 255) return ERROR_INVALID_PARAMETER;
        parts->push_back(part);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return ERROR_SUCCESS;
}

HKEY newHandle(const OpenKey& key) {
    uintptr_t id = nextHandle;
    nextHandle += 4;
    handles[id] = key;
    return reinterpret_cast<HKEY>(id);
}

// Looks up the key behind a handle for a read or a change.
LONG openedKey(HKEY hKey, OpenKey* open, Key** key) {
    if (!handlePath(hKey, open)) return ERROR_INVALID_HANDLE;
    *key = resolve(*open);
    return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

bool isString(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Hands value data out with Windows' size rules. A string stored without its zero gets
// one when the buffer has room; the size reported stays the stored one.
LONG copyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (data && !size) return ERROR_INVALID_PARAMETER;
    if (type) *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (!size) return ERROR_SUCCESS;
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    memcpy(data, value.data.data(), needed);
    if (isString(value.type) && *size > needed && (needed == 0 || value.data.back() != 0))
        data[needed] = 0;
    *size = needed;
    return ERROR_SUCCESS;
}

// Name out with the character-count rules of the Enum functions: the buffer size in
// counts the zero, the count out does not.
LONG copyName(const std::string& name, LPSTR buffer, LPDWORD count) {
    if (!buffer || !count) return ERROR_INVALID_PARAMETER;
    if (*count <= name.size()) return ERROR_MORE_DATA;
    memcpy(buffer, name.c_str(), name.size() + 1);
    *count = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG createKey(HKEY hKey, LPCSTR subKey, REGSAM access, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    OpenKey open;
    if (!handlePath(hKey, &open)) return ERROR_INVALID_HANDLE;
    if (readOnly(open) && (access & WRITE_ACCESS)) return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG r = splitSubKey(subKey, &parts)) return r;
    bool created = false;
    std::vector<std::string> names;   // the spelling already in the tree wins
    LONG r = ERROR_SUCCESS;
    refresh();
    Key* base = resolve(open);
    if (!base) return ERROR_KEY_DELETED;
    Key* k = base;
    for (const auto& part : parts) {
        Key* child = findChild(k, part);
        if (!child) {
            created = true;
            break;
        }
        names.push_back(child->name);
        k = child;
    }
    if (created && readOnly(open)) return ERROR_ACCESS_DENIED;
    if (created) {
        names.clear();
        r = changeRegistry([&]() -> LONG {
            Key* key = resolve(open);
            if (!key) return ERROR_KEY_DELETED;
            for (const auto& part : parts) {
                Key* child = findChild(key, part);
                key = child ? child : addChild(key, part);
                names.push_back(key->name);
            }
            return ERROR_SUCCESS;
        });
        if (r != ERROR_SUCCESS) return r;
    }
    open.path.insert(open.path.end(), names.begin(), names.end());
    *result = newHandle(open);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

}  // namespace

void registryHomeChanged() {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    loaded = false;
    refresh();
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                            LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    return createKey(hKey, subKey, access, result, disposition);
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR subKey, PHKEY result) {
    return createKey(hKey, subKey, KEY_ALL_ACCESS, result, nullptr);
}

void winapiSetRegistryReadOnly(HKEY root, bool on) {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    int index = predefinedRoot(root);
    if (index >= 0 && index < 8) readOnlyRoots[index] = on;
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    refresh();
    OpenKey open;
    Key* key;
    if (LONG r = openedKey(hKey, &open, &key)) return r;
    if (readOnly(open) && (access & WRITE_ACCESS)) return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG r = splitSubKey(subKey, &parts))
        return r == ERROR_BAD_PATHNAME ? ERROR_FILE_NOT_FOUND : r;
    for (const auto& part : parts) {
        if (!(key = findChild(key, part))) return ERROR_FILE_NOT_FOUND;
        open.path.push_back(key->name);
    }
    *result = newHandle(open);
    return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR subKey, PHKEY result) {
    return RegOpenKeyExA(hKey, subKey, 0, KEY_ALL_ACCESS, result);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    if (predefinedRoot(hKey) >= 0) return ERROR_SUCCESS;
    return handles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                            : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR name, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD size) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    refresh();
    OpenKey open;
    Key* key;
    if (LONG r = openedKey(hKey, &open, &key)) return r;
    Value* value = findValue(key, name ? name : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    return copyData(*value, type, data, size);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR name, DWORD, DWORD type, const BYTE* data,
                           DWORD size) {
    if (!data && size) return ERROR_NOACCESS;
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    OpenKey open;
    if (!handlePath(hKey, &open)) return ERROR_INVALID_HANDLE;
    if (readOnly(open)) return ERROR_ACCESS_DENIED;
    std::string valueName = name ? name : "";
    std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    return changeRegistry([&]() -> LONG {
        Key* key = resolve(open);
        if (!key) return ERROR_KEY_DELETED;
        if (Value* value = findValue(key, valueName)) {
            value->type = type;
            value->data = bytes;
        } else {
            key->values.push_back({valueName, type, bytes});
        }
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR name) {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    OpenKey open;
    if (!handlePath(hKey, &open)) return ERROR_INVALID_HANDLE;
    if (readOnly(open)) return ERROR_ACCESS_DENIED;
    std::string valueName = name ? name : "";
    return changeRegistry([&]() -> LONG {
        Key* key = resolve(open);
        if (!key) return ERROR_KEY_DELETED;
        for (auto it = key->values.begin(); it != key->values.end(); ++it) {
            if (compareNoCase(it->name, valueName) == 0) {
                key->values.erase(it);
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

// A key with subkeys is refused, as on Windows NT: deleting a tree is the caller's walk.
LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR subKey) {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    OpenKey open;
    if (!handlePath(hKey, &open)) return ERROR_INVALID_HANDLE;
    std::vector<std::string> parts;
    if (LONG r = splitSubKey(subKey, &parts))
        return r == ERROR_BAD_PATHNAME ? ERROR_FILE_NOT_FOUND : r;
    open.path.insert(open.path.end(), parts.begin(), parts.end());
    if (open.path.empty() || readOnly(open)) return ERROR_ACCESS_DENIED;   // a root
    return changeRegistry([&]() -> LONG {
        OpenKey parentPath{open.root, {open.path.begin(), open.path.end() - 1}};
        Key* parent = resolve(parentPath);
        if (!parent) return ERROR_FILE_NOT_FOUND;
        for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
            if (compareNoCase((*it)->name, open.path.back()) != 0) continue;
            if (!(*it)->children.empty()) return ERROR_ACCESS_DENIED;
            parent->children.erase(it);
            return ERROR_SUCCESS;
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD index, LPSTR name, LPDWORD nameCount, LPDWORD,
                          LPSTR className, LPDWORD classCount, PFILETIME lastWrite) {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    refresh();
    OpenKey open;
    Key* key;
    if (LONG r = openedKey(hKey, &open, &key)) return r;
    if (index >= key->children.size()) return ERROR_NO_MORE_ITEMS;
    if (LONG r = copyName(key->children[index]->name, name, nameCount)) return r;
    if (className && classCount && *classCount) className[0] = 0;
    if (classCount) *classCount = 0;
    if (lastWrite) *lastWrite = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD index, LPSTR name, DWORD count) {
    return RegEnumKeyExA(hKey, index, name, &count, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD index, LPSTR name, LPDWORD nameCount,
                          LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    refresh();
    OpenKey open;
    Key* key;
    if (LONG r = openedKey(hKey, &open, &key)) return r;
    if (index >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = key->values[index];
    if (LONG r = copyName(value.name, name, nameCount)) return r;
    return copyData(value, type, data, size);
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR className, LPDWORD classCount, LPDWORD reserved,
                             LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                             LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                             LPDWORD securityDescriptor, PFILETIME lastWrite) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    refresh();
    OpenKey open;
    Key* key;
    if (LONG r = openedKey(hKey, &open, &key)) return r;
    if (className && classCount && *classCount) className[0] = 0;
    if (classCount) *classCount = 0;
    DWORD longestKey = 0, longestName = 0, longestData = 0;
    for (const auto& child : key->children)
        longestKey = std::max(longestKey, static_cast<DWORD>(child->name.size()));
    for (const auto& value : key->values) {
        longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
        longestData = std::max(longestData, static_cast<DWORD>(value.data.size()));
    }
    if (subKeys) *subKeys = static_cast<DWORD>(key->children.size());
    if (maxSubKeyLen) *maxSubKeyLen = longestKey;
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(key->values.size());
    if (maxValueNameLen) *maxValueNameLen = longestName;
    if (maxValueLen) *maxValueLen = longestData;
    if (securityDescriptor) *securityDescriptor = 0;
    if (lastWrite) *lastWrite = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
    std::lock_guard<std::recursive_mutex> guard(registryLock);
    OpenKey open;
    return handlePath(hKey, &open) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
