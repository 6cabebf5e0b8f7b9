// Registration of the library with the application when it is loaded.
//
// The library has no resource files: the progress dialog's layout is built in
// code. What it registers are the run-time records of its two exported classes
// (their meta types), so that the application can name them in QVariant,
// queued connections and QMetaType look-ups. The routine runs when the
// QApplication is constructed, or at once if the library is loaded into a
// running application.

#include "controls/EditLatLong.h"
#include "controls/ProgressDialog.h"

#include <QCoreApplication>
#include <QMetaType>

namespace {

void RegisterOstrelClasses() {
    qRegisterMetaType<CEditLatLong*>();
    qRegisterMetaType<CProgressDialog*>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(RegisterOstrelClasses)
