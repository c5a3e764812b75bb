// The fuzz harnesses, one per program: KIVANIME_FUZZ_TARGET names the one
// this build runs. "json" gives the JSON reader arbitrary bytes; "model",
// "motion" and "expression" drive such a file through the C interface, with
// a host that checks every call (support/checking_host.h, refusing some
// textures so that parts without one are exercised too) and instances
// already using what a load replaces; "parameters" reads the bytes as a
// script of calls that set, read and drive the base model's parameters.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_diagnostics.h"
#include "json/json_parser.h"
#include "kivanime.h"
#include "support/checking_host.h"
#include "support/json_print.h"
#include "support/run_program.h"

namespace {

using kivanime::JsonValue;
namespace host = kivanime::test::checking_host;

// Stops the process with a message, so that libFuzzer keeps the input.
void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "kivanime fuzz check failed: %s\n", what);  // unbuffered
        std::abort();
    }
}

// Shuts down, checking that every texture handed out came back exactly once
// and that the host saw no wrong call.
void Finish() {
    Anime_Shutdown();
    Check(Anime_GetInstanceCount() == 0, "instances left after shutdown");
    Check(host::live.empty(), "textures not released after shutdown");
    Check(host::faults == 0, "the host was called wrongly (see support/checking_host.h)");
}

void Start() {
    Finish();
    Anime_SetGlobalWind(0.0f, 0.0f);
    host::refuseEvery = 5;
    Anime_Init(&host::kHost);
}

// The names under `key` in a model (at most `limit`), read with the
// library's own reader: an object's keys (its inline motions or expressions)
// or the "name" of each element of an array (its parts).
std::vector<std::string> Names(std::string_view json, std::string_view key, size_t limit) {
    std::vector<std::string> names;
    const JsonValue root = kivanime::ParseJson(json);
    const JsonValue& table = root.get(key);
    for (size_t i = 0; i < table.size() && i < limit; ++i) {
        names.push_back(table.isObject() ? table.members.keyAt(i)
                                         : table.at(i).get("name").asString(""));
    }
    return names;
}

// Whether the model's part of that name (the last one) is clipped: its
// "clip" names another part.
bool IsClipped(std::string_view json, const std::string& part) {
    const JsonValue parts = kivanime::ParseJson(json).get("parts");
    std::string clip;
    for (const JsonValue& p : parts.elements) {
        clip = p.get("name").asString("") == part ? p.get("clip").asString("") : clip;
    }
    return !clip.empty() && clip != part &&
           std::ranges::count(Names(json, "parts", SIZE_MAX), clip) > 0;
}

// Every value can be traced back to its place in the text, every member is
// found under its own key, and the numeric reads and the element lookup
// never fail (a cast out of range or a read past the end would be caught by
// the sanitizers).
void Walk(const JsonValue& value, const kivanime::JsonSourceMap& map, size_t size, bool isMember) {
    const kivanime::JsonSourceNode* node = map.find(value);
    Check(node != nullptr && node->offset <= size && (!isMember || node->keyOffset < size),
          "value without its place in the text");
    (void)value.asInt(7);
    (void)value.asFloat(7.0f);
    (void)value.at(0);
    for (const JsonValue& element : value.elements) {
        Walk(element, map, size, false);
    }
    for (size_t i = 0; i < value.members.size(); ++i) {
        const JsonValue& member = value.members.valueAt(i);
        Check(value.members.find(value.members.keyAt(i)) == &member &&
                  &value.get(value.members.keyAt(i)) == &member,
              "object member not found under its key");
        Walk(member, map, size, true);
    }
}

// The reader returns a value for anything, the same with and without
// diagnostics, and reports issues that lie inside the text.
void FuzzJson(std::string_view text) {
    kivanime::JsonDiagnostics diagnostics;
    const JsonValue traced = kivanime::ParseJson(text, &diagnostics);
    Check(kivanime::test::JsonText(kivanime::ParseJson(text)) == kivanime::test::JsonText(traced),
          "diagnostics changed the parsed value");
    for (size_t i = 0; i < diagnostics.issues.size(); ++i) {
        const kivanime::JsonIssue& issue = diagnostics.issues[i];
        Check(issue.offset <= text.size() && issue.length <= text.size() - issue.offset,
              "issue outside the text");
        // Each position scans the text from its start: a few are enough.
        if (i < 4) {
            (void)kivanime::TextPositionOf(text, issue.offset);
        }
    }
    Walk(traced, kivanime::JsonSourceMap(traced, diagnostics.root), text.size(), false);
}

// The entries of the last update are well formed: from a live instance, of
// a known kind and source, on time, with their three texts.
void CheckEvents() {
    const int32_t count = Anime_GetEventCount();
    Check(count >= 0 && count <= 4096, "event count out of bounds");
    for (int32_t i = 0; i < count; ++i) {
        AnimeEvent e{};
        Check(Anime_GetEvent(i, &e) == 1, "event in range not readable");
        Check(e.instance != 0 && e.instance < 8 && e.kind >= 0 && e.kind <= 2 &&
                  (e.source == 0 || e.source == 1) && e.lateMs >= 0.0f && e.reserved == 0,
              "event record malformed");
        Check(Anime_GetEventText(i, 0) && Anime_GetEventText(i, 1) && Anime_GetEventText(i, 2),
              "event text missing");
    }
    Check(Anime_GetEventText(count, 0) == nullptr, "event text past the end");
}

// Every parameter of a live instance: listed by name (and nothing past the
// list), with bounds in order around its default, and a value inside them.
void CheckParameters(uint32_t id) {
    const int32_t count = Anime_GetParameterCount(id);
    Check(count >= 0 && Anime_GetParameterName(id, count) == nullptr &&
              Anime_GetParameterName(id, -1) == nullptr,
          "parameter list out of bounds");
    for (int32_t i = 0; i < count; ++i) {
        const char* name = Anime_GetParameterName(id, i);
        float lo = NAN, hi = NAN, def = NAN, value = NAN;
        Check(name != nullptr && Anime_GetParameterRange(id, name, &lo, &hi, &def) == 1 &&
                  Anime_GetParameter(id, name, &value) == 1,
              "listed parameter not readable by its name");
        // Infinite bounds are kept as the file gives them (only NaN ones are
        // repaired); the drivers must still never make a value NaN.
        Check(lo <= def && def <= hi, "parameter range out of order");
        Check(value >= lo && value <= hi, "parameter value outside its range");
    }
}

// The game, the drivers and a voice on the first parameters (at most four)
// of the model: every call with a name the library lists must be taken.
void DriveParameters(uint32_t a, uint32_t b) {
    for (int32_t i = 0; i < Anime_GetParameterCount(a) && i < 4; ++i) {
        const char* name = Anime_GetParameterName(a, i);
        Check(Anime_SetParameter(a, name, 0.7f) == 1 && Anime_SetParameter(b, name, -1e30f) == 1 &&
                  Anime_SetAutoBlink(b, name, 90.0f, 40.0f) == 1 &&
                  Anime_SetBreath(a, name, 300.0f, 0.3f) == 1 &&
                  Anime_SetLipSync(b, name, 4.0f) == 1,
              "a listed parameter refused a valid call");
    }
    const float voice[] = {0.5f, -0.25f, 1.0f, -1.0f, NAN, 0.0f, INFINITY, 0.125f};
    Check(Anime_FeedAudio(b, voice, 8, 16000) == 1 && Anime_FeedAudio(a, nullptr, 0, 8000) == 1,
          "audio refused");
}

// What game code changes: each skin of the model (at most three) is put on,
// and each of its first parts gets its texture, an offset and a tint, some
// of them out of range.
void Steer(std::string_view json, uint32_t a, uint32_t b) {
    const JsonValue skins = kivanime::ParseJson(json).get("skins");
    Anime_SetTint(a, 0.5f, 2.0f, std::nanf(""));
    for (size_t i = 0; i < skins.members.size() && i < 3; ++i) {
        Anime_SetSkin(a, skins.members.keyAt(i).c_str());
        const JsonValue& skin = skins.members.valueAt(i);
        for (size_t k = 0; k < skin.members.size() && k < 3; ++k) {
            const char* part = skin.members.keyAt(k).c_str();
            Anime_SetPartTexture(b, part, skin.members.valueAt(k).asString("x").c_str());
            Anime_SetPartOffset(a, part, 3.0f, -2.0f, 0.5f, 1.5f, -1.0f, 0.8f);
            Anime_SetPartOffset(b, part, 1e30f, 0.0f, -1e30f, 0.0f, 1.0f, 2.0f);
            Anime_SetPartTint(b, part, -1.0f, 0.25f, 1.0f);
        }
    }
}

// Two instances play the named motions (the first also as overlays, faded
// and cross-faded, the second queued after them) and expressions, run a
// handful of frames with assorted time steps (halfway through, the 3D
// parallax is switched on for the second, the wind rises and game code
// steers parts), checking the events of each and reading the meshes of
// `parts` on both, and stop them.
void Exercise(const std::vector<std::string>& motions, const std::vector<std::string>& expressions,
              const std::vector<std::string>& parts, std::string_view model = "") {
    const uint32_t a = Anime_CreateInstance("m");
    Anime_SetMeshCallback(&host::DrawMesh);  // the second draws its meshes
    const uint32_t b = Anime_CreateInstance("m");
    Anime_SetMeshCallback(nullptr);
    Check(a != 0 && b != 0, "no instance from a loaded model");
    for (const std::string& motion : motions) {
        Anime_PlayOverlay(a, motion.c_str(), -0.5f, 0.5f);
        Anime_FadeOverlay(a, motion.c_str(), 0.0f, -1.0f);
        Anime_CrossFadeMotion(a, motion.c_str(), 2.0f, -1.0f);
        Anime_PlayMotion(b, motion.c_str(), 1.5f);
        Anime_QueueMotion(b, motion.c_str(), 0.5f, 40.0f);
    }
    for (const std::string& expression : expressions) {
        Anime_SetExpression(b, expression.c_str());
    }
    Anime_SetWind(a, 2.0f, 0.0f);
    Anime_SetAlpha(b, 0.5f);
    Anime_SetScale(b, -1.0f, 2.0f);
    std::vector<bool> clipped;
    for (const std::string& part : parts) {
        clipped.push_back(IsClipped(model, part));
    }
    int frame = 0;
    for (float dt : {0.0f, 16.0f, 33.3f, 1.0e-3f, 250.0f, 16.0f, 5000.0f, 16.0f, -1.0f}) {
        if (frame++ == 3) {
            Anime_Set3DSetup(b, 1, 10.0f, -20.0f, 800.0f, 120.0f, 60.0f);
            Anime_Set3DAngles(b, 25.0f, -10.0f, 5.0f);
            Anime_SetGlobalWind(0.5f, -0.25f);
            Steer(model, a, b);
            DriveParameters(a, b);
        } else if (dt < 0.0f) {
            Anime_ClearExpression(b);
            Anime_StopAllOverlays(a);
            Anime_StopMotion(b);
            Anime_SetSkin(a, nullptr);
            Anime_ClearPartOffsets(b);
        }
        Anime_Update(dt < 0.0f ? 16.0f : dt);
        CheckEvents();
        CheckParameters(a);
        CheckParameters(b);
        Anime_Render();
        // A mesh read whole and in part, on both instances (the first one
        // cross-fades): never more than asked, and as many as the part has
        // every time.
        for (size_t k = 0; k < parts.size(); ++k) {
            const std::string& part = parts[k];
            for (const uint32_t id : {a, b}) {
                AnimeMeshVertex vertices[8];
                const int32_t count = Anime_GetPartMesh(id, part.c_str(), nullptr, 0);
                Check(count >= 0 && Anime_GetPartMesh(id, part.c_str(), vertices, 8) == count,
                      "mesh vertex count changed");
                Check(count % 3 == 0 || !clipped[k], "a masked part's mesh is not a triangle list");
            }
        }
    }
    Anime_DestroyInstance(a);
}

// A model file: loaded, its own motions and expressions played, unloaded.
void FuzzModel(std::string_view text) {
    Start();
    if (Anime_LoadModelFromMemory("m", text.data(), static_cast<int32_t>(text.size()), "tex") ==
        1) {
        Exercise(Names(text, "motions", 3), Names(text, "expressions", 2), Names(text, "parts", 4),
                 text);
        Anime_UnloadModel("m");
        Check(Anime_GetInstanceCount() == 0, "instances outlive their model");
    }
    Finish();
}

// The model of base_model.json, with textures, a hierarchy, springs, an
// inline motion and an expression, for the motion and expression files to be
// loaded into.
const std::string kBaseModel = kivanime::test::ReadWholeFile(KIVANIME_FUZZ_BASE_MODEL);

// A fresh start with the base model loaded as "m"; returns an instance of it.
uint32_t StartWithBaseModel() {
    Start();
    Check(Anime_LoadModelFromMemory("m", kBaseModel.data(), static_cast<int32_t>(kBaseModel.size()),
                                    "tex") == 1,
          "base model (base_model.json) does not load");
    return Anime_CreateInstance("m");
}

// A motion (or expression) file loaded into a model whose instances already
// play and blend: as a new one, usable by its name, and loaded again, which
// replaces the record the instances use.
void FuzzLoadedInto(std::string_view text, bool motion) {
    const uint32_t a = StartWithBaseModel();
    Anime_PlayMotion(a, "idle", 1.0f);
    Anime_SetExpression(a, "smile");
    Anime_Update(10.0f);
    const auto load = [&] {
        return (motion ? Anime_LoadMotionFromMemory : Anime_LoadExpressionFromMemory)(
            "m", text.data(), static_cast<int32_t>(text.size()));
    };
    if (load() == 1) {
        const std::string name = kivanime::ParseJson(text).get("name").asString("unnamed");
        const int32_t used =
            motion ? Anime_PlayMotion(a, name.c_str(), 1.0f) : Anime_SetExpression(a, name.c_str());
        // A name with a NUL byte cannot be asked for through the C interface.
        Check(used == 1 || name.find('\0') != std::string::npos, "loaded file not usable by name");
        Exercise({name, "idle"}, {name, "smile"}, {"cape", "head", "eye"}, kBaseModel);
        Check(load() == 1, "second load of the same file failed");
        Anime_Update(16.0f);
        Anime_Render();
    }
    Anime_UnloadModel("m");
    Finish();
}

// The bytes of a "parameters" input, read as the script's numbers.
struct Script {
    std::string_view bytes;
    size_t at = 0;

    bool more() const { return at < bytes.size(); }
    uint8_t Byte() { return more() ? static_cast<uint8_t>(bytes[at++]) : 0; }
    // Mostly the values that find faults: signed zeros, the range ends of
    // the base model, NaN, infinities, the largest and a subnormal float;
    // also any four bytes, and small steps either side of zero.
    float Float() {
        constexpr float kMax = std::numeric_limits<float>::max();
        constexpr float kTiny = std::numeric_limits<float>::denorm_min();
        static const float kSpecial[] = {0.0f,   -0.0f, 1.0f, -1.0f,    0.5f,      30.0f,
                                         -30.0f, 1e-3f, NAN,  INFINITY, -INFINITY, kMax,
                                         -kMax,  kTiny, 1e7f, 3000.0f};
        const uint8_t b = Byte();
        if (b < 16) {
            return kSpecial[b];
        }
        if (b < 32) {
            uint32_t bits = 0;
            for (int i = 0; i < 4; ++i) {
                bits = bits << 8 | Byte();
            }
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        return static_cast<float>(b - 144) * 0.125f;
    }
};

bool SameValues(const std::vector<float>& x, const std::vector<float>& y) {
    return x.size() == y.size() &&
           (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0);
}

// The ten parameter calls with names, values, samples and instance ids from
// the script, among updates, motions, expressions and an instance destroyed
// and made again. Each answer must be the one the arguments call for; a
// refused call leaves every value as it was; before an instance's first
// update, reading gives the value set, clamped, or the default after a reset.
// Returns the values every update left.
std::vector<float> PlayParameterScript(std::string_view text) {
    const uint32_t a = StartWithBaseModel();
    uint32_t b = Anime_CreateInstance("m");
    bool bAlive = true, bUpdated = false;
    std::vector<std::string> names;
    for (int32_t i = 0; i < Anime_GetParameterCount(a); ++i) {
        names.emplace_back(Anime_GetParameterName(a, i));
    }
    Check(names.size() == 3, "base model parameters not listed");
    const auto values = [&] {
        std::vector<float> v(2 * names.size(), NAN);
        for (size_t i = 0; i < names.size(); ++i) {
            Anime_GetParameter(a, names[i].c_str(), &v[2 * i]);
            Anime_GetParameter(b, names[i].c_str(), &v[2 * i + 1]);
        }
        return v;
    };
    Script script{text};
    std::vector<float> trace;
    for (int step = 0; script.more() && step < 4000; ++step) {
        const uint8_t op = script.Byte();
        const uint8_t who = script.Byte();
        const uint32_t id = who % 4 == 0 ? a : who % 4 == 1 ? b : who % 4 == 2 ? 0 : 12345;
        const bool live = id == a || (id == b && bAlive);
        const bool fresh = id == b && bAlive && !bUpdated;
        // A listed name, or "", one the model lacks, or NULL.
        const size_t pick = script.Byte() % (names.size() + 3);
        const char* name = pick < names.size()        ? names[pick].c_str()
                           : pick == names.size()     ? ""
                           : pick == names.size() + 1 ? "Open"
                                                      : nullptr;
        const bool known = live && pick < names.size();
        const std::vector<float> before = values();
        const float x = script.Float();
        const float y = script.Float();
        int32_t answer = 0;
        bool expected = false;
        switch (op % 12) {
            case 0: {
                answer = Anime_SetParameter(id, name, x);
                expected = known && !std::isnan(x);
                float lo, hi, def, now = NAN;
                if (answer == 1 && fresh && Anime_GetParameterRange(id, name, &lo, &hi, &def)) {
                    Anime_GetParameter(id, name, &now);
                    Check(now == std::clamp(x, lo, hi), "value set is not read back clamped");
                }
                break;
            }
            case 1: {
                float out = NAN;
                answer = Anime_GetParameter(id, name, who & 4 ? nullptr : &out);
                expected = known && !(who & 4);
                break;
            }
            case 2: {
                const int32_t index = static_cast<int8_t>(script.Byte());
                Check((Anime_GetParameterName(id, index) != nullptr) ==
                          (live && index >= 0 && index < static_cast<int32_t>(names.size())),
                      "parameter name out of its list");
                Check(
                    Anime_GetParameterCount(id) == (live ? static_cast<int32_t>(names.size()) : 0),
                    "parameter count");
                continue;
            }
            case 3: {
                float out[3];
                answer = Anime_GetParameterRange(id, name, who & 4 ? nullptr : &out[0],
                                                 who & 8 ? nullptr : &out[1], &out[2]);
                expected = known && !(who & 12);
                break;
            }
            case 4: {
                answer = Anime_ResetParameters(id);
                expected = live;
                float lo, hi, def, now = NAN;
                for (const std::string& n : names) {
                    if (answer == 1 && fresh &&
                        Anime_GetParameterRange(id, n.c_str(), &lo, &hi, &def)) {
                        Anime_GetParameter(id, n.c_str(), &now);
                        Check(now == def, "reset value is not the default");
                    }
                }
                break;
            }
            case 5:
                answer = Anime_SetAutoBlink(id, name, x, y);
                expected = known && std::isfinite(x) && std::isfinite(y) && !(x > 0 && y <= 0);
                break;
            case 6:
                answer = Anime_SetBreath(id, name, x, y);
                expected = known && std::isfinite(x) && std::isfinite(y);
                break;
            case 7:
                answer = Anime_SetLipSync(id, name, x);
                expected = known && std::isfinite(x);
                break;
            case 8: {
                const int32_t count = static_cast<int8_t>(script.Byte());
                static const int32_t kRates[] = {
                    16000, 0, -1, 1, 44100, 8000, 48000, std::numeric_limits<int32_t>::max()};
                const int32_t rate = kRates[who >> 5];
                std::vector<float> samples;  // as many as `count` asks and the script has
                while (script.more() && std::ssize(samples) < count) {
                    samples.push_back(script.Float());
                }
                const int32_t given = count < 0 ? count : static_cast<int32_t>(samples.size());
                const float* data = who & 16 ? nullptr : samples.data();
                answer = Anime_FeedAudio(id, data, given, rate);
                expected = live && given >= 0 && rate > 0 && (data != nullptr || given == 0);
                break;
            }
            case 9:
                Anime_Update(std::fabs(x) < 1e5f ? std::fabs(x) * 40.0f : 16.0f);
                bUpdated = bUpdated || bAlive;
                Anime_Render();
                CheckParameters(a);
                CheckParameters(b);
                for (const float v : values()) {
                    trace.push_back(v);
                }
                continue;
            case 10:
                if (who & 16) {
                    Anime_StopMotion(id);
                    Anime_ClearExpression(id);
                } else {
                    Anime_PlayMotion(id, "idle", x);
                    Anime_PlayOverlay(id, "idle", x, y);
                    Anime_CrossFadeMotion(id, "idle", 1.0f, y);
                    Anime_SetExpression(id, "smile");
                }
                continue;
            default:
                if (bAlive) {
                    Anime_DestroyInstance(b);
                } else {
                    b = Anime_CreateInstance("m");
                    bUpdated = false;
                }
                bAlive = !bAlive;
                continue;
        }
        Check(answer == (expected ? 1 : 0),
              "a parameter call answered other than its arguments ask");
        Check(answer == 1 || SameValues(before, values()), "a refused call changed a value");
    }
    Anime_UnloadModel("m");
    Finish();
    return trace;
}

// The script twice, each from a fresh start (instance ids begin again, and
// with them the blinkers' generators): the same calls give the same values.
void FuzzParameters(std::string_view text) {
    Check(SameValues(PlayParameterScript(text), PlayParameterScript(text)),
          "the same calls gave other values the second time");
}

}  // namespace

// libFuzzer's entry point; the replay program calls it too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view target = KIVANIME_FUZZ_TARGET;
    target == "json"         ? FuzzJson(text)
    : target == "model"      ? FuzzModel(text)
    : target == "parameters" ? FuzzParameters(text)
                             : FuzzLoadedInto(text, target == "motion");
    return 0;
}
