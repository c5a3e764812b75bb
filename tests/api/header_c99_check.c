/* Compiled as C99: the public header must stay plain C, and a C compiler must
 * lay out the host records exactly as the C++ side does. */
#include <stddef.h>

#include "kivanime.h"

/* Writes sizes and offsets as a C compiler sees them, in this order: size of
 * AnimeDrawParams, its 16 field offsets, size of AnimeHostCallbacks and its
 * four slot offsets (22 values). Returns the number written. */
int KivanimeHeaderLayoutFromC(size_t* out, int capacity);

int KivanimeHeaderLayoutFromC(size_t* out, int capacity) {
    const size_t values[22] = {sizeof(AnimeDrawParams),
                               offsetof(AnimeDrawParams, texture),
                               offsetof(AnimeDrawParams, x),
                               offsetof(AnimeDrawParams, y),
                               offsetof(AnimeDrawParams, reserved0),
                               offsetof(AnimeDrawParams, reserved1),
                               offsetof(AnimeDrawParams, rotation),
                               offsetof(AnimeDrawParams, scaleX),
                               offsetof(AnimeDrawParams, scaleY),
                               offsetof(AnimeDrawParams, alpha),
                               offsetof(AnimeDrawParams, reserved2),
                               offsetof(AnimeDrawParams, anchorX),
                               offsetof(AnimeDrawParams, anchorY),
                               offsetof(AnimeDrawParams, srcX),
                               offsetof(AnimeDrawParams, srcY),
                               offsetof(AnimeDrawParams, srcWidth),
                               offsetof(AnimeDrawParams, srcHeight),
                               sizeof(AnimeHostCallbacks),
                               offsetof(AnimeHostCallbacks, loadTexture),
                               offsetof(AnimeHostCallbacks, releaseTexture),
                               offsetof(AnimeHostCallbacks, reserved),
                               offsetof(AnimeHostCallbacks, draw)};
    int i;
    int n = capacity < 22 ? capacity : 22;
    for (i = 0; i < n; ++i) {
        out[i] = values[i];
    }
    return n;
}

/* Every export, taken by address from C with its declared type, so that a
 * signature the C compiler cannot accept fails the build. */
typedef void (*KivanimeAnyFn)(void);
int KivanimeHeaderExportCountFromC(void);

int KivanimeHeaderExportCountFromC(void) {
    KivanimeAnyFn fns[] = {(KivanimeAnyFn)Anime_Init,
                           (KivanimeAnyFn)Anime_Shutdown,
                           (KivanimeAnyFn)Anime_UnloadAll,
                           (KivanimeAnyFn)Anime_LoadModel,
                           (KivanimeAnyFn)Anime_UnloadModel,
                           (KivanimeAnyFn)Anime_LoadMotion,
                           (KivanimeAnyFn)Anime_LoadExpression,
                           (KivanimeAnyFn)Anime_CreateInstance,
                           (KivanimeAnyFn)Anime_DestroyInstance,
                           (KivanimeAnyFn)Anime_DestroyAllInstances,
                           (KivanimeAnyFn)Anime_GetInstanceCount,
                           (KivanimeAnyFn)Anime_HasInstances,
                           (KivanimeAnyFn)Anime_PlayMotion,
                           (KivanimeAnyFn)Anime_StopMotion,
                           (KivanimeAnyFn)Anime_IsMotionPlaying,
                           (KivanimeAnyFn)Anime_IsMotionFinished,
                           (KivanimeAnyFn)Anime_PlayOverlay,
                           (KivanimeAnyFn)Anime_StopOverlay,
                           (KivanimeAnyFn)Anime_StopAllOverlays,
                           (KivanimeAnyFn)Anime_SetExpression,
                           (KivanimeAnyFn)Anime_ClearExpression,
                           (KivanimeAnyFn)Anime_SetPosition,
                           (KivanimeAnyFn)Anime_GetPosition,
                           (KivanimeAnyFn)Anime_SetScale,
                           (KivanimeAnyFn)Anime_SetAlpha,
                           (KivanimeAnyFn)Anime_SetVisible,
                           (KivanimeAnyFn)Anime_SetDrawOrder,
                           (KivanimeAnyFn)Anime_SetWind,
                           (KivanimeAnyFn)Anime_SetGlobalWind,
                           (KivanimeAnyFn)Anime_ResetPhysics,
                           (KivanimeAnyFn)Anime_Set3DSetup,
                           (KivanimeAnyFn)Anime_Set3DAngles,
                           (KivanimeAnyFn)Anime_Set3DStrength,
                           (KivanimeAnyFn)Anime_Update,
                           (KivanimeAnyFn)Anime_Render};
    int count = 0;
    size_t i;
    for (i = 0; i < sizeof fns / sizeof fns[0]; ++i) {
        count += fns[i] != NULL;
    }
    return count;
}
