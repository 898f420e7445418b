#pragma once
// Helpers shared by the GoogleTest programs.

#include <gtest/gtest.h>

#include <cstdlib>

// A test that needs something CI installs (Monapo, Chromium, the built CLI) skips without it on a
// developer's machine but fails under CI, where its absence is a broken set-up. Takes a streamed reason:
// `if (!found) GLYPHORA_SKIP_UNLESS_CI << "Chromium is not installed";`
#define GLYPHORA_SKIP_UNLESS_CI \
    return GTEST_MESSAGE_AT_(   \
        __FILE__, __LINE__, "", \
        std::getenv("CI") ? ::testing::TestPartResult::kFatalFailure : ::testing::TestPartResult::kSkip)
