/* A complete host in plain C: loads a model, plays a motion for a few frames
 * and prints every draw record. Textures are not decoded here; each path gets
 * a made-up handle. */
#include <stdio.h>

#include "kivanime.h"

static int32_t next_handle = 0;

static int32_t load_texture(const uint16_t* path) {
    printf("load texture #%d: ", (int)next_handle);
    for (; *path; ++path) {
        putchar(*path < 128 ? (int)*path : '?');
    }
    putchar('\n');
    return next_handle++;
}

static void release_texture(int32_t texture) {
    printf("release texture #%d\n", (int)texture);
}

static void draw(const AnimeDrawParams* p) {
    printf("  draw texture %d at (%.2f, %.2f) rotation %.3f scale (%.2f, %.2f) alpha %.2f\n",
           (int)p->texture, p->x, p->y, p->rotation, p->scaleX, p->scaleY, p->alpha);
}

int main(int argc, char** argv) {
    const char* model_path = argc > 1 ? argv[1] : "examples/minimal/model.json";
    AnimeHostCallbacks host = {load_texture, release_texture, NULL, draw};
    uint32_t id;
    int frame;

    Anime_Init(&host);
    if (!Anime_LoadModel("minimal", model_path)) {
        fprintf(stderr, "cannot load %s\n", model_path);
        return 1;
    }
    id = Anime_CreateInstance("minimal");
    Anime_PlayMotion(id, "nod", 1.0f);
    Anime_SetPosition(id, 10.0f, 0.0f);
    for (frame = 0; frame < 4; ++frame) {
        Anime_Update(125.0f);
        printf("frame %d\n", frame);
        Anime_Render();
    }
    Anime_Shutdown();
    return 0;
}
