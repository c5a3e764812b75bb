/* Compiled as C99: the public header must stay plain C (its own checks of the
 * draw record then run under a C compiler), and a C compiler must lay out the
 * host table exactly as the C++ side does (a layout that differs makes an
 * array of negative size and fails the build). */
#include <stddef.h>

#include "kivanime.h"
#include "kivanime_export_names.h"

#define KIVANIME_C_LAYOUT(name, condition) typedef char kivanime_layout_##name[(condition) ? 1 : -1]

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
