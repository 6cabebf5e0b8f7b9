#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

    // Opens the file to write (and to read back: some writers, shapelib's
    // among them, read what they wrote); false when it cannot be created.
    bool Open(const char* path);
    std::FILE* GetFile() const { return file; }
    // Where the bytes go until Commit: the temporary file, or the target
    // itself when it is written in place. A writer may open it again to read
    // back what it wrote.
    const std::string& GetWritingPath() const;
    // Tells that the writer has closed the file itself (with FinishWriting).
    void Released() { file = nullptr; }
    // Finishes the file if still open, then moves it into place. False on any
    // failure, in which case the temporary file is gone and the target is
    // untouched.
    bool Commit(bool written);
    // The two halves of Commit, for a set of files that are replaced together:
    // Finish flushes, syncs and closes; MoveIntoPlace renames.
    bool Finish(bool written);
    bool MoveIntoPlace();
    // The system error (errno) of the first failure, 0 when none was seen.
    int GetError() const { return error; }
    // Removes the temporary file; the target stays as it was.
    void Discard();

private:
    void NoteError(int code);

    std::FILE* file = nullptr;
    std::string targetPath;
    std::string temporaryPath;      // empty when writing in place
    std::unique_ptr<char[]> buffer; // the stream's buffer, uninitialised
    int error = 0;
};

// The files of one map (a shapefile's .shp, .shx, .dbf, ...) replaced
// together: each is written to its own temporary file, and only when every one
// of them was written completely are they renamed over their targets. Files
// that the new set no longer has (a .prj, a .cpg) are removed then, so no old
// sidecar is left beside a new main file. Renaming goes file by file, so a
// crash in the middle can still mix the sets; the order keeps that window
// small: stale files go first, then the members from the last added to the
// first, so the main file, added first, arrives last.
class CReplacingFileSet {
public:
    CReplacingFileSet() = default;
    CReplacingFileSet(const CReplacingFileSet&) = delete;
    CReplacingFileSet& operator=(const CReplacingFileSet&) = delete;

    // Opens a member to write; null when it cannot be created. The set owns it.
    CReplacingFile* Add(const std::string& path);
    // A file to delete on a successful commit, when it exists.
    void RemoveOnCommit(const std::string& path);
    // Finishes every member still open; if all were written, removes the
    // stale files and moves the members into place. False on any failure; a
    // failure before the renames leaves every target untouched.
    bool Commit(bool written);
    // The system error of the first failing member, 0 when none was seen.
    int GetError() const;

private:
    std::vector<std::unique_ptr<CReplacingFile>> members;
    std::vector<std::string> staleFiles;
    int commitError = 0;
};

// Flushes the file, syncs it to the disk when it is a regular file, and
// closes it; the file is closed whatever happens. True only when all of that
// succeeded and no earlier write had failed.
bool FinishWriting(std::FILE* file);
