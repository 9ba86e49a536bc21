// The schema's checks.
#include "check.h"

void addSchemaChecks(Checks *checks)
{
    Q_UNUSED(checks);
}
