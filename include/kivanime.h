/*
 * kivanime.h - 2D cut-out puppet animation runtime, C interface.
 *
 * HOW TO USE
 *   1. Call Anime_Init with a table of four host functions (texture load,
 *      texture release, a reserved slot, draw).
 *   2. Anime_LoadModel a model file under a name of your choice, optionally
 *      Anime_LoadMotion / Anime_LoadExpression more files into it.
 *   3. Anime_CreateInstance for every puppet on screen; play motions, set
 *      expressions, place it.
 *   4. Every frame: Anime_Update(elapsed milliseconds), then Anime_Render(),
 *      which calls your draw function once per visible part, back to front.
 *   5. Anime_Shutdown gives every texture back through releaseTexture.
 *
 * THREADING
 *   The library starts no thread. One lock serialises every export; calls
 *   from several threads are safe and simply wait for each other. Host
 *   functions run on the calling thread with that lock held and must not call
 *   back into the library: such a nested call is refused (it returns its
 *   failure value and changes nothing).
 *
 * UNITS
 *   Time in milliseconds. Lengths in model units (canvas pixels). Rotations in
 *   radians, positive turning +x toward +y. Scale and opacity are factors
 *   (1 = unchanged / opaque). Only the 3D angles are in degrees.
 *
 * OWNERSHIP
 *   Strings are NUL-terminated UTF-8 byte strings, copied before use; the
 *   caller may reuse its buffers as soon as a call returns. Texture paths
 *   handed to loadTexture and records handed to draw are valid only during
 *   that call. Texture handles belong to the host; the library gives each
 *   one back exactly once through releaseTexture.
 *
 * FAILURE VALUES
 *   Nothing is logged and no exception ever leaves the library. A failed
 *   call returns 0 (results that are 1 or 0, and instance ids), or does
 *   nothing, and leaves every earlier state intact. Instance id 0 never names
 *   an instance. A NULL string argument is always a failure.
 *   Anime_GetLastError tells why the calling thread's last call failed, and
 *   Anime_GetLastErrorCode which kind of failure it was (AnimeErrorCode).
 *
 * FILES
 *   Model, motion and expression files are JSON, read leniently: every key is
 *   optional, a value of the wrong kind takes the key's default, and a load
 *   fails only when the file cannot be read or its top level is not an object.
 *   The ...FromMemory loads read the same bytes from a buffer instead.
 */
#ifndef KIVANIME_H
#define KIVANIME_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header. Anime_GetVersion returns the library's own
 * KIVANIME_VERSION, so a host can check that the two agree. The major version
 * changes only when the interface stops being compatible. */
#define KIVANIME_VERSION_MAJOR 1
#define KIVANIME_VERSION_MINOR 5
#define KIVANIME_VERSION_PATCH 0
#define KIVANIME_VERSION \
    (KIVANIME_VERSION_MAJOR * 10000 + KIVANIME_VERSION_MINOR * 100 + KIVANIME_VERSION_PATCH)

#if defined(_WIN32)
#if defined(KIVANIME_BUILD)
#define ANIME_API __declspec(dllexport)
#else
#define ANIME_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define ANIME_API __attribute__((visibility("default")))
#else
#define ANIME_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Host interface ---------------------------------------------------- */

/** How a part's colour meets what is already drawn: bits 0-1 of a record's
 *  `flags`. With the straight colour the host draws, src = texture colour x
 *  tint and a = texture alpha x record alpha, each channel of the result is:
 *
 *    normal:   dst * (1 - a) + src * a
 *    additive: dst + src * a
 *    multiply: dst * (1 - a) + dst * src * a
 *    screen:   dst + src * a * (1 - dst)
 *
 *  OpenGL / WebGL blend functions that give them. Normal and additive work on
 *  the straight colour the shader writes (rgb = src, alpha = a):
 *    normal:   glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
 *    additive: glBlendFunc(GL_SRC_ALPHA, GL_ONE)
 *  Multiply and screen need the colour premultiplied by the shader (rgb =
 *  src * a, alpha = a), since GL cannot weigh the destination by both a and
 *  dst at once:
 *    multiply: glBlendFunc(GL_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA)
 *    screen:   glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE)
 *  With premultiplied output throughout, normal is (GL_ONE,
 *  GL_ONE_MINUS_SRC_ALPHA) and additive (GL_ONE, GL_ONE). Additive results
 *  above 1 are clamped by the framebuffer. */
typedef enum AnimeBlendMode {
    ANIME_BLEND_NORMAL = 0,
    ANIME_BLEND_ADDITIVE = 1,
    ANIME_BLEND_MULTIPLY = 2,
    ANIME_BLEND_SCREEN = 3
} AnimeBlendMode;

/** The bits of a record's `flags`; every bit not named here is 0. */
typedef enum AnimeDrawFlag {
    ANIME_DRAW_FLAG_BLEND_MASK = 3, /**< bits 0-1: the AnimeBlendMode */
    ANIME_DRAW_FLAG_UNCLIPPED = 4   /**< the part has a mask ("clip") but was handed to draw
                                         as a whole sprite, unclipped: clipping needs the
                                         mesh function (Anime_SetMeshCallback) */
} AnimeDrawFlag;

/** One drawn part, handed to the host's draw function. 64 bytes, no padding. */
typedef struct AnimeDrawParams {
    int32_t texture; /**< host texture handle (always 0 or more) */
    float x;         /**< screen position: instance scale x model position + instance position */
    float y;
    uint32_t flags;  /**< AnimeDrawFlag bits: the blend mode, and whether a masked part went
                          unclipped; 0 for a normal part without a mask (the bits of 0.0f) */
    float reserved1; /**< always 0.0 */
    float rotation;  /**< radians, positive turns +x toward +y */
    float scaleX;    /**< instance scale x part world scale */
    float scaleY;
    float alpha;        /**< opacity, instance opacity included */
    uint32_t reserved2; /**< tint: bytes R, G, B, A in memory order (A = 255); 0xFFFFFFFF
                             (white) unless Anime_SetTint or Anime_SetPartTint says otherwise */
    float anchorX;      /**< pivot as a fraction of the image size (0.5 = centre) */
    float anchorY;
    float srcX; /**< source rectangle within the texture, as written in the model */
    float srcY;
    float srcWidth;
    float srcHeight;
} AnimeDrawParams;

/** Loads a texture. `path` is a NUL-terminated UTF-16 string (16-bit code
 *  units on every platform). Returns a handle of 0 or more, negative on
 *  failure. */
typedef int32_t (*AnimeLoadTextureFn)(const uint16_t* path);
/** Gives a handle returned by loadTexture back to the host. */
typedef void (*AnimeReleaseTextureFn)(int32_t texture);
/** Draws one part; the record is valid only during the call. */
typedef void (*AnimeDrawFn)(const AnimeDrawParams* params);

/** The host functions, in this slot order. Any slot may be NULL: the step
 *  that would call it is skipped. `reserved` is carried and never called. */
typedef struct AnimeHostCallbacks {
    AnimeLoadTextureFn loadTexture;
    AnimeReleaseTextureFn releaseTexture;
    void* reserved;
    AnimeDrawFn draw;
} AnimeHostCallbacks;

/** One vertex of a part's mesh, handed to the host's mesh function. 16 bytes.
 *  x, y: where the vertex lands, in the units of the record's x and y;
 *  u, v: its texture coordinates as written in the model, 0 to 1 over the
 *  whole texture, (0, 0) at the top-left corner. */
typedef struct AnimeMeshVertex {
    float x;
    float y;
    float u;
    float v;
} AnimeMeshVertex;

/** Draws one part as textured triangles: `indices` holds three vertex
 *  indices per triangle (indexCount is a multiple of 3, every index below
 *  vertexCount). `part` is the record draw would have received (texture,
 *  alpha and the placement the vertices already include). Everything is
 *  read-only and valid only during the call. Triangles come in either
 *  winding: a mirrored part turns them over, so do not cull.
 *
 *  A masked part (one with a "clip" in the model) comes here clipped: its own
 *  shape (its source rectangle, or each triangle of its drawable mesh) cut
 *  to each of the mask's triangles, each piece fanned, as a plain triangle
 *  list: every triangle has three vertices of its own and the indices are
 *  0, 1, 2, ... (vertexCount == indexCount, a multiple of 3), so triangles
 *  that share an edge share it by position, not by index. The texture
 *  coordinates of each new vertex are interpolated from the part's own. A part without a mesh is
 *  its source rectangle (srcWidth x srcHeight about the anchor) and its
 *  corners carry u, v from 0 to 1 across that rectangle, since the library
 *  does not know the texture's size: the whole texture's range when the
 *  rectangle covers it (in an atlas, the texture coordinate is srcX + u x
 *  srcWidth over the texture's width). A part clipped away entirely is not
 *  drawn at all; a masked part that has neither a mesh nor a rectangle of
 *  some size cannot be clipped and goes to draw, flagged
 *  ANIME_DRAW_FLAG_UNCLIPPED. */
typedef void (*AnimeDrawMeshFn)(const AnimeDrawParams* part, const AnimeMeshVertex* vertices,
                                int32_t vertexCount, const uint16_t* indices, int32_t indexCount);

/* Layout checks: the record crosses the boundary byte for byte. */
#if defined(__cplusplus)
#define ANIME_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ANIME_STATIC_ASSERT(cond, name) _Static_assert(cond, #name)
#else
#define ANIME_STATIC_ASSERT(cond, name) typedef char anime_static_assert_##name[(cond) ? 1 : -1]
#endif
ANIME_STATIC_ASSERT(sizeof(AnimeDrawParams) == 64, draw_params_size);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, texture) == 0, offset_texture);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, x) == 4, offset_x);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, y) == 8, offset_y);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, flags) == 12, offset_flags);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, reserved1) == 16, offset_reserved1);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, rotation) == 20, offset_rotation);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, scaleX) == 24, offset_scaleX);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, scaleY) == 28, offset_scaleY);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, alpha) == 32, offset_alpha);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, reserved2) == 36, offset_reserved2);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, anchorX) == 40, offset_anchorX);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, anchorY) == 44, offset_anchorY);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, srcX) == 48, offset_srcX);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, srcY) == 52, offset_srcY);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, srcWidth) == 56, offset_srcWidth);
ANIME_STATIC_ASSERT(offsetof(AnimeDrawParams, srcHeight) == 60, offset_srcHeight);
ANIME_STATIC_ASSERT(sizeof(AnimeMeshVertex) == 16, mesh_vertex_size);

/** What an AnimeEvent announces: its `kind`. An enum named after a record and
 *  one of its fields (AnimeEvent + kind) lists that field's values; the field
 *  itself stays an int32_t, whose size every compiler agrees on. */
typedef enum AnimeEventKind {
    ANIME_EVENT_KIND_EVENT = 0,   /**< an event of the motion file */
    ANIME_EVENT_KIND_LAP = 1,     /**< a looping motion completed a lap */
    ANIME_EVENT_KIND_FINISHED = 2 /**< a motion finished */
} AnimeEventKind;

/** Which motion of the instance an AnimeEvent comes from: its `source`. */
typedef enum AnimeEventSource {
    ANIME_EVENT_SOURCE_MAIN = 0,   /**< the main motion */
    ANIME_EVENT_SOURCE_OVERLAY = 1 /**< an overlay */
} AnimeEventSource;

/** One entry of what the motions announced during the last Anime_Update
 *  (Anime_GetEvent). 32 bytes, little-endian, no padding. */
typedef struct AnimeEvent {
    uint32_t instance; /**< the instance id */
    int32_t kind;      /**< an AnimeEventKind */
    int32_t source;    /**< an AnimeEventSource */
    int32_t intValue;  /**< the event's "int"; for a lap the laps completed in
                            this update; else 0 */
    float floatValue;  /**< the event's "float"; else 0 */
    float time;        /**< the event's time in the motion (ms); a lap: the
                            duration; a finish: the clock where it ended */
    float lateMs;      /**< real milliseconds from the moment it happened to the
                            end of the update (0 or more) */
    uint32_t reserved; /**< always 0 */
} AnimeEvent;

ANIME_STATIC_ASSERT(sizeof(AnimeEvent) == 32, event_size);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, instance) == 0, offset_event_instance);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, kind) == 4, offset_event_kind);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, source) == 8, offset_event_source);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, intValue) == 12, offset_event_intValue);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, floatValue) == 16, offset_event_floatValue);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, time) == 20, offset_event_time);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, lateMs) == 24, offset_event_lateMs);
ANIME_STATIC_ASSERT(offsetof(AnimeEvent, reserved) == 28, offset_event_reserved);

/* ---- Lifetime ----------------------------------------------------------- */

/** Stores the host functions (copied). Instances created afterwards use them;
 *  existing instances keep the table they were created with. NULL stores four
 *  NULL slots. */
ANIME_API void Anime_Init(const AnimeHostCallbacks* callbacks);

/** Destroys every instance (releasing its textures through the host), drops
 *  every model and restarts instance ids at 1. The host table and the global
 *  wind stay. */
ANIME_API void Anime_Shutdown(void);

/** Same as Anime_Shutdown. */
ANIME_API void Anime_UnloadAll(void);

/* ---- Loading ------------------------------------------------------------ */

/** Loads the model file at `path` (UTF-8) and keeps it under `modelName`.
 *  Returns 1 if the name holds a model after the call (a name already loaded
 *  is not read again, whatever the path), 0 if the file cannot be read or is
 *  not a JSON object, or for a NULL argument. */
ANIME_API int32_t Anime_LoadModel(const char* modelName, const char* path);

/** Destroys every instance created from `modelName` (releasing textures) and
 *  drops the model. Unknown or NULL names do nothing (but are failures in
 *  Anime_GetLastErrorCode). */
ANIME_API void Anime_UnloadModel(const char* modelName);

/** Reads a motion file into a loaded model, adding the motion or replacing
 *  the one of the same name in place (playing instances continue with the
 *  new contents). Returns 1 on success; 0 for an unknown model, an unreadable
 *  or non-object file, or a NULL argument. */
ANIME_API int32_t Anime_LoadMotion(const char* modelName, const char* path);

/** Reads an expression file into a loaded model, like Anime_LoadMotion.
 *  Returns 1 on success, 0 otherwise. */
ANIME_API int32_t Anime_LoadExpression(const char* modelName, const char* path);

/* ---- Instances ---------------------------------------------------------- */

/** Creates an instance of a loaded model and asks the host to load each of
 *  its textures. Returns the new id (1 and up), or 0 for an unknown or NULL
 *  model name. Textures the host refuses leave their parts undrawn. */
ANIME_API uint32_t Anime_CreateInstance(const char* modelName);

/** Releases the instance's textures through the host and destroys it.
 *  Unknown ids do nothing (but are failures in Anime_GetLastErrorCode). */
ANIME_API void Anime_DestroyInstance(uint32_t id);

/** Destroys every instance; models and the id counter stay. */
ANIME_API void Anime_DestroyAllInstances(void);

/** Number of live instances. */
ANIME_API int32_t Anime_GetInstanceCount(void);

/** 1 if any instance is live, else 0. */
ANIME_API int32_t Anime_HasInstances(void);

/* ---- Motions ------------------------------------------------------------ */

/** Makes the named motion of the instance's model the main motion, from time
 *  0 at `speed` (1 = normal, 0 freezes, negative runs backwards). Returns 1,
 *  or 0 (nothing changes) for an unknown id or motion or a NULL name. */
ANIME_API int32_t Anime_PlayMotion(uint32_t id, const char* motionName, float speed);

/** Stops the main motion: its pose holds and it counts as finished.
 *  Unknown ids do nothing. */
ANIME_API void Anime_StopMotion(uint32_t id);

/** 1 while the main motion's clock runs, else 0 (also for unknown ids). */
ANIME_API int32_t Anime_IsMotionPlaying(uint32_t id);

/** 1 once the main motion has ended or was stopped, else 0 (also for unknown
 *  ids). */
ANIME_API int32_t Anime_IsMotionFinished(uint32_t id);

/** Starts (or restarts from 0) the named motion as an overlay on top of the
 *  main motion, scaled by `weight`. Returns 1, or 0 for an unknown id or
 *  motion or a NULL name. */
ANIME_API int32_t Anime_PlayOverlay(uint32_t id, const char* motionName, float speed, float weight);

/** Removes the overlay of the named motion. Unknown ids and names, and NULL,
 *  do nothing. */
ANIME_API void Anime_StopOverlay(uint32_t id, const char* motionName);

/** Removes every overlay of the instance. Unknown ids do nothing. */
ANIME_API void Anime_StopAllOverlays(uint32_t id);

/* ---- Expressions -------------------------------------------------------- */

/** Starts blending in the named expression over its blend time. Returns 1, or
 *  0 (the current expression stays) for an unknown id or name or NULL. */
ANIME_API int32_t Anime_SetExpression(uint32_t id, const char* expressionName);

/** Starts blending the current expression out. Unknown ids do nothing. */
ANIME_API void Anime_ClearExpression(uint32_t id);

/* ---- Placement ---------------------------------------------------------- */

/** Moves the instance on screen (added to every drawn position). */
ANIME_API void Anime_SetPosition(uint32_t id, float x, float y);

/** Writes the instance position to each non-NULL pointer; an unknown id
 *  writes 0 and 0. */
ANIME_API void Anime_GetPosition(uint32_t id, float* outX, float* outY);

/** Scales the instance about the model origin when drawn (not clamped). */
ANIME_API void Anime_SetScale(uint32_t id, float scaleX, float scaleY);

/** Sets the instance opacity, clamped to [0, 1] (NaN counts as 1); it shows
 *  after the next Anime_Update. */
ANIME_API void Anime_SetAlpha(uint32_t id, float alpha);

/** Shows (non-zero) or hides (0) the instance. A hidden instance is neither
 *  drawn nor updated: its clocks, fades and springs stand still. */
ANIME_API void Anime_SetVisible(uint32_t id, int32_t visible);

/** Orders instances when drawing: lower first (behind). */
ANIME_API void Anime_SetDrawOrder(uint32_t id, int32_t order);

/* ---- Physics ------------------------------------------------------------ */

/** Sets the instance's own wind acting on its springs. */
ANIME_API void Anime_SetWind(uint32_t id, float windX, float windY);

/** Sets a wind added to every instance's own wind during Anime_Update. */
ANIME_API void Anime_SetGlobalWind(float windX, float windY);

/** Puts every spring of the instance back at rest. */
ANIME_API void Anime_ResetPhysics(uint32_t id);

/* ---- 3D parallax -------------------------------------------------------- */

/** Switches the 3D parallax on (non-zero) or off and sets its pivot (model
 *  units), focal distance (at least 50) and cylinder radii (at least 0; 1 or
 *  less means flat). */
ANIME_API void Anime_Set3DSetup(uint32_t id, int32_t enabled3D, float pivotX, float pivotY,
                                float focalDistance, float curveRadiusX, float curveRadiusY);

/** Sets the turn of the instance in degrees. */
ANIME_API void Anime_Set3DAngles(uint32_t id, float yaw, float pitch, float roll);

/** Sets how strongly depth and perspective act (each at least 0; 1 is the
 *  default). */
ANIME_API void Anime_Set3DStrength(uint32_t id, float depthStrength, float perspectiveStrength);

/* ---- Frame -------------------------------------------------------------- */

/** Advances every visible instance by `dt` milliseconds: motions,
 *  expressions, parameters and their bindings, hierarchy, springs, opacity.
 *  A hidden instance's parameter drivers wait, and the audio fed to it
 *  meanwhile counts at its next update. */
ANIME_API void Anime_Update(float dt);

/** Calls the host's draw once per visible, textured part of every visible
 *  instance, instances by draw order, parts back to front. */
ANIME_API void Anime_Render(void);

/* ---- Version and errors ------------------------------------------------- */

/** The library's version, major * 10000 + minor * 100 + patch; equals the
 *  KIVANIME_VERSION of the header it was built with. */
ANIME_API int32_t Anime_GetVersion(void);

/** Why the last call on this thread failed, as one line of UTF-8 text, or ""
 *  after a call that succeeded. Every export except this one,
 *  Anime_GetLastErrorCode and Anime_GetVersion sets it. A successful
 *  Anime_CreateInstance leaves a note here when the host refused a texture.
 *  The text belongs to the library and stays valid until this thread's next
 *  call. Never NULL. */
ANIME_API const char* Anime_GetLastError(void);

/* ---- Loading from memory ------------------------------------------------ */

/** Like Anime_LoadModel, reading the model from `length` bytes at `json`
 *  (copied; no NUL needed) instead of a file. Texture paths are relative to
 *  `baseDir` (a '/' is added when it ends in neither '/' nor '\'); NULL or
 *  "" means none. Returns 1 or 0; 0 for a NULL name or `json` or a negative
 *  length. */
ANIME_API int32_t Anime_LoadModelFromMemory(const char* modelName, const char* json, int32_t length,
                                            const char* baseDir);

/** Like Anime_LoadMotion, from `length` bytes at `json`. Returns 1 or 0. */
ANIME_API int32_t Anime_LoadMotionFromMemory(const char* modelName, const char* json,
                                             int32_t length);

/** Like Anime_LoadExpression, from `length` bytes at `json`. Returns 1 or 0. */
ANIME_API int32_t Anime_LoadExpressionFromMemory(const char* modelName, const char* json,
                                                 int32_t length);

/* ---- One instance at a time --------------------------------------------- */

/** Makes exactly the draw calls that Anime_Render makes for this instance,
 *  in the same order with the same records; nothing for an unknown or hidden
 *  instance. Lets a host put a puppet between its own sprites, draw it into
 *  a texture of its own or cull it. */
ANIME_API void Anime_RenderInstance(uint32_t id);

/** Writes x, y, rotation, scaleX, scaleY and alpha of the named part to
 *  out[0..5], exactly as its draw record would carry them if drawn now
 *  (instance placement and 3D turn included), also for a part that has no
 *  texture or is hidden. Returns 1, or 0 (out untouched) for an unknown id,
 *  an unknown part name or a NULL argument. Allocates nothing. */
ANIME_API int32_t Anime_GetPartTransform(uint32_t id, const char* partName, float out[6]);

/* ---- Motion control ------------------------------------------------------ */

/** Makes the named motion the main motion (clock 0, `speed`, playing), fading
 *  it in over `fadeMs` milliseconds of update time (dt, not dt x speed) from
 *  what the main motion showed before: the previous motion, whose clock runs
 *  on underneath; the rest pose when none was played; or, when a fade was
 *  already running, that blend frozen as the last update showed it. Each
 *  part's values move linearly from the outgoing to the incoming ones;
 *  visibility and texture swaps switch halfway. A negative or NaN `fadeMs`
 *  takes the motion file's "fadeIn"; a fade time that is not above 0 makes
 *  this exactly Anime_PlayMotion. Anime_PlayMotion and Anime_StopMotion end a
 *  fade at once. Returns 1, or 0 (nothing changes) where Anime_PlayMotion
 *  would fail. */
ANIME_API int32_t Anime_CrossFadeMotion(uint32_t id, const char* motionName, float speed,
                                        float fadeMs);

/** Cross-fades to the named motion (as Anime_CrossFadeMotion) when the main
 *  motion ends: a non-looping one when its clock reaches its duration, a
 *  looping one at its next completed lap. The rest of that update's time is
 *  given to the new motion, so chained motions have no gap at any frame rate.
 *  With no main motion, or one that has finished or was stopped, it starts at
 *  once. One motion waits per instance: a later call replaces it, and
 *  Anime_PlayMotion, Anime_CrossFadeMotion and Anime_StopMotion drop it.
 *  Returns 1, or 0 where Anime_PlayMotion would fail. */
ANIME_API int32_t Anime_QueueMotion(uint32_t id, const char* motionName, float speed, float fadeMs);

/** Moves a running overlay's weight linearly from its current value to
 *  `targetWeight` over `fadeMs` milliseconds of update time (negative or NaN:
 *  the motion's "fadeIn" when the weight goes up, its "fadeOut" otherwise; a
 *  fade time that is not above 0: at once). An overlay faded to 0 is stopped.
 *  Anime_PlayOverlay of the same motion ends the fade. Returns 1, or 0 for an
 *  unknown id, an overlay that is not running, a NaN target or a NULL name. */
ANIME_API int32_t Anime_FadeOverlay(uint32_t id, const char* motionName, float targetWeight,
                                    float fadeMs);

/* ---- Events ------------------------------------------------------------- */

/** Number of entries the last Anime_Update produced: the events of the motion
 *  files whose time the clocks passed (each once, also across a loop's wrap
 *  or an update longer than a lap), laps of looping motions and ends of
 *  motions, for the main motion (during a cross-fade the incoming one) and
 *  the overlays with a weight above 0 of every visible instance. Instances in
 *  update order; in one, the main motion, then the overlays; in a motion,
 *  time order. At most 4096 entries per update: the rest are dropped. The
 *  list is emptied by every Anime_Update, Anime_Shutdown and Anime_UnloadAll,
 *  and by nothing else. A host function calling this is refused (0). */
ANIME_API int32_t Anime_GetEventCount(void);

/** Copies entry `index` (0 to Anime_GetEventCount() - 1) to `out`. Returns 1,
 *  or 0 for an index out of range or a NULL `out`. The moment an event
 *  happened is the end of the update minus its lateMs. */
ANIME_API int32_t Anime_GetEvent(int32_t index, AnimeEvent* out);

/** A text of entry `index`: `field` 0 the event's name, 1 the motion's name,
 *  2 the event's "string" (laps and ends have an empty name and string).
 *  The texts are the library's copies: they stay valid, whatever is unloaded
 *  or reloaded, until the next Anime_Update, Anime_Shutdown or
 *  Anime_UnloadAll. NULL for an index or field out of range. */
ANIME_API const char* Anime_GetEventText(int32_t index, int32_t field);
/* ---- Parts driven from code --------------------------------------------- */

/** Changes the named part on top of its animation until set again: x, y and
 *  rotation are added to its local pose, scaleX, scaleY and alpha multiply
 *  it, after the expression and before the hierarchy, so children follow and
 *  springs react. (0, 0, 0, 1, 1, 1) is neutral. Shows after the next
 *  Anime_Update. Returns 1, or 0 for an unknown id or part or a NULL name.
 *  Allocates nothing after the first offset of an instance. */
ANIME_API int32_t Anime_SetPartOffset(uint32_t id, const char* partName, float x, float y,
                                      float rotation, float scaleX, float scaleY, float alpha);

/** Sets every part offset of the instance back to neutral. Unknown ids do
 *  nothing. */
ANIME_API void Anime_ClearPartOffsets(uint32_t id);

/** Shows the named texture of the model on the part, as a keyframe's texture
 *  swap does: until another swap (a keyframe, an expression, this call or a
 *  skin) replaces it. NULL or "" gives the part its own texture from the
 *  model file. Shows at the next Anime_Render, without an update; loads no
 *  texture. Returns 1, or 0 (nothing changes) for an unknown id, part or
 *  texture or a NULL part name. */
ANIME_API int32_t Anime_SetPartTexture(uint32_t id, const char* partName, const char* textureName);

/** Puts on a skin of the model file ("skins"): each of its assignments in
 *  file order, as Anime_SetPartTexture would (those naming a part or texture
 *  the model lacks are skipped); parts the skin does not name keep what they
 *  show. NULL or "" gives every part its own texture back. Returns 1, or 0
 *  (nothing changes) for an unknown id or skin. */
ANIME_API int32_t Anime_SetSkin(uint32_t id, const char* skinName);

/** Tints the whole instance: each channel is clamped to [0, 1] (NaN counts as
 *  1) and multiplies each part's own tint. Records carry the product in
 *  reserved2; white (1, 1, 1) is the default. Shows at the next Anime_Render.
 *  Unknown ids do nothing. */
ANIME_API void Anime_SetTint(uint32_t id, float r, float g, float b);

/** Tints one part, clamped like Anime_SetTint, multiplied by the instance's
 *  tint. Not inherited by children. Returns 1, or 0 for an unknown id or
 *  part or a NULL name. */
ANIME_API int32_t Anime_SetPartTint(uint32_t id, const char* partName, float r, float g, float b);
/* ---- Meshes ------------------------------------------------------------- */

/** Sets the mesh function that instances created afterwards take, as they
 *  take the host table (an instance keeps the one it was created with; NULL,
 *  the default, means none; Anime_Init and Anime_Shutdown leave it). Such an
 *  instance hands each drawn part that has a drawable mesh to `drawMesh`
 *  instead of draw, at the same place in the drawing order, with the vertices
 *  moved by its motions and placed in drawing space. A mesh is drawable with
 *  at least 3 vertices, a triangle and every index below the vertex count;
 *  other parts are drawn through draw as before. Without a mesh function
 *  every draw call is exactly what it would be without meshes. */
ANIME_API void Anime_SetMeshCallback(AnimeDrawMeshFn drawMesh);

/** Writes up to `capacity` vertices of the named part's mesh to `out`, as the
 *  next render would hand them to a mesh function (also for a hidden part, a
 *  part without texture, or an instance without a mesh function), and
 *  returns the part's vertex count; `out` may be NULL when `capacity` is 0.
 *  Returns 0 for an unknown id or part name, a part without a drawable mesh,
 *  a NULL name, a negative capacity, or a NULL `out` with a capacity above 0.
 *  Allocates nothing.
 *
 *  For a masked part it writes the clipped triangle list the mesh function
 *  would receive (also for a part without a mesh: its clipped quad, and also
 *  without a mesh function) and returns its count, which is 0 (a success) when
 *  the part is clipped away entirely (a masked part that cannot be clipped, see
 *  AnimeDrawMeshFn, has no drawable mesh). A capacity of the part's triangle count
 *  (2 for a quad) x the mask's triangle count (2 for a quad) x 12 always
 *  suffices. */
ANIME_API int32_t Anime_GetPartMesh(uint32_t id, const char* partName, AnimeMeshVertex* out,
                                    int32_t capacity);

/* ---- Error codes -------------------------------------------------------- */

/** What kind of failure the calling thread's last call had, for a host to
 *  branch on (the text of Anime_GetLastError is for people and may change).
 *  The values are fixed: a released code never changes its number or
 *  meaning, and new codes only take new numbers. Anime_Init is not required
 *  first: no call fails for want of it. */
typedef enum AnimeErrorCode {
    /** The last call succeeded. */
    ANIME_ERROR_NONE = 0,
    /** A NULL pointer, a negative length or capacity, a NaN target weight,
     *  an event text field other than 0, 1 or 2, a NaN parameter value, a
     *  parameter index out of range, a non-finite driver setting or a sample
     *  rate that is not positive. */
    ANIME_ERROR_INVALID_ARGUMENT = 1,
    /** No model is loaded under the name. */
    ANIME_ERROR_UNKNOWN_MODEL = 2,
    /** The id names no live instance (0, never handed out, or destroyed). */
    ANIME_ERROR_UNKNOWN_INSTANCE = 3,
    /** The instance's model has no motion, expression, part, texture or skin
     *  of that name. */
    ANIME_ERROR_UNKNOWN_MOTION = 4,
    ANIME_ERROR_UNKNOWN_EXPRESSION = 5,
    ANIME_ERROR_UNKNOWN_PART = 6,
    ANIME_ERROR_UNKNOWN_TEXTURE = 7,
    ANIME_ERROR_UNKNOWN_SKIN = 8,
    /** Anime_FadeOverlay: the instance plays no overlay of that motion. */
    ANIME_ERROR_OVERLAY_NOT_PLAYING = 9,
    /** Anime_GetPartMesh: the part has no drawable mesh. */
    ANIME_ERROR_NO_MESH = 10,
    /** The last update's list has no event at that index. */
    ANIME_ERROR_NO_EVENT = 11,
    /** No file at the path. */
    ANIME_ERROR_FILE_NOT_FOUND = 12,
    /** The file exists but cannot be opened or read (permissions, a folder). */
    ANIME_ERROR_FILE_UNREADABLE = 13,
    /** The file or buffer is not JSON whose top level is an object. */
    ANIME_ERROR_INVALID_JSON = 14,
    /** A host function called back into the library (see THREADING). */
    ANIME_ERROR_NESTED_CALL = 15,
    /** Memory ran out; the call changed nothing. */
    ANIME_ERROR_OUT_OF_MEMORY = 16,
    /** Not a failure: Anime_CreateInstance returned an id, but the host
     *  refused a texture, so the parts showing it are not drawn. */
    ANIME_ERROR_TEXTURE_REFUSED = 17,
    /** A failure the library did not foresee. */
    ANIME_ERROR_INTERNAL = 18,
    /** The instance's model has no parameter of that name. */
    ANIME_ERROR_UNKNOWN_PARAMETER = 19
} AnimeErrorCode;

/** The AnimeErrorCode of this thread's last call: ANIME_ERROR_NONE exactly
 *  when Anime_GetLastError is "". Set and cleared by the same calls as that
 *  text; reading it changes nothing, and a host function may read it. */
ANIME_API int32_t Anime_GetLastErrorCode(void);

/* ---- Task system -------------------------------------------------------- */

/** One range [start, end) of a task the library hands to the host's workers. */
typedef void (*AnimeTaskFn)(int32_t start, int32_t end, uint32_t worker, void* taskContext);

/** Runs task(start, end, worker, taskContext) over the items [0, itemCount)
 *  in ranges of at least `minRange` items (the last may be shorter), on the
 *  host's workers, each range once; `worker` is below the count given to
 *  Anime_SetTaskSystem and no two ranges of one task run at once under the
 *  same worker index. Returns a handle for the finish function, or NULL if
 *  it ran every range itself before returning. */
typedef void* (*AnimeEnqueueTaskFn)(AnimeTaskFn task, int32_t itemCount, int32_t minRange,
                                    void* taskContext, void* userContext);
/** Returns once every range of the task behind `userTask` has run. */
typedef void (*AnimeFinishTaskFn)(void* userTask, void* userContext);

/** Hands the instance updates of Anime_Update and the draw preparation of
 *  Anime_Render to the game's own task system. Both calls still hold the
 *  library for their whole duration on the calling thread and finish every
 *  task they enqueue before they return; the tasks touch only the library's
 *  own data, never call a host function and never take its lock. Every
 *  record, query and event comes out exactly as without a task system, in the
 *  same order, and host functions are still called on the calling thread
 *  only. `workerCount` (1 to 64) bounds the worker index tasks receive. NULL
 *  functions, or a count of 1, mean no task system (the default; Anime_Init
 *  and Anime_Shutdown leave the one in force). Returns 1, or 0 for a count
 *  outside 1 to 64, for exactly one NULL function, or when called from
 *  inside a host function; a refusal keeps the system in force. A frame
 *  whose task system gives a worker index at or above the count fails and
 *  says so in Anime_GetLastError. */
ANIME_API int32_t Anime_SetTaskSystem(AnimeEnqueueTaskFn enqueue, AnimeFinishTaskFn finish,
                                      int32_t workerCount, void* userContext);

/* ---- Parameters --------------------------------------------------------- */

/* A model may name parameters ("parameters" in its file): numbers with a
 * range and a default that move parts and bend meshes through the model's
 * keyed bindings. Each update, a parameter's value starts from the host's
 * value (its default until Anime_SetParameter sets it), is replaced by the
 * main motion's track for it, moved toward each overlay's and expression's
 * value by their weights, then moved by the parameter's blinker, breather and
 * lip sync, in that order, and finally clamped to [min, max]. The drivers
 * keep time by the instance's own update time, so two runs give the same
 * values. A model without parameters behaves exactly as before. */

/** Sets the host's value of the named parameter of the instance, clamped into
 *  its [min, max] (an infinity clamps to the near end). The value persists
 *  across updates and motions and shows at the next Anime_Update. Returns 1,
 *  or 0 (nothing changes) for an unknown id or parameter name, a NULL name or
 *  a NaN value. */
ANIME_API int32_t Anime_SetParameter(uint32_t id, const char* name, float value);

/** Writes to `out` the value of the named parameter that the instance's last
 *  update used, after every source, driver and the clamp; before its first
 *  update, the host's value. Returns 1, or 0 (`out` untouched) for an unknown
 *  id or parameter name, a NULL name or a NULL `out`. Allocates nothing. */
ANIME_API int32_t Anime_GetParameter(uint32_t id, const char* name, float* out);

/** Number of parameters of the instance's model; 0 for an unknown id. */
ANIME_API int32_t Anime_GetParameterCount(uint32_t id);

/** Name of parameter `index` (0 to Anime_GetParameterCount(id) - 1), in the
 *  model file's order (a repeated name keeps its first place). The text stays
 *  valid while the model stays loaded. NULL for an unknown id or an index out
 *  of range. */
ANIME_API const char* Anime_GetParameterName(uint32_t id, int32_t index);

/** Writes the named parameter's range and default (its file's values after
 *  the load's repairs: bounds in order, the default inside them). Returns 1,
 *  or 0 (nothing written) for an unknown id or parameter name, a NULL name or
 *  any NULL out pointer. */
ANIME_API int32_t Anime_GetParameterRange(uint32_t id, const char* name, float* min, float* max,
                                          float* def);

/** Puts the host's value of every parameter of the instance back to its
 *  default; drivers keep running. Returns 1, or 0 for an unknown id. */
ANIME_API int32_t Anime_ResetParameters(uint32_t id);

/** Blinks the named parameter: every `intervalMs` (each interval jittered by
 *  up to 25 % either way by a generator seeded from the instance id, so runs
 *  and front-ends agree), the value goes in a straight line from the
 *  parameter's max to its min over closeMs / 2 and back over the next
 *  closeMs / 2. The first blink starts one jittered interval after the call;
 *  a new call restarts the blinker. An `intervalMs` of 0 or less turns it
 *  off. Returns 1, or 0 (nothing changes) for an unknown id or parameter
 *  name, a NULL name, a non-finite argument, or a `closeMs` of 0 or less with
 *  a positive interval. */
ANIME_API int32_t Anime_SetAutoBlink(uint32_t id, const char* name, float intervalMs,
                                     float closeMs);

/** Breathes the named parameter: adds amplitude * sin(2 pi t / periodMs) to
 *  its value, t counting the instance's update time from the call. A
 *  `periodMs` of 0 or less turns it off. Returns 1, or 0 (nothing changes)
 *  for an unknown id or parameter name, a NULL name or a non-finite
 *  argument. */
ANIME_API int32_t Anime_SetBreath(uint32_t id, const char* name, float periodMs, float amplitude);

/** Drives the named parameter from the audio fed with Anime_FeedAudio: at
 *  each update its value becomes gain * the RMS of the samples fed since the
 *  previous update; when none were fed it falls toward its min by
 *  (max - min) per 100 ms. A `gain` of 0 or less turns it off. Returns 1, or
 *  0 (nothing changes) for an unknown id or parameter name, a NULL name or a
 *  non-finite gain. */
ANIME_API int32_t Anime_SetLipSync(uint32_t id, const char* name, float gain);

/** Feeds `count` mono samples (-1 to 1; a non-finite sample counts as 0) to
 *  the instance's lip sync; the next update uses every sample fed since the
 *  previous one, for each parameter with a lip sync. Nothing is stored but
 *  their sum of squares and count. NULL `samples` with a count of 0 feeds
 *  nothing and succeeds. Returns 1, or 0 (nothing changes) for an unknown
 *  id, NULL `samples` with a positive count, a negative count or a
 *  `sampleRate` of 0 or less. */
ANIME_API int32_t Anime_FeedAudio(uint32_t id, const float* samples, int32_t count,
                                  int32_t sampleRate);

#ifdef __cplusplus
}
#endif

#endif /* KIVANIME_H */
