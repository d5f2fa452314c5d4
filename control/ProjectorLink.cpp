// The link's signals (moc) live in the control library, which both the
// projector part and the programs that use it link.
#include "control/ProjectorLink.h"
