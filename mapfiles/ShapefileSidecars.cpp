#include "mapfiles/ShapefileSidecars.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <shapefil.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes of a dBASE file header before the field descriptors, and of one
// descriptor.
constexpr int64_t DbaseHeaderSize = 32;
constexpr int64_t DbaseFieldSize = 32;
// A .cpg holds one short name, a .prj one line of WKT: anything much longer
// is not one.
constexpr std::size_t MaxCodePageLength = 64;
constexpr std::size_t MaxCoordinateSystemLength = 64 * 1024;

// Reads a file by pread through a window of its bytes that a seek keeps
// when it lands inside it: no system call per seek, and no more of the file
// held in memory than the window.
class CReadWindow {
public:
    explicit CReadWindow(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat info {};
        if (fd >= 0 && fstat(fd, &info) == 0 && info.st_size >= 0) {
            size = info.st_size;
            bytes = std::make_unique_for_overwrite<char[]>(WindowSize);
        }
    }
    ~CReadWindow() {
        if (fd >= 0) {
            close(fd);
        }
    }
    CReadWindow(const CReadWindow&) = delete;
    CReadWindow& operator=(const CReadWindow&) = delete;

    bool IsOpen() const { return bytes != nullptr; }
    bool Failed() const { return failed; }

    // Copies up to count bytes from the position on; fewer at the end of the
    // file or on a failed read.
    std::size_t Read(void* destination, std::size_t count) {
        auto* out = static_cast<char*>(destination);
        std::size_t copied = 0;
        while (copied < count && Fill()) {
            const auto offset = static_cast<std::size_t>(position - start);
            const std::size_t take = std::min(count - copied, length - offset);
            std::memcpy(out + copied, bytes.get() + offset, take);
            copied += take;
            position += static_cast<int64_t>(take);
        }
        return copied;
    }

    bool Seek(int64_t offset, int whence) {
        const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position : size;
        if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || offset < -base ||
            offset > std::numeric_limits<int64_t>::max() - base) {
            return false;
        }
        position = base + offset;
        return true;
    }

    int64_t Tell() const { return position; }

private:
    static constexpr std::size_t WindowSize = 256 * 1024;

    // Whether the window holds the byte at the position, reading it if not.
    bool Fill() {
        if (position >= start && position < start + static_cast<int64_t>(length)) {
            return true;
        }
        if (failed || position >= size) {
            return false;
        }
        ssize_t got = -1;
        do {
            got = pread(fd, bytes.get(), WindowSize, static_cast<off_t>(position));
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            failed = got < 0;
            length = 0;
            return false;
        }
        start = position;
        length = static_cast<std::size_t>(got);
        return true;
    }

    int fd;
    int64_t size = 0;
    std::unique_ptr<char[]> bytes;
    int64_t start = 0;
    std::size_t length = 0;
    int64_t position = 0;
    bool failed = false;
};

// shapelib opens its files by name through a table of hooks, which carries no
// data of its own. While one of its calls runs, the hooks below hand it the
// streams of that call instead of opening anything: the name only tells which
// stream is meant. The streams belong to the caller and are never closed or
// removed by shapelib.
//
// shapelib seeks before every row it writes, to where the stream already is.
// A seek on a stream open for reading and writing makes the C library fill
// its buffer from the file again, so writing a table of 80,000 rows read its
// growing tail 80,000 times. A seek to where a writing stream already is
// therefore waits until a read needs it: writing on needs none. A file that
// is only read goes through a read window instead of a C stream.
struct CHookedStream {
    std::FILE* file = nullptr;
    CReadWindow* window = nullptr;
    bool seekOwed = false; // written since the last real seek
};

struct CHookedStreams {
    CHookedStream shp;
    CHookedStream shx;
    CHookedStream dbf;
};

thread_local CHookedStreams* hookedStreams = nullptr;

bool HasExtension(const char* name, const char* extension) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, extension) == 0;
}

SAFile OpenHooked(const char* name, const char* /*access*/) {
    if (hookedStreams == nullptr || name == nullptr) {
        return nullptr;
    }
    CHookedStream* stream = nullptr;
    if (HasExtension(name, ".shp")) {
        stream = &hookedStreams->shp;
    } else if (HasExtension(name, ".shx")) {
        stream = &hookedStreams->shx;
    } else if (HasExtension(name, ".dbf")) {
        stream = &hookedStreams->dbf;
    }
    if (stream == nullptr || (stream->file == nullptr && stream->window == nullptr)) {
        return nullptr;
    }
    stream->seekOwed = false;
    return reinterpret_cast<SAFile>(stream);
}

CHookedStream& StreamOf(SAFile file) {
    return *reinterpret_cast<CHookedStream*>(file);
}

// A read after a write needs a seek between them.
bool SettleBeforeReading(CHookedStream& stream) {
    if (!stream.seekOwed) {
        return true;
    }
    stream.seekOwed = false;
    const off_t here = ftello(stream.file);
    return here >= 0 && fseeko(stream.file, here, SEEK_SET) == 0;
}

SAOffset ReadHooked(void* bytes, SAOffset size, SAOffset count, SAFile file) {
    CHookedStream& stream = StreamOf(file);
    if (stream.window != nullptr) {
        if (size == 0 || count > std::numeric_limits<SAOffset>::max() / size) {
            return 0;
        }
        return stream.window->Read(bytes, size * count) / size;
    }
    if (!SettleBeforeReading(stream)) {
        return 0;
    }
    return std::fread(bytes, size, count, stream.file);
}

SAOffset WriteHooked(void* bytes, SAOffset size, SAOffset count, SAFile file) {
    CHookedStream& stream = StreamOf(file);
    if (stream.window != nullptr) {
        return 0; // read only
    }
    stream.seekOwed = true;
    return std::fwrite(bytes, size, count, stream.file);
}

SAOffset SeekHooked(SAFile file, SAOffset offset, int whence) {
    CHookedStream& stream = StreamOf(file);
    if (stream.window != nullptr) {
        return stream.window->Seek(static_cast<int64_t>(offset), whence) ? 0 : -1;
    }
    if (stream.seekOwed && whence == SEEK_SET &&
        ftello(stream.file) == static_cast<off_t>(offset)) {
        return 0;
    }
    stream.seekOwed = false;
    return static_cast<SAOffset>(fseeko(stream.file, static_cast<off_t>(offset), whence));
}

SAOffset TellHooked(SAFile file) {
    const CHookedStream& stream = StreamOf(file);
    if (stream.window != nullptr) {
        return static_cast<SAOffset>(stream.window->Tell());
    }
    return static_cast<SAOffset>(ftello(stream.file));
}

int FlushHooked(SAFile file) {
    const CHookedStream& stream = StreamOf(file);
    return stream.window != nullptr ? 0 : std::fflush(stream.file);
}

// The caller closes its streams itself; shapelib's close only flushes.
int CloseHooked(SAFile file) {
    return FlushHooked(file);
}

int RemoveNothing(const char* /*name*/) {
    return 0;
}

// Nothing is logged; failures show in the results and the streams' states.
void IgnoreError(const char* /*message*/) {}

SAHooks StreamHooks() {
    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.FOpen = OpenHooked;
    hooks.FRead = ReadHooked;
    hooks.FWrite = WriteHooked;
    hooks.FSeek = SeekHooked;
    hooks.FTell = TellHooked;
    hooks.FFlush = FlushHooked;
    hooks.FClose = CloseHooked;
    hooks.Remove = RemoveNothing;
    hooks.Error = IgnoreError;
    return hooks;
}

class CHookedStreamsScope {
public:
    explicit CHookedStreamsScope(CHookedStreams& streams) { hookedStreams = &streams; }
    ~CHookedStreamsScope() { hookedStreams = nullptr; }
    CHookedStreamsScope(const CHookedStreamsScope&) = delete;
    CHookedStreamsScope& operator=(const CHookedStreamsScope&) = delete;
};

struct CCloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFileHandle = std::unique_ptr<std::FILE, CCloseFile>;

struct CCloseTable {
    void operator()(DBFInfo* table) const { DBFClose(table); }
};
using CTableHandle = std::unique_ptr<DBFInfo, CCloseTable>;

// Where the extension of the path's last name starts, or npos.
std::size_t ExtensionDot(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string::npos;
    }
    return dot;
}

bool ExtensionInCapitals(const std::string& path) {
    const std::size_t dot = ExtensionDot(path);
    if (dot == std::string::npos) {
        return false;
    }
    bool anyCapital = false;
    for (std::size_t i = dot + 1; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (std::islower(c)) {
            return false;
        }
        anyCapital = anyCapital || std::isupper(c);
    }
    return anyCapital;
}

std::string WithExtension(const std::string& mainPath, const char* extension, bool capitals) {
    const std::size_t dot = ExtensionDot(mainPath);
    std::string path = dot == std::string::npos ? mainPath : mainPath.substr(0, dot);
    path += '.';
    for (const char* c = extension; *c != '\0'; ++c) {
        path += static_cast<char>(capitals ? std::toupper(static_cast<unsigned char>(*c))
                                           : std::tolower(static_cast<unsigned char>(*c)));
    }
    return path;
}

bool IsRegularFile(const std::string& path, int64_t* size = nullptr) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (size != nullptr) {
        *size = static_cast<int64_t>(info.st_size);
    }
    return true;
}

// The companion as it exists on disk: the main file's case first.
std::string ExistingSidecar(const std::string& mainPath, const char* extension) {
    for (const std::string& path :
         {SidecarPath(mainPath, extension), OtherCaseSidecarPath(mainPath, extension)}) {
        if (IsRegularFile(path)) {
            return path;
        }
    }
    return {};
}

// A small text companion without surrounding white space; empty when it is
// missing or longer than maxLength.
std::string ReadSmallSidecar(const std::string& mainPath, const char* extension,
                             std::size_t maxLength) {
    const std::string path = ExistingSidecar(mainPath, extension);
    if (path.empty()) {
        return {};
    }
    CFileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return {};
    }
    std::string text(maxLength + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    if (text.size() > maxLength) {
        return {};
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    std::size_t first = 0;
    while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) {
        ++first;
    }
    return text.substr(first);
}

uint32_t LittleEndian32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

unsigned LittleEndian16(const unsigned char* bytes) {
    return unsigned{bytes[0]} | (unsigned{bytes[1]} << 8);
}

// The header's own account of the table, checked against the file before
// shapelib sees it: the descriptors must fit the header, the header the
// file, and the record count what the file can hold. Returns the number of
// whole records the file holds, or -1 for a table not to be read.
int64_t CheckTableHeader(const std::string& path, int64_t fileSize) {
    CFileHandle file(std::fopen(path.c_str(), "rb"));
    unsigned char header[DbaseHeaderSize];
    if (!file || std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
        return -1;
    }
    const int64_t recordCount = LittleEndian32(header + 4);
    const int64_t headerLength = LittleEndian16(header + 8);
    const int64_t recordLength = LittleEndian16(header + 10);
    if (headerLength < DbaseHeaderSize + DbaseFieldSize || headerLength > fileSize ||
        recordLength < 2) {
        return -1;
    }
    return std::min(recordCount, (fileSize - headerLength) / recordLength);
}

// Writes the table, or the ID table when attributes hold none.
bool WriteTable(std::FILE* dbf, const CMapAttributes* attributes,
                const std::vector<int32_t>& rowRecords);

} // namespace

std::string SidecarPath(const std::string& mainPath, const char* extension) {
    return WithExtension(mainPath, extension, ExtensionInCapitals(mainPath));
}

std::string OtherCaseSidecarPath(const std::string& mainPath, const char* extension) {
    return WithExtension(mainPath, extension, !ExtensionInCapitals(mainPath));
}

bool ReadAttributeTable(const std::string& mainPath, CMapAttributes& attributes) {
    attributes.fields.clear();
    attributes.records.clear();
    attributes.languageDriver = 0;
    attributes.codePage.clear();
    const std::string path = ExistingSidecar(mainPath, "dbf");
    int64_t fileSize = 0;
    if (path.empty() || !IsRegularFile(path, &fileSize)) {
        return false;
    }
    const int64_t recordCount = CheckTableHeader(path, fileSize);
    if (recordCount < 0) {
        return false;
    }
    // shapelib seeks to each row before reading it; through a file stream
    // that was a system call per row.
    CReadWindow window(path);
    if (!window.IsOpen()) {
        return false;
    }
    CHookedStreams streams;
    streams.dbf.window = &window;
    CHookedStreamsScope scope(streams);
    SAHooks hooks = StreamHooks();
    CTableHandle table(DBFOpenLL("set.dbf", "rb", &hooks));
    if (!table) {
        return false;
    }
    const int fieldCount = DBFGetFieldCount(table.get());
    for (int i = 0; i < fieldCount; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        CAttributeField field;
        DBFGetFieldInfo(table.get(), i, name, &field.width, &field.decimals);
        field.name = name;
        field.type = DBFGetNativeFieldType(table.get(), i);
        attributes.fields.push_back(field);
    }
    // The row length shapelib works with must be the sum of the fields: a
    // header that says otherwise would make the rows unreadable.
    const std::size_t rowLength = attributes.RecordLength();
    if (fieldCount <= 0 || static_cast<int64_t>(rowLength) != table->nRecordLength) {
        attributes.fields.clear();
        return false;
    }
    const int64_t rows = std::min<int64_t>(recordCount, DBFGetRecordCount(table.get()));
    attributes.records.reserve(static_cast<std::size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) {
        const char* row = DBFReadTuple(table.get(), static_cast<int>(i));
        if (row == nullptr) {
            break;
        }
        attributes.records.emplace_back(row, rowLength);
    }
    attributes.languageDriver = table->iLanguageDriver;
    attributes.codePage = ReadSmallSidecar(mainPath, "cpg", MaxCodePageLength);
    return true;
}

std::string ReadCoordinateSystem(const std::string& mainPath) {
    return ReadSmallSidecar(mainPath, "prj", MaxCoordinateSystemLength);
}

bool WriteShapefileIndex(const std::string& shapePath, std::FILE* shx) {
    // The index is rebuilt from the record headers: a seek and a few bytes per
    // record, through a window that seeks keep (a file stream dropped its
    // buffer at each seek and read again, which on a map of 80,000 records
    // took half a second).
    CReadWindow window(shapePath);
    if (!window.IsOpen() || shx == nullptr) {
        return false;
    }
    CHookedStreams streams;
    streams.shp.window = &window;
    streams.shx.file = shx;
    CHookedStreamsScope scope(streams);
    SAHooks hooks = StreamHooks();
    return SHPRestoreSHX("set.shp", "rb", &hooks) != 0 && !window.Failed() && std::ferror(shx) == 0;
}

std::string CodePageFileText(const CMapAttributes* attributes) {
    if (attributes == nullptr || !attributes->HasTable()) {
        return {};
    }
    return attributes->codePage;
}

bool WriteAttributeTable(std::FILE* dbf, const CMapAttributes* attributes,
                         const std::vector<int32_t>& rowRecords) {
    if (dbf == nullptr) {
        return false;
    }
    if (WriteTable(dbf, attributes, rowRecords)) {
        return true;
    }
    // A table read from a damaged file may hold fields that shapelib will not
    // create again. The map is still saved, with an ID per record in place of
    // that table; a failed write (a full disk) fails again here.
    if (attributes == nullptr || !attributes->HasTable() || std::ferror(dbf) != 0 ||
        std::fflush(dbf) != 0 || ftruncate(fileno(dbf), 0) != 0) {
        return false;
    }
    std::rewind(dbf);
    return WriteTable(dbf, nullptr, rowRecords);
}

namespace {

bool WriteTable(std::FILE* dbf, const CMapAttributes* attributes,
                const std::vector<int32_t>& rowRecords) {
    CHookedStreams streams;
    streams.dbf.file = dbf;
    CHookedStreamsScope scope(streams);
    SAHooks hooks = StreamHooks();
    const bool keepTable = attributes != nullptr && attributes->HasTable();
    // The code page byte goes into the header; a .cpg is written by the
    // caller, as shapelib would open it by name.
    const std::string languageDriver = keepTable && attributes->languageDriver > 0
                                           ? "LDID/" + std::to_string(attributes->languageDriver)
                                           : std::string();
    CTableHandle table(
        DBFCreateLL("set.dbf", languageDriver.empty() ? nullptr : languageDriver.c_str(), &hooks));
    if (!table) {
        return false;
    }
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    if (localtime_r(&now, &today) != nullptr) {
        DBFSetLastModifiedDate(table.get(), today.tm_year, today.tm_mon + 1, today.tm_mday);
    }
    // shapelib ends the file with an end mark after each row it writes and
    // seeks back over it for the next; the mark is written once instead, after
    // the last row, when the table closes, so that rows follow each other
    // without a seek (see the hooks above).
    DBFSetWriteEndOfFileChar(table.get(), 0);
    bool ok = true;
    if (!keepTable) {
        ok = DBFAddField(table.get(), "ID", FTInteger, 10, 0) == 0;
        for (std::size_t i = 0; ok && i < rowRecords.size(); ++i) {
            ok = DBFWriteIntegerAttribute(table.get(), static_cast<int>(i), 0,
                                          static_cast<int>(i + 1)) != 0;
        }
    } else {
        for (const CAttributeField& field : attributes->fields) {
            if (DBFAddNativeFieldType(table.get(), field.name.c_str(), field.type, field.width,
                                      field.decimals) < 0) {
                ok = false;
                break;
            }
        }
        const std::size_t rowLength = attributes->RecordLength();
        // shapelib takes a row through a pointer to non-const bytes: each is
        // copied into this buffer first.
        std::string row;
        for (std::size_t i = 0; ok && i < rowRecords.size(); ++i) {
            const int32_t source = rowRecords[i];
            const bool known = source >= 0 &&
                               static_cast<std::size_t>(source) < attributes->records.size() &&
                               attributes->records[source].size() == rowLength;
            row = known ? attributes->records[source] : std::string(rowLength, ' ');
            ok = DBFWriteTuple(table.get(), static_cast<int>(i), row.data()) != 0;
        }
    }
    DBFSetWriteEndOfFileChar(table.get(), 1);
    table.reset(); // writes the last row, the end mark and the header's record count
    return ok && std::ferror(dbf) == 0;
}

} // namespace
