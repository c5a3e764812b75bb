/* Compiled as C99: the public header must stay plain C, and a C compiler must
 * lay out the host records exactly as the C++ side does. */
#include <stddef.h>

#include "kivanime.h"
#include "kivanime_export_names.h"

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
#define KIVANIME_AS_FN(name) (KivanimeAnyFn) name,
    KivanimeAnyFn fns[] = {KIVANIME_FOR_EACH_EXPORT(KIVANIME_AS_FN)};
#undef KIVANIME_AS_FN
    int count = 0;
    size_t i;
    for (i = 0; i < sizeof fns / sizeof fns[0]; ++i) {
        count += fns[i] != NULL;
    }
    return count;
}
