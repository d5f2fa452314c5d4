#include "control/LineTarget.h"

#include "control/Line.h"
#include "serial/CMSComm.h"

LineTarget::LineTarget(CMSComm& serial, QString port) : m_serial(serial), m_port(std::move(port))
{
}

void LineTarget::Deliver(const QString&, const Command& command, CommandResult::Done done)
{
    if (!m_port.isEmpty() && !m_serial.GetPortOpen()) {
        const Outcome opened = Outcome::Of([&] { Line::Open(m_serial, m_port); });
        if (!opened.Ok()) {
            done(CommandResult::Of(&command, opened));
            return;
        }
    }
    done(CommandResult::Of(&command, Line::Send(m_serial, command)));
}

CommandResult LineTarget::Send(const CommandEntry::Request& request)
{
    CommandResult result;
    CommandEntry::Send(*this, request, [&result](const CommandResult& r) { result = r; });
    return result;
}
