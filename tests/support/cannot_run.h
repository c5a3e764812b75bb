// Tests that need something this machine may lack (a locale, a tool) end
// through KIVANIME_CANNOT_RUN_HERE, with the reason:
//
//     if (!found) {
//         KIVANIME_CANNOT_RUN_HERE() << "no locale with a decimal comma is installed";
//     }
//
// On a developer's machine the test is skipped and says why. With
// KIVANIME_NO_SKIP=1 in the environment (continuous integration sets it) the
// test fails instead, so that nothing goes unchecked there without a word.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace kivanime::test {

inline bool SkipsAreFailures() {
    const char* value = std::getenv("KIVANIME_NO_SKIP");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace kivanime::test

#define KIVANIME_CANNOT_RUN_HERE()                                                        \
    return GTEST_MESSAGE_(::kivanime::test::SkipsAreFailures()                            \
                              ? "cannot run here, and KIVANIME_NO_SKIP=1 forbids a skip:" \
                              : "cannot run here:",                                       \
                          ::kivanime::test::SkipsAreFailures()                            \
                              ? ::testing::TestPartResult::kFatalFailure                  \
                              : ::testing::TestPartResult::kSkip)
