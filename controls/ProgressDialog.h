#pragma once

#include "controls/OstrelExport.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

class QCloseEvent;
class QProgressBar;

// A small modeless window with one progress bar (0 to 100 percent), shown while
// a file is read or written on the user-interface thread. It exists exactly as
// long as the object: the constructor creates and shows it centred over the
// application's main window, the destructor hides and destroys it. It has no
// buttons and no close box, and neither Esc nor closing the window dismisses it.
class OSTREL_EXPORT CProgressDialog : public QDialog {
    Q_OBJECT

public:
    // parent may be null.
    CProgressDialog(const QString& title, QWidget* parent);
    ~CProgressDialog() override;

    // Moves the bar to percent; values above 100 show a full bar.
    void UpdateProgress(unsigned percent);

    // The window the dialog centres itself over: the active window when it is
    // a QMainWindow, else the first visible top-level QMainWindow, else null.
    static QWidget* FindMainWindow();

public slots:
    // Esc and the window's close both end here; the dialog cannot be dismissed.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CentreOverMainWindow();
    void PaintNow();

    QProgressBar* progressBar = nullptr;
    QElapsedTimer sinceLastPaint;
};
