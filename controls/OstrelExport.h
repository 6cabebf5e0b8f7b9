#pragma once

// Export macro of the Ostrel control library. The library is built with hidden
// visibility, so only what carries OSTREL_EXPORT (the two control classes)
// appears in its dynamic symbol table.

#include <QtCore/qglobal.h>

#if defined(OSTREL_BUILD)
#define OSTREL_EXPORT Q_DECL_EXPORT
#else
#define OSTREL_EXPORT Q_DECL_IMPORT
#endif
