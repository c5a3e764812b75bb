// The parameter values of one instance: what the host set, what the last
// update used, and the drivers that move them.
#pragma once

#include <cstddef>
#include <vector>

#include "model/parameter_set.h"
#include "runtime/parameter_drivers.h"

namespace kivanime {

struct ParameterValues {
    std::vector<float> host;  // per parameter: the host's value, persisting
    std::vector<float> used;  // per parameter: what the last update used
    ParameterDrivers drivers;
    bool updated = false;  // whether an update has used them yet

    // The value a host reads: the last update's, or before any the host's.
    float reported(size_t index) const { return updated ? used[index] : host[index]; }
};

// Every host value at its default, nothing driven.
void InitializeParameterValues(ParameterValues& values, const ParameterSet& parameters);

// Stores the host's value of parameter `index`, clamped into its range.
void SetHostValue(ParameterValues& values, const ParameterSet& parameters, int32_t index,
                  float value);

// Every host value back to its default (drivers keep going).
void ResetHostValues(ParameterValues& values, const ParameterSet& parameters);

}  // namespace kivanime
