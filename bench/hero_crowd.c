/*
 * The sample puppet in a crowd, timed natively the way web/bench/ times the
 * WebAssembly build in a browser: N instances of examples/hero playing idle
 * with the wave overlay at 0.6, smiling, turned in 3D at yaws spread over
 * -25..25 degrees, in wind. After a warm-up of a second, batches of K updates
 * and then K renders (a draw function that only counts) are timed with a
 * wall clock; each figure is the fastest of the batches (the machine may be
 * shared: other work only adds time), in nanoseconds per drawn part per
 * frame. Prints one JSON object per crowd size and worker count.
 *
 *   kivanime_hero_crowd [REPO_DIR] [--sizes 1000,10000] [--workers 1,2]
 *
 * With more than one worker the frames run on the example task pool
 * (examples/task_pool); the default is 100 and 1,000 instances, serial.
 */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "kivanime.h"
#include "task_pool.h"

enum { kBatches = 9, kMaxList = 8 };

static unsigned long long drawCalls;

static int32_t LoadTexture(const uint16_t* path) {
    (void)path;
    return 0;
}

static void CountDraw(const AnimeDrawParams* params) {
    (void)params;
    ++drawCalls;
}

static double Now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1e9 + (double)ts.tv_nsec;
}

static double Best(const double* v) {
    double best = v[0];
    for (int i = 1; i < kBatches; ++i) {
        best = v[i] < best ? v[i] : best;
    }
    return best;
}

static int Load(const char* dir) {
    static const char* const motions[] = {"idle", "wave", "walk", "jump"};
    static const char* const expressions[] = {"smile", "surprised", "sleepy"};
    char path[4096];
    snprintf(path, sizeof path, "%s/examples/hero/model.json", dir);
    if (!Anime_LoadModel("hero", path)) {
        return 0;
    }
    for (size_t i = 0; i < sizeof motions / sizeof *motions; ++i) {
        snprintf(path, sizeof path, "%s/examples/hero/motions/%s.json", dir, motions[i]);
        Anime_LoadMotion("hero", path);
    }
    for (size_t i = 0; i < sizeof expressions / sizeof *expressions; ++i) {
        snprintf(path, sizeof path, "%s/examples/hero/expressions/%s.json", dir, expressions[i]);
        Anime_LoadExpression("hero", path);
    }
    return 1;
}

/* Reads "a,b,c" into `out`; returns the count. */
static int ReadList(const char* text, int* out) {
    int n = 0;
    const char* p = text;
    while (*p && n < kMaxList) {
        char* end;
        const long value = strtol(p, &end, 10);
        if (end == p) {
            break;
        }
        out[n++] = (int)value;
        p = *end == ',' ? end + 1 : end;
    }
    return n;
}

static void Measure(int n, int workers) {
    const int frames = n >= 10000 ? 6 : n >= 1000 ? 40 : 400;
    Anime_DestroyAllInstances();
    for (int i = 0; i < n; ++i) {
        const uint32_t id = Anime_CreateInstance("hero");
        Anime_PlayMotion(id, "idle", 1.0f);
        Anime_PlayOverlay(id, "wave", 1.0f, 0.6f);
        Anime_SetExpression(id, "smile");
        Anime_SetPosition(id, (float)(i % 40) * 20.0f, (float)(i / 40) * 20.0f);
        Anime_Set3DSetup(id, 1, 0.0f, -360.0f, 1500.0f, 0.0f, 0.0f);
        Anime_Set3DAngles(id, -25.0f + 50.0f * (float)i / (float)n, 6.0f, 2.0f);
        Anime_SetWind(id, 20.0f, 0.0f);
    }
    TaskPool* pool = workers > 1 ? TaskPool_Create(workers) : NULL;
    if (pool) {
        Anime_SetTaskSystem(TaskPool_Enqueue, TaskPool_Finish, workers, pool);
    }
    const double warm = Now();
    for (int f = 0; f < 60 || Now() - warm < 1e9; ++f) {
        Anime_Update(16.6667f);
        Anime_Render();
    }
    drawCalls = 0;
    Anime_Render();
    const double parts = (double)drawCalls;
    double update[kBatches], render[kBatches];
    for (int b = 0; b < kBatches; ++b) {
        double t0 = Now();
        for (int f = 0; f < frames; ++f) {
            Anime_Update(16.6667f);
        }
        double t1 = Now();
        for (int f = 0; f < frames; ++f) {
            Anime_Render();
        }
        double t2 = Now();
        update[b] = (t1 - t0) / frames / parts;
        render[b] = (t2 - t1) / frames / parts;
    }
    Anime_SetTaskSystem(NULL, NULL, 1, NULL);
    TaskPool_Destroy(pool);
    printf(
        "{\"instances\": %d, \"workers\": %d, \"parts\": %.0f, \"update\": %.2f, "
        "\"render\": %.2f}\n",
        n, workers, parts, Best(update), Best(render));
    fflush(stdout);
}

int main(int argc, char** argv) {
    const char* dir = ".";
    int sizes[kMaxList] = {100, 1000};
    int sizeCount = 2;
    int workers[kMaxList] = {1};
    int workerCount = 1;
    for (int a = 1; a < argc; ++a) {
        if (strcmp(argv[a], "--sizes") == 0 && a + 1 < argc) {
            sizeCount = ReadList(argv[++a], sizes);
        } else if (strcmp(argv[a], "--workers") == 0 && a + 1 < argc) {
            workerCount = ReadList(argv[++a], workers);
        } else {
            dir = argv[a];
        }
    }
    const AnimeHostCallbacks host = {LoadTexture, NULL, NULL, CountDraw};
    Anime_Init(&host);
    if (!Load(dir)) {
        fprintf(stderr, "cannot load %s/examples/hero/model.json\n", dir);
        return 1;
    }
    for (int s = 0; s < sizeCount; ++s) {
        for (int w = 0; w < workerCount; ++w) {
            Measure(sizes[s], workers[w]);
        }
    }
    Anime_Shutdown();
    return 0;
}
