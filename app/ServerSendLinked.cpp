// Compiled into every program that links the network part in: `lumo send
// --server` uses it instead of loading the part.
#include "app/ServerSend.h"
#include "control/PartLoader.h"

namespace
{
const bool linked = [] {
    const ServerSend::Runner run = &ServerSend::Run;
    PartLoader::Link("lumo_send_to_server", reinterpret_cast<QFunctionPointer>(run));
    return true;
}();
} // namespace
