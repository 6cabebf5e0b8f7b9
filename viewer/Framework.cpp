#include "viewer/Framework.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <algorithm>

namespace {

CUserInterface defaultUserInterface;
CUserInterface* currentUserInterface = &defaultUserInterface;

const char* const CommandIdProperty = "marloCommandId";

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The extension of a filter such as "Varmo Files(*.vmq)", or an empty string.
QString FilterSuffix(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

// A dialog on the given filters with the first one selected. A name typed
// without an extension gets the selected filter's extension, or the default
// suffix when the filter names none.
QString RunFileDialog(const CFileDialogRequest& request, bool save) {
    QFileDialog dialog(nullptr, request.title);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty()) {
        dialog.selectNameFilter(request.filters.front());
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        const QString suffix = FilterSuffix(filter);
        dialog.setDefaultSuffix(suffix.isEmpty() ? request.defaultSuffix : suffix);
    });
    if (save) {
        // The document asks before replacing an existing file, through this
        // interface, so the dialog does not ask a second time.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().front();
}

} // namespace

void CUserInterface::MessageBox(const QString& text, MessageIcon icon, const QString& detail) {
    QMessageBox box(ToQtIcon(icon), QApplication::applicationName(), text, QMessageBox::Ok);
    // Informative rather than "detailed" text: the reason is what the user
    // needs, so it should not hide behind a button.
    box.setInformativeText(detail);
    box.exec();
}

bool CUserInterface::AskYesNo(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.setInformativeText(detail);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString CUserInterface::GetOpenFileName(const CFileDialogRequest& request) {
    return RunFileDialog(request, false);
}

QString CUserInterface::GetSaveFileName(const CFileDialogRequest& request) {
    return RunFileDialog(request, true);
}

CUserInterface& UserInterface() {
    return *currentUserInterface;
}

void SetUserInterface(CUserInterface* userInterface) {
    currentUserInterface = userInterface != nullptr ? userInterface : &defaultUserInterface;
}

// ---------------------------------------------------------------------------

CDocument::~CDocument() {
    for (CView* view : views) {
        view->document = nullptr;
    }
}

void CDocument::AddView(CView* view) {
    if (view == nullptr || view->document == this) {
        return;
    }
    if (view->document != nullptr) {
        view->document->RemoveView(view);
    }
    views.push_back(view);
    view->document = this;
}

void CDocument::RemoveView(CView* view) {
    const auto found = std::find(views.begin(), views.end(), view);
    if (found != views.end()) {
        views.erase(found);
        view->document = nullptr;
    }
}

void CDocument::UpdateAllViews(CView* sender, int hint) {
    // A copy, so that a view may detach itself while being updated.
    const std::vector<CView*> targets = views;
    for (CView* view : targets) {
        if (view != sender) {
            view->OnUpdate(sender, hint);
        }
    }
}

// ---------------------------------------------------------------------------

CView::CView(QWidget* parent) : QWidget(parent) {}

CView::~CView() {
    if (document != nullptr) {
        document->RemoveView(this);
    }
}

CFrameWnd* CView::GetParentFrame() const {
    return qobject_cast<CFrameWnd*>(window());
}

void CView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OnDraw(painter);
}

// ---------------------------------------------------------------------------

CFrameWnd::CFrameWnd(QWidget* parent) : QMainWindow(parent) {}

CFrameWnd::~CFrameWnd() = default;

void CFrameWnd::SetActiveView(CView* view) {
    activeView = view;
    if (view != nullptr && centralWidget() != view) {
        setCentralWidget(view);
    }
}

CDocument* CFrameWnd::GetActiveDocument() const {
    return activeView != nullptr ? activeView->GetDocument() : nullptr;
}

QAction* CFrameWnd::CreateCommand(int id, const QString& text, const QString& statusPrompt) {
    auto* action = new QAction(text, this);
    AttachCommandId(action, id);
    action->setStatusTip(statusPrompt);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    commands.push_back(action);
    return action;
}

void CFrameWnd::AttachCommandId(QAction* action, int id) {
    action->setProperty(CommandIdProperty, id);
}

QAction* CFrameWnd::FindCommand(int id) const {
    for (QAction* action : commands) {
        if (CommandId(action) == id) {
            return action;
        }
    }
    return nullptr;
}

int CFrameWnd::CommandId(const QAction* action) {
    if (action == nullptr) {
        return 0;
    }
    const QVariant id = action->property(CommandIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

void CFrameWnd::SetMessageText(const QString& text) {
    statusBar()->showMessage(text);
}

QString CFrameWnd::GetMessageText() const {
    return statusBar()->currentMessage();
}

void CFrameWnd::SetIdleMessage(const QString& text) {
    idleMessage = text;
    if (GetMessageText().isEmpty()) {
        SetMessageText(text);
    }
}

bool CFrameWnd::event(QEvent* event) {
    // When the pointer leaves a menu item or toolbar button, its prompt is
    // replaced by the idle message rather than by nothing.
    if (event->type() == QEvent::StatusTip &&
        static_cast<QStatusTipEvent*>(event)->tip().isEmpty() && !idleMessage.isEmpty()) {
        SetMessageText(idleMessage);
        return true;
    }
    return QMainWindow::event(event);
}
