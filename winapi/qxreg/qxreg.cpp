// qxreg: the registry of QX_HOME from a terminal, in the shape of the usual reg command.
//   qxreg query  KEY [/v NAME | /ve] [/s]
//   qxreg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   qxreg delete KEY [/v NAME | /ve | /va] [/f]
// KEY begins with HKLM, HKCU, HKCR, HKU or HKCC (or the long names). Names and data
// are UTF-8 on the terminal and GBK in the registry.
#include "registry_text.h"

#include <windows.h>
#include <winapi_host.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string command, root, path;
    HKEY rootKey = nullptr;
    bool hasValue = false, allValues = false, recurse = false, force = false;
    std::string value;   // GBK
    std::string type = "REG_SZ";
    std::string data;    // UTF-8 as typed
    bool hasData = false;
};

int fail(const std::string& message) {
    fprintf(stderr, "ERROR: %s\n", message.c_str());
    return 1;
}

const struct {
    const char* shortName;
    const char* longName;
    HKEY key;
} roots[] = {{"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
             {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
             {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
             {"HKU", "HKEY_USERS", HKEY_USERS},
             {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};

const struct {
    const char* name;
    DWORD type;
} types[] = {{"REG_SZ", REG_SZ},         {"REG_EXPAND_SZ", REG_EXPAND_SZ},
             {"REG_DWORD", REG_DWORD},   {"REG_BINARY", REG_BINARY},
             {"REG_MULTI_SZ", REG_MULTI_SZ}, {"REG_NONE", REG_NONE},
             {"REG_QWORD", REG_QWORD}};

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c -= 32;
    return s;
}

bool toGbk(const std::string& utf8, std::string* gbk) {
    if (registryText::fromUtf8(utf8, gbk)) return true;
    fprintf(stderr, "ERROR: \"%s\" has characters that GBK cannot hold\n", utf8.c_str());
    return false;
}

bool parseKey(const std::string& arg, Options* o) {
    size_t slash = arg.find('\\');
    std::string head = upper(arg.substr(0, slash));
    for (const auto& r : roots) {
        if (head == r.shortName || head == r.longName) {
            o->root = r.longName;
            o->rootKey = r.key;
            std::string rest = slash == std::string::npos ? "" : arg.substr(slash + 1);
            while (!rest.empty() && rest.back() == '\\') rest.pop_back();
            return toGbk(rest, &o->path);
        }
    }
    return false;
}

std::string typeName(DWORD type) {
    for (const auto& t : types)
        if (t.type == type) return t.name;
    return "REG_0x" + std::to_string(type);
}

std::string showData(DWORD type, const std::string& data) {
    char buffer[32];
    if (type == REG_DWORD && data.size() == 4) {
        DWORD v;
        memcpy(&v, data.data(), 4);
        snprintf(buffer, sizeof buffer, "0x%x", v);
        return buffer;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::string s = data.substr(0, data.find('\0'));
        return registryText::toUtf8(s);
    }
    if (type == REG_MULTI_SZ) {
        std::string out, item;
        for (size_t i = 0; i < data.size(); ++i) {
            if (data[i]) {
                item += data[i];
                continue;
            }
            if (item.empty()) break;
            out += (out.empty() ? "" : "\\0") + registryText::toUtf8(item);
            item.clear();
        }
        return out;
    }
    std::string out;
    for (unsigned char c : data) {
        snprintf(buffer, sizeof buffer, "%02X", c);
        out += buffer;
    }
    return out;
}

void printValue(const std::string& name, DWORD type, const std::string& data) {
    printf("    %s    %s    %s\n",
           name.empty() ? "(Default)" : registryText::toUtf8(name).c_str(),
           typeName(type).c_str(), showData(type, data).c_str());
}

bool readValue(HKEY key, DWORD index, std::string* name, DWORD* type, std::string* data) {
    DWORD nameMax = 0, dataMax = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &nameMax, &dataMax, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<char> nameBuffer(nameMax + 1);
    std::vector<BYTE> dataBuffer(dataMax + 1);
    DWORD nameCount = nameMax + 1, dataSize = dataMax + 1;
    if (RegEnumValueA(key, index, nameBuffer.data(), &nameCount, nullptr, type,
                      dataBuffer.data(), &dataSize) != ERROR_SUCCESS)
        return false;
    name->assign(nameBuffer.data(), nameCount);
    data->assign(reinterpret_cast<char*>(dataBuffer.data()), dataSize);
    return true;
}

std::vector<std::string> subKeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    return names;
}

void queryTree(HKEY key, const std::string& shownPath, const Options& o) {
    printf("\n%s\n", registryText::toUtf8(shownPath).c_str());
    std::string name, data;
    DWORD type;
    for (DWORD i = 0; readValue(key, i, &name, &type, &data); ++i) printValue(name, type, data);
    for (const auto& child : subKeys(key)) {
        if (!o.recurse) {
            printf("\n%s\\%s", registryText::toUtf8(shownPath).c_str(),
                   registryText::toUtf8(child).c_str());
            continue;
        }
        HKEY sub;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        queryTree(sub, shownPath + "\\" + child, o);
        RegCloseKey(sub);
    }
    if (!o.recurse && !subKeys(key).empty()) printf("\n");
}

int query(const Options& o) {
    HKEY key;
    if (RegOpenKeyExA(o.rootKey, o.path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return fail("The system was unable to find the specified registry key or value.");
    std::string shown = o.root + (o.path.empty() ? "" : "\\" + o.path);
    int result = 0;
    if (o.hasValue) {
        DWORD type, size = 0;
        if (RegQueryValueExA(key, o.value.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            result = fail("The system was unable to find the specified registry key or value.");
        } else {
            std::vector<BYTE> buffer(size + 1);
            RegQueryValueExA(key, o.value.c_str(), nullptr, &type, buffer.data(), &size);
            printf("\n%s\n", registryText::toUtf8(shown).c_str());
            printValue(o.value, type, std::string(reinterpret_cast<char*>(buffer.data()), size));
        }
    } else {
        queryTree(key, shown, o);
    }
    RegCloseKey(key);
    return result;
}

bool encodeData(const Options& o, DWORD* type, std::string* bytes) {
    bool found = false;
    for (const auto& t : types)
        if (upper(o.type) == t.name) {
            *type = t.type;
            found = true;
        }
    if (!found) {
        fail("Invalid type " + o.type);
        return false;
    }
    if (*type == REG_DWORD || *type == REG_QWORD) {
        char* end = nullptr;
        unsigned long long v = strtoull(o.hasData ? o.data.c_str() : "0", &end, 0);
        if (!end || *end || (*type == REG_DWORD && v > 0xFFFFFFFFull)) {
            fail("Invalid number " + o.data);
            return false;
        }
        bytes->assign(reinterpret_cast<const char*>(&v), *type == REG_DWORD ? 4 : 8);
        return true;
    }
    if (*type == REG_BINARY || *type == REG_NONE) {
        bytes->clear();
        if (o.data.size() % 2) return fail("Invalid binary data"), false;
        for (size_t i = 0; i < o.data.size(); i += 2) {
            char pair[3] = {o.data[i], o.data[i + 1], 0};
            char* end;
            long v = strtol(pair, &end, 16);
            if (*end) return fail("Invalid binary data"), false;
            *bytes += static_cast<char>(v);
        }
        return true;
    }
    if (!toGbk(o.data, bytes)) return false;
    if (*type == REG_MULTI_SZ) {
        std::string items;
        size_t start = 0;
        while (true) {
            size_t sep = bytes->find("\\0", start);
            items += bytes->substr(start, sep == std::string::npos ? sep : sep - start);
            items += '\0';
            if (sep == std::string::npos) break;
            start = sep + 2;
        }
        *bytes = items + '\0';
        return true;
    }
    *bytes += '\0';
    return true;
}

int add(const Options& o) {
    DWORD type = REG_SZ;
    std::string bytes;
    if ((o.hasValue || o.hasData) && !encodeData(o, &type, &bytes)) return 1;
    HKEY key;
    if (RegCreateKeyExA(o.rootKey, o.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return fail("Cannot create the key.");
    int result = 0;
    if (o.hasValue || o.hasData) {
        if (RegSetValueExA(key, o.value.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS)
            result = fail("Cannot set the value.");
    }
    RegCloseKey(key);
    if (!result) printf("The operation completed successfully.\n");
    return result;
}

LONG deleteTree(HKEY parent, const std::string& name) {
    HKEY key;
    if (LONG r = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key)) return r;
    for (const auto& child : subKeys(key)) deleteTree(key, child);
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str());
}

int remove(const Options& o) {
    if (!o.hasValue && !o.allValues) {
        if (o.path.empty()) return fail("A root key cannot be deleted.");
        if (deleteTree(o.rootKey, o.path) != ERROR_SUCCESS)
            return fail("The system was unable to find the specified registry key or value.");
        printf("The operation completed successfully.\n");
        return 0;
    }
    HKEY key;
    if (RegOpenKeyExA(o.rootKey, o.path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return fail("The system was unable to find the specified registry key or value.");
    int result = 0;
    if (o.allValues) {
        std::string name, data;
        DWORD type;
        while (readValue(key, 0, &name, &type, &data))
            if (RegDeleteValueA(key, name.c_str()) != ERROR_SUCCESS) break;
    } else if (RegDeleteValueA(key, o.value.c_str()) != ERROR_SUCCESS) {
        result = fail("The system was unable to find the specified registry key or value.");
    }
    RegCloseKey(key);
    if (!result) printf("The operation completed successfully.\n");
    return result;
}

void usage() {
    fprintf(stderr,
            "usage: qxreg query  KEY [/v NAME | /ve] [/s]\n"
            "       qxreg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
            "       qxreg delete KEY [/v NAME | /ve | /va] [/f]\n"
            "KEY: HKLM|HKCU|HKCR|HKU|HKCC[\\subkey]; the registry of QX_HOME (%s)\n",
            winapiHome());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        usage();
        return 1;
    }
    Options o;
    o.command = upper(argv[1]);
    if (!parseKey(argv[2], &o)) {
        usage();
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        std::string flag = upper(argv[i]);
        if (!flag.empty() && flag[0] == '-') flag[0] = '/';
        bool more = i + 1 < argc;
        if (flag == "/V" && more) {
            o.hasValue = true;
            if (!toGbk(argv[++i], &o.value)) return 1;
        } else if (flag == "/VE") {
            o.hasValue = true;
            o.value.clear();
        } else if (flag == "/VA") {
            o.allValues = true;
        } else if (flag == "/T" && more) {
            o.type = argv[++i];
        } else if (flag == "/D" && more) {
            o.data = argv[++i];
            o.hasData = true;
        } else if (flag == "/S") {
            o.recurse = true;
        } else if (flag == "/F") {
            o.force = true;
        } else {
            usage();
            return 1;
        }
    }
    if (o.command == "QUERY") return query(o);
    if (o.command == "ADD") return add(o);
    if (o.command == "DELETE") return remove(o);
    usage();
    return 1;
}
