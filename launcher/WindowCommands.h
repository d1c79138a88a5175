#pragma once

#include "app/Application.h"

#include <QWidget>

#include <functional>
#include <vector>

class DataSource;
class QPushButton;
class TDM;
class TF_one;

// One launcher command that opens a window: the button that runs it (and that stays disabled
// while the window exists), how to create the window, and the data source it needs, if any.
struct WindowCommand
{
    QPushButton *TF_one::*button;
    std::function<QWidget *()> create;
    DataSource *TDM::*dataSource;
};

// Creates a T owned by the application, stores it in the given global pointer and shows it
// modeless. An exception from T's construction leaves the pointer as it was.
template <class T>
std::function<QWidget *()> openWith(T *&pointer)
{
    return [&pointer]() -> QWidget * {
        T *window = new T();
        Application::instance()->adopt(window);
        pointer = window;
        window->show();
        return window;
    };
}

// The launcher's window commands (WindowCommands.cpp).
const std::vector<WindowCommand> &windowCommands();

// Runs the command of the given button: creates and shows the window, enables its data source,
// disables the button. Does nothing for a button without a command.
void runWindowCommand(TF_one *launcher, QPushButton *TF_one::*button);
