#include "scene.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <unistd.h>

#include "floor.h"

namespace kivanime::bench {

namespace {

uint64_t gDraws = 0;
int32_t gDrawSink = 0;
int32_t gNextHandle = 0;

int32_t LoadTexture(const uint16_t* /*path*/) {
    return gNextHandle++;
}

void ReleaseTexture(int32_t /*texture*/) {}

// About 2 MB of JSON per file, formatted the way exporters write it.
constexpr size_t kLargeBytes = 2u * 1000u * 1000u;

void Append(std::string& out, const char* format, double a, double b = 0.0, double c = 0.0) {
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format, a, b, c);
    out.append(buffer, static_cast<size_t>(n));
}

std::string LargeModelJson(int& partCount) {
    std::string out =
        "{\n  \"name\": \"large\",\n  \"version\": 1,\n  \"canvas\": {\"width\": 4096, "
        "\"height\": 4096},\n  \"textures\": {\"body\": \"body.png\", \"face\": \"face.png\"},\n"
        "  \"parts\": [\n";
    int i = 0;
    while (out.size() < kLargeBytes - 400) {
        if (i > 0) {
            out += ",\n";
        }
        out += "    {\"name\": \"part_" + std::to_string(i) + "\", \"texture\": \"body\"";
        if (i > 0) {
            out += ", \"parent\": \"part_" + std::to_string((i - 1) / 3) + "\"";
        }
        Append(out, ", \"position\": [%.3f, %.3f], \"rotation\": %.5f", (i % 37) * 1.5 - 20.0,
               (i % 23) * -2.25, (i % 11) * 0.0125);
        Append(out, ", \"scale\": [%.3f, %.3f], \"alpha\": %.3f", 1.0 + (i % 5) * 0.01,
               1.0 - (i % 7) * 0.01, 1.0 - (i % 3) * 0.05);
        Append(out, ", \"anchor\": [0.5, %.2f], \"srcRect\": [%.0f, %.0f, 64, 64]",
               0.25 + (i % 3) * 0.25, (i % 16) * 64.0, (i / 16 % 16) * 64.0);
        Append(out, ", \"drawOrder\": %.0f, \"depth\": %.2f}", i % 50, (i % 13) * 1.5 - 9.0);
        ++i;
    }
    out += "\n  ],\n  \"physics\": [{\"target\": \"part_5\", \"stiffness\": 0.3}]\n}\n";
    partCount = i;
    return out;
}

std::string LargeMotionJson(int partCount) {
    std::string out =
        "{\n  \"name\": \"large\",\n  \"duration\": 2000,\n  \"loop\": true,\n  \"tracks\": [\n";
    static const char* const kEasings[] = {"linear", "ease_in_out", "ease_out_back", "step"};
    for (int i = 0; out.size() < kLargeBytes - 600; ++i) {
        if (i > 0) {
            out += ",\n";
        }
        out += "    {\"part\": \"part_" + std::to_string(i % partCount) + "\", \"keyframes\": [";
        for (int k = 0; k < 4; ++k) {
            out += k > 0 ? ",\n      " : "\n      ";
            Append(out, "{\"time\": %.0f, \"position\": [%.3f, %.3f]", k * 600.0, (i + k) % 9 * 0.5,
                   (i * k) % 7 * -0.75);
            Append(out, ", \"rotation\": %.4f, \"scale\": [%.3f, %.3f]", ((i + k) % 5) * 0.02,
                   1.0 + k * 0.01, 1.0 - k * 0.01);
            out += ", \"alpha\": 1, \"easing\": \"";
            out += kEasings[(i + k) % 4];
            out += "\"}";
        }
        out += "]}";
    }
    out += "\n  ]\n}\n";
    return out;
}

std::string LargeExpressionJson(int partCount) {
    std::string out = "{\n  \"name\": \"large\",\n  \"blendMs\": 150,\n  \"params\": [\n";
    for (int i = 0; out.size() < kLargeBytes - 200; ++i) {
        if (i > 0) {
            out += ",\n";
        }
        out += "    {\"part\": \"part_" + std::to_string(i % partCount) + "\"";
        Append(out, ", \"position\": [%.2f, %.2f], \"rotation\": %.4f", (i % 9) * 0.5,
               (i % 4) * -1.5, (i % 6) * 0.01);
        Append(out, ", \"scaleX\": %.3f, \"alpha\": %.2f, \"visible\": 1}", 1.0 + (i % 3) * 0.05,
               1.0 - (i % 4) * 0.1);
    }
    out += "\n  ]\n}\n";
    return out;
}

// The character's model file with its parts and springs repeated `copies`
// times, each copy's names (and the parents and targets that refer to them)
// ending in "_<copy>": a large model laid out exactly as the character's
// exporter writes it, one value a line.
std::string CrowdModelJson(int copies, int& partCount) {
    std::ifstream in(ScenePath("model.json"), std::ios::binary);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t partsOpen = json.find('[', json.find("\"parts\"")) + 1;
    const size_t partsClose = json.rfind(']', json.find("\"physics\""));
    const size_t springsOpen = json.find('[', json.find("\"physics\"")) + 1;
    const size_t springsClose = json.rfind(']');
    auto renamed = [](std::string text, int copy) {
        const std::string suffix = '_' + std::to_string(copy);
        for (const char* key : {"\"name\": \"", "\"parent\": \"", "\"target\": \""}) {
            const std::string k = key;
            for (size_t at = text.find(k); at != std::string::npos; at = text.find(k, at + 1)) {
                text.insert(text.find('"', at + k.size()), suffix);
            }
        }
        // Both lists end in a newline and the closing bracket's indent.
        return text.substr(0, text.find_last_not_of(" \n") + 1);
    };
    const std::string parts = json.substr(partsOpen, partsClose - partsOpen);
    const std::string springs = json.substr(springsOpen, springsClose - springsOpen);
    std::string out = json.substr(0, partsOpen);
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0) {
            out += ',';
        }
        out += renamed(parts, copy);
    }
    out += json.substr(partsClose - 2, springsOpen - (partsClose - 2));
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0) {
            out += ',';
        }
        out += renamed(springs, copy);
    }
    out += json.substr(springsClose - 2);
    partCount = copies * kPartsPerInstance;
    return out;
}

// The part names of the character's model file, in file order: every
// "name" between "parts" and "physics".
std::vector<std::string> PartNames() {
    std::ifstream in(ScenePath("model.json"), std::ios::binary);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = "\"name\": \"";
    std::vector<std::string> names;
    const size_t end = json.find("\"physics\"");
    for (size_t at = json.find(key, json.find("\"parts\"")); at < end;
         at = json.find(key, at + 1)) {
        const size_t begin = at + key.size();
        names.push_back(json.substr(begin, json.find('"', begin) - begin));
    }
    return names;
}

uint64_t WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return text.size();
}

}  // namespace

void CountingDraw(const AnimeDrawParams* params) {
    ++gDraws;
    gDrawSink ^= params->texture;
}

uint64_t DrawCount() {
    return gDraws;
}

std::string ScenePath(const std::string& relative) {
    return std::string(KIVANIME_BENCH_SCENE_DIR) + "/" + relative;
}

std::vector<uint32_t> SetUpScene(const SceneOptions& options) {
    Anime_Shutdown();
    AnimeHostCallbacks host{LoadTexture, ReleaseTexture, nullptr, CountingDraw};
    Anime_Init(&host);
    if (options.motionOnly || options.blendModes) {
        std::ifstream in(ScenePath("model.json"), std::ios::binary);
        std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (options.motionOnly) {
            // The same character without its springs: nothing runs but the motion.
            json.erase(json.find(",\n \"physics\"")).append("\n}\n");
        }
        const char* const modes[] = {"normal", "additive", "multiply", "screen"};
        const std::string key = "\n   \"name\": ";
        for (size_t at = json.find(key, json.find("\"parts\"")), k = 0;
             options.blendModes && at != std::string::npos; at = json.find(key, at + 1), ++k) {
            const std::string blend = std::string("   \"blend\": \"") + modes[k % 4] + "\",\n";
            json.insert(at + 1, blend);
            at += blend.size();
        }
        Anime_LoadModelFromMemory("bench", json.data(), static_cast<int32_t>(json.size()),
                                  KIVANIME_BENCH_SCENE_DIR);
    } else {
        Anime_LoadModel("bench", ScenePath("model.json").c_str());
    }
    Anime_LoadMotion("bench", ScenePath("motions/idle.json").c_str());
    Anime_LoadMotion("bench", ScenePath("motions/wave.json").c_str());
    Anime_LoadExpression("bench", ScenePath("expressions/smile.json").c_str());
    Anime_SetGlobalWind(options.motionOnly ? 0.0f : 0.5f, 0.0f);

    const std::vector<std::string> parts =
        options.partOffsets ? PartNames() : std::vector<std::string>{};
    std::vector<uint32_t> ids;
    for (int i = 0; i < options.instances; ++i) {
        const uint32_t id = Anime_CreateInstance("bench");
        const float f = static_cast<float>(i % 31) / 31.0f;
        // Slightly different speeds keep the instances out of step, as a
        // crowd is.
        Anime_PlayMotion(id, "idle", 0.9f + 0.2f * f);
        if (options.crossFade) {
            // Idle, running on underneath, fading into the wave for ever.
            Anime_CrossFadeMotion(id, "wave", 0.9f + 0.2f * f, 1.0e9f);
        }
        if (!options.motionOnly) {
            Anime_PlayOverlay(id, "wave", 1.0f, 0.6f);
            Anime_SetExpression(id, "smile");
            Anime_SetWind(id, f, 0.0f);
        }
        Anime_SetPosition(id, static_cast<float>(i % 40) * 48.0f,
                          static_cast<float>(i / 40) * 30.0f);
        Anime_SetScale(id, 0.5f, 0.5f);
        Anime_SetDrawOrder(id, i % 7);
        if (options.parallax) {
            Anime_Set3DSetup(id, 1, 512.0f, 500.0f, 1500.0f, options.curvature ? 300.0f : 0.0f,
                             0.0f);
            Anime_Set3DAngles(id, options.sameAngles ? 12.0f : -25.0f + 50.0f * f, 10.0f, 3.0f);
        }
        for (size_t k = 0; k < parts.size(); ++k) {
            const float g = static_cast<float>(k) * 0.01f;
            // A turn small enough to keep the angles where the motion has
            // them, so that the case times the offsets and not other angles.
            Anime_SetPartOffset(id, parts[k].c_str(), g, -g, 0.001f * f, 1.0f + g, 1.0f - g, 0.99f);
        }
        ids.push_back(id);
    }
    for (int frame = 0; frame < 30; ++frame) {
        Anime_Update(16.6667f);
    }
    Anime_Render();
    return ids;
}

void TearDownScene() {
    Anime_Shutdown();
    Anime_SetMeshCallback(nullptr);
}

namespace {

uint64_t gMeshDraws = 0;
float gMeshSink = 0.0f;

// Counts the call and reads one vertex, as CountingDraw reads one field.
void CountingMesh(const AnimeDrawParams* /*part*/, const AnimeMeshVertex* vertices, int32_t count,
                  const uint16_t* /*indices*/, int32_t /*indexCount*/) {
    ++gMeshDraws;
    gMeshSink += vertices[count - 1].x;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The cape: two columns of kMeshVertices / 2 vertices, 4 units apart down.
std::string CapePart() {
    std::string vertices;
    std::string triangles;
    const int rows = kMeshVertices / 2;
    for (int r = 0; r < rows; ++r) {
        for (int side = 0; side < 2; ++side) {
            vertices += vertices.empty() ? "[" : ", [";
            Append(vertices, "%.0f, %.0f, %.0f, ", side * 40.0 - 20.0, r * 4.0, side);
            Append(vertices, "%.4f]", static_cast<double>(r) / (rows - 1));
        }
        if (r + 1 < rows) {
            const double a = 2.0 * r;
            triangles += triangles.empty() ? "" : ", ";
            Append(triangles, "%.0f, %.0f, %.0f, ", a, a + 1, a + 2);
            Append(triangles, "%.0f, %.0f, %.0f", a + 1, a + 3, a + 2);
        }
    }
    return R"({"name": "cape", "texture": "body", "parent": "chest", "position": [0, 10],
        "drawOrder": 25, "depth": -5, "vertices": [)" +
           vertices + "], \"triangles\": [" + triangles + "]},";
}

// The idle motion with a cape track: three keyframes, bending every vertex
// further the lower it hangs, or (`bent` false) turning the cape instead.
std::string CapeMotion(bool bent) {
    std::string json = ReadText(ScenePath("motions/idle.json"));
    std::string track = R"(, {"part": "cape", "keyframes": [)";
    for (int k = 0; k < 3; ++k) {
        track += k > 0 ? ", " : "";
        Append(track, R"({"time": %.0f, "rotation": %.2f)", k * 1000.0, bent ? 0.0 : 0.1 * k);
        if (bent) {
            track += R"(, "easing": "ease_in_out", "deform": [)";
            for (int v = 0; v < kMeshVertices; ++v) {
                const double sway = (v / 2) * 0.25 * (k == 1 ? 1.0 : -0.5);
                track += v > 0 ? ", " : "";
                Append(track, "%.3f, %.3f", sway, sway * 0.1);
            }
            track += "]";
        }
        track += "}";
    }
    track += "]}";
    json.insert(json.rfind(']'), track);
    const std::string name = bent ? "bent" : "flat";
    json.replace(json.find("\"idle\""), 6, "\"" + name + "\"");
    return json;
}

}  // namespace

MeshScene SetUpMeshScene(int instances) {
    Anime_Shutdown();
    AnimeHostCallbacks host{LoadTexture, ReleaseTexture, nullptr, CountingDraw};
    Anime_Init(&host);
    std::string model = ReadText(ScenePath("model.json"));
    model.insert(model.find('[', model.find("\"parts\"")) + 1, CapePart());
    Anime_LoadModelFromMemory("cape", model.data(), static_cast<int32_t>(model.size()),
                              KIVANIME_BENCH_SCENE_DIR);
    for (bool bent : {true, false}) {
        const std::string motion = CapeMotion(bent);
        Anime_LoadMotionFromMemory("cape", motion.data(), static_cast<int32_t>(motion.size()));
    }
    MeshScene scene;
    for (bool bent : {true, false}) {
        Anime_SetMeshCallback(bent ? CountingMesh : nullptr);
        for (int i = 0; i < instances; ++i) {
            const uint32_t id = Anime_CreateInstance("cape");
            const float f = static_cast<float>(i % 31) / 31.0f;
            Anime_PlayMotion(id, bent ? "bent" : "flat", 0.9f + 0.2f * f);
            Anime_SetPosition(id, static_cast<float>(i % 40) * 48.0f,
                              static_cast<float>(i / 40) * 30.0f);
            Anime_SetScale(id, 0.5f, 0.5f);
            (bent ? scene.bent : scene.flat).push_back(id);
        }
    }
    for (int frame = 0; frame < 30; ++frame) {
        Anime_Update(16.6667f);
    }
    Anime_Render();
    return scene;
}

namespace {

// The model's "bindings" for a kind, or none.
std::string Bindings(const std::string& model, std::optional<BindingKind> kind) {
    if (!kind) {
        return "[]";
    }
    std::string out;
    if (*kind == BindingKind::Deform) {
        out = R"({"part": "cape", "parameters": ["p"], "keys": [)";
        for (int k = 0; k < 3; ++k) {
            out += k > 0 ? ", " : "";
            Append(out, R"({"at": %.1f, "deform": [)", k - 1.0);
            for (int v = 0; v < kMeshVertices; ++v) {
                Append(out, v > 0 ? ", %.3f, %.3f" : "%.3f, %.3f", (v / 2) * 0.2 * (k - 1),
                       v * 0.01);
            }
            out += "]}";
        }
        return "[" + out + "]}]";
    }
    // Every part of the model, by name.
    for (size_t at = model.find("\"name\""); at != std::string::npos;
         at = model.find("\"name\"", at + 1)) {
        const size_t open = model.find('"', at + 6) + 1;
        const std::string part = model.substr(open, model.find('"', open) - open);
        out += out.empty() ? "" : ", ";
        out += R"({"part": ")" + part + R"(", "parameters": )";
        out += *kind == BindingKind::One ? R"(["p"], "keys": [)" : R"(["p", "q"], "keys": [)";
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < (*kind == BindingKind::One ? 1 : 3); ++b) {
                out += a + b > 0 ? ", " : "";
                if (*kind == BindingKind::One) {
                    Append(out, R"({"at": %.1f, "position": [%.1f, %.1f])", a - 1.0, a * 2.0,
                           a * -1.0);
                } else {
                    Append(out, R"({"at": [%.1f, %.1f], "position": [%.1f, )", a - 1.0, b - 1.0,
                           a * 2.0);
                    Append(out, R"(%.1f])", b * -1.0);
                }
                Append(out, R"(, "rotation": %.2f})", (a - b) * 0.05);
            }
        }
        out += "]}";
    }
    return "[" + out + "]";
}

}  // namespace

BindingScene SetUpBindingScene(int instances, BindingKind kind) {
    Anime_Shutdown();
    AnimeHostCallbacks host{LoadTexture, ReleaseTexture, nullptr, CountingDraw};
    Anime_Init(&host);
    std::string model = ReadText(ScenePath("model.json"));
    model.insert(model.find('[', model.find("\"parts\"")) + 1, CapePart());
    const std::string partsOnly = model.substr(model.find("\"parts\""));
    BindingScene scene;
    scene.bindingsPerInstance = 0;
    for (bool bound : {false, true}) {
        const std::string bindings =
            Bindings(partsOnly, bound ? std::optional(kind) : std::nullopt);
        std::string json = model;
        json.insert(json.find('{') + 1,
                    R"("parameters": [{"name": "p", "min": -1, "max": 1},
                      {"name": "q", "min": -1, "max": 1}], "bindings": )" +
                        bindings + ",");
        const char* name = bound ? "bound" : "plain";
        Anime_LoadModelFromMemory(name, json.data(), static_cast<int32_t>(json.size()),
                                  KIVANIME_BENCH_SCENE_DIR);
        Anime_LoadMotion(name, ScenePath("motions/idle.json").c_str());
        for (int i = 0; i < instances; ++i) {
            const uint32_t id = Anime_CreateInstance(name);
            const float f = static_cast<float>(i % 31) / 31.0f;
            Anime_PlayMotion(id, "idle", 0.9f + 0.2f * f);
            Anime_SetBreath(id, "p", 1700.0f + 100.0f * f, 0.9f);
            Anime_SetBreath(id, "q", 2300.0f - 100.0f * f, 0.9f);
            (bound ? scene.bound : scene.plain).push_back(id);
        }
        if (bound) {
            for (size_t at = bindings.find("\"part\""); at != std::string::npos;
                 at = bindings.find("\"part\"", at + 1)) {
                ++scene.bindingsPerInstance;
            }
        }
    }
    for (int frame = 0; frame < 30; ++frame) {
        Anime_Update(16.6667f);
    }
    return scene;
}

uint64_t MeshDrawCount() {
    return gMeshDraws;
}

MaskScene SetUpMaskScene(int instances, bool parallax) {
    Anime_Shutdown();
    AnimeHostCallbacks host{LoadTexture, ReleaseTexture, nullptr, CountingDraw};
    Anime_Init(&host);
    std::string fan = "[0, 0, 0.5, 0.5]";
    std::string triangles;
    for (int k = 0; k < 16; ++k) {
        const double a = 6.283185307179586 * k / 16.0;
        Append(fan, ", [%.3f, %.3f, 0.5, 0.5]", 12.0 * std::cos(a), 8.0 * std::sin(a));
        triangles += (k > 0 ? ", 0, " : "0, ") + std::to_string(k + 1) + ", " +
                     std::to_string((k + 1) % 16 + 1);
    }
    for (bool masked : {true, false}) {
        const std::string model =
            R"({"textures": {"t": "t.png"}, "parts": [{"name": "eye", "texture": "t", "vertices": [)" +
            fan + "], \"triangles\": [" + triangles +
            R"(]}, {"name": "iris", "texture": "t", "srcRect": [0, 0, 10, 10], "depth": 5)" +
            (masked ? R"(, "clip": "eye")" : "") +
            R"(}], "motions": {"look": {"duration": 1000, "loop": true, "tracks": [{"part":
            "iris", "keyframes": [{"time": 0, "position": [-9, -2]}, {"time": 500,
            "position": [9, 3]}, {"time": 1000, "position": [-9, -2]}]}]}}})";
        const char* name = masked ? "masked" : "plain";
        Anime_LoadModelFromMemory(name, model.data(), static_cast<int32_t>(model.size()), "");
    }
    MaskScene scene;
    Anime_SetMeshCallback(CountingMesh);
    for (bool masked : {true, false}) {
        for (int i = 0; i < instances; ++i) {
            const uint32_t id = Anime_CreateInstance(masked ? "masked" : "plain");
            Anime_PlayMotion(id, "look", 0.9f + 0.2f * static_cast<float>(i % 31) / 31.0f);
            Anime_SetPosition(id, static_cast<float>(i % 40) * 48.0f,
                              static_cast<float>(i / 40) * 30.0f);
            if (parallax) {
                Anime_Set3DSetup(id, 1, 0.0f, 0.0f, 900.0f, 0.0f, 0.0f);
                Anime_Set3DAngles(id, -25.0f + static_cast<float>(i % 50), 10.0f, 3.0f);
            }
            (masked ? scene.masked : scene.plain).push_back(id);
        }
    }
    Anime_Update(16.6667f);
    Anime_Render();
    return scene;
}

namespace {

std::filesystem::path LargeFilesDir() {
    return std::filesystem::temp_directory_path() /
           ("kivanime-bench-" + std::to_string(::getpid()));
}

bool gLargeFilesWritten = false;

}  // namespace

void RemoveLargeFiles() {
    if (gLargeFilesWritten) {
        std::error_code ignored;
        std::filesystem::remove_all(LargeFilesDir(), ignored);
    }
}

const LargeFiles& GetLargeFiles() {
    static const LargeFiles files = [] {
        LargeFiles f;
        const std::filesystem::path dir = LargeFilesDir();
        std::filesystem::create_directories(dir);
        gLargeFilesWritten = true;
        int parts = 0;
        f.model = (dir / "model.json").string();
        f.modelBytes = WriteFile(f.model, LargeModelJson(parts));
        f.motion = (dir / "motion.json").string();
        f.motionBytes = WriteFile(f.motion, LargeMotionJson(parts));
        f.expression = (dir / "expression.json").string();
        f.expressionBytes = WriteFile(f.expression, LargeExpressionJson(parts));
        f.crowdModel = (dir / "crowd.json").string();
        f.crowdModelBytes = WriteFile(f.crowdModel, CrowdModelJson(kCrowdCopies, f.crowdParts));
        return f;
    }();
    return files;
}

}  // namespace kivanime::bench
