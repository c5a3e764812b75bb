#include "table_reporter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace kivanime::bench {

namespace {

std::string Format(const char* format, double value) {
    if (std::isnan(value)) {
        return "n/a";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// Appends " text |": one table cell. (Built with appends only: GCC 12 warns
// falsely about `"literal" + std::string` temporaries.)
void Cell(std::string& out, const std::string& text) {
    out += ' ';
    out += text;
    out += " |";
}

}  // namespace

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        const bool median = run.run_type == Run::RT_Aggregate;
        if (median && run.aggregate_name != "median") {
            continue;
        }
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) {
            name += "/" + run.run_name.args;
        }
        Row& row = rows_[name];
        if (row.median && !median) {
            continue;
        }
        row.median = median;
        row.counters.clear();
        for (const auto& [key, value] : run.counters) {
            row.counters[key] = value.value;
        }
    }
}

double TableReporter::counter(const std::string& name, const std::string& counterName) const {
    auto row = rows_.find(name);
    if (row == rows_.end()) {
        return NAN;
    }
    auto value = row->second.counters.find(counterName);
    return value == row->second.counters.end() ? NAN : value->second;
}

double TableReporter::ratio(const std::string& base, const std::string& instances) const {
    // Medians over medians: each figure and its floor are medians of the
    // same run, whatever order the repetitions ran in.
    const double ns = counter(base + "/" + instances, "ns_per_part");
    const double update = counter("Floor_Update/" + instances, "ns_per_part");
    const double draw = counter("Floor_Draw/" + instances, "ns_per_part");
    if (base == "Floor_Update" || base == "Floor_Draw") {
        return 1.0;
    }
    if (base == "Update" || base == "UpdateMotion" || base == "UpdateCrossFade" ||
        base == "UpdateOffsets") {
        return ns / update;
    }
    if (base == "Frame3D") {
        return ns / (update + draw);
    }
    return ns / draw;
}

std::string TableReporter::Markdown(bool& allMet) const {
    allMet = true;
    std::string out;
    out +=
        "| Case | ns/part, 1 | x floor | ns/part, 100 | x floor | ns/part, 1,000 | x floor | "
        "1,000 vs 1 | allocs/frame |\n";
    out += "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    const char* const kFrameCases[] = {"Floor_Update", "Floor_Draw",      "Update",
                                       "UpdateMotion", "UpdateCrossFade", "UpdateOffsets",
                                       "Render",       "RenderBlend",     "Render3D",
                                       "Render3DSame", "Render3DCurved",  "Frame3D"};
    for (const char* c : kFrameCases) {
        const std::string base = c;
        out += '|';
        Cell(out, base);
        double maxAllocs = 0.0;
        for (const char* n : {"1", "100", "1000"}) {
            const std::string name = base + "/" + n;
            Cell(out, Format("%.2f", counter(name, "ns_per_part")));
            Cell(out, Format("%.2f", ratio(base, n)));
            const double allocs = counter(name, "allocs_per_frame");
            if (!std::isnan(allocs) && allocs > maxAllocs) {
                maxAllocs = allocs;
            }
        }
        const double scale =
            counter(base + "/1000", "ns_per_part") / counter(base + "/1", "ns_per_part");
        Cell(out, Format("%.2f", scale));
        Cell(out, Format("%.3g", maxAllocs));
        out += '\n';
    }

    out += "\n| Case | 1 | 100 | 1,000 |\n|---|---:|---:|---:|\n";
    out += "| CreateDestroy, ns per instance |";
    for (const char* n : {"1", "100", "1000"}) {
        std::string name = "CreateDestroy/";
        name += n;
        Cell(out, Format("%.0f", counter(name, "ns_per_instance")));
    }
    out += "\n| MeshDeform, ns per mesh vertex (a motion bending it, placed, handed over) |";
    Cell(out, "n/a");
    Cell(out, "n/a");
    Cell(out, Format("%.2f", counter("MeshDeform/1000", "ns_per_vertex")));
    out += "\n| MaskClip, ns per masked part (a quad cut by a 16-triangle mask, handed over) |";
    Cell(out, "n/a");
    Cell(out, "n/a");
    Cell(out, Format("%.0f", counter("MaskClip/1000/0", "ns_per_clip")));
    out += "\n| MaskClip in 3D, ns per masked part |";
    Cell(out, "n/a");
    Cell(out, "n/a");
    Cell(out, Format("%.0f", counter("MaskClip/1000/1", "ns_per_clip")));
    out += "\n\n| Heap memory (the counting operator new) | bytes |\n|---|---:|\n";
    out += "| per instance of the bench character |";
    Cell(out, Format("%.0f", counter("Memory", "bytes_per_instance")));
    out += "\n| per model (the character with two motions and an expression) |";
    Cell(out, Format("%.0f", counter("Memory", "bytes_per_model")));
    out +=
        "\n\n| Loading (generated files of about 2 MB; the sample puppet's model, 8 KB) | MB/s "
        "| allocations per load |\n"
        "|---|---:|---:|\n";
    for (const char* c :
         {"LoadModel", "LoadCrowdModel", "LoadHeroModel", "LoadMotion", "LoadExpression"}) {
        out += '|';
        Cell(out, c);
        Cell(out, Format("%.1f", counter(c, "MB_per_s")));
        Cell(out, Format("%.0f", counter(c, "allocs_per_load")));
        out += '\n';
    }

    struct Target {
        std::string text;
        double value;
        double limit;
        bool atMost;
        const char* format;
    };
    auto scale = [&](const char* c) {
        return counter(std::string(c) + "/1000", "ns_per_part") /
               counter(std::string(c) + "/1", "ns_per_part");
    };
    const char* const kTimed[] = {
        "Update",      "UpdateMotion", "UpdateCrossFade", "UpdateOffsets",  "Render",
        "RenderBlend", "Render3D",     "Render3DSame",    "Render3DCurved", "Frame3D"};
    double allocs = counter("MeshDeform/1000", "allocs_per_frame");
    allocs = std::isnan(allocs) ? 0.0 : allocs;
    for (const char* c : {"MaskClip/1000/0", "MaskClip/1000/1"}) {
        const double clip = counter(c, "allocs_per_frame");
        allocs = std::isnan(clip) ? allocs : std::max(allocs, clip);
    }
    for (const char* c : kTimed) {
        for (const char* n : {"1", "100", "1000"}) {
            const double a = counter(std::string(c) + "/" + n, "allocs_per_frame");
            if (!std::isnan(a)) {
                allocs = std::max(allocs, a);
            }
        }
    }
    std::vector<Target> targets = {
        {"Anime_Update, main motion only, at 1,000 instances, x update floor",
         ratio("UpdateMotion", "1000"), 1.3, true, "%.2f"},
        {"Anime_Update, full load, at 1,000 instances, x update floor", ratio("Update", "1000"),
         1.8, true, "%.2f"},
        {"Anime_Render (parallax off) at 1,000 instances, x draw floor", ratio("Render", "1000"),
         1.0, true, "%.2f"},
        {"Anime_Render (parallax on, spread angles) at 1,000 instances, x draw floor",
         ratio("Render3D", "1000"), 3.0, true, "%.2f"},
        {"Anime_Render (parallax on, same angles) at 1,000 instances, x draw floor",
         ratio("Render3DSame", "1000"), 3.0, true, "%.2f"},
        {"Anime_Update, main motion in a cross-fade, at 1,000 instances, x without one",
         counter("UpdateCrossFade/1000", "ns_per_part") /
             counter("UpdateMotion/1000", "ns_per_part"),
         2.0, true, "%.2f"},
    };
    for (const char* c : kTimed) {
        std::string text = c;
        text += " per part, 1,000 instances vs 1";
        targets.push_back({text, scale(c), 1.1, true, "%.2f"});
    }
    // Offsets from game code on every part cost little on top of the full load.
    const std::pair<const char*, const char*> kCounts[] = {
        {"1", "1 instance"}, {"100", "100 instances"}, {"1000", "1,000 instances"}};
    for (const auto& [n, label] : kCounts) {
        targets.push_back({std::string("Anime_Update with an offset on every part, at ") + label +
                               ", x full load",
                           counter(std::string("UpdateOffsets/") + n, "ns_per_part") /
                               counter(std::string("Update/") + n, "ns_per_part"),
                           1.05, true, "%.2f"});
    }
    targets.push_back({"Bending and placing a mesh, ns per vertex per frame, 1,000 instances",
                       counter("MeshDeform/1000", "ns_per_vertex"), 2.0, true, "%.2f"});
    targets.push_back(
        {"A binding of one parameter (position, rotation), ns per update, 100 instances",
         counter("BindingOne/100", "ns_per_binding"), 10.0, true, "%.2f"});
    targets.push_back({"A binding of two parameters (3 x 3 grid), ns per update, 100 instances",
                       counter("BindingTwo/100", "ns_per_binding"), 20.0, true, "%.2f"});
    targets.push_back({"A deform binding, ns per vertex per update, 100 instances",
                       counter("BindingDeform/100", "ns_per_vertex"), 2.0, true, "%.2f"});
    for (const char* c : {"BindingOne/100", "BindingTwo/100", "BindingDeform/100"}) {
        const double a = counter(c, "allocs_per_frame");
        if (!std::isnan(a)) {
            allocs = std::max(allocs, a);
        }
    }
    targets.push_back(
        {"The hero with its bindings and three drivers, Anime_Update, x the hero "
         "without them",
         counter("HeroUpdateFaces", "x_plain"), 1.4, true, "%.2f"});
    targets.push_back(
        {"A quad clipped by a 16-triangle mask, ns per masked part per frame, 1,000 "
         "instances",
         counter("MaskClip/1000/0", "ns_per_clip"), 1000.0, true, "%.0f"});
    targets.push_back(
        {"Anime_Render with every part in a blend mode at 1,000 instances, x without",
         counter("RenderBlend/1000", "ns_per_part") / counter("Render/1000", "ns_per_part"), 1.1,
         true, "%.2f"});
    targets.push_back({"Heap allocations per frame after the first (most of any case)", allocs, 0.0,
                       true, "%.3g"});
    targets.push_back({"Heap bytes per instance of the bench character",
                       counter("Memory", "bytes_per_instance"), 4096.0, true, "%.0f"});
    targets.push_back(
        {"Model loading, MB/s", counter("LoadModel", "MB_per_s"), 100.0, false, "%.1f"});
    targets.push_back({"Model loading, one value a line (6,000 parts), MB/s",
                       counter("LoadCrowdModel", "MB_per_s"), 100.0, false, "%.1f"});
    out += "\n| Target | Limit | Measured | Met |\n|---|---:|---:|---|\n";
    for (const Target& t : targets) {
        const bool met =
            !std::isnan(t.value) && (t.atMost ? t.value <= t.limit : t.value >= t.limit);
        allMet = allMet && met;
        out += '|';
        Cell(out, t.text);
        Cell(out, (t.atMost ? "<= " : ">= ") + Format(t.format, t.limit));
        Cell(out, Format(t.format, t.value));
        Cell(out, met ? "yes" : "**no**");
        out += '\n';
    }
    return out;
}

}  // namespace kivanime::bench
