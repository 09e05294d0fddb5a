// SPDX-License-Identifier: GPL-3.0-or-later
#include "testwindow.h"

#include "simulateddevice.h"
#include "solvanetermtestaccess.h"

std::unique_ptr<SolvaneTerm> makeTestWindow(bool stopTimer)
{
    auto window = std::make_unique<SolvaneTerm>();
    if (stopTimer)
        SolvaneTermTestAccess(*window).connectionTimer()->stop();
    window->show();
    window->activateWindow();
    return window;
}

bool openedWithOneCheck(SolvaneTerm &window, const SimulatedDevice &device)
{
    const SolvaneTermTestAccess access(window);
    access.checkConnection();
    return window.isConnected() && access.serialPort()
        && access.serialPort()->portName == device.slavePath() && device.isPortOpen();
}
