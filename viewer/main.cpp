#include "viewer/MarloApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CMarloApp marlo;
    if (!marlo.InitInstance(QApplication::arguments())) {
        return marlo.ExitCode();
    }
    return QApplication::exec();
}
