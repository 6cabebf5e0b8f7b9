#pragma once

#include <QIcon>

// The 16 x 16 picture of a toolbar command, drawn at start-up; an empty icon
// for a command without one.
QIcon MakeToolbarIcon(int commandId);

// The application's icon: a small globe with a graticule, at several sizes.
QIcon MakeApplicationIcon();
