// Makes a larger polygon shapefile from a real one for scale benchmarks:
// COPIES copies of every record of IN, copy k moved south by k * STEP
// degrees of latitude (default 0.01, which keeps a world map within
// -90..90 for ten copies), written to OUT (.shp, .shx and .dbf, the table's
// rows repeated with their records). Records keep their rings, so the
// largest record, and with it the memory a streaming converter needs, is
// the source's.
//
//   make-shifted-copies IN.shp OUT.shp COPIES [STEP]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <shapefil.h>
#include <string>
#include <vector>

namespace {

constexpr int HeaderSize = 100;

uint32_t BigEndian32(const unsigned char* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
}

void PutBigEndian32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
    }
}

int32_t Little32(const unsigned char* bytes) {
    int32_t value;
    std::memcpy(&value, bytes, 4);
    return value; // the project builds for little-endian machines
}

double LittleDouble(const unsigned char* bytes) {
    double value;
    std::memcpy(&value, bytes, 8);
    return value;
}

void PutLittleDouble(unsigned char* bytes, double value) {
    std::memcpy(bytes, &value, 8);
}

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CFileCloser>;

std::string WithExtension(const std::string& path, const char* extension) {
    const std::size_t dot = path.rfind('.');
    return (dot == std::string::npos ? path : path.substr(0, dot)) + extension;
}

bool ReadAll(const std::string& path, std::vector<unsigned char>& bytes) {
    CFile file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(file.get());
    if (size < HeaderSize || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

// Moves a polygon record's points (and its box) south by shift degrees.
void ShiftRecord(unsigned char* content, std::size_t length, double shift) {
    if (length < 44 || Little32(content) == 0) {
        return; // a null shape
    }
    PutLittleDouble(content + 12, LittleDouble(content + 12) - shift);
    PutLittleDouble(content + 28, LittleDouble(content + 28) - shift);
    const int32_t parts = Little32(content + 36);
    const int32_t points = Little32(content + 40);
    const std::size_t first = 44 + 4 * static_cast<std::size_t>(parts);
    for (int32_t i = 0; i < points && first + 16 * (i + 1) <= length; ++i) {
        unsigned char* y = content + first + 16 * static_cast<std::size_t>(i) + 8;
        PutLittleDouble(y, LittleDouble(y) - shift);
    }
}

bool CopyTable(const std::string& in, const std::string& out, int copies) {
    DBFHandle source = DBFOpen(WithExtension(in, ".dbf").c_str(), "rb");
    if (source == nullptr) {
        return true; // no table to copy
    }
    DBFHandle target = DBFCloneEmpty(source, WithExtension(out, ".dbf").c_str());
    bool ok = target != nullptr;
    const int rows = DBFGetRecordCount(source);
    std::vector<char> row(static_cast<std::size_t>(source->nRecordLength) + 1);
    for (int k = 0; ok && k < copies; ++k) {
        for (int r = 0; ok && r < rows; ++r) {
            const char* tuple = DBFReadTuple(source, r);
            ok = tuple != nullptr;
            if (ok) {
                std::memcpy(row.data(), tuple, row.size() - 1);
                ok = DBFWriteTuple(target, k * rows + r, row.data()) != 0;
            }
        }
    }
    if (target != nullptr) {
        DBFClose(target);
    }
    DBFClose(source);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fputs("usage: make-shifted-copies IN.shp OUT.shp COPIES [STEP]\n", stderr);
        return 2;
    }
    const std::string in = argv[1];
    const std::string out = argv[2];
    const int copies = std::atoi(argv[3]);
    const double step = argc == 5 ? std::atof(argv[4]) : 0.01;
    std::vector<unsigned char> source;
    if (copies < 1 || !ReadAll(in, source)) {
        std::fprintf(stderr, "make-shifted-copies: cannot read %s\n", in.c_str());
        return 1;
    }
    CFile shp(std::fopen(out.c_str(), "wb"));
    CFile shx(std::fopen(WithExtension(out, ".shx").c_str(), "wb"));
    if (!shp || !shx) {
        std::fprintf(stderr, "make-shifted-copies: cannot write %s\n", out.c_str());
        return 1;
    }
    unsigned char header[HeaderSize];
    std::memcpy(header, source.data(), HeaderSize);
    // The box grows south by the last copy's shift.
    PutLittleDouble(header + 44, LittleDouble(header + 44) - step * (copies - 1));
    bool ok = std::fwrite(header, 1, HeaderSize, shp.get()) == HeaderSize &&
              std::fwrite(header, 1, HeaderSize, shx.get()) == HeaderSize;
    uint64_t offset = HeaderSize; // in bytes
    uint32_t number = 0;
    std::vector<unsigned char> record;
    for (int k = 0; ok && k < copies; ++k) {
        for (std::size_t at = HeaderSize; ok && at + 8 <= source.size();) {
            const std::size_t length = 2 * std::size_t{BigEndian32(source.data() + at + 4)};
            if (at + 8 + length > source.size()) {
                break;
            }
            record.assign(source.begin() + static_cast<long>(at),
                          source.begin() + static_cast<long>(at + 8 + length));
            PutBigEndian32(record.data(), ++number);
            ShiftRecord(record.data() + 8, length, step * k);
            unsigned char index[8];
            PutBigEndian32(index, static_cast<uint32_t>(offset / 2));
            PutBigEndian32(index + 4, static_cast<uint32_t>(length / 2));
            ok = std::fwrite(record.data(), 1, record.size(), shp.get()) == record.size() &&
                 std::fwrite(index, 1, 8, shx.get()) == 8;
            offset += record.size();
            at += 8 + length;
        }
    }
    // File lengths in 16-bit words.
    const uint64_t shxBytes = HeaderSize + 8 * uint64_t{number};
    if (ok && offset / 2 > INT32_MAX) {
        std::fputs("make-shifted-copies: the result is too large for a shapefile\n", stderr);
        ok = false;
    }
    unsigned char length[4];
    PutBigEndian32(length, static_cast<uint32_t>(offset / 2));
    ok = ok && std::fseek(shp.get(), 24, SEEK_SET) == 0 &&
         std::fwrite(length, 1, 4, shp.get()) == 4 && std::fseek(shp.get(), 44, SEEK_SET) == 0 &&
         std::fwrite(header + 44, 1, 8, shp.get()) == 8;
    PutBigEndian32(length, static_cast<uint32_t>(shxBytes / 2));
    ok =
        ok && std::fseek(shx.get(), 24, SEEK_SET) == 0 && std::fwrite(length, 1, 4, shx.get()) == 4;
    ok = ok && CopyTable(in, out, copies);
    if (!ok) {
        std::fprintf(stderr, "make-shifted-copies: writing %s failed\n", out.c_str());
        return 1;
    }
    return 0;
}
