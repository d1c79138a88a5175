#pragma once

#include <functional>

class Connection;

// The wait of a window's search for its statement (or for the columns its connection decodes
// ahead): in the GUI thread it shows the busy cursor and keeps windows painting, while user input
// waits, queued in order for afterwards, and no window can close, so nothing the user does runs
// during it. Other events (timers) may run, a statement among them. Outside the GUI thread it
// blocks until `done`.
void waitShowingBusy(Connection &connection, const std::function<bool()> &done);

// Makes the connection's searches wait that way.
void useBusyWait(Connection *connection);
