#include "geometry/HugePages.h"
#include "viewer/MarloApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // A large map's commands reuse what the previous one freed, instead of
    // faulting in fresh memory each time.
    KeepFreedMemory();
    QApplication application(argc, argv);
    CMarloApp marlo;
    if (!marlo.InitInstance(QApplication::arguments())) {
        return marlo.ExitCode();
    }
    return QApplication::exec();
}
