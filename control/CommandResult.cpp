#include "control/CommandResult.h"

#include <array>
#include <utility>

namespace
{
constexpr std::array<std::pair<CommandResult::Code, const char*>, 10> kCodes{{
    {CommandResult::Code::Sent, "sent"},
    {CommandResult::Code::NotConfirmed, "not-confirmed"},
    {CommandResult::Code::UnknownCommand, "unknown-command"},
    {CommandResult::Code::NoSuchRoom, "no-such-room"},
    {CommandResult::Code::InUse, "in-use"},
    {CommandResult::Code::Disconnected, "disconnected"},
    {CommandResult::Code::Unreachable, "unreachable"},
    {CommandResult::Code::Busy, "busy"},
    {CommandResult::Code::NotSent, "not-sent"},
    {CommandResult::Code::NotFollowed, "not-followed"},
}};

constexpr std::array<std::pair<Face, const char*>, 10> kFaces{{
    {Face::Panel, "panel"},
    {Face::Bus, "bus"},
    {Face::Send, "send"},
    {Face::Phone, "phone"},
    {Face::Page, "page"},
    {Face::Api, "api"},
    {Face::Mqtt, "mqtt"},
    {Face::Schedule, "schedule"},
    {Face::Idle, "idle"},
    {Face::Projector, "projector"},
}};

template <typename Key, std::size_t N>
QString nameIn(const std::array<std::pair<Key, const char*>, N>& table, Key key)
{
    for (const auto& [k, name] : table)
        if (k == key)
            return QString::fromLatin1(name);
    return {};
}

CommandResult::Code codeOf(const Outcome& outcome)
{
    using Code = CommandResult::Code;
    if (outcome.Ok())
        return Code::Sent;
    switch (outcome.Code().value_or(CommErrorCode::WriteFailed)) {
    case CommErrorCode::PortBusy:
        return Code::InUse;
    case CommErrorCode::Disconnected:
    case CommErrorCode::PortNotOpen:
        return Code::Disconnected;
    case CommErrorCode::NotConfirmed:
        return Code::NotConfirmed;
    case CommErrorCode::NoSuchDevice:
    case CommErrorCode::PermissionDenied:
    case CommErrorCode::NotASerialDevice:
    case CommErrorCode::InvalidPortNumber:
    case CommErrorCode::SettingsNotSupported:
    case CommErrorCode::BadDeviceUrl:
    case CommErrorCode::HostUnknown:
    case CommErrorCode::ConnectionRefused:
    case CommErrorCode::ServerUnreachable:
    case CommErrorCode::ServerRefusedLine:
        return Code::Unreachable;
    default:
        return Code::NotSent;
    }
}
} // namespace

CommandResult CommandResult::Of(const Command* command, const Outcome& outcome)
{
    return {command, codeOf(outcome), outcome.Error().value_or(QString())};
}

CommandResult CommandResult::Failed(const Command* command, Code code, QString message)
{
    return {command, code, std::move(message)};
}

QString CommandResult::CodeName(Code code)
{
    return nameIn(kCodes, code);
}

QString CommandResult::FaceName(Face face)
{
    return nameIn(kFaces, face);
}
