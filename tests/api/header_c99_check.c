/* Compiled as C99: the public header must stay plain C, and a C compiler must
 * lay out the host records exactly as the C++ side does (a layout that
 * differs makes an array of negative size and fails the build). */
#include <stddef.h>

#include "kivanime.h"
#include "kivanime_export_names.h"

#define KIVANIME_C_LAYOUT(name, condition) typedef char kivanime_layout_##name[(condition) ? 1 : -1]

KIVANIME_C_LAYOUT(draw_size, sizeof(AnimeDrawParams) == 64);
KIVANIME_C_LAYOUT(
    draw_fields,
    offsetof(AnimeDrawParams, texture) == 0 && offsetof(AnimeDrawParams, x) == 4 &&
        offsetof(AnimeDrawParams, y) == 8 && offsetof(AnimeDrawParams, reserved0) == 12 &&
        offsetof(AnimeDrawParams, reserved1) == 16 && offsetof(AnimeDrawParams, rotation) == 20 &&
        offsetof(AnimeDrawParams, scaleX) == 24 && offsetof(AnimeDrawParams, scaleY) == 28 &&
        offsetof(AnimeDrawParams, alpha) == 32 && offsetof(AnimeDrawParams, reserved2) == 36 &&
        offsetof(AnimeDrawParams, anchorX) == 40 && offsetof(AnimeDrawParams, anchorY) == 44 &&
        offsetof(AnimeDrawParams, srcX) == 48 && offsetof(AnimeDrawParams, srcY) == 52 &&
        offsetof(AnimeDrawParams, srcWidth) == 56 && offsetof(AnimeDrawParams, srcHeight) == 60);
KIVANIME_C_LAYOUT(host_table, sizeof(AnimeHostCallbacks) == 4 * sizeof(void*) &&
                                  offsetof(AnimeHostCallbacks, loadTexture) == 0 &&
                                  offsetof(AnimeHostCallbacks, releaseTexture) == sizeof(void*) &&
                                  offsetof(AnimeHostCallbacks, reserved) == 2 * sizeof(void*) &&
                                  offsetof(AnimeHostCallbacks, draw) == 3 * sizeof(void*));

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
