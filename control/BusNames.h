// The running panel's names on the user's session bus, shared by the panel
// that offers the service and `lumo send` that calls it. The program's
// application id names the service and the interface.
#pragma once

namespace BusNames
{
inline constexpr const char* kService = "net.lumopanel.Lumo";
inline constexpr const char* kPath = "/net/lumopanel/Lumo";
inline constexpr const char* kInterface = "net.lumopanel.Lumo";
inline constexpr const char* kUnknownCommand = "net.lumopanel.Lumo.Error.UnknownCommand";
inline constexpr const char* kLineFailed = "net.lumopanel.Lumo.Error.LineFailed";
} // namespace BusNames
