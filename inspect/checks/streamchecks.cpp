// Blocks, tracks and the walk's marks.
#include "check.h"

void addStreamChecks(Checks *checks)
{
    Q_UNUSED(checks);
}
