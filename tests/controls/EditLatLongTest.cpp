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
    // Types at the given caret position.
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
    edit.Initialise(true);
    EXPECT_EQ(edit.text(), "N00:00:00");
    EXPECT_EQ(edit.maxLength(), 9);
    EXPECT_EQ(edit.GetLongShift(), 0);
    edit.Initialise(false);
    EXPECT_EQ(edit.text(), "W000:00:00");
    EXPECT_EQ(edit.maxLength(), 10);
    EXPECT_EQ(edit.GetLongShift(), 1);
    edit.Initialise(true);
    EXPECT_EQ(edit.text(), "N00:00:00");
    EXPECT_EQ(edit.GetLongShift(), 0);
}

TEST(EditLatLong, HemisphereLetterIsUpperCasedOrRefused) {
    Control lat(true);
    lat.TypeAt(0, "s");
    EXPECT_EQ(lat.Text(), "S00:00:00");
    EXPECT_EQ(lat.Caret(), 1);

    lat.TypeAt(0, "x");
    EXPECT_EQ(lat.Text(), "S00:00:00");
    // The refused character leaves the selection on the character it aimed at.
    EXPECT_EQ(lat.edit.selectionStart(), 0);
    EXPECT_EQ(lat.edit.selectedText(), "S");
    QTest::keyClicks(&lat.edit, "n");
    EXPECT_EQ(lat.Text(), "N00:00:00");
    lat.TypeAt(0, "E");
    EXPECT_EQ(lat.Text(), "N00:00:00");

    Control lon(false);
    lon.TypeAt(0, "e");
    EXPECT_EQ(lon.Text(), "E000:00:00");
    lon.TypeAt(0, "N");
    EXPECT_EQ(lon.Text(), "E000:00:00");
    lon.TypeAt(0, "w");
    EXPECT_EQ(lon.Text(), "W000:00:00");
}

TEST(EditLatLong, LatitudeDigitsOvertypeAndJumpColons) {
    Control lat(true);
    lat.TypeAt(1, "9");
    EXPECT_EQ(lat.Text(), "N00:00:00");

    lat.TypeAt(1, "8959");
    EXPECT_EQ(lat.Text(), "N89:59:00");
    EXPECT_EQ(lat.Caret(), 7);

    lat.TypeAt(7, "6");
    EXPECT_EQ(lat.Text(), "N89:59:00");
    QTest::keyClicks(&lat.edit, "59");
    EXPECT_EQ(lat.Text(), "N89:59:59");
    // Past the last digit the length limit stops everything.
    QTest::keyClicks(&lat.edit, "1x");
    EXPECT_EQ(lat.Text(), "N89:59:59");

    Control whole(true);
    whole.TypeAt(0, "s4530");
    EXPECT_EQ(whole.Text(), "S45:30:00");
    EXPECT_EQ(whole.Caret(), 7);
}

TEST(EditLatLong, NinetyDegreesOnlyAllowsZeros) {
    Control lat(true, "N90:00:00");
    for (int position : {2, 4, 5, 7, 8}) {
        lat.TypeAt(position, "1");
        EXPECT_EQ(lat.Text(), "N90:00:00") << position;
    }
    lat.TypeAt(2, "0");
    EXPECT_EQ(lat.Text(), "N90:00:00");
    EXPECT_EQ(lat.Caret(), 4);
    // Leaving ninety frees the other digits again.
    lat.TypeAt(1, "89");
    EXPECT_EQ(lat.Text(), "N89:00:00");
}

TEST(EditLatLong, LongitudeDegreesStopAt179) {
    Control lon(false, "W090:00:00");
    lon.TypeAt(1, "1");
    EXPECT_EQ(lon.Text(), "W170:00:00");
    EXPECT_EQ(lon.Caret(), 2);

    Control hundred(false, "W100:00:00");
    hundred.TypeAt(2, "8");
    EXPECT_EQ(hundred.Text(), "W100:00:00");
    hundred.TypeAt(2, "7");
    EXPECT_EQ(hundred.Text(), "W170:00:00");
    hundred.TypeAt(1, "2");
    EXPECT_EQ(hundred.Text(), "W170:00:00");

    // Tens of degrees not above 7 stay as they are.
    Control sixty(false, "W060:00:00");
    sixty.TypeAt(1, "1");
    EXPECT_EQ(sixty.Text(), "W160:00:00");

    Control whole(false);
    whole.TypeAt(0, "e17945596");
    EXPECT_EQ(whole.Text(), "E179:45:59");
    whole.TypeAt(5, "6");
    EXPECT_EQ(whole.Text(), "E179:45:59");
    whole.TypeAt(8, "9");
    EXPECT_EQ(whole.Text(), "E179:45:59");
    whole.TypeAt(3, "0");
    EXPECT_EQ(whole.Text(), "E170:45:59");
    EXPECT_EQ(whole.Caret(), 5);
}

TEST(EditLatLong, TypingOnAColonOnlyMovesTheCaret) {
    Control lat(true, "N12:34:56");
    for (int colon : {3, 6}) {
        lat.TypeAt(colon, "7");
        EXPECT_EQ(lat.Text(), "N12:34:56");
        EXPECT_EQ(lat.Caret(), colon + 1);
        EXPECT_FALSE(lat.edit.hasSelectedText());
    }
    Control lon(false, "E123:45:56");
    for (int colon : {4, 7}) {
        lon.TypeAt(colon, ":");
        EXPECT_EQ(lon.Text(), "E123:45:56");
        EXPECT_EQ(lon.Caret(), colon + 1);
    }
}

TEST(EditLatLong, BackspaceMovesTheCaretWithoutDeleting) {
    Control lat(true, "N12:34:56");
    const std::pair<int, int> latMoves[] = {{9, 8}, {7, 5}, {5, 4}, {4, 2}, {1, 0}, {0, 0}};
    for (auto [from, to] : latMoves) {
        lat.edit.setCursorPosition(from);
        lat.Key(Qt::Key_Backspace);
        EXPECT_EQ(lat.Caret(), to) << from;
        EXPECT_EQ(lat.Text(), "N12:34:56");
    }
    // With a character selected (after a refused one) the caret is its start.
    lat.TypeAt(0, "x");
    ASSERT_TRUE(lat.edit.hasSelectedText());
    lat.Key(Qt::Key_Backspace);
    EXPECT_EQ(lat.Caret(), 0);
    EXPECT_FALSE(lat.edit.hasSelectedText());

    Control lon(false, "E123:45:56");
    const std::pair<int, int> lonMoves[] = {{10, 9}, {8, 6}, {5, 3}, {4, 3}, {2, 1}};
    for (auto [from, to] : lonMoves) {
        lon.edit.setCursorPosition(from);
        lon.Key(Qt::Key_Backspace);
        EXPECT_EQ(lon.Caret(), to) << from;
        EXPECT_EQ(lon.Text(), "E123:45:56");
    }
}

TEST(EditLatLong, DeletingKeysDoNothing) {
    Control lat(true, "N12:34:56");
    lat.edit.setCursorPosition(2);
    lat.Key(Qt::Key_Delete);
    lat.Key(Qt::Key_Delete, Qt::ShiftModifier);
    lat.Key(Qt::Key_Delete, Qt::ControlModifier);
    lat.Key(Qt::Key_Backspace, Qt::ControlModifier);
    lat.Key(Qt::Key_X, Qt::ControlModifier);
    lat.Key(Qt::Key_D, Qt::ControlModifier);
    lat.Key(Qt::Key_K, Qt::ControlModifier);
    lat.Key(Qt::Key_U, Qt::ControlModifier);
    lat.Key(Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(lat.Text(), "N12:34:56");

    lat.edit.selectAll();
    lat.Key(Qt::Key_Delete);
    lat.Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(lat.Text(), "N12:34:56");
}

TEST(EditLatLong, ArrowsStepOverColons) {
    Control lat(true, "N12:34:56");
    lat.edit.setCursorPosition(2);
    lat.Key(Qt::Key_Right);
    EXPECT_EQ(lat.Caret(), 4);
    lat.Key(Qt::Key_Right);
    EXPECT_EQ(lat.Caret(), 5);
    lat.Key(Qt::Key_Right);
    EXPECT_EQ(lat.Caret(), 7);
    lat.Key(Qt::Key_Left);
    EXPECT_EQ(lat.Caret(), 5);
    lat.Key(Qt::Key_Left);
    EXPECT_EQ(lat.Caret(), 4);
    lat.Key(Qt::Key_Left);
    EXPECT_EQ(lat.Caret(), 2);

    Control lon(false, "E123:45:56");
    lon.edit.setCursorPosition(3);
    lon.Key(Qt::Key_Right);
    EXPECT_EQ(lon.Caret(), 5);
    lon.edit.setCursorPosition(8);
    lon.Key(Qt::Key_Left);
    EXPECT_EQ(lon.Caret(), 6);
    // Shift extends the selection across the colon.
    lon.edit.setCursorPosition(3);
    lon.Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(lon.edit.selectedText(), "3:");
}

TEST(EditLatLong, PasteIsNotChecked) {
    Control lat(true);
    QApplication::clipboard()->setText("S12:34:56");
    lat.edit.selectAll();
    lat.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(lat.Text(), "S12:34:56");

    // A pasted text of the wrong shape is kept; typing then only reads
    // characters that exist and overtypes within the text.
    QApplication::clipboard()->setText("9");
    lat.edit.selectAll();
    lat.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(lat.Text(), "9");
    lat.TypeAt(0, "n");
    EXPECT_EQ(lat.Text(), "N");
    lat.TypeAt(1, "89");
    EXPECT_EQ(lat.Text(), "N89");
    // The caret cannot pass the missing colon, so the text does not grow.
    QTest::keyClicks(&lat.edit, "55");
    EXPECT_EQ(lat.Text(), "N89");
}

// Whatever is typed, clicked or selected, the text keeps the shape of a valid
// value: the length never changes and the digits stay within their ranges.
TEST(EditLatLong, RandomKeystrokesKeepTheShape) {
    const QRegularExpression latitudeShape(
        QStringLiteral("^[NS]([0-8][0-9]:[0-5][0-9]:[0-5][0-9]|90:00:00)$"));
    const QRegularExpression longitudeShape(
        QStringLiteral("^[EW](0[0-9][0-9]|1[0-7][0-9]):[0-5][0-9]:[0-5][0-9]$"));
    const QString typed = QStringLiteral("0123456789NSEWnsewx:- ");
    const Qt::Key keys[] = {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Left,
                            Qt::Key_Right,     Qt::Key_Home,   Qt::Key_End};
    const Qt::Key controlKeys[] = {Qt::Key_A, Qt::Key_C,         Qt::Key_D,     Qt::Key_E,
                                   Qt::Key_H, Qt::Key_K,         Qt::Key_U,     Qt::Key_X,
                                   Qt::Key_W, Qt::Key_Backspace, Qt::Key_Delete};

    std::mt19937 random(20261206);
    for (bool latitude : {true, false}) {
        Control control(latitude, latitude ? "N90:00:00" : nullptr);
        const QRegularExpression& shape = latitude ? latitudeShape : longitudeShape;
        for (int step = 0; step < 3000; ++step) {
            switch (random() % 5) {
            case 0:
            case 1:
                QTest::keyClick(&control.edit, typed.at(random() % typed.size()).toLatin1());
                break;
            case 2:
                control.Key(keys[random() % std::size(keys)],
                            random() % 4 == 0 ? Qt::ShiftModifier : Qt::NoModifier);
                break;
            case 3:
                control.Key(controlKeys[random() % std::size(controlKeys)], Qt::ControlModifier);
                break;
            default: {
                const int start = static_cast<int>(random() % (control.Text().size() + 1));
                control.edit.setSelection(start, static_cast<int>(random() % 4));
                break;
            }
            }
            ASSERT_TRUE(shape.match(control.Text()).hasMatch())
                << step << " " << control.Text().toStdString();
        }
    }
}
