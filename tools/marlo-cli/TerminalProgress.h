#pragma once

#include <string>

#include "mapfiles/ProgressUpdater.h"

// A progress bar on standard error, drawn only when standard error is a
// terminal: elsewhere (pipes, files, CI logs) nothing is printed and Get()
// returns null, so readers and writers skip their progress calls entirely.
class CTerminalProgress final : public CProgressUpdater {
public:
    explicit CTerminalProgress(std::string label);
    ~CTerminalProgress();
    CTerminalProgress(const CTerminalProgress&) = delete;
    CTerminalProgress& operator=(const CTerminalProgress&) = delete;

    CProgressUpdater* Get() { return enabled ? this : nullptr; }
    void UpdateProgress(unsigned percent) override;
    // Draws the full bar (a writer's last report is below 100) and ends the
    // line.
    void Complete();
    // Ends the line where the bar stands, for a failure; so does the destructor.
    void Abandon();

private:
    void Draw(unsigned percent);
    void EndLine();

    std::string label;
    bool enabled;
    bool drawn = false;
    int lastPercent = -1;
};
