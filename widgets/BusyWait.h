#pragma once

class Connection;

// The wait of a window's search for the columns its connection still decodes ahead: in the GUI
// thread it shows the busy cursor and keeps windows painting, while user input waits and no
// window can close, so nothing the user does runs during it. Other events (timers) may run, a
// statement among them. Outside the GUI thread it blocks until the decoding ends.
void waitShowingBusy(Connection &connection);

// Makes the connection's searches wait that way.
void useBusyWait(Connection *connection);
