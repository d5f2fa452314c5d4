#include "control/ProjectorPart.h"

#include "parts/PartLoader.h"
#include "control/ProjectorInterface.h"

const ProjectorInterface* ProjectorPart::Load(QString* error)
{
    return PartLoader::Load<ProjectorInterface>(QStringLiteral("pjlink"), error);
}
