#pragma once

// How far a long read or write has got, in percent (0 to 100). The readers
// and writers take a pointer that may be null, and then report nothing.
// Objects are never deleted through this interface.
class CProgressUpdater {
public:
    virtual void UpdateProgress(unsigned percent) = 0;

protected:
    ~CProgressUpdater() = default;
};
