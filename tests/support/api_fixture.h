// Base fixture for tests of the C interface: a clean library (no instances,
// no models, ids from 1, no global wind) with the recording host installed,
// a scratch folder for model, motion and expression files, and a small
// script language for runs of "call, update, check the draw records".
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "kivanime.h"
#include "support/scratch_dir.h"

namespace kivanime::test {

// Body (label 1, rest position (10, 20)) and arm (label 2, rest (-5, 0)),
// showing textures t0 and t1 (handles 100 and 101 by default); t2 is
// there to swap to.
inline constexpr const char* kBodyArmModel = R"({
    "textures": {"t0": "t0.png", "t1": "t1.png", "t2": "t2.png"},
    "parts": [
        {"name": "body", "texture": "t0", "position": [10, 20], "srcRect": [1, 0, 8, 8]},
        {"name": "arm", "texture": "t1", "position": [-5, 0], "srcRect": [2, 0, 8, 8],
         "drawOrder": 1}]})";

// A host that records every texture load (with its UTF-16 path), every
// release and every draw record, and lets a test choose the handles it
// returns or run code inside a host call.
struct RecordingHost {
    // The one recorder behind the plain C callbacks, and the four host
    // functions pointing at it.
    static RecordingHost& Get();
    AnimeHostCallbacks callbacks() const;
    // A mesh function: its record goes to `draws` too (so the drawing order
    // shows), the call to `meshes`.
    static AnimeDrawMeshFn meshCallback();
    void reset() { *this = RecordingHost(); }
    // The load paths in UTF-8 (ASCII paths read as they were written).
    std::vector<std::string> loadedPathsUtf8() const;

    std::vector<std::u16string> loads;
    std::vector<int32_t> releases;
    std::vector<AnimeDrawParams> draws;
    struct MeshCall {
        size_t draw;  // index of its record in `draws`
        std::vector<AnimeMeshVertex> vertices;
        std::vector<uint16_t> indices;
    };
    std::vector<MeshCall> meshes;
    // Decides the handle for each load; by default 100, 101, 102, ...
    std::function<int32_t(const std::u16string&)> onLoad;
    // Run inside every draw or release call, after recording (re-entry tests).
    std::function<void(const AnimeDrawParams&)> onDraw;
    std::function<void(int32_t)> onRelease;
    int32_t nextHandle = 100;
};

class ApiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    RecordingHost& host() { return RecordingHost::Get(); }

    // Writes `content` to a file under this test's scratch folder (creating
    // sub-folders in `relativePath`) and returns its path.
    std::string writeFile(const std::string& relativePath, const std::string& content) {
        return scratch_.Write(relativePath, content);
    }

    // Writes a model file and loads it under `modelName`; fails the test if
    // the load fails.
    void loadModel(const std::string& modelName, const std::string& json);

    // Clears the host's records, updates by dt and renders.
    void updateAndRender(float dt);
    // Clears the host's records (draws and meshes) and renders without an
    // update.
    void render();

    // The record whose srcX is `label` (parts are told apart that way), or
    // null when no such part was drawn.
    const AnimeDrawParams* drawn(float label) const;

    // Runs `steps`, separated by ';', on the current instance `id_`:
    //   new M | new! M          create an instance of M (it becomes current)
    //                           or check that creation fails
    //   id N                    make N the current id
    //   play M S | play! M S    play motion M at speed S, or check a refusal
    //   ov M S W | ov! M S W    overlay; stop, stopov M, stopall
    //   xf M S F, q M S F       cross-fade or queue motion M at speed S over F
    //                           ms; fo M W F fades overlay M to weight W
    //                           (each with ! for a refusal)
    //   expr E | expr! E        set an expression, or check a refusal; clear
    //   pos X Y, scale X Y, alpha A, vis V, order N, wind X Y, gwind X Y,
    //   reset, 3d ON PX PY F CX CY, angles Y P R, strength D P, destroy
    //   u DT                    update by DT and render; r renders only,
    //                           up DT updates only
    //   L.F V | L.F~ V | L.F= V   check field F (x y r sx sy a tex) of the
    //                           record labelled L: exactly, to 1e-3 or to 4
    //                           ulps; L.F in LO HI: within [LO, HI);
    //                           L.tint HEX: reserved2
    //   draws L,L,...           the labels drawn, in order ("-" for none)
    //   playing B, finished B, count N
    //   ev WORDS | ev -         the last update's events (EventWords)
    // Anything else goes to `extra`, which returns false for unknown steps.
    void run(const std::string& steps,
             const std::function<bool(const std::string&, std::istringstream&)>& extra = {});

    ScratchDir scratch_{"kivanime-tests-api"};
    std::string dir_ = scratch_.path().generic_string() + "/";
    uint32_t id_ = 0;
};

// The entries of the last Anime_Update, one word each: source (m or o),
// motion, what (an event's name, lapN or end), time and lateMs, as in
// "m:walk/step@400~16.5 m:walk/lap1@800~0"; "-" for none.
std::string EventWords();

// Bit pattern of a float, for exact comparisons that also tell -0 from +0.
inline uint32_t Bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

}  // namespace kivanime::test
