#pragma once

#include "controls/OstrelExport.h"

#include <QLineEdit>
#include <cstdint>

class QKeyEvent;

// Single-line edit for a latitude ("N00:00:00") or a longitude ("W000:00:00")
// typed as degrees, minutes and seconds. The text never loses its shape: a
// typed character overwrites the one under the caret, the caret steps over the
// colons, each position accepts only the characters valid there, and nothing
// deletes characters from the keyboard. Pasting is left to QLineEdit
// unchecked, but pasted letters are shown in upper case as typed ones are.
class OSTREL_EXPORT CEditLatLong : public QLineEdit {
    Q_OBJECT

public:
    explicit CEditLatLong(QWidget* parent = nullptr);
    ~CEditLatLong() override;

    // Sets the initial text and length limit for a latitude (true) or a
    // longitude (false). Call once after the control exists.
    void Initialise(bool latitude);

protected:
    // 1 for a longitude (three degree digits), 0 for a latitude.
    std::uint8_t GetLongShift() const;

    void keyPressEvent(QKeyEvent* event) override;

private:
    void TypeCharacter(QChar ch);
    void MoveCaretBack();
    void SkipColonAfterArrow(bool movedLeft, bool extendSelection);
    bool IsColonPosition(int position) const;
    bool Accepts(const QString& text, int position, QChar ch);

    bool latitude = true;
};
