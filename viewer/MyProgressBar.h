#pragma once

#include "controls/ProgressDialog.h"
#include "mapfiles/ProgressUpdater.h"

#include <QString>

class QWidget;

// The progress dialog that the map readers and writers report to: a progress
// dialog of the control library that also is the readers' progress interface.
// It is shown as soon as it is constructed and goes away when deleted.
class CMyProgressBar : public CProgressDialog, public CProgressUpdater {
public:
    CMyProgressBar(const QString& title, QWidget* parent) : CProgressDialog(title, parent) {}
    ~CMyProgressBar() override = default;

    // Passes the percentage on unchanged; the bar clamps it to its range.
    void UpdateProgress(unsigned percent) override { CProgressDialog::UpdateProgress(percent); }
};
