#pragma once

#include <QString>

// The three modal boxes of the system. All are real QMessageBoxes, so tests close them through
// QApplication::activeModalWidget().

// Caption of the boxes shown on the application's behalf.
void setApplicationTitle(const QString &title);
QString applicationTitle();

// Plain information box: caption the application title, no icon, one OK button.
void ShowMessage(const QString &text);

// Error box: the message with "." appended when its last character sorts after "."; caption the
// application title; error icon; one OK button.
void ShowErrorBox(const QString &message);
QString errorBoxText(const QString &message);

// Confirmation dialog: caption "Confirm", question-mark icon, one "OK" button, centred on the
// screen. Returns the button's result (ignored by callers).
int ConfirmDialog(const QString &text);

// Save-file dialog over the active window: caption, the suggested file name and a name filter.
// Returns the chosen path, or an empty text when the user cancels (or no window can show it).
// A QFileDialog, so tests answer it through QApplication::activeModalWidget().
QString SaveFileDialog(const QString &caption, const QString &fileName, const QString &filter);
