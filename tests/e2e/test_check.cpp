// --check on whole files: clean samples, the command line, the output.
#include "check_support.h"

#include <gtest/gtest.h>

// No sample that independent muxers wrote has an error.
TEST(Check, CleanSamplesHaveNoErrors)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        const checks::Result r = checks::check(e2e::samplePath(name));
        EXPECT_EQ(r.exitCode, 0) << r.out.constData();
        EXPECT_EQ(r.errors, 0);
    }
}
