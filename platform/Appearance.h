#pragma once

// The program's look: the font fallbacks, and group boxes drawn as the layouts were designed
// (the caption set into the top edge of the frame, not above it).
void installAppearance();
