#pragma once

#include "projection/Projection.h"
#include "viewer/Framework.h"

#include <QRect>

class QComboBox;
class QLabel;
class QToolBar;
class CMarloDoc;
class CMarloView;

// The viewer's one main window: menu, toolbar with the projection list, and a
// status bar whose message pane shows the view's cursor readout. It turns the
// map commands into calls on the active view's document and holds the origin
// that the rotation uses. Its title never shows a document name.
class CMainFrame : public CFrameWnd {
    Q_OBJECT

public:
    static constexpr int ProjectionListWidth = 205;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The restored window rectangle on a desktop whose free area is
    // available: 4 pixels in from its corner, 10 narrower and 35 lower.
    static QRect RestoredGeometry(const QRect& available);
    // Places the window on its screen and shows it maximised.
    void ShowOnDesktop();

    CMarloDoc* GetMarloDocument() const;
    CMarloView* GetMarloView() const;
    QToolBar* GetToolBar() const { return toolBar; }

    // Runs a command as the menu or toolbar would.
    void RunCommand(int id) { OnCommand(id); }

    // What the document holds, as the status bar's state pane shows it:
    // "No projection", "Orthographic", "No projection, centred N40:00:00
    // W100:00:00", "Orthographic, centred N40:00:00 W100:00:00", or for a
    // rotation applied after the projection "Orthographic, then rotated to
    // ...".
    static QString DescribeState(const CMarloDoc* document);
    // Shows the active document's state in the state pane.
    void UpdateStatePane();
    QLabel* GetStatePane() const { return statePane; }

    QComboBox* projectionList = nullptr;
    // Origin of the rotation, radians; edited by the origin dialog.
    CGeoPoint projectionOrigin;

protected:
    void OnCommand(int id) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateProjectionList();
    void CreateStatusBar();
    void OpenDroppedMap(const QString& path);
    // Whether the document is reading or writing a file just now.
    bool IsDocumentBusy() const;

    QToolBar* toolBar = nullptr;
    QLabel* statePane = nullptr;
};
