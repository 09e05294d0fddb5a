#ifndef RAWPTY_H
#define RAWPTY_H

#include <QString>

// The pseudo-terminal side of a simulated device, shared by the simulator and the test fixture.

// Opens a pseudo-terminal pair and returns its master side, non-blocking and raw, or -1 with
// errno set. The slave is raw from the start, so that nothing written before the program sets
// the port up is echoed back or held for a line end; it has been opened and closed once, so
// that the master reports a hang-up exactly while nobody holds the slave open.
int openRawPtyMaster(QString *slavePath);

// The tty layer knows no "port opened" event: the master reports a hang-up while no one holds
// the slave open, and the hang-up goes away the moment the program opens it.
bool ptySlaveHungUp(int masterFd);

#endif // RAWPTY_H
