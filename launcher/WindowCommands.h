#pragma once

#include "app/Application.h"

#include <QPushButton>
#include <QWidget>

#include <functional>
#include <vector>

class DataSource;
class TDM;
class TF_one;

// One launcher command that opens a window: the button that runs it (and that stays disabled
// while the window is open), how to open the window, and the data source it needs, if any.
struct WindowCommand
{
    QPushButton *TF_one::*button;
    // Opens the window; the button given is enabled again when the window closes.
    std::function<QWidget *(QPushButton *button)> open;
    DataSource *TDM::*dataSource;
};

// Creates a T owned by the application, stores it in the given global pointer and shows it
// modeless. An exception from T's construction leaves the pointer as it was. T tells that it
// closes through its closed() signal; a window destroyed without closing (the program ends)
// leaves the button as it is.
template <class T>
std::function<QWidget *(QPushButton *)> openWith(T *&pointer)
{
    return [&pointer](QPushButton *button) -> QWidget * {
        T *window = new T();
        Application::instance()->adopt(window);
        pointer = window;
        window->show();
        QObject::connect(window, &T::closed, button, [button] { button->setEnabled(true); });
        return window;
    };
}

// The launcher's window commands (WindowCommands.cpp).
const std::vector<WindowCommand> &windowCommands();

// Runs the command of the given button: creates and shows the window, enables its data source,
// disables the button. Does nothing for a button without a command.
void runWindowCommand(TF_one *launcher, QPushButton *TF_one::*button);
