// The projector part, loaded the first time a room has a projector: the
// panel maps no Qt Network before that.
#pragma once

class ProjectorInterface;
class QString;

class ProjectorPart
{
public:
    // The part's interface, or nullptr with `error` naming the file and why.
    static const ProjectorInterface* Load(QString* error);
};
