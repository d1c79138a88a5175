#pragma once

// Puts the process-wide desktop services back as they were at start, so that a test function
// finds nothing an earlier one installed, attached or hooked: the desktop's shell and
// notification area (without the icons added so far), no application window, no hooks.

#include "platform/NotifyArea.h"
#include "platform/Shell.h"

inline void resetPlatform()
{
    Shell::setInstance(nullptr);
    NotifyArea::reset();
    ApplicationWindow::reset();
}
