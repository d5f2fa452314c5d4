// The application: sets the dialog colours and runs the port dialog, the
// program's main window. The program ends when that dialog's run returns.
#pragma once

#include "serial/CMSComm.h"

class CRemoteApp
{
public:
    CRemoteApp();

    // Runs the program's dialogs; always returns false: there is no event
    // loop of the application's own to enter afterwards.
    bool InitInstance();

    // The program's one serial control; lives as long as the application.
    CMSComm& SerialControl() { return m_serial; }

    // The colours of every dialog and message box: pink background, black text.
    static void SetDialogBkColor();

private:
    CMSComm m_serial;
};
