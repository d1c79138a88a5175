#pragma once

class QCloseEvent;
class QWidget;

// What happens to a window once its close handler has run.
enum TCloseAction { caNone = 0, caHide = 1, caFree = 2, caMinimize = 3 };

// Carries out a close handler's action on the closing window: caFree destroys it once the close
// event has finished, caNone keeps it open, caMinimize minimizes instead of closing.
void applyCloseAction(QWidget *window, QCloseEvent *event, TCloseAction action);
