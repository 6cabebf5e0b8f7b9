#pragma once

#include <cstdio>
#include <memory>
#include <string>

// Saving so that a failed save never destroys the file it replaces. The new
// content goes to a temporary file in the target's folder (same file system,
// so the final rename is atomic); only when every write, the flush, the sync
// and the close have succeeded is it renamed over the target. On any failure
// the temporary file is removed and the old file stays as it was.
//
// A target that exists but is not a regular file (a device such as /dev/full,
// a pipe) is written in place: it cannot be replaced by renaming, and must not
// be. Neither can a file in a folder where no new file may be created; such a
// file is overwritten in place too. A symbolic link is followed, so the link
// stays a link.
class CReplacingFile {
public:
    CReplacingFile() = default;
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Opens the file to write; false when it cannot be created.
    bool Open(const char* path);
    std::FILE* GetFile() const { return file; }
    // Tells that the writer has closed the file itself (with FinishWriting).
    void Released() { file = nullptr; }
    // Finishes the file if still open, then moves it into place. False on any
    // failure, in which case the temporary file is gone and the target is
    // untouched.
    bool Commit(bool written);

private:
    void Discard();

    std::FILE* file = nullptr;
    std::string targetPath;
    std::string temporaryPath;      // empty when writing in place
    std::unique_ptr<char[]> buffer; // the stream's buffer, uninitialised
};

// Flushes the file, syncs it to the disk when it is a regular file, and
// closes it; the file is closed whatever happens. True only when all of that
// succeeded and no earlier write had failed.
bool FinishWriting(std::FILE* file);
