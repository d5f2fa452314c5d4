// Tells systemd where the service stands (Type=notify): ready once it
// serves and its signal handlers are set, so that a reload asked for while
// it starts waits until then; reloading while it reads its configuration
// again. Without $NOTIFY_SOCKET (not started by systemd) it does nothing.
#pragma once

class ServiceNotify
{
public:
    static void Ready();
    static void Reloading();

private:
    static void send(const char* state);
};
