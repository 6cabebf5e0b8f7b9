#pragma once

#include "viewer/Framework.h"

#include <QString>
#include <QStringList>
#include <memory>

class CMainFrame;
class CMarloDoc;
class CMarloView;

// The application: creates the one document, main window and view, opens a map
// named on the command line and shows the window.
//
//   Marlo [MAP] [--rotate LAT,LON] [--projection NAME] [--graticule]
//         [--screenshot FILE]
//
// --rotate rotates the sphere so that (LAT, LON), in degrees, comes to the
// centre, and --projection then applies the named projection, after MAP is
// loaded; --graticule shows the graticule; --screenshot writes the window to
// FILE once it is shown, then quits. They exist for demonstrations and
// scripted pictures.
class CMarloApp {
public:
    CMarloApp();
    ~CMarloApp();
    CMarloApp(const CMarloApp&) = delete;
    CMarloApp& operator=(const CMarloApp&) = delete;

    // False ends the program; exitCode then says how.
    bool InitInstance(const QStringList& arguments);
    int ExitCode() const { return exitCode; }

    CMarloDoc* GetDocument() const { return document.get(); }
    CMainFrame* GetMainFrame() const { return frame.get(); }
    CMarloView* GetView() const;

private:
    void CreateDocumentWindow();
    void ScheduleScreenshot(const QString& path);

    // Used instead of dialogs while a scripted screenshot is taken, so that
    // nothing waits for a person.
    std::unique_ptr<CUserInterface> unattended;
    std::unique_ptr<CMarloDoc> document;
    std::unique_ptr<CMainFrame> frame;
    int exitCode = 0;
};
