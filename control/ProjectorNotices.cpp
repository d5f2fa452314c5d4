// The listener's signals (moc) live in the control library.
#include "control/ProjectorNotices.h"
