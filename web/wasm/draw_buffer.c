/*
 * Draw functions for the WebAssembly module. Calling into JavaScript once per
 * part would cost more than drawing it, so the module keeps the records of a
 * frame in its own memory and the page reads them all after Anime_Render.
 * JavaScript places these functions in the host table it hands to Anime_Init,
 * and the mesh function with KivanimeWeb_CollectMeshes.
 *
 * A mesh's record goes among the others, in drawing order; the mesh table
 * says which records are meshes and where their vertices and indices are.
 */
#include <emscripten/emscripten.h>
#include <stdint.h>
#include <stdlib.h>

#include "kivanime.h"

/* One mesh of the frame: its record's index, its vertices and indices in the
 * frame's arrays, and the address of the library's index array, the same
 * for every frame and instance of a part (so the page can keep what it works
 * out from the triangles). Six 32-bit words, as the page reads them. */
typedef struct {
    uint32_t record;
    uint32_t firstVertex;
    uint32_t vertexCount;
    uint32_t firstIndex;
    uint32_t indexCount;
    uint32_t topology;
} MeshEntry;

/* Where the page finds the frame's meshes. Six 32-bit words. */
typedef struct {
    const MeshEntry* meshes;
    uint32_t meshCount;
    const AnimeMeshVertex* vertices;
    uint32_t vertexCount;
    const uint16_t* indices;
    uint32_t indexCount;
} MeshTable;

static AnimeDrawParams* records;
static uint32_t recordCount;
static uint32_t recordCapacity;
static uint32_t drawCalls;

static MeshEntry* meshes;
static uint32_t meshCapacity;
static AnimeMeshVertex* vertices;
static uint32_t vertexCapacity;
static uint16_t* indices;
static uint32_t indexCapacity;
static MeshTable table;

/* Makes room for `more` items of `size` bytes after `count`. Grows only while
 * the crowd grows; steady frames reuse the buffer. */
static int Reserve(void** items, uint32_t* capacity, uint32_t count, uint32_t more, size_t size) {
    if (more <= *capacity - count) {
        return 1;
    }
    if (more > UINT32_MAX / 2 - count) {
        return 0;
    }
    uint32_t grown = *capacity ? *capacity : 1024u;
    while (grown - count < more) {
        grown *= 2u;
    }
    if (grown > SIZE_MAX / size) {
        return 0;
    }
    void* moved = realloc(*items, (size_t)grown * size);
    if (moved == NULL) {
        return 0;
    }
    *items = moved;
    *capacity = grown;
    return 1;
}

static void CollectDraw(const AnimeDrawParams* params) {
    ++drawCalls;
    if (Reserve((void**)&records, &recordCapacity, recordCount, 1, sizeof *records)) {
        records[recordCount++] = *params;
    }
}

/* The record and a copy of the mesh; all or nothing, so that a mesh never
 * shows as its rigid sprite. */
static void CollectMesh(const AnimeDrawParams* params, const AnimeMeshVertex* meshVertices,
                        int32_t vertexCount, const uint16_t* meshIndices, int32_t indexCount) {
    ++drawCalls;
    if (vertexCount <= 0 || indexCount <= 0 ||
        !Reserve((void**)&records, &recordCapacity, recordCount, 1, sizeof *records) ||
        !Reserve((void**)&meshes, &meshCapacity, table.meshCount, 1, sizeof *meshes) ||
        !Reserve((void**)&vertices, &vertexCapacity, table.vertexCount, (uint32_t)vertexCount,
                 sizeof *vertices) ||
        !Reserve((void**)&indices, &indexCapacity, table.indexCount, (uint32_t)indexCount,
                 sizeof *indices)) {
        return;
    }
    MeshEntry* entry = &meshes[table.meshCount++];
    entry->record = recordCount;
    entry->firstVertex = table.vertexCount;
    entry->vertexCount = (uint32_t)vertexCount;
    entry->firstIndex = table.indexCount;
    entry->indexCount = (uint32_t)indexCount;
    entry->topology = (uint32_t)(uintptr_t)meshIndices;
    records[recordCount++] = *params;
    for (int32_t i = 0; i < vertexCount; ++i) {
        vertices[table.vertexCount++] = meshVertices[i];
    }
    for (int32_t i = 0; i < indexCount; ++i) {
        indices[table.indexCount++] = meshIndices[i];
    }
}

/* Counts only: what a benchmark measures against a native counting host. */
static void CountDraw(const AnimeDrawParams* params) {
    (void)params;
    ++drawCalls;
}

EMSCRIPTEN_KEEPALIVE AnimeDrawFn KivanimeWeb_CollectingDraw(void) {
    return CollectDraw;
}

/* Sets the mesh function that collects meshes (1) or none (0). A call from
 * here, so that the page's own set-up is no call of the C interface that
 * JavaScript sees. */
EMSCRIPTEN_KEEPALIVE void KivanimeWeb_CollectMeshes(int32_t collect) {
    Anime_SetMeshCallback(collect ? CollectMesh : NULL);
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

EMSCRIPTEN_KEEPALIVE const MeshTable* KivanimeWeb_Meshes(void) {
    table.meshes = meshes;
    table.vertices = vertices;
    table.indices = indices;
    return &table;
}

EMSCRIPTEN_KEEPALIVE uint32_t KivanimeWeb_DrawCalls(void) {
    return drawCalls;
}

EMSCRIPTEN_KEEPALIVE void KivanimeWeb_ClearRecords(void) {
    recordCount = 0;
    drawCalls = 0;
    table.meshCount = 0;
    table.vertexCount = 0;
    table.indexCount = 0;
}
