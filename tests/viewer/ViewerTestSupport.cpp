#include "ViewerTestSupport.h"

#include "mapfiles/MapFiles.h"
#include "viewer/MarloDoc.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

void CRecordingUserInterface::MessageBox(const QString& text, MessageIcon icon,
                                         const QString& detail) {
    messages.append(text);
    details.append(detail);
    icons.push_back(icon);
    QStringList titles;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            titles.append(widget->windowTitle());
        }
    }
    windowsAtMessage.push_back(titles);
}

bool CRecordingUserInterface::AskYesNo(const QString& text, const QString& detail) {
    questions.append(text + QLatin1Char('\n') + detail);
    return yesNoAnswer;
}

QString CRecordingUserInterface::GetOpenFileName(const CFileDialogRequest& request) {
    openRequests.push_back(request);
    return openAnswer;
}

QString CRecordingUserInterface::GetSaveFileName(const CFileDialogRequest& request) {
    saveRequests.push_back(request);
    return saveAnswer;
}

namespace {

void AppendRing(const C2DPolyBase& ring, std::vector<double>& out) {
    for (unsigned i = 0; i < ring.GetLineCount(); ++i) {
        const C2DPoint start = ring.GetLine(i)->GetStart();
        out.push_back(start.x);
        out.push_back(start.y);
    }
}

C2DPolygon* MakeRing(double left, double bottom, double right, double top) {
    const double points[] = {left, bottom, left, top, right, top, right, bottom};
    auto* ring = new C2DPolygon();
    ring->Create(points, 4);
    return ring;
}

} // namespace

std::vector<double> AllVertices(const C2DHoledPolyBaseSet& content) {
    std::vector<double> out;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        if (holed->GetRim() != nullptr) {
            AppendRing(*holed->GetRim(), out);
        }
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            AppendRing(*holed->GetHole(h), out);
        }
    }
    return out;
}

C2DHoledPolygon* MakeRectangle(double left, double bottom, double right, double top) {
    auto* holed = new C2DHoledPolygon();
    holed->SetRim(MakeRing(left, bottom, right, top));
    return holed;
}

C2DHoledPolygon* MakeRectangleWithHole(double left, double bottom, double right, double top,
                                       double holeLeft, double holeBottom, double holeRight,
                                       double holeTop) {
    C2DHoledPolygon* holed = MakeRectangle(left, bottom, right, top);
    holed->AddHole(MakeRing(holeLeft, holeBottom, holeRight, holeTop));
    return holed;
}

std::string DataPath(const char* name) {
    return std::string(MARLO_DATA_DIR) + "/" + name;
}

void LoadContent(CMarloDoc& document, const C2DHoledPolyBaseSet& content) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("content.shp")));
    ASSERT_TRUE(SaveShapefile(path.constData(), content));
    document.LoadMap(path.constData());
}
