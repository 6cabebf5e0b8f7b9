#include "tools/marlo-cli/MapCommandSupport.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#include "mapfiles/MapFiles.h"

namespace {

constexpr int ProgressBarWidth = 40;
// Below this many edges a second thread costs more than it saves.
constexpr unsigned MinEdgesForThreads = 20000;

bool ParseFiniteNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// Accepts "--name VALUE" and "--name=VALUE"; index moves past what was used.
bool TakeOptionValue(const char* command, const std::vector<std::string>& args, size_t& index,
                     const std::string& name, std::string& value) {
    const std::string& word = args[index];
    if (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
        word[name.size()] == '=') {
        value = word.substr(name.size() + 1);
        return true;
    }
    if (index + 1 >= args.size()) {
        std::fprintf(stderr, "marlo-cli %s: %s needs a value\n", command, name.c_str());
        return false;
    }
    value = args[++index];
    return true;
}

bool IsOption(const std::string& word, const std::string& name) {
    return word == name || (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
                            word[name.size()] == '=');
}

} // namespace

bool ParseRotateOrigin(const std::string& text, double& latDegrees, double& lonDegrees) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    double lat = 0.0;
    double lon = 0.0;
    if (!ParseFiniteNumber(text.substr(0, comma), lat) ||
        !ParseFiniteNumber(text.substr(comma + 1), lon)) {
        return false;
    }
    if (std::fabs(lat) > 90.0) {
        return false;
    }
    latDegrees = lat;
    lonDegrees = lon;
    return true;
}

bool ParseMapCommandOptions(const char* command, const std::vector<std::string>& args,
                            const CMapCommandSwitches& accepted, CMapCommandOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        std::string value;
        if (word == "--help" || word == "-h") {
            options.help = true;
        } else if (accepted.format2 && word == "--format2") {
            options.format2 = true;
        } else if (accepted.rotate && IsOption(word, "--rotate")) {
            if (!TakeOptionValue(command, args, i, "--rotate", value)) {
                return false;
            }
            if (!ParseRotateOrigin(value, options.rotateLatDegrees, options.rotateLonDegrees)) {
                std::fprintf(stderr,
                             "marlo-cli %s: --rotate needs LAT,LON in degrees (|LAT| <= 90), "
                             "not \"%s\"\n",
                             command, value.c_str());
                return false;
            }
            options.hasRotation = true;
        } else if (accepted.projection && IsOption(word, "--projection")) {
            if (!TakeOptionValue(command, args, i, "--projection", value)) {
                return false;
            }
            options.projectionName = value;
        } else if (word.size() > 1 && word[0] == '-' && word != "-") {
            std::fprintf(stderr, "marlo-cli %s: unknown option %s (see marlo-cli %s --help)\n",
                         command, word.c_str(), command);
            return false;
        } else {
            options.positional.push_back(word);
        }
    }
    return true;
}

void ReportUnknownProjection(const std::string& name) {
    std::fprintf(stderr, "marlo-cli: unknown projection \"%s\"; the projections are:\n",
                 name.c_str());
    for (int i = 0; i < ProjectionCount; ++i) {
        std::fprintf(stderr, "  %s\n", ProjectionNameTable[i]);
    }
}

CTerminalProgress::CTerminalProgress(std::string label)
    : label(std::move(label)), enabled(isatty(STDERR_FILENO) != 0) {}

CTerminalProgress::~CTerminalProgress() {
    EndLine();
}

void CTerminalProgress::UpdateProgress(unsigned percent) {
    if (!enabled) {
        return;
    }
    Draw(std::min(percent, 100u));
}

void CTerminalProgress::Complete() {
    if (enabled && drawn) {
        Draw(100);
    }
    EndLine();
}

void CTerminalProgress::Draw(unsigned percent) {
    // Readers report once per record; redraw only when the figure moves.
    if (static_cast<int>(percent) == lastPercent) {
        return;
    }
    lastPercent = static_cast<int>(percent);
    const int filled = static_cast<int>(percent) * ProgressBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(ProgressBarWidth - filled), ' ');
    std::fprintf(stderr, "\r%s [%s] %3u%%", label.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    drawn = true;
}

void CTerminalProgress::EndLine() {
    if (drawn) {
        std::fputc('\n', stderr);
        drawn = false;
    }
}

bool MakeTransformations(const CMapCommandOptions& options, CMapTransformations& transformations) {
    if (!options.projectionName.empty()) {
        transformations.projection.reset(CreateProjection(options.projectionName.c_str()));
        if (!transformations.projection) {
            ReportUnknownProjection(options.projectionName);
            return false;
        }
    }
    if (options.hasRotation) {
        // The viewer keeps its origin in radians and hands the rotation degrees
        // again; the same round trip here gives the same origin to the last bit.
        CGeoPoint origin;
        origin.lat = options.rotateLatDegrees * DegreesToRadians;
        origin.lon = options.rotateLonDegrees * DegreesToRadians;
        transformations.rotation = std::make_unique<CGeoRotation>();
        transformations.rotation->SetOrigin(origin.lat * RadiansToDegrees,
                                            origin.lon * RadiansToDegrees);
    }
    return true;
}

bool LoadMapFile(const std::string& path, C2DHoledPolyBaseSet& content) {
    CTerminalProgress progress("Reading " + path);
    if (!ReadMapFile(path.c_str(), content, progress.Get())) {
        progress.Complete();
        std::fprintf(stderr, "Could not open file: %s\n", path.c_str());
        return false;
    }
    progress.Complete();
    return true;
}

bool CheckSavePath(const std::string& path) {
    if (ChooseMapFileFormat(path.c_str()) == MapFileFormat::Unknown) {
        std::fprintf(stderr, "Could not save file: %s\n", path.c_str());
        return false;
    }
    return true;
}

bool SaveMapFile(const std::string& path, const C2DHoledPolyBaseSet& content) {
    CTerminalProgress progress("Writing " + path);
    const bool saved = WriteMapFile(path.c_str(), content, progress.Get());
    progress.Complete();
    if (!saved) {
        std::fprintf(stderr, "Could not save file: %s\n", path.c_str());
    }
    return saved;
}

unsigned TransformThreadCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

void TransformContent(C2DHoledPolyBaseSet& content, CTransformation& transformation,
                      unsigned threadCount) {
    const unsigned count = content.GetSize();
    // Largest holed polygons first, handed out one at a time: a map with one
    // giant polygon (a continent of millions of edges) still splits well.
    std::vector<std::pair<unsigned, unsigned>> work; // (edges, index)
    work.reserve(count);
    unsigned long long totalEdges = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned edges = content.GetAt(i)->GetTotalLineCount();
        totalEdges += edges;
        work.emplace_back(edges, i);
    }
    if (threadCount <= 1 || count < 2 || totalEdges < MinEdgesForThreads) {
        for (unsigned i = 0; i < count; ++i) {
            content.GetAt(i)->Transform(transformation);
        }
        return;
    }
    std::sort(work.begin(), work.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::atomic<size_t> next{0};
    auto worker = [&]() {
        for (size_t k = next.fetch_add(1); k < work.size(); k = next.fetch_add(1)) {
            content.GetAt(work[k].second)->Transform(transformation);
        }
    };
    const unsigned helpers = std::min<unsigned>(threadCount, count) - 1;
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    for (unsigned t = 0; t < helpers; ++t) {
        // Without a thread the remaining workers simply take more of the work.
        try {
            threads.emplace_back(worker);
        } catch (const std::system_error&) {
            break;
        }
    }
    worker();
    for (auto& thread : threads) {
        thread.join();
    }
}

void PrepareContent(C2DHoledPolyBaseSet& content, const CMapTransformations& transformations) {
    content.MakeClockwise();
    const unsigned threads = TransformThreadCount();
    if (transformations.rotation) {
        TransformContent(content, *transformations.rotation, threads);
    }
    if (transformations.projection) {
        TransformContent(content, *transformations.projection, threads);
    }
}
