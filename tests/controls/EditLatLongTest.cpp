#include "controls/EditLatLong.h"

#include "tests/controls/QtPrinters.h"
#include <QApplication>
#include <QClipboard>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

#include <random>

namespace {

class Edit : public CEditLatLong {
public:
    using CEditLatLong::GetLongShift;
};

struct Control {
    explicit Control(bool latitude, const char* text = nullptr) {
        edit.Initialise(latitude);
        if (text != nullptr)
            edit.setText(QString::fromLatin1(text));
    }
    void TypeAt(int position, const char* keys) {
        edit.setCursorPosition(position);
        QTest::keyClicks(&edit, QString::fromLatin1(keys));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&edit, key, modifiers);
    }
    QString Text() const { return edit.text(); }
    int Caret() const { return edit.cursorPosition(); }
    Edit edit;
};

} // namespace

TEST(EditLatLong, InitialiseSetsShapeAndLengthLimit) {
    Edit edit;
    for (bool latitude : {true, false, true}) {
        edit.Initialise(latitude);
        EXPECT_EQ(edit.text(), latitude ? "N00:00:00" : "W000:00:00");
        EXPECT_EQ(edit.maxLength(), latitude ? 9 : 10);
        EXPECT_EQ(edit.GetLongShift(), latitude ? 0 : 1);
    }
}

TEST(EditLatLong, TypingSequences) {
    struct Case {
        bool latitude;
        const char* before;
        int caret;
        const char* keys;
        const char* after;
        int caretAfter;
    };
    const Case cases[] = {
        {true, "N00:00:00", 0, "s", "S00:00:00", 1},    // shown in upper case
        {true, "N00:00:00", 0, "x", "N00:00:00", 0},    // refused, caret stays
        {true, "N00:00:00", 1, "9", "N00:00:00", 1},    // at most 8 tens
        {true, "N00:00:00", 1, "8959", "N89:59:00", 7}, // jumps both colons
        {true, "N00:00:00", 4, "6", "N00:00:00", 4},    // at most 5 tens of minutes
        {true, "N00:00:00", 0, "s4530", "S45:30:00", 7},
        {true, "N12:34:56", 7, "591x", "N12:34:59", 9}, // the limit stops the rest
        {true, "N12:34:56", 3, "7", "N12:34:56", 4},    // on a colon: caret skips
        {true, "N12:34:56", 6, "7", "N12:34:56", 7},
        {true, "N90:00:00", 2, "1", "N90:00:00", 2}, // ninety takes only zeros
        {true, "N90:00:00", 2, "0", "N90:00:00", 4},
        {true, "N90:00:00", 1, "89", "N89:00:00", 4},
        {false, "W000:00:00", 0, "e", "E000:00:00", 1},
        {false, "W000:00:00", 0, "n", "W000:00:00", 0},
        {false, "W090:00:00", 1, "1", "W170:00:00", 2}, // tens clamped to 7
        {false, "W100:00:00", 2, "8", "W100:00:00", 2},
        {false, "W100:00:00", 2, "7", "W170:00:00", 3},
        {false, "W000:00:00", 0, "e17945596", "E179:45:59", 10},
        {false, "E179:45:59", 5, "6", "E179:45:59", 5},
        {false, "E179:45:59", 3, "0", "E170:45:59", 5},
        {false, "E123:45:56", 4, ":", "E123:45:56", 5},
    };
    for (const Case& c : cases) {
        Control control(c.latitude, c.before);
        control.TypeAt(c.caret, c.keys);
        EXPECT_EQ(control.Text(), c.after) << c.before << " @" << c.caret << " " << c.keys;
        EXPECT_EQ(control.edit.hasSelectedText() ? control.edit.selectionStart() : control.Caret(),
                  c.caretAfter)
            << c.before << " @" << c.caret << " " << c.keys;
    }

    // A refused character leaves the selection on the character it aimed at,
    // so the next one replaces that character.
    Control lat(true);
    lat.TypeAt(0, "x");
    EXPECT_EQ(lat.edit.selectedText(), "N");
    QTest::keyClicks(&lat.edit, "s");
    EXPECT_EQ(lat.Text(), "S00:00:00");
}

TEST(EditLatLong, BackspaceAndArrowsOnlyMoveTheCaret) {
    struct Move {
        bool latitude;
        Qt::Key key;
        int from;
        int to;
    };
    const Move moves[] = {
        {true, Qt::Key_Backspace, 9, 8},  {true, Qt::Key_Backspace, 7, 5},
        {true, Qt::Key_Backspace, 5, 4},  {true, Qt::Key_Backspace, 4, 2},
        {true, Qt::Key_Backspace, 0, 0},  {false, Qt::Key_Backspace, 8, 6},
        {false, Qt::Key_Backspace, 5, 3}, {false, Qt::Key_Backspace, 4, 3},
        {true, Qt::Key_Right, 2, 4},      {true, Qt::Key_Right, 4, 5},
        {true, Qt::Key_Right, 5, 7},      {true, Qt::Key_Left, 7, 5},
        {true, Qt::Key_Left, 4, 2},       {false, Qt::Key_Right, 3, 5},
        {false, Qt::Key_Left, 8, 6},      {false, Qt::Key_Left, 5, 3},
    };
    for (const Move& m : moves) {
        Control control(m.latitude, m.latitude ? "N12:34:56" : "E123:45:56");
        control.edit.setCursorPosition(m.from);
        control.Key(m.key);
        EXPECT_EQ(control.Caret(), m.to) << m.from;
        EXPECT_EQ(control.Text(), m.latitude ? "N12:34:56" : "E123:45:56");
    }
    // Backspace at 0 with the first character selected drops the selection.
    Control lat(true);
    lat.TypeAt(0, "x");
    lat.Key(Qt::Key_Backspace);
    EXPECT_EQ(lat.Caret(), 0);
    EXPECT_FALSE(lat.edit.hasSelectedText());
}

TEST(EditLatLong, DeletingKeysDoNothingAndPasteIsUnchecked) {
    Control lat(true, "N12:34:56");
    for (bool selectAll : {false, true}) {
        if (selectAll)
            lat.edit.selectAll();
        else
            lat.edit.setCursorPosition(2);
        lat.Key(Qt::Key_Delete);
        lat.Key(Qt::Key_Delete, Qt::ShiftModifier);
        lat.Key(Qt::Key_Delete, Qt::ControlModifier);
        lat.Key(Qt::Key_Backspace, Qt::ControlModifier);
        for (Qt::Key key : {Qt::Key_X, Qt::Key_D, Qt::Key_K, Qt::Key_U, Qt::Key_H})
            lat.Key(key, Qt::ControlModifier);
        EXPECT_EQ(lat.Text(), "N12:34:56");
    }

    // Pasting goes through unchecked; typing into a text of the wrong shape
    // reads only characters that exist and cannot grow it past a missing colon.
    QApplication::clipboard()->setText("9");
    lat.edit.selectAll();
    lat.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(lat.Text(), "9");
    lat.TypeAt(0, "n89");
    QTest::keyClicks(&lat.edit, "55");
    EXPECT_EQ(lat.Text(), "N89");
}

// Pasted text goes in unchecked, like typed letters shown in upper case.
TEST(EditLatLong, PastedLettersAreShownInUpperCase) {
    Control lat(true, "N12:34:56");
    QApplication::clipboard()->setText("s45:30:00");
    lat.edit.selectAll();
    lat.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(lat.Text(), "S45:30:00");
    EXPECT_EQ(lat.Caret(), 9);

    // The paste slot (the context menu's) over one selected character.
    Control lon(false, "E123:45:56");
    QApplication::clipboard()->setText("w");
    lon.edit.setSelection(0, 1);
    lon.edit.paste();
    EXPECT_EQ(lon.Text(), "W123:45:56");
    EXPECT_EQ(lon.Caret(), 1);
    // Typing goes on from there as before.
    QTest::keyClicks(&lon.edit, "0");
    EXPECT_EQ(lon.Text(), "W023:45:56");

    // Text the program sets is shown the same way.
    lat.edit.setText("n01:02:03");
    EXPECT_EQ(lat.Text(), "N01:02:03");
}

// Whatever is typed, pressed or selected, the text keeps the shape of a valid
// value: its length never changes and the digits stay within their ranges.
TEST(EditLatLong, RandomKeystrokesKeepTheShape) {
    const QRegularExpression shapes[] = {
        QRegularExpression("^[NS]([0-8][0-9]:[0-5][0-9]:[0-5][0-9]|90:00:00)$"),
        QRegularExpression("^[EW](0[0-9][0-9]|1[0-7][0-9]):[0-5][0-9]:[0-5][0-9]$")};
    const QString typed = QStringLiteral("0123456789NSEWnsewx:- ");
    const Qt::Key keys[] = {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Left, Qt::Key_Right,
                            Qt::Key_Home,      Qt::Key_End,    Qt::Key_A,    Qt::Key_C,
                            Qt::Key_D,         Qt::Key_E,      Qt::Key_H,    Qt::Key_K,
                            Qt::Key_U,         Qt::Key_W,      Qt::Key_X};
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier,
                                               Qt::ControlModifier};
    std::mt19937 random(20261206);
    for (bool latitude : {true, false}) {
        Control control(latitude, latitude ? "N90:00:00" : nullptr);
        for (int step = 0; step < 3000; ++step) {
            const unsigned choice = random() % 4;
            if (choice < 2) {
                QTest::keyClick(&control.edit, typed.at(random() % typed.size()).toLatin1());
            } else if (choice == 2) {
                const Qt::Key key = keys[random() % std::size(keys)];
                control.Key(key, key >= Qt::Key_A && key <= Qt::Key_Z
                                     ? Qt::ControlModifier
                                     : modifiers[random() % std::size(modifiers)]);
            } else {
                const int start = static_cast<int>(random() % (control.Text().size() + 1));
                control.edit.setSelection(start, static_cast<int>(random() % 4));
            }
            ASSERT_TRUE(shapes[latitude ? 0 : 1].match(control.Text()).hasMatch())
                << step << " " << control.Text().toStdString();
        }
    }
}
