#pragma once

#include "app/Application.h"

#include <QPushButton>
#include <QWidget>

#include <functional>
#include <type_traits>
#include <vector>

class DataSource;
class Query;
class TDM;
class TF_one;

// One launcher command that opens a window: the button that runs it (and that stays disabled
// while the window is open), how to open the window, and the data-module query and data source
// it works on, if any.
struct WindowCommand
{
    QPushButton *TF_one::*button;
    // Opens the window on the given query and data source (null for a window without data); the
    // button given is enabled again when the window closes.
    std::function<QWidget *(QPushButton *button, Query *query, DataSource *dataSource)> open;
    Query *TDM::*query;
    DataSource *TDM::*dataSource;
};

// Creates a T owned by the application, stores it in the given global pointer and shows it
// modeless. A T that works on data gets the query and data source at construction. An exception
// from T's construction leaves the pointer as it was. T tells that it closes through its
// closed() signal; a window destroyed without closing (the program ends) leaves the button as
// it is.
template <class T>
std::function<QWidget *(QPushButton *, Query *, DataSource *)> openWith(T *&pointer)
{
    return [&pointer](QPushButton *button, Query *query, DataSource *dataSource) -> QWidget * {
        T *window = nullptr;
        if constexpr (std::is_constructible_v<T, Query *, DataSource *>)
            window = new T(query, dataSource);
        else
            window = new T();
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
