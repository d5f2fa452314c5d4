// Opens COM1 as the panel does (LUMO_COM1 names the device), says "open" on
// stdout, and holds the line until it is killed. Tests run it as other users.
#include "serial/CMSComm.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    CMSComm serial;
    try {
        serial.SetPortOpen(true);
    } catch (const CommError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::puts("open");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
