#pragma once

#include "geometry/HoledPolygons.h"
#include "viewer/Framework.h"

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

// Answers the program's message boxes and file dialogs instead of a person and
// records what was asked. Installed for its lifetime.
class CRecordingUserInterface : public CUserInterface {
public:
    CRecordingUserInterface() { SetUserInterface(this); }
    ~CRecordingUserInterface() override { SetUserInterface(nullptr); }

    void MessageBox(const QString& text, MessageIcon icon, const QString& detail) override;
    bool AskYesNo(const QString& text, const QString& detail) override;
    QString GetOpenFileName(const CFileDialogRequest& request) override;
    QString GetSaveFileName(const CFileDialogRequest& request) override;

    QStringList messages;
    QStringList details;
    std::vector<MessageIcon> icons;
    // Titles of the visible top-level windows while each message was shown.
    std::vector<QStringList> windowsAtMessage;
    std::vector<CFileDialogRequest> openRequests;
    std::vector<CFileDialogRequest> saveRequests;
    QString openAnswer;
    QString saveAnswer;
    // Questions asked (text, then detail) and the answer every one gets.
    QStringList questions;
    bool yesNoAnswer = false;
};

// A view that only records the hints it receives.
class CHintRecorder : public CView {
    Q_OBJECT

public:
    void OnUpdate(CView*, int hint) override { hints.push_back(hint); }
    void OnDraw(QPainter&) override {}

    std::vector<int> hints;
};

// Every vertex of the content (the start of every edge of every ring), in
// order, as x, y pairs.
std::vector<double> AllVertices(const C2DHoledPolyBaseSet& content);

// A holed polygon with a rectangular rim and optionally a rectangular hole.
C2DHoledPolygon* MakeRectangle(double left, double bottom, double right, double top);
C2DHoledPolygon* MakeRectangleWithHole(double left, double bottom, double right, double top,
                                       double holeLeft, double holeBottom, double holeRight,
                                       double holeTop);

std::string DataPath(const char* name);

class CMarloDoc;

// Writes content to a shapefile in a fresh temporary folder and loads it into
// the document through LoadMap, the way a user would.
void LoadContent(CMarloDoc& document, const C2DHoledPolyBaseSet& content);
