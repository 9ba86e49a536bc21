// Seek and Cue targets.
#include "check.h"

void addTargetChecks(Checks *checks)
{
    Q_UNUSED(checks);
}
