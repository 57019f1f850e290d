// The pixel tests' cases at every CPU level this machine has (core/cpu_level.h), so that the
// plain loops, the 16-byte steps and the 32-byte steps are each checked on whole rows, not
// only on what the wider steps leave over.
#pragma once
#include <gtest/gtest.h>

#include "core/cpu_level.h"

// body() once at each level, lowest first, under a trace naming the level; stops after a
// level that failed.
template <class Body>
void AtEveryCpuLevel(Body&& body) {
    for (CpuLevel level : MachineCpuLevels()) {
        SCOPED_TRACE(testing::Message() << "CPU level " << CpuLevelName(level));
        CpuLevelScope scope(level);
        body();
        // The engine's resets keep the level (app/engine_reset.h), so the body ran at it.
        EXPECT_STREQ(CpuLevelName(ActiveCpuLevel()), CpuLevelName(level));
        if (testing::Test::HasFailure()) return;
    }
}
