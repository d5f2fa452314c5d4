// One PNG with everything the generator drew, for people to look at: every
// picture at 4x with its name, the panel's pictures at their real size, the
// icons and the cursor, all on a checkerboard so transparency shows.
#pragma once

#include "Generator.h"

#include <QImage>

class ContactSheet
{
public:
    static QImage Draw(const Generator& generator);
};
