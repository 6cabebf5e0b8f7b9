#pragma once

// A small document/view layer on Qt Widgets: a document that knows its views
// and tells them about changes, views that draw the document, and a main
// window that turns menu and toolbar commands (identified by number) into calls
// on the active view's document. Message boxes and file dialogs go through one
// replaceable object, so that tests answer them instead of a person.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QAction;
class QPainter;
class CView;

// Icons a message box may carry.
enum class MessageIcon { Information, Warning, Critical };

// What a file dialog is asked to show. The first filter is selected.
struct CFileDialogRequest {
    QString title;
    QStringList filters;
    QString defaultSuffix;
};

// The user-facing questions of the program. The default implementation shows
// the Qt dialogs; tests install their own object with SetUserInterface.
class CUserInterface {
public:
    virtual ~CUserInterface() = default;
    // Shows a message with an OK button and waits for it. The detail (a path
    // and a reason, say) goes beneath the message in smaller print; empty for
    // none.
    virtual void MessageBox(const QString& text, MessageIcon icon,
                            const QString& detail = QString());
    // Asks a question with Yes and No buttons, No the default; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& detail = QString());
    // Returns the chosen path, or an empty string when the user cancels.
    virtual QString GetOpenFileName(const CFileDialogRequest& request);
    virtual QString GetSaveFileName(const CFileDialogRequest& request);
};

// The object in use; never null. SetUserInterface(nullptr) restores the
// default. The caller keeps ownership of an installed object.
CUserInterface& UserInterface();
void SetUserInterface(CUserInterface* userInterface);

// Holds data and notifies every attached view after a change.
class CDocument {
public:
    CDocument() = default;
    virtual ~CDocument();
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    void AddView(CView* view);
    void RemoveView(CView* view);
    const std::vector<CView*>& GetViews() const { return views; }

    // Calls OnUpdate(sender, hint) of every view except the sender.
    void UpdateAllViews(CView* sender, int hint);

private:
    std::vector<CView*> views;
};

class CFrameWnd;

// A widget that shows a document. Painting goes through OnDraw; Qt widgets are
// double-buffered, so whatever OnDraw paints reaches the screen in one step.
class CView : public QWidget {
    Q_OBJECT

public:
    explicit CView(QWidget* parent = nullptr);
    ~CView() override;

    CDocument* GetDocument() const { return document; }
    // The main window this view lives in, or null for a free-standing view.
    CFrameWnd* GetParentFrame() const;

    // Called by the document after a change; hint says what changed.
    virtual void OnUpdate(CView* sender, int hint) = 0;
    virtual void OnDraw(QPainter& painter) = 0;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class CDocument;
    CDocument* document = nullptr;
};

// The main window. Commands are QActions carrying a numeric id; triggering
// one calls OnCommand with that id.
class CFrameWnd : public QMainWindow {
    Q_OBJECT

public:
    explicit CFrameWnd(QWidget* parent = nullptr);
    ~CFrameWnd() override;

    // Makes view the central widget and the target of commands.
    void SetActiveView(CView* view);
    CView* GetActiveView() const { return activeView; }
    CDocument* GetActiveDocument() const;

    // Creates an action whose triggering runs OnCommand(id).
    QAction* CreateCommand(int id, const QString& text, const QString& statusPrompt = QString());
    // Gives an action made elsewhere (a toolbar widget's slot) a command id.
    void AttachCommandId(QAction* action, int id);
    // The action created for id, or null.
    QAction* FindCommand(int id) const;
    static int CommandId(const QAction* action);

    // Text of the status bar's message pane. The idle message is shown when
    // a menu or toolbar prompt goes away.
    void SetMessageText(const QString& text);
    QString GetMessageText() const;
    void SetIdleMessage(const QString& text);

protected:
    virtual void OnCommand(int id) = 0;
    bool event(QEvent* event) override;

private:
    CView* activeView = nullptr;
    std::vector<QAction*> commands;
    QString idleMessage;
};
