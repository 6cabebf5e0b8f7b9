#include "controls/EditLatLong.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QValidator>

namespace {

constexpr int latitudeLength = 9;
constexpr int longitudeLength = 10;

// The character at position i, or a null character past either end, so that a
// text shortened by pasting is never read out of range.
QChar CharAt(const QString& text, int i) {
    return i >= 0 && i < text.size() ? text.at(i) : QChar();
}

bool IsDigitBetween(QChar ch, char low, char high) {
    return ch >= QLatin1Char(low) && ch <= QLatin1Char(high);
}

bool IsOneOf(QChar ch, const char* accepted) {
    for (const char* p = accepted; *p != '\0'; ++p) {
        if (ch == QLatin1Char(*p))
            return true;
    }
    return false;
}

// Latitude: "N00:00:00". A tens digit of 9 is only ever set by the program and
// then only zeros may follow, so typing tops out at 89:59:59 unless it is 90.
bool LatitudeAccepts(const QString& text, int position, QChar ch) {
    const bool ninety = CharAt(text, 1) == QLatin1Char('9');
    switch (position) {
    case 0:
        return IsOneOf(ch, "NSns");
    case 1:
        return IsDigitBetween(ch, '0', '8');
    case 2:
    case 5:
    case 8:
        return ninety ? ch == QLatin1Char('0') : IsDigitBetween(ch, '0', '9');
    case 4:
    case 7:
        return ninety ? ch == QLatin1Char('0') : IsDigitBetween(ch, '0', '5');
    default:
        return true; // past the shape: the length limit decides
    }
}

// Longitude: "W000:00:00", at most 179:59:59.
bool LongitudeAccepts(const QString& text, int position, QChar ch) {
    switch (position) {
    case 0:
        return IsOneOf(ch, "EWew");
    case 1:
        return IsDigitBetween(ch, '0', '1');
    case 2:
        return CharAt(text, 1) == QLatin1Char('1') ? IsDigitBetween(ch, '0', '7')
                                                   : IsDigitBetween(ch, '0', '9');
    case 3:
    case 6:
    case 9:
        return IsDigitBetween(ch, '0', '9');
    case 5:
    case 8:
        return IsDigitBetween(ch, '0', '5');
    default:
        return true;
    }
}

// Key bindings that would remove characters and so break the fixed shape.
bool IsDeletingKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Delete || event->matches(QKeySequence::Cut) ||
           event->matches(QKeySequence::Delete) || event->matches(QKeySequence::DeleteEndOfWord) ||
           event->matches(QKeySequence::DeleteStartOfWord) ||
           event->matches(QKeySequence::DeleteEndOfLine) ||
           event->matches(QKeySequence::DeleteCompleteLine);
}

bool IsPrintableText(const QString& text) {
    if (text.isEmpty())
        return false;
    for (QChar ch : text) {
        if (ch.unicode() < 32 || ch.unicode() == 127)
            return false;
    }
    return true;
}

// Plain typing: no modifier, Shift, or Ctrl+Alt (AltGr on some keyboards).
bool IsTypingModifier(Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers commandKeys =
        modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return commandKeys == Qt::NoModifier || commandKeys == (Qt::ControlModifier | Qt::AltModifier);
}

// Shows every letter in upper case, however it arrived: QLineEdit passes
// each change (typing, pasting, setText) through its validator, which may
// rewrite the text. Nothing is refused here; the shape is kept by the key
// handling.
class CUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

CEditLatLong::CEditLatLong(QWidget* parent) : QLineEdit(parent) {
    // Every keystroke must pass the position checks in keyPressEvent; input
    // methods and drops would bypass them.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAcceptDrops(false);
    setValidator(new CUpperCaseValidator(this));
}

CEditLatLong::~CEditLatLong() = default;

void CEditLatLong::Initialise(bool isLatitude) {
    latitude = isLatitude;
    // The limit comes first: QLineEdit cuts a text that is longer than it.
    if (latitude) {
        setMaxLength(latitudeLength);
        setText(QStringLiteral("N00:00:00"));
    } else {
        setMaxLength(longitudeLength);
        setText(QStringLiteral("W000:00:00"));
    }
}

std::uint8_t CEditLatLong::GetLongShift() const {
    return latitude ? 0 : 1;
}

bool CEditLatLong::IsColonPosition(int position) const {
    const int shift = GetLongShift();
    return position == shift + 3 || position == shift + 6;
}

// The caret is the start of the selection: after a rejected character the
// selection still covers the character that the next one would replace.
static int CaretOf(const QLineEdit& edit) {
    return edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
}

void CEditLatLong::keyPressEvent(QKeyEvent* event) {
    if (IsDeletingKey(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Backspace) {
        // Ctrl+Backspace would delete a word; it does nothing here.
        if (!(event->modifiers() & Qt::ControlModifier))
            MoveCaretBack();
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (IsPrintableText(typed)) {
        if (IsTypingModifier(event->modifiers())) {
            for (QChar ch : typed)
                TypeCharacter(ch);
            event->accept();
            return;
        }
        if (!(event->modifiers() & Qt::ControlModifier)) {
            // Alt or Meta with a letter is a command for the window (a
            // mnemonic), never text.
            event->ignore();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        SkipColonAfterArrow(event->key() == Qt::Key_Left,
                            event->modifiers().testFlag(Qt::ShiftModifier));
    }
}

bool CEditLatLong::Accepts(const QString& text, int position, QChar ch) {
    return latitude ? LatitudeAccepts(text, position, ch) : LongitudeAccepts(text, position, ch);
}

void CEditLatLong::TypeCharacter(QChar ch) {
    const QString current = text();
    const int caret = CaretOf(*this);

    // Overtype: the character under the caret is selected so that accepted
    // input replaces it. The selection stays even if the input is refused.
    setSelection(caret, 1);
    if (IsColonPosition(caret)) {
        setCursorPosition(caret + 1);
        return;
    }
    if (!Accepts(current, caret, ch))
        return;

    // A longitude of 1xx degrees cannot have more than 7 tens of degrees.
    if (!latitude && caret == 1 && ch == QLatin1Char('1') &&
        CharAt(current, 2) > QLatin1Char('7')) {
        QString clamped = current;
        clamped[2] = QLatin1Char('7');
        setText(clamped);
        setSelection(1, 1);
    }

    insert(QString(ch.toUpper()));
    const int after = cursorPosition();
    if (IsColonPosition(after))
        setCursorPosition(after + 1);
}

void CEditLatLong::MoveCaretBack() {
    const int caret = CaretOf(*this);
    const int shift = GetLongShift();
    const bool afterColon = caret == shift + 4 || caret == shift + 7;
    const int target = caret - (afterColon ? 2 : 1);
    // At position 0 the caret stays; only the selection goes.
    setCursorPosition(target < 0 ? caret : target);
}

void CEditLatLong::SkipColonAfterArrow(bool movedLeft, bool extendSelection) {
    const int caret = cursorPosition();
    if (!IsColonPosition(caret))
        return;
    if (movedLeft)
        cursorBackward(extendSelection, 1);
    else
        cursorForward(extendSelection, 1);
}
