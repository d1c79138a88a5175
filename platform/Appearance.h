#pragma once

// The program's look and feel, as on the desktop the layouts were designed for: the font
// fallbacks; group boxes with the caption set into the top edge of the frame, not above it;
// check boxes and radio buttons that take a click anywhere in their rectangle; Enter on a
// focused push button presses it, in every window.
void installAppearance();
