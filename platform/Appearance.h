#pragma once

#include <Qt>

class QSize;
class QWidget;

// The program's look and feel, as on the desktop the layouts were designed for: the font
// fallbacks; group boxes with the caption set into the top edge of the frame, not above it;
// check boxes and radio buttons that take a click anywhere in their rectangle; Enter on a
// focused push button presses it, in every window.
void installAppearance();

// A dialog frame with the close box only, fixed to the given client size: the windows cannot be
// resized, minimized or maximized.
void setDialogFrame(QWidget *window, Qt::WindowType kind, const QSize &client);
