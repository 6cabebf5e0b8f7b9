#pragma once

#include <algorithm>

#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/ProgressUpdater.h"

namespace mapfiles_test {

using Vertex = std::pair<double, double>;
using Ring = std::vector<Vertex>;

// A fresh folder per test, removed with its files at the end.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/marlo-mapfiles-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string File(const std::string& name) const { return path + "/" + name; }

    std::string path;
};

// The names in a folder, sorted, without "." and "..".
inline std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A word for the shell: single-quoted, its own single quotes escaped.
inline std::string Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// What a shell command prints on its standard output.
inline std::string RunCommand(const std::string& command) {
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    pclose(pipe);
    return output;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Start points of a ring's edges, in order.
inline Ring VerticesOf(const C2DPolyBase& ring) {
    Ring vertices;
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const C2DPoint p = ring.GetLine(k)->GetStart();
        vertices.emplace_back(p.x, p.y);
    }
    return vertices;
}

// Every ring of the content, rim first then holes, element by element.
inline std::vector<Ring> RingsOf(const C2DHoledPolyBaseSet& content) {
    std::vector<Ring> rings;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        rings.push_back(VerticesOf(*holedPolygon.GetRim()));
        for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
            rings.push_back(VerticesOf(*holedPolygon.GetHole(j)));
        }
    }
    return rings;
}

// Builds a ring polygon from a vertex list.
inline C2DPolygon* MakePolygon(const Ring& ring) {
    std::vector<double> points;
    for (const auto& [x, y] : ring) {
        points.push_back(x);
        points.push_back(y);
    }
    auto* polygon = new C2DPolygon;
    polygon->Create(points.data(), static_cast<unsigned>(ring.size()));
    return polygon;
}

inline Ring Square(double x0, double y0, double x1, double y1, bool clockwise) {
    if (clockwise) {
        return {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
    }
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

inline Ring Closed(Ring ring) {
    ring.push_back(ring.front());
    return ring;
}

// Shapefile bytes built field by field, for well-formed and broken files.
class ShapeBytes {
public:
    ShapeBytes& BigEndian(int32_t value) {
        const auto v = static_cast<uint32_t>(value);
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>(v >> shift));
        }
        return *this;
    }
    ShapeBytes& Little(int32_t value) {
        const auto v = static_cast<uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<char>(v >> shift));
        }
        return *this;
    }
    ShapeBytes& Little(double value) {
        char raw[8];
        std::memcpy(raw, &value, 8);
        bytes.append(raw, 8);
        return *this;
    }
    ShapeBytes& Header(int32_t shapeType = 5) {
        BigEndian(9994);
        for (int i = 0; i < 5; ++i) {
            BigEndian(0);
        }
        BigEndian(0); // length, patched by Finish
        Little(1000).Little(shapeType);
        for (int i = 0; i < 8; ++i) {
            Little(0.0);
        }
        return *this;
    }
    // A polygon record from rings (each given with its closing point or not).
    ShapeBytes& Polygon(int32_t number, const std::vector<Ring>& rings) {
        int32_t points = 0;
        for (const Ring& ring : rings) {
            points += static_cast<int32_t>(ring.size());
        }
        const auto parts = static_cast<int32_t>(rings.size());
        BigEndian(number).BigEndian(22 + 2 * parts + 8 * points).Little(5);
        for (int i = 0; i < 4; ++i) {
            Little(0.0);
        }
        Little(parts).Little(points);
        int32_t start = 0;
        for (const Ring& ring : rings) {
            Little(start);
            start += static_cast<int32_t>(ring.size());
        }
        for (const Ring& ring : rings) {
            for (const auto& [x, y] : ring) {
                Little(x).Little(y);
            }
        }
        return *this;
    }
    ShapeBytes& NullShape(int32_t number) { return BigEndian(number).BigEndian(2).Little(0); }
    std::string Finish() {
        std::string result = bytes;
        const auto words = static_cast<uint32_t>(result.size() / 2);
        for (int i = 0; i < 4; ++i) {
            result[24 + i] = static_cast<char>(words >> (24 - 8 * i));
        }
        return result;
    }

    std::string bytes;
};

inline int32_t BigEndianAt(const std::string& bytes, std::size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return static_cast<int32_t>(v);
}

inline int32_t LittleAt(const std::string& bytes, std::size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return static_cast<int32_t>(v);
}

inline double DoubleAt(const std::string& bytes, std::size_t offset) {
    double value;
    std::memcpy(&value, bytes.data() + offset, 8);
    return value;
}

class RecordingProgress : public CProgressUpdater {
public:
    void UpdateProgress(unsigned percent) override { values.push_back(percent); }
    std::vector<unsigned> values;
};

} // namespace mapfiles_test
