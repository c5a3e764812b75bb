/* Loads a model through the installed library and counts its draws; fails
 * unless every part is drawn. */
#include <stdio.h>

#include "kivanime.h"

static int draws = 0;

static int32_t load_texture(const uint16_t* path) {
    (void)path;
    return 0;
}

static void release_texture(int32_t texture) {
    (void)texture;
}

static void draw(const AnimeDrawParams* p) {
    (void)p;
    ++draws;
}

int main(int argc, char** argv) {
    AnimeHostCallbacks host = {load_texture, release_texture, NULL, draw};
    if (argc < 2) {
        return 2;
    }
    Anime_Init(&host);
    if (!Anime_LoadModel("puppet", argv[1]) || Anime_CreateInstance("puppet") == 0) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    Anime_Update(16.0f);
    Anime_Render();
    Anime_Shutdown();
    printf("%d draws\n", draws);
    return draws == 2 ? 0 : 1;
}
