#include "controls/ProgressDialog.h"

#include "tests/controls/QtPrinters.h"
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

QProgressBar* BarOf(const CProgressDialog& dialog) {
    return dialog.findChild<QProgressBar*>();
}

class EventCounter : public QObject {
public:
    EventCounter(QObject* watched, QEvent::Type type) : type(type) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type)
            ++count;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

// Stands for a viewer that derives its own progress reporter from the dialog.
class Reporter : public CProgressDialog {
public:
    explicit Reporter(int* destroyed)
        : CProgressDialog("Saving Shape File...", nullptr), destroyed(destroyed) {}
    ~Reporter() override { ++*destroyed; }
    int* destroyed;
};

} // namespace

TEST(ProgressDialog, ShowsTheCallersTitleAndAnEmptyBar) {
    CProgressDialog dialog("Loading Shape File...", nullptr);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(dialog.windowTitle(), "Loading Shape File...");
    const QProgressBar* bar = BarOf(dialog);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(dialog.findChildren<QPushButton*>().isEmpty());

    // Comparable to 328 x 30 dialog units of an 8-point dialog font
    // (492 x 49 pixels at 96 dots per inch), and the bar inside it.
    EXPECT_GT(dialog.width(), 350);
    EXPECT_LT(dialog.width(), 750);
    EXPECT_GT(dialog.height(), 30);
    EXPECT_LT(dialog.height(), 90);
    EXPECT_TRUE(dialog.rect().contains(bar->geometry()));
    EXPECT_GT(bar->width() * 10, dialog.width() * 9);
}

TEST(ProgressDialog, BarFollowsUpdatesAndClampsAtFull) {
    CProgressDialog dialog("Loading Shape File...", nullptr);
    const QProgressBar* bar = BarOf(dialog);
    ASSERT_NE(bar, nullptr);
    const std::pair<unsigned, int> updates[] = {{0, 0},     {37, 37},        {100, 100}, {20, 20},
                                                {150, 100}, {UINT_MAX, 100}, {1, 1}};
    for (auto [percent, shown] : updates) {
        dialog.UpdateProgress(percent);
        EXPECT_EQ(bar->value(), shown) << percent;
    }
}

TEST(ProgressDialog, CannotBeDismissedByTheUser) {
    CProgressDialog dialog("Loading Shape File...", nullptr);
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinMaxButtonsHint));

    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST(ProgressDialog, DestructionHidesAndDestroysThroughTheBase) {
    int destroyed = 0;
    auto* reporter = new Reporter(&destroyed);
    QPointer<QProgressBar> bar = BarOf(*reporter);
    EventCounter hides(reporter, QEvent::Hide);
    EXPECT_EQ(reporter->windowTitle(), "Saving Shape File...");
    delete static_cast<CProgressDialog*>(reporter);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(hides.count, 1);
    EXPECT_TRUE(bar.isNull());
}

TEST(ProgressDialog, CentresOnTheMainWindowWithIntegerHalves) {
    const QRect geometries[] = {{101, 57, 641, 481}, {40, 30, 500, 300}, {7, 3, 601, 101}};
    for (const QRect& geometry : geometries) {
        QMainWindow mainWindow;
        mainWindow.setGeometry(geometry);
        mainWindow.show();
        QApplication::setActiveWindow(&mainWindow);
        ASSERT_EQ(CProgressDialog::FindMainWindow(), &mainWindow);

        CProgressDialog dialog("Loading Shape File...", nullptr);
        const QRect client(mainWindow.mapToGlobal(QPoint(0, 0)), mainWindow.size());
        const QRect own = dialog.frameGeometry();
        EXPECT_EQ(own.left(), client.left() + client.width() / 2 - own.width() / 2);
        EXPECT_EQ(own.top(), client.top() + client.height() / 2 - own.height() / 2);
    }
}

TEST(ProgressDialog, StaysWhereQtPutsItWithoutAMainWindow) {
    QMainWindow hidden;
    hidden.setGeometry(100, 100, 400, 300);
    EXPECT_EQ(CProgressDialog::FindMainWindow(), nullptr);

    QWidget plainWindow;
    plainWindow.setGeometry(20, 20, 300, 200);
    plainWindow.show();
    QApplication::setActiveWindow(&plainWindow);
    EXPECT_EQ(CProgressDialog::FindMainWindow(), nullptr);

    CProgressDialog dialog("Loading Shape File...", nullptr);
    QDialog reference(nullptr, dialog.windowFlags());
    reference.setFixedSize(dialog.size());
    reference.show();
    EXPECT_EQ(dialog.frameGeometry().topLeft(), reference.frameGeometry().topLeft());
}

// The caller never returns to the event loop while it reads a file; the bar
// must still be painted and reach the screen as the percentage grows.
TEST(ProgressDialog, PaintsDuringASynchronousLoop) {
    auto dialog = std::make_unique<CProgressDialog>("Loading Shape File...", nullptr);
    QProgressBar* bar = BarOf(*dialog);
    ASSERT_NE(bar, nullptr);
    EventCounter paints(bar, QEvent::Paint);

    QScreen* screen = dialog->screen();
    ASSERT_NE(screen, nullptr);
    const QRect barRect(bar->mapTo(dialog.get(), QPoint(0, 0)), bar->size());
    const int y = barRect.center().y();
    const int quarter = barRect.left() + barRect.width() / 4;
    const int threeQuarters = barRect.left() + barRect.width() * 3 / 4;
    auto screenPixels = [&] {
        const QImage image = screen->grabWindow(dialog->winId()).toImage();
        return std::make_pair(image.pixel(quarter, y), image.pixel(threeQuarters, y));
    };

    const auto empty = screenPixels();
    EXPECT_EQ(empty.first, empty.second);
    for (unsigned percent = 0; percent <= 50; ++percent)
        dialog->UpdateProgress(percent);
    const int paintsAtHalf = paints.count;
    EXPECT_GE(paintsAtHalf, 50);
    const auto half = screenPixels();
    EXPECT_NE(half.first, half.second);
    EXPECT_EQ(half.second, empty.second);
    for (unsigned percent = 51; percent <= 100; ++percent)
        dialog->UpdateProgress(percent);
    EXPECT_GE(paints.count, paintsAtHalf + 50);
    const auto full = screenPixels();
    EXPECT_EQ(full.first, full.second);
    EXPECT_EQ(full.first, half.first);
}
