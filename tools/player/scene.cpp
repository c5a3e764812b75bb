// The scene itself, shared by the player and the web page: the settings and
// the timeline's events turned into calls to the library, frame by frame.
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <utility>

namespace kivanime_player {

namespace {

constexpr float kPi = 3.14159265f;
// Crowd members start this far apart in time, so they do not move in step.
constexpr float kCrowdPhaseMs = 173.0f;

// A value eased in and out over time, for angles, wind and positions.
struct Tween {
    float from[3] = {0, 0, 0};
    float to[3] = {0, 0, 0};
    float startMs = 0.0f;
    float lengthMs = 0.0f;

    // Starts from wherever the value is at `now`.
    void Start(std::initializer_list<float> target, float now, float length) {
        for (size_t i = 0; i < target.size(); ++i) {
            from[i] = At(static_cast<int>(i), now);
            to[i] = target.begin()[i];
        }
        startMs = now;
        lengthMs = length;
    }
    float At(int i, float now) const {
        if (lengthMs <= 0.0f || now >= startMs + lengthMs) {
            return to[i];
        }
        const float u = std::clamp((now - startMs) / lengthMs, 0.0f, 1.0f);
        return from[i] + (to[i] - from[i]) * (u * u * (3.0f - 2.0f * u));
    }
};

struct Puppet {
    uint32_t id = 0;
    Vec2 cell;  // where this member's origin sits when the scene origin is the default
    float cellScale = 1.0f;
    Tween position;    // in frame pixels
    std::string then;  // motion to play when the current one has finished
    bool visible = true;
};

class Scene final : public ScenePlayback {
public:
    Scene(const AnimeApi& api, const Settings& s, const std::vector<TimelineEvent>& events,
          Sounds sounds)
        : api_(api), s_(s), events_(events), sounds_(std::move(sounds)) {}

    int Start(const std::string& textureError) {
        const int result = CheckNames(textureError);
        return result == kExitOk ? CreatePuppets() : result;
    }

private:
    // Every name the scene will use is tried once on a scratch instance, so that
    // a typo stops the run before any output is written. The scratch instance
    // also loads every texture, so missing files show here.
    int CheckNames(const std::string& textureError) {
        const uint32_t probe = api_.Anime_CreateInstance(kModelName);
        if (probe == 0) {
            return Fail(kExitLoad, "the library refused to create an instance of the model");
        }
        int result = textureError.empty() ? kExitOk : Fail(kExitTexture, textureError);
        auto check = [&](const std::string& name, bool expression, const std::string& where) {
            if (result == kExitOk && !name.empty() &&
                !(expression ? api_.Anime_SetExpression(probe, name.c_str())
                             : api_.Anime_PlayMotion(probe, name.c_str(), 1.0f))) {
                result = Fail(kExitName, std::string("the model has no ") +
                                             (expression ? "expression" : "motion") + " '" + name +
                                             "' (" + where + ")");
            }
        };
        check(s_.motion ? s_.motion->name : "", false, "--motion");
        for (const OverlayRequest& r : s_.overlays) {
            check(r.name, false, "--overlay");
        }
        check(s_.expression.value_or(""), true, "--expression");
        for (const TimelineEvent& e : events_) {
            const std::string where = "timeline event " + std::to_string(e.index);
            check(NamesAnimation(e.kind) ? e.name : "", e.kind == EventKind::Expression, where);
            check(e.then, false, where);
            // Parts, textures and skins: asked for as the event will, on the
            // scratch instance.
            const auto known = [&](const std::string& what, const std::string& name, bool ok) {
                if (result == kExitOk && !ok) {
                    result = Fail(kExitName,
                                  "the model has no " + what + " '" + name + "' (" + where + ")");
                }
            };
            if (!e.part.empty()) {
                known("part", e.part, api_.Anime_SetPartTint(probe, e.part.c_str(), 1, 1, 1));
            }
            if (NamesParameter(e.kind)) {
                float range[3];
                known("parameter", e.name,
                      api_.Anime_GetParameterRange(probe, e.name.c_str(), &range[0], &range[1],
                                                   &range[2]));
            }
            if (result == kExitOk && e.kind == EventKind::Audio && !e.name.empty() &&
                sounds_.count(e.name) == 0) {
                result =
                    Fail(kExitLoad, "the sound file '" + e.name + "' was not read (" + where + ")");
            }
            if (e.kind == EventKind::PartTexture && !e.part.empty()) {
                known("texture", e.name,
                      api_.Anime_SetPartTexture(probe, e.part.c_str(), e.name.c_str()));
            } else if (e.kind == EventKind::Skin) {
                known("skin", e.name, api_.Anime_SetSkin(probe, e.name.c_str()));
            }
        }
        api_.Anime_DestroyInstance(probe);
        return result;
    }

    int CreatePuppets() {
        const int n = s_.crowd;
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
        const int rows = (n + columns - 1) / columns;
        const float cellScale = 1.0f / static_cast<float>(std::max(columns, rows));
        const float cellW = static_cast<float>(s_.size.width) / static_cast<float>(columns);
        const float cellH = static_cast<float>(s_.size.height) / static_cast<float>(rows);
        origin_ = *s_.origin;
        angles_.Start({s_.yaw, s_.pitch, s_.roll}, 0.0f, 0.0f);
        for (int k = 0; k < n; ++k) {
            Puppet& p = puppets_.emplace_back();
            p.id = api_.Anime_CreateInstance(kModelName);
            p.cellScale = cellScale;
            p.cell = Vec2{(static_cast<float>(k % columns) + 0.5f) * cellW,
                          static_cast<float>(k / columns + 1) * cellH - 30.0f * cellScale};
            const Vec2 at = Place(p);
            p.position.Start({at.x, at.y}, 0.0f, 0.0f);
            api_.Anime_SetPosition(p.id, at.x, at.y);
            api_.Anime_SetScale(p.id, s_.scale * cellScale, std::fabs(s_.scale) * cellScale);
            api_.Anime_SetAlpha(p.id, s_.alpha);
            api_.Anime_SetDrawOrder(p.id, k / columns);  // lower rows stand in front
            if (s_.enable3D) {
                api_.Anime_Set3DSetup(p.id, 1, s_.pivot.x, s_.pivot.y, s_.focal, s_.curve.x,
                                      s_.curve.y);
                api_.Anime_Set3DStrength(p.id, s_.strength3D.x, s_.strength3D.y);
                api_.Anime_Set3DAngles(p.id, s_.yaw, s_.pitch, s_.roll);
            }
            if (s_.motion) {
                api_.Anime_PlayMotion(p.id, s_.motion->name.c_str(), s_.motion->speed);
            }
            for (const OverlayRequest& r : s_.overlays) {
                api_.Anime_PlayOverlay(p.id, r.name.c_str(), r.speed, r.weight);
            }
            if (s_.expression) {
                api_.Anime_SetExpression(p.id, s_.expression->c_str());
            }
        }
        if (s_.wind) {
            api_.Anime_SetGlobalWind(s_.wind->x, s_.wind->y);
        }
        if (api_.Anime_GetInstanceCount() != static_cast<int32_t>(puppets_.size())) {
            return Fail(kExitLoad, "the library did not create every instance");
        }
        // Commands at time 0 come before the crowd's phases are spread, so that
        // each member starts its motions at its own moment.
        while (nextEvent_ < events_.size() && events_[nextEvent_].atMs <= 0.0f) {
            Apply(events_[nextEvent_++], 0.0f);
        }
        for (size_t k = 1; k < puppets_.size(); ++k) {
            for (size_t j = 0; j < puppets_.size(); ++j) {
                api_.Anime_SetVisible(puppets_[j].id, j >= k ? 1 : 0);
            }
            api_.Anime_Update(kCrowdPhaseMs);
        }
        for (const Puppet& p : puppets_) {  // as the commands at time 0 left them
            api_.Anime_SetVisible(p.id, p.visible ? 1 : 0);
        }
        return kExitOk;
    }

    void Apply(const TimelineEvent& e, float now) {
        if (!e.flag && e.kind != EventKind::Visible) {
            return;  // "stopMotion": false and the like do nothing
        }
        const char* name = e.name.c_str();
        const float* v = e.values;
        switch (e.kind) {
            case EventKind::Motion:
            case EventKind::StopMotion:
            case EventKind::CrossFade:
            case EventKind::Queue:
                for (Puppet& p : puppets_) {
                    p.then = e.then;  // the others (which have none) drop the follow-up too
                }
                return e.kind == EventKind::Motion
                           ? ForEach(&AnimeApi::Anime_PlayMotion, name, e.speed)
                       : e.kind == EventKind::CrossFade
                           ? ForEach(&AnimeApi::Anime_CrossFadeMotion, name, e.speed, e.fadeMs)
                       : e.kind == EventKind::Queue
                           ? ForEach(&AnimeApi::Anime_QueueMotion, name, e.speed, e.fadeMs)
                           : ForEach(&AnimeApi::Anime_StopMotion);
            case EventKind::FadeOverlay:
                return ForEach(&AnimeApi::Anime_FadeOverlay, name, e.weight, e.fadeMs);
            case EventKind::Overlay:
                return ForEach(&AnimeApi::Anime_PlayOverlay, name, e.speed, e.weight);
            case EventKind::StopOverlay:
                return ForEach(&AnimeApi::Anime_StopOverlay, name);
            case EventKind::StopAllOverlays:
                return ForEach(&AnimeApi::Anime_StopAllOverlays);
            case EventKind::Expression:
                return ForEach(&AnimeApi::Anime_SetExpression, name);
            case EventKind::ClearExpression:
                return ForEach(&AnimeApi::Anime_ClearExpression);
            case EventKind::Angles:
                return angles_.Start({v[0], v[1], v[2]}, now, e.overMs);
            case EventKind::Wind:
                return wind_.Start({v[0], v[1]}, now, e.overMs);
            case EventKind::GlobalWind:
                return api_.Anime_SetGlobalWind(v[0], v[1]);
            case EventKind::Position:
                origin_ = Vec2{v[0], v[1]};
                for (Puppet& p : puppets_) {  // from where the library has the instance now
                    p.position = Tween{};
                    api_.Anime_GetPosition(p.id, &p.position.to[0], &p.position.to[1]);
                    const Vec2 to = Place(p);
                    p.position.Start({to.x, to.y}, now, e.overMs);
                }
                return;
            case EventKind::Scale:
                for (const Puppet& p : puppets_) {
                    api_.Anime_SetScale(p.id, v[0] * p.cellScale, v[1] * p.cellScale);
                }
                return;
            case EventKind::Alpha:
                return ForEach(&AnimeApi::Anime_SetAlpha, v[0]);
            case EventKind::Visible:
                for (Puppet& p : puppets_) {
                    p.visible = e.flag;
                }
                return ForEach(&AnimeApi::Anime_SetVisible, e.flag ? 1 : 0);
            case EventKind::ResetPhysics:
                return ForEach(&AnimeApi::Anime_ResetPhysics);
            case EventKind::PartOffset:
                return ForEach(&AnimeApi::Anime_SetPartOffset, e.part.c_str(), v[0], v[1], v[2],
                               v[3], v[4], v[5]);
            case EventKind::ClearOffsets:
                return ForEach(&AnimeApi::Anime_ClearPartOffsets);
            case EventKind::Skin:
                return ForEach(&AnimeApi::Anime_SetSkin, name);
            case EventKind::PartTexture:
                return ForEach(&AnimeApi::Anime_SetPartTexture, e.part.c_str(), name);
            case EventKind::Tint:
                return e.part.empty() ? ForEach(&AnimeApi::Anime_SetTint, v[0], v[1], v[2])
                                      : ForEach(&AnimeApi::Anime_SetPartTint, e.part.c_str(), v[0],
                                                v[1], v[2]);
            case EventKind::Parameter:
                return HoldParameter(e, now);
            case EventKind::ResetParameters:
                held_.clear();
                return ForEach(&AnimeApi::Anime_ResetParameters);
            case EventKind::Blink:
                return ForEach(&AnimeApi::Anime_SetAutoBlink, name, v[0], v[1]);
            case EventKind::Breath:
                return ForEach(&AnimeApi::Anime_SetBreath, name, v[0],
                               std::isnan(v[1]) ? Range(name).Half() : v[1]);
            case EventKind::LipSync:
                return ForEach(&AnimeApi::Anime_SetLipSync, name, v[0]);
            case EventKind::Audio:
                sound_ = e.name.empty() ? nullptr : &sounds_.at(e.name);
                soundFrame_ = 0;
                return;
        }
    }

    struct ParameterRange {
        float min = 0.0f, max = 0.0f, def = 0.0f;
        float Half() const { return (max - min) * 0.5f; }
    };
    // Every member has the same model, so the first one answers for all.
    ParameterRange Range(const char* name) const {
        ParameterRange r;
        api_.Anime_GetParameterRange(puppets_.front().id, name, &r.min, &r.max, &r.def);
        return r;
    }

    // The value the scene gives a parameter eases from the one it gave last
    // (at first the default), set every frame until it has arrived; the
    // library keeps it from then on. A value given at once is set at once,
    // so that it holds in the updates that spread a crowd's phases too.
    void HoldParameter(const TimelineEvent& e, float now) {
        auto held = std::find_if(held_.begin(), held_.end(),
                                 [&](const HeldParameter& h) { return h.name == e.name; });
        if (held == held_.end()) {
            held = held_.insert(held_.end(), {e.name, Tween{}, false});
            held->value.to[0] = Range(e.name.c_str()).def;
        }
        held->value.Start({e.values[0]}, now, e.overMs);
        held->arrived = e.overMs <= 0.0f;
        if (held->arrived) {
            ForEach(&AnimeApi::Anime_SetParameter, e.name.c_str(), e.values[0]);
        }
    }

    // Calls one of the library's functions for every member of the crowd.
    template <typename Fn, typename... Args>
    void ForEach(Fn AnimeApi::*function, Args... args) {
        for (const Puppet& p : puppets_) {
            (api_.*function)(p.id, args...);
        }
    }

    // Runs the events that are due, moves the tweens on and updates the library.
    void Advance(float now) override {
        while (nextEvent_ < events_.size() && events_[nextEvent_].atMs <= now) {
            Apply(events_[nextEvent_++], now);
        }
        const float sweep = s_.turn.degrees != 0.0f
                                ? s_.turn.degrees * std::sin(2.0f * kPi * now / s_.turn.periodMs)
                                : 0.0f;
        for (Puppet& p : puppets_) {
            api_.Anime_SetPosition(p.id, p.position.At(0, now), p.position.At(1, now));
            api_.Anime_SetWind(p.id, wind_.At(0, now), wind_.At(1, now));
            if (s_.enable3D) {
                api_.Anime_Set3DAngles(p.id, angles_.At(0, now) + sweep, angles_.At(1, now),
                                       angles_.At(2, now));
            }
            for (const HeldParameter& h : held_) {
                if (!h.arrived) {
                    api_.Anime_SetParameter(p.id, h.name.c_str(), h.value.At(0, now));
                }
            }
            // A finished motion hands over to its follow-up.
            if (!p.then.empty() && !api_.Anime_IsMotionPlaying(p.id) &&
                api_.Anime_IsMotionFinished(p.id)) {
                api_.Anime_PlayMotion(p.id, p.then.c_str(), 1.0f);
                p.then.clear();
            }
        }
        FeedSound();
        for (HeldParameter& h : held_) {
            h.arrived = now >= h.value.startMs + h.value.lengthMs;
        }
        api_.Anime_Update(now - previousMs_);
        previousMs_ = now;
    }

    // Each frame hands the library the samples of its own span of time,
    // counted in frames from the "audio" command, just before its update.
    void FeedSound() {
        if (sound_ == nullptr) {
            return;
        }
        const SampleSpan span = FrameSamples(*sound_, soundFrame_++, s_.fps);
        ForEach(&AnimeApi::Anime_FeedAudio, sound_->samples.data() + span.first,
                static_cast<int32_t>(span.count), sound_->rate);
        if (span.first + span.count >= sound_->samples.size()) {
            sound_ = nullptr;  // played to its end
        }
    }

    // Where a member stands for the current scene origin.
    Vec2 Place(const Puppet& p) const {
        return Vec2{
            p.cell.x + (origin_.x - static_cast<float>(s_.size.width) * 0.5f) * p.cellScale,
            p.cell.y + (origin_.y - (static_cast<float>(s_.size.height) - 30.0f)) * p.cellScale};
    }

    const AnimeApi& api_;
    const Settings& s_;
    const std::vector<TimelineEvent>& events_;
    size_t nextEvent_ = 0;
    float previousMs_ = 0.0f;
    std::vector<Puppet> puppets_;
    Tween angles_, wind_;
    Vec2 origin_;  // the scene origin in frame pixels
    struct HeldParameter {
        std::string name;
        Tween value;
        bool arrived;  // set to its target; nothing left to do
    };
    std::vector<HeldParameter> held_;  // the parameters the timeline has set
    const Sounds sounds_;
    const Sound* sound_ = nullptr;  // the sound being fed, until its end
    int64_t soundFrame_ = 0;        // frames since its "audio" command
};

}  // namespace

std::unique_ptr<ScenePlayback> StartScene(const AnimeApi& api, const Settings& settings,
                                          const std::vector<TimelineEvent>& events,
                                          const std::string& textureError, int& result,
                                          Sounds sounds) {
    auto scene = std::make_unique<Scene>(api, settings, events, std::move(sounds));
    result = scene->Start(textureError);
    return result == kExitOk ? std::move(scene) : nullptr;
}

}  // namespace kivanime_player
