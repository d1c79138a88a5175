#pragma once

// What happens to a window once its close handler has run.
enum TCloseAction { caNone = 0, caHide = 1, caFree = 2, caMinimize = 3 };
