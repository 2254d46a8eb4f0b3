#pragma once

#include <QIcon>

/// The simulator's icon: a 32 x 32 and a 16 x 16 picture in 16 colours.
QIcon WindowIcon();
