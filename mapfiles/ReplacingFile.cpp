#include "mapfiles/ReplacingFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough that the many small writes of a text map cost little.
constexpr std::size_t WriteBufferSize = 1 << 16;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows a symbolic link to the file it names, so that the link survives the
// save; a path that is no link (or a dangling one) is kept as it is.
std::string ResolveLink(const char* path) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr) {
        return path;
    }
    return resolved;
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd); // the rename is done; a failure here loses nothing
        close(fd);
    }
}

} // namespace

bool FinishWriting(std::FILE* file) {
    if (file == nullptr) {
        return false;
    }
    bool ok = std::ferror(file) == 0;
    if (std::fflush(file) != 0) {
        ok = false;
    }
    struct stat info;
    const int fd = fileno(file);
    if (ok && fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && fsync(fd) != 0) {
        ok = false;
    }
    if (std::fclose(file) != 0) {
        ok = false;
    }
    return ok;
}

CReplacingFile::~CReplacingFile() {
    Discard();
}

bool CReplacingFile::Open(const char* path) {
    Discard();
    if (path == nullptr || *path == '\0') {
        return false;
    }
    targetPath = ResolveLink(path);
    struct stat info;
    const bool exists = stat(targetPath.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        file = std::fopen(targetPath.c_str(), "wb");
    } else {
        // A short hidden name, so that a target name near the length limit
        // still leaves room for it.
        std::string pattern = FolderOf(targetPath) + "/.marlo-save-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            // A folder that takes no new files may still hold a writable file:
            // that one is overwritten in place, as the only way to save it.
            if (!exists || access(targetPath.c_str(), W_OK) != 0) {
                return false;
            }
            file = std::fopen(targetPath.c_str(), "wb");
            if (file == nullptr) {
                return false;
            }
            buffer = std::make_unique_for_overwrite<char[]>(WriteBufferSize);
            std::setvbuf(file, buffer.get(), _IOFBF, WriteBufferSize);
            return true;
        }
        temporaryPath = pattern;
        // The saved file gets the permissions of the file it replaces, or
        // those of a newly created file.
        const mode_t mode = exists ? (info.st_mode & 07777) : (0666 & ~CurrentUmask());
        if (fchmod(fd, mode) != 0) {
            close(fd);
            Discard();
            return false;
        }
        file = fdopen(fd, "wb");
        if (file == nullptr) {
            close(fd);
        }
    }
    if (file == nullptr) {
        Discard();
        return false;
    }
    buffer = std::make_unique_for_overwrite<char[]>(WriteBufferSize);
    std::setvbuf(file, buffer.get(), _IOFBF, WriteBufferSize);
    return true;
}

bool CReplacingFile::Commit(bool written) {
    if (file != nullptr) {
        if (!FinishWriting(file)) {
            written = false;
        }
        file = nullptr;
    }
    if (!written) {
        Discard();
        return false;
    }
    if (!temporaryPath.empty()) {
        if (std::rename(temporaryPath.c_str(), targetPath.c_str()) != 0) {
            Discard();
            return false;
        }
        temporaryPath.clear();
        SyncFolder(FolderOf(targetPath));
    }
    targetPath.clear();
    return true;
}

void CReplacingFile::Discard() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    if (!temporaryPath.empty()) {
        std::remove(temporaryPath.c_str());
        temporaryPath.clear();
    }
    targetPath.clear();
}
