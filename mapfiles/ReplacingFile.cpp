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
    error = 0;
    if (path == nullptr || *path == '\0') {
        NoteError(ENOENT);
        return false;
    }
    targetPath = ResolveLink(path);
    struct stat info;
    const bool exists = stat(targetPath.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        file = std::fopen(targetPath.c_str(), "w+b");
    } else {
        // A short hidden name, so that a target name near the length limit
        // still leaves room for it.
        std::string pattern = FolderOf(targetPath) + "/.marlo-save-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            NoteError(errno);
            // A folder that takes no new files may still hold a writable file:
            // that one is overwritten in place, as the only way to save it.
            if (!exists || access(targetPath.c_str(), W_OK) != 0) {
                return false;
            }
            file = std::fopen(targetPath.c_str(), "w+b");
            if (file == nullptr) {
                NoteError(errno);
                return false;
            }
            error = 0;
            buffer = std::make_unique_for_overwrite<char[]>(WriteBufferSize);
            std::setvbuf(file, buffer.get(), _IOFBF, WriteBufferSize);
            return true;
        }
        temporaryPath = pattern;
        // The saved file gets the permissions of the file it replaces, or
        // those of a newly created file.
        const mode_t mode = exists ? (info.st_mode & 07777) : (0666 & ~CurrentUmask());
        if (fchmod(fd, mode) != 0) {
            NoteError(errno);
            close(fd);
            Discard();
            return false;
        }
        file = fdopen(fd, "w+b");
        if (file == nullptr) {
            NoteError(errno);
            close(fd);
        }
    }
    if (file == nullptr) {
        NoteError(errno);
        Discard();
        return false;
    }
    buffer = std::make_unique_for_overwrite<char[]>(WriteBufferSize);
    std::setvbuf(file, buffer.get(), _IOFBF, WriteBufferSize);
    return true;
}

const std::string& CReplacingFile::GetWritingPath() const {
    return temporaryPath.empty() ? targetPath : temporaryPath;
}

bool CReplacingFile::Commit(bool written) {
    return Finish(written) && MoveIntoPlace();
}

bool CReplacingFile::Finish(bool written) {
    if (file != nullptr) {
        // A failed write leaves its errno; a failed flush, sync or close sets
        // its own.
        if (!FinishWriting(file)) {
            NoteError(errno);
            written = false;
        }
        file = nullptr;
    }
    if (!written) {
        Discard();
        return false;
    }
    return true;
}

bool CReplacingFile::MoveIntoPlace() {
    if (targetPath.empty()) {
        return false; // discarded, or never opened
    }
    if (!temporaryPath.empty()) {
        if (std::rename(temporaryPath.c_str(), targetPath.c_str()) != 0) {
            NoteError(errno);
            Discard();
            return false;
        }
        temporaryPath.clear();
        SyncFolder(FolderOf(targetPath));
    }
    targetPath.clear();
    return true;
}

void CReplacingFile::NoteError(int code) {
    if (error == 0) {
        error = code != 0 ? code : EIO;
    }
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

CReplacingFile* CReplacingFileSet::Add(const std::string& path) {
    auto member = std::make_unique<CReplacingFile>();
    const bool opened = member->Open(path.c_str());
    members.push_back(std::move(member));
    return opened ? members.back().get() : nullptr;
}

void CReplacingFileSet::RemoveOnCommit(const std::string& path) {
    staleFiles.push_back(path);
}

bool CReplacingFileSet::Commit(bool written) {
    for (const auto& member : members) {
        if (!member->Finish(written)) {
            written = false;
        }
    }
    if (!written) {
        for (const auto& member : members) {
            member->Discard();
        }
        return false;
    }
    for (const std::string& stale : staleFiles) {
        struct stat info;
        if (lstat(stale.c_str(), &info) == 0 && std::remove(stale.c_str()) != 0) {
            commitError = errno;
            for (const auto& member : members) {
                member->Discard();
            }
            return false;
        }
    }
    bool moved = true;
    for (auto member = members.rbegin(); member != members.rend(); ++member) {
        if (!(*member)->MoveIntoPlace()) {
            moved = false;
        }
    }
    return moved;
}

int CReplacingFileSet::GetError() const {
    if (commitError != 0) {
        return commitError;
    }
    for (const auto& member : members) {
        if (member->GetError() != 0) {
            return member->GetError();
        }
    }
    return 0;
}
