/*
 * Draw functions for the WebAssembly module. Calling into JavaScript once per
 * part would cost more than drawing it, so the module keeps the records of a
 * frame in its own memory and the page reads them all after Anime_Render.
 * JavaScript places these functions in the host table it hands to Anime_Init.
 */
#include <emscripten/emscripten.h>
#include <stdlib.h>

#include "kivanime.h"

static AnimeDrawParams* records;
static uint32_t recordCount;
static uint32_t recordCapacity;
static uint32_t drawCalls;

static void CollectDraw(const AnimeDrawParams* params) {
    ++drawCalls;
    if (recordCount == recordCapacity) {
        /* Grows only while the crowd grows; steady frames reuse the buffer. */
        uint32_t capacity = recordCapacity ? recordCapacity * 2u : 1024u;
        AnimeDrawParams* grown = realloc(records, (size_t)capacity * sizeof *records);
        if (grown == NULL) {
            return;
        }
        records = grown;
        recordCapacity = capacity;
    }
    records[recordCount++] = *params;
}

/* Counts only: what a benchmark measures against a native counting host. */
static void CountDraw(const AnimeDrawParams* params) {
    (void)params;
    ++drawCalls;
}

EMSCRIPTEN_KEEPALIVE AnimeDrawFn KivanimeWeb_CollectingDraw(void) {
    return CollectDraw;
}

EMSCRIPTEN_KEEPALIVE AnimeDrawFn KivanimeWeb_CountingDraw(void) {
    return CountDraw;
}

EMSCRIPTEN_KEEPALIVE const AnimeDrawParams* KivanimeWeb_Records(void) {
    return records;
}

EMSCRIPTEN_KEEPALIVE uint32_t KivanimeWeb_RecordCount(void) {
    return recordCount;
}

EMSCRIPTEN_KEEPALIVE uint32_t KivanimeWeb_DrawCalls(void) {
    return drawCalls;
}

EMSCRIPTEN_KEEPALIVE void KivanimeWeb_ClearRecords(void) {
    recordCount = 0;
    drawCalls = 0;
}
