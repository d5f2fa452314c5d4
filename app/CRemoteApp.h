// The application: sets the dialog colours and runs the port dialog, the
// program's main window. The program ends when that dialog's run returns.
#pragma once

#include "control/ShutdownSignals.h"
#include "serial/CMSComm.h"

#include <QTimer>

class CRemoteApp
{
public:
    CRemoteApp();
    ~CRemoteApp();
    CRemoteApp(const CRemoteApp&) = delete;
    CRemoteApp& operator=(const CRemoteApp&) = delete;

    // Runs the program's dialogs; always returns false: there is no event
    // loop of the application's own to enter afterwards. SIGTERM, SIGINT and
    // SIGHUP end it the way closing the dialogs does.
    bool InitInstance();

    // The colours of every dialog and message box: pink background, black text.
    static void SetDialogBkColor();

    // Ends every dialog, message box and menu that is shown: every modal run
    // returns, and the dialogs' destructors close the line.
    static void EndAllDialogs();

private:
    // Closes the line when the program is ended by exit() from inside Qt (the
    // display went away) rather than by returning from main.
    static void releaseLineAtExit();

    CMSComm m_serial;
    ShutdownSignals m_signals;
    QTimer m_ending;
    static inline CRemoteApp* s_running = nullptr;
};
