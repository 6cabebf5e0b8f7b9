#include "controls/ProgressDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QMainWindow>
#include <QProgressBar>
#include <QThread>
#include <QWindow>

#include <algorithm>

namespace {

// Layout of the dialog in dialog units: a quarter of the average character
// width horizontally and an eighth of the character height vertically, so the
// window keeps its proportions to its font at any screen resolution.
constexpr int dialogWidthDu = 328;
constexpr int dialogHeightDu = 30;
constexpr int barLeftDu = 7;
constexpr int barTopDu = 7;
constexpr int barWidthDu = 314;
constexpr int barHeightDu = 16;

constexpr int percentMaximum = 100;

// A repaint is forced at least this often while updates keep arriving, so a
// window uncovered during a long load is redrawn even if the percentage stalls.
constexpr qint64 repaintIntervalMs = 50;
// How long the first show waits for the window system to expose the window.
constexpr int exposeWaitMs = 200;

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const int alphabetWidth =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                     "abcdefghijklmnopqrstuvwxyz"));
        baseWidth = std::max(1, (alphabetWidth / 26 + 1) / 2);
        baseHeight = std::max(1, metrics.height());
    }
    int X(int units) const { return Scale(units, baseWidth, 4); }
    int Y(int units) const { return Scale(units, baseHeight, 8); }

private:
    static int Scale(int units, int base, int divisor) {
        return (units * base + divisor / 2) / divisor;
    }
    int baseWidth = 1;
    int baseHeight = 1;
};

} // namespace

CProgressDialog::CProgressDialog(const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setModal(false);

    const DialogUnits units(font());
    setFixedSize(units.X(dialogWidthDu), units.Y(dialogHeightDu));
    progressBar = new QProgressBar(this);
    progressBar->setTextVisible(false);
    progressBar->setGeometry(units.X(barLeftDu), units.Y(barTopDu), units.X(barWidthDu),
                             units.Y(barHeightDu));

    CentreOverMainWindow();
    progressBar->setRange(0, percentMaximum);
    progressBar->setValue(0);
    setWindowTitle(title);
    show();

    // The caller works synchronously on this thread; give the window system a
    // moment to map the window so that it is drawn before the work starts.
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (windowHandle() != nullptr && !windowHandle()->isExposed() &&
           waited.elapsed() < exposeWaitMs) {
        QThread::msleep(5);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    PaintNow();
}

CProgressDialog::~CProgressDialog() {
    hide();
}

void CProgressDialog::UpdateProgress(unsigned percent) {
    // Unlike a native progress control, QProgressBar ignores values outside its
    // range instead of clamping them, so the clamp happens here.
    const int position = static_cast<int>(std::min<unsigned>(percent, percentMaximum));
    const bool changed = position != progressBar->value();
    progressBar->setValue(position);
    if (changed || !sinceLastPaint.isValid() || sinceLastPaint.elapsed() >= repaintIntervalMs)
        PaintNow();
}

// Without a running event loop nothing would reach the screen: repaint the bar
// at once and let pending window-system and paint events through, keeping
// keyboard and mouse input queued until the operation is over.
void CProgressDialog::PaintNow() {
    if (isVisible())
        progressBar->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceLastPaint.restart();
}

// In Qt there is no framework-wide "main window" record; the application's
// main window is its top-level QMainWindow. The active one wins when there are
// several; hidden ones are skipped because their geometry means nothing yet.
QWidget* CProgressDialog::FindMainWindow() {
    if (auto* active = qobject_cast<QMainWindow*>(QApplication::activeWindow()))
        return active;
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    for (QWidget* widget : topLevels) {
        auto* mainWindow = qobject_cast<QMainWindow*>(widget);
        if (mainWindow != nullptr && mainWindow->isVisible())
            return mainWindow;
    }
    return nullptr;
}

// Centres the dialog's outer frame on the main window's client area with
// truncating integer halves. Without a main window the dialog is not moved and
// Qt places it as it places any dialog.
void CProgressDialog::CentreOverMainWindow() {
    const QWidget* mainWindow = FindMainWindow();
    if (mainWindow == nullptr)
        return;
    // The native window must exist for the frame around the client area to
    // be known.
    winId();
    const QRect client(mainWindow->mapToGlobal(QPoint(0, 0)), mainWindow->size());
    const QRect own = frameGeometry();
    const int left = client.left() + client.width() / 2 - own.width() / 2;
    const int top = client.top() + client.height() / 2 - own.height() / 2;
    move(left, top);
}

void CProgressDialog::reject() {}

void CProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
}
