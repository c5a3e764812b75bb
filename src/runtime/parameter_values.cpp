#include "runtime/parameter_values.h"

namespace kivanime {

void InitializeParameterValues(ParameterValues& values, const ParameterSet& parameters) {
    const size_t count = parameters.list.size();
    values.host.resize(count);
    ResetHostValues(values, parameters);
    values.used = values.host;
    values.updated = false;
    InitializeDrivers(values.drivers, count);
}

void SetHostValue(ParameterValues& values, const ParameterSet& parameters, int32_t index,
                  float value) {
    const size_t i = static_cast<size_t>(index);
    values.host[i] = ClampToRange(parameters.list[i], value);
}

void ResetHostValues(ParameterValues& values, const ParameterSet& parameters) {
    for (size_t i = 0; i < values.host.size(); ++i) {
        values.host[i] = parameters.list[i].def;
    }
}

}  // namespace kivanime
