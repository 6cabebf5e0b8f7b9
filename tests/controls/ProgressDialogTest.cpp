#include "controls/ProgressDialog.h"

#include "tests/controls/QtPrinters.h"
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>

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
        count += event->type() == type ? 1 : 0;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

// Stands for the viewer's reporter derived from the dialog.
class Reporter : public CProgressDialog {
public:
    explicit Reporter(int* destroyed) : CProgressDialog("Saving", nullptr), destroyed(destroyed) {}
    ~Reporter() override { ++*destroyed; }
    int* destroyed;
};

} // namespace

TEST(ProgressDialog, ShowsTitleAndBarThatClampsAtFull) {
    CProgressDialog dialog("Loading Shape File...", nullptr);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(dialog.windowTitle(), "Loading Shape File...");
    QProgressBar* bar = BarOf(dialog);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    // Comparable to 328 x 30 dialog units (492 x 49 pixels for an 8-point
    // font at 96 dots per inch), with the bar across nearly all of it.
    EXPECT_TRUE(dialog.width() > 350 && dialog.width() < 750) << dialog.width();
    EXPECT_TRUE(dialog.height() > 30 && dialog.height() < 90) << dialog.height();
    EXPECT_TRUE(dialog.rect().contains(bar->geometry()));
    EXPECT_GT(bar->width() * 10, dialog.width() * 9);

    const std::pair<unsigned, int> updates[] = {{37, 37},   {100, 100},      {20, 20},
                                                {150, 100}, {UINT_MAX, 100}, {0, 0}};
    for (auto [percent, shown] : updates) {
        dialog.UpdateProgress(percent);
        EXPECT_EQ(bar->value(), shown) << percent;
    }
}

TEST(ProgressDialog, CannotBeDismissedAndIsDestroyedThroughTheBase) {
    CProgressDialog dialog("Loading Shape File...", nullptr);
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.close());
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());

    int destroyed = 0;
    auto* reporter = new Reporter(&destroyed);
    QPointer<QProgressBar> bar = BarOf(*reporter);
    EventCounter hides(reporter, QEvent::Hide);
    delete static_cast<CProgressDialog*>(reporter);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(hides.count, 1);
    EXPECT_TRUE(bar.isNull());
}

TEST(ProgressDialog, CentresOnTheMainWindowOnlyIfThereIsOne) {
    for (const QRect& geometry : {QRect(101, 57, 641, 481), QRect(7, 3, 601, 101)}) {
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

    // A hidden main window or a plain window does not count: the dialog is
    // left where Qt places any dialog.
    QMainWindow hidden;
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
    CProgressDialog dialog("Loading Shape File...", nullptr);
    QProgressBar* bar = BarOf(dialog);
    ASSERT_NE(bar, nullptr);
    EventCounter paints(bar, QEvent::Paint);
    const QRect area(bar->mapTo(&dialog, QPoint(0, 0)), bar->size());
    auto screenPixels = [&] {
        const QImage image = dialog.screen()->grabWindow(dialog.winId()).toImage();
        const int y = area.center().y();
        return std::make_pair(image.pixel(area.left() + area.width() / 4, y),
                              image.pixel(area.left() + area.width() * 3 / 4, y));
    };

    const auto empty = screenPixels();
    EXPECT_EQ(empty.first, empty.second);
    for (unsigned percent = 0; percent <= 50; ++percent)
        dialog.UpdateProgress(percent);
    EXPECT_GE(paints.count, 50);
    const auto half = screenPixels();
    EXPECT_NE(half.first, half.second);
    EXPECT_EQ(half.second, empty.second);
    for (unsigned percent = 51; percent <= 100; ++percent)
        dialog.UpdateProgress(percent);
    EXPECT_GE(paints.count, 100);
    const auto full = screenPixels();
    EXPECT_EQ(full.first, full.second);
    EXPECT_EQ(full.first, half.first);
}
