/* A host that keeps its puppet in memory (as read from an archive, an APK or
 * a res:// path) and draws it into its own sprite list, between a backdrop
 * and a foreground sprite, with Anime_RenderInstance. It also follows the
 * right hand with Anime_GetPartTransform, to hang a sprite of its own there.
 * Usage: kivanime-memory-host [examples/hero] */
#include <stdio.h>
#include <stdlib.h>

#include "kivanime.h"

typedef struct Sprite {
    int texture; /* the host's own handles; the puppet's come from load_texture */
    float x, y, rotation, scaleX, scaleY, alpha;
} Sprite;

static Sprite sprites[256];
static int sprite_count = 0;

static void add_sprite(Sprite s) {
    if (sprite_count < 256)
        sprites[sprite_count++] = s;
}

static int32_t load_texture(const uint16_t* path) {
    static int32_t next = 100; /* decode the image at path here */
    (void)path;
    return next++;
}

static void release_texture(int32_t texture) {
    (void)texture;
}

static void draw(const AnimeDrawParams* p) {
    Sprite s = {p->texture, p->x, p->y, p->rotation, p->scaleX, p->scaleY, p->alpha};
    add_sprite(s);
}

/* Stands for the engine's own file system. */
static char* read_all(const char* path, long* size) {
    FILE* f = fopen(path, "rb");
    char* bytes;
    if (f == NULL)
        return NULL;
    fseek(f, 0, SEEK_END);
    *size = ftell(f);
    rewind(f);
    bytes = *size >= 0 ? malloc((size_t)*size + 1) : NULL;
    if (bytes != NULL && fread(bytes, 1, (size_t)*size, f) != (size_t)*size) {
        free(bytes);
        bytes = NULL;
    }
    fclose(f);
    return bytes;
}

int main(int argc, char** argv) {
    const char* dir = argc > 1 ? argv[1] : "examples/hero";
    char path[1024];
    long size = 0;
    char* json;
    AnimeHostCallbacks host = {load_texture, release_texture, NULL, draw};
    uint32_t hero;
    float hand[6] = {0};
    int frame;

    Anime_Init(&host);
    snprintf(path, sizeof path, "%s/model.json", dir);
    json = read_all(path, &size);
    /* Texture paths in the model are relative to `dir`. */
    if (json == NULL || !Anime_LoadModelFromMemory("hero", json, (int32_t)size, dir)) {
        fprintf(stderr, "cannot load the puppet: %s\n", json ? Anime_GetLastError() : path);
        free(json);
        return 1;
    }
    free(json); /* the library has read it */
    hero = Anime_CreateInstance("hero");
    Anime_SetPosition(hero, 256.0f, 480.0f);

    for (frame = 0; frame < 3; ++frame) {
        Sprite backdrop = {1, 256.0f, 256.0f, 0.0f, 1.0f, 1.0f, 1.0f};
        Sprite front = {2, 256.0f, 500.0f, 0.0f, 1.0f, 1.0f, 1.0f};
        Anime_Update(16.7f);
        sprite_count = 0;
        add_sprite(backdrop);
        Anime_RenderInstance(hero); /* the puppet's parts, back to front */
        if (Anime_GetPartTransform(hero, "hand_r", hand)) {
            Sprite sword = {3, hand[0], hand[1], hand[2], hand[3], hand[4], hand[5]};
            add_sprite(sword);
        }
        add_sprite(front);
        printf("frame %d: %d sprites, sword at (%.1f, %.1f)\n", frame, sprite_count, hand[0],
               hand[1]);
    }
    Anime_Shutdown();
    return 0;
}
