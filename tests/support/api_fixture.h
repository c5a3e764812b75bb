// Base fixture for tests of the C interface: a clean library (no instances,
// no models, ids from 1, no global wind) with the recording host installed,
// and a scratch folder for model, motion and expression files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "kivanime.h"
#include "support/recording_host.h"

namespace kivanime::test {

class ApiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    RecordingHost& host() { return RecordingHost::Get(); }

    // Writes `content` to a file under this test's scratch folder (creating
    // sub-folders in `relativePath`) and returns its path.
    std::string writeFile(const std::string& relativePath, const std::string& content);

    // Writes a model file and loads it under `modelName`; fails the test if
    // the load fails.
    void loadModel(const std::string& modelName, const std::string& json);

    // Clears the host's records, updates by dt and renders.
    void updateAndRender(float dt);

    std::string dir_;
};

// Bit pattern of a float, for exact comparisons that also tell -0 from +0.
inline uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace kivanime::test
