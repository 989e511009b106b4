#include "outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes content to a new temporary file in the target's folder; empty on failure.
std::string writeTemporary(const std::string& target, const std::string& content) {
    std::string name = target + ".XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) {
        std::fprintf(stderr, "mkdata: cannot create a file beside %s: %s\n", target.c_str(),
                     std::strerror(errno));
        return {};
    }
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    int error = done == content.size() ? 0 : errno ? errno : EIO;
    if (close(fd) != 0 && !error) error = errno;
    // Readable like any build output (mkstemp makes the file private).
    if (!error && chmod(name.c_str(), 0644) != 0) error = errno;
    if (error) {
        std::fprintf(stderr, "mkdata: cannot write %s: %s\n", target.c_str(), std::strerror(error));
        unlink(name.c_str());
        return {};
    }
    return name;
}

}  // namespace

void Outputs::add(std::string path, std::string content) {
    files_.push_back({std::move(path), std::move(content), {}});
}

bool Outputs::commit() {
    bool ok = true;
    for (File& f : files_) {
        f.temporary = writeTemporary(f.path, f.content);
        if (f.temporary.empty()) {
            ok = false;
            break;
        }
    }
    for (File& f : files_) {
        if (f.temporary.empty()) continue;
        if (ok && std::rename(f.temporary.c_str(), f.path.c_str()) != 0) {
            std::fprintf(stderr, "mkdata: cannot replace %s: %s\n", f.path.c_str(), std::strerror(errno));
            ok = false;
        }
        // A rename that failed, or one not tried after an earlier failure, leaves no trace.
        if (!ok) unlink(f.temporary.c_str());
    }
    return ok;
}
