// A line this process holds itself (the panel's, `lumo send`'s): one
// destination, "", and every command delivered at once, before Deliver
// returns.
#pragma once

#include "control/CommandEntry.h"
#include "control/CommandTarget.h"

class CMSComm;

class LineTarget : public CommandTarget
{
public:
    // `port`, where given, is opened at the controller's settings when a
    // command finds the line closed.
    explicit LineTarget(CMSComm& serial, QString port = {});

    bool Has(const QString& name) const override { return name.isEmpty(); }
    void Deliver(const QString& name, const Command& command, CommandResult::Done done) override;

    // CommandEntry::Send on this line, whose answer is at once.
    CommandResult Send(const CommandEntry::Request& request);

private:
    CMSComm& m_serial;
    QString m_port;
};
