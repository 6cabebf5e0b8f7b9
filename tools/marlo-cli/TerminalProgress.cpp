#include "tools/marlo-cli/TerminalProgress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace {

constexpr int ProgressBarWidth = 40;

} // namespace

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

void CTerminalProgress::Abandon() {
    EndLine();
}

void CTerminalProgress::EndLine() {
    if (drawn) {
        std::fputc('\n', stderr);
        drawn = false;
    }
}
