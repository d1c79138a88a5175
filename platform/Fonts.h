#pragma once

class QWidget;

// The layouts name "MS Sans Serif" and "宋体", which most systems lack. Gives each a fallback
// list that ends in a family with Chinese glyphs. Call once after the application object exists.
void installFontFallbacks();

// Designer stores font sizes in points, but the layouts give font heights in pixels. Forms keep
// the pixel height in the .ui's <pointsize>; call this right after setupUi() to turn every
// explicitly set font size below root (root included) into that pixel size.
void usePixelFontSizes(QWidget *root);
