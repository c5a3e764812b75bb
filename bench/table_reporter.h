// Prints the usual console output and keeps, per benchmark, the median of
// its repetitions (or its only run), from which it writes the summary table:
// ns per part per frame, ratios to the floor, scaling from 1 to 1,000
// instances, allocations per frame, loading speed, and the targets.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace kivanime::bench {

class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // The summary in Markdown; `allMet` tells whether every target was met.
    std::string Markdown(bool& allMet) const;

private:
    struct Row {
        std::map<std::string, double> counters;
        bool median = false;
    };
    double counter(const std::string& name, const std::string& counterName) const;
    // A case's ns per part over its floor's at the same instance count.
    double ratio(const std::string& base, const std::string& instances) const;
    std::map<std::string, Row> rows_;
};

}  // namespace kivanime::bench
