#include "app/CRemoteApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication qapp(argc, argv);
    CRemoteApp theApp;
    theApp.InitInstance();
    return 0;
}
