// Runs a scripted sequence of C-interface calls (one per line: any exported
// function's name without its prefix, then its arguments; "-" is a NULL
// string) and
// prints every line, result, texture call and draw record, floats as bit
// patterns. The browser test (sequence.txt through the JavaScript module) and
// the C# test (its script through the bindings) must print the same lines.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "kivanime.h"
#include "kivanime_export_names.h"

// Every export is referenced weakly, so that a build of an older commit,
// which lacks the newest exports, still runs the scripts that do not call
// them (scripts/compare-records.sh); calling one it lacks stops the program.
#define KIVANIME_PRAGMA(text) _Pragma(#text)
#define KIVANIME_WEAK(name) KIVANIME_PRAGMA(weak name)
KIVANIME_FOR_EACH_EXPORT(KIVANIME_WEAK)
#undef KIVANIME_WEAK

namespace {

int32_t nextHandle = 0;

// Prints `count` 32-bit words after `tag`, in hexadecimal.
void PrintWords(const char* tag, const void* data, size_t count) {
    std::printf("%s", tag);
    for (size_t i = 0; i < count; ++i) {
        uint32_t word;
        std::memcpy(&word, static_cast<const char*>(data) + 4 * i, 4);
        std::printf(" %08x", word);
    }
    std::printf("\n");
}

// Handles count up from 0; a path with "refuse" in it is refused.
int32_t LoadTexture(const uint16_t* path) {
    std::string text;
    for (; *path; ++path) {
        text += *path < 0x80 ? static_cast<char>(*path) : '?';
    }
    const int32_t handle = text.find("refuse") != std::string::npos ? -1 : nextHandle++;
    std::printf("load %s -> %d\n", text.c_str(), handle);
    return handle;
}

const AnimeHostCallbacks kHost = {
    LoadTexture, [](int32_t texture) { std::printf("release %d\n", texture); }, nullptr,
    [](const AnimeDrawParams* params) { PrintWords("draw", params, 16); }};

// A mesh function that prints the record, the vertices and the indices.
void DrawMesh(const AnimeDrawParams* params, const AnimeMeshVertex* vertices, int32_t count,
              const uint16_t* indices, int32_t indexCount) {
    PrintWords("mesh", params, 16);
    PrintWords("vertices", vertices, 4 * static_cast<size_t>(count));
    std::printf("indices");
    for (int32_t k = 0; k < indexCount; ++k) {
        std::printf(" %u", static_cast<unsigned>(indices[k]));
    }
    std::printf("\n");
}

// One script line's words, taken in order as the arguments of the call.
// Pointers to floats are the call's outputs, one float each (a part's
// transform: an array of six); an event pointer is an event record ("-" a
// NULL one). Samples given to the call are a word of comma-separated numbers
// repeated to the count that follows it ("0.5,-0.5 800": 800 samples), "-"
// for NULL.
struct Args {
    std::vector<std::string> words;
    size_t next = 0;
    float out[6] = {};
    size_t outs = 0;
    AnimeEvent event{};
    bool eventOut = false;
    AnimeMeshVertex mesh[64] = {};  // a mesh's vertices
    bool meshOut = false;
    std::vector<float> samples;

    template <typename T>
    T Take() {
        if constexpr (std::is_same_v<T, const AnimeHostCallbacks*>) {
            // "Init" alone hands the recording host over; "Init -" a NULL table.
            return next < words.size() && words[next++] == "-" ? nullptr : &kHost;
        } else if constexpr (std::is_same_v<T, float*>) {
            return &out[outs++];
        } else if constexpr (std::is_same_v<T, const float*>) {
            const std::string& word = words.at(next++);
            if (word == "-") {
                return nullptr;
            }
            std::vector<float> pattern;
            std::istringstream numbers(word);
            for (std::string number; std::getline(numbers, number, ',');) {
                pattern.push_back(std::strtof(number.c_str(), nullptr));
            }
            const long long count = next < words.size() ? std::stoll(words[next]) : 0;
            for (long long i = 0; i < std::max<long long>(count, 1); ++i) {
                samples.push_back(
                    pattern.empty() ? 0.0f : pattern[static_cast<size_t>(i) % pattern.size()]);
            }
            return samples.data();
        } else if constexpr (std::is_same_v<T, AnimeEvent*>) {
            eventOut = next >= words.size() || words[next++] != "-";
            return eventOut ? &event : nullptr;
        } else if constexpr (std::is_same_v<T, AnimeMeshVertex*>) {
            meshOut = true;
            return mesh;
        } else if constexpr (std::is_same_v<T, AnimeDrawMeshFn>) {
            // "SetMeshCallback -" takes NULL, any other word the printing one.
            return words.at(next++) == "-" ? nullptr : &DrawMesh;
        } else if constexpr (std::is_same_v<T, const char*>) {
            const std::string& word = words.at(next++);
            return word == "-" ? nullptr : word.c_str();
        } else if constexpr (std::is_same_v<T, float>) {
            return std::strtof(words.at(next++).c_str(), nullptr);
        } else if constexpr (std::is_pointer_v<T>) {
            // A task system's functions and context: a script has none to give.
            ++next;
            return nullptr;
        } else {
            return static_cast<T>(std::stoll(words.at(next++)));
        }
    }
};

// Calls `function` with the line's words and prints its result and outputs.
template <typename R, typename... P>
void Play(const char* name, R (*function)(P...), Args& a) {
    if (function == nullptr) {
        std::printf("= not exported\n");
        return;
    }
    const std::tuple<P...> args{a.Take<P>()...};  // braces take the words in order
    long long result = 0;
    if constexpr (std::is_void_v<R>) {
        std::apply(function, args);
    } else if constexpr (std::is_pointer_v<R>) {
        const char* text = std::apply(function, args);
        std::printf("= %s\n", text != nullptr ? text : "(null)");
    } else {
        result = static_cast<long long>(std::apply(function, args));
        std::printf("= %lld\n", result);
    }
    if (a.outs > 0) {
        PrintWords("=", a.out, std::strcmp(name, "Anime_GetPartTransform") == 0 ? 6 : a.outs);
    }
    if (a.eventOut) {
        PrintWords("=", &a.event, sizeof a.event / 4);
    }
    if (a.meshOut) {
        PrintWords("=", a.mesh, 4 * static_cast<size_t>(std::clamp(result, 0LL, 64LL)));
    }
}

// Every export, by its name without the prefix.
#define KIVANIME_ENTRY(name) {#name + 6, [](Args& a) { Play(#name, &name, a); }},
const std::map<std::string, void (*)(Args&)> kCalls = {KIVANIME_FOR_EACH_EXPORT(KIVANIME_ENTRY)};
#undef KIVANIME_ENTRY

}  // namespace

int main(int argc, char** argv) {
    std::ifstream script(argc == 2 ? argv[1] : "");
    if (!script) {
        std::fprintf(stderr, "usage: record_sequence SCRIPT (a readable file)\n");
        return 2;
    }
    for (std::string line; std::getline(script, line);) {
        std::istringstream in(line);
        std::string call;
        if (in >> call && call[0] != '#') {
            std::printf("%s\n", line.c_str());
            // An unknown call ends the program (std::out_of_range).
            Args args;
            args.words.assign(std::istream_iterator<std::string>(in), {});
            kCalls.at(call)(args);
        }
    }
    return 0;
}
