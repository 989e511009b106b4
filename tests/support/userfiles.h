// Test support: user files in the system directory, and a file that exists but cannot be
// opened for reading, as when its permissions forbid it; writing it stays possible.
#pragma once

#include <string>

// Path of a file in the system directory (GetSystemDirectoryA), as the module builds it.
std::string systemFilePath(const char* name);
void writeFileText(const std::string& path, const std::string& text);
std::string fileText(const std::string& path);

class UnreadableFile {
public:
    // Takes read permission from the file. A test that runs as root also sets aside, for
    // the guard's lifetime, the capabilities that let root read any file.
    explicit UnreadableFile(const std::string& path);
    ~UnreadableFile();
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    // Whether reading the file really fails now.
    bool unreadable() const;

private:
    std::string path_;
    bool capabilitiesDropped_ = false;
};
