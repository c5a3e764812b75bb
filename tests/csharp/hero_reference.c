/* The C recording host of the C# binding tests: plays a fixed script on the
 * sample puppet and prints every host call, floats as bit patterns.
 * HeroScript.cs plays the same script through the bindings and must print
 * the same lines. Usage: kivanime_hero_reference <examples/hero folder> */
#include <stdio.h>
#include <string.h>

#include "kivanime.h"

static int32_t next_texture = 0;

static void print_words(char tag, const void* data, int count) {
    uint32_t word;
    int i;
    printf("%c", tag);
    for (i = 0; i < count; ++i) {
        memcpy(&word, (const char*)data + 4 * i, 4);
        printf(" %08x", (unsigned)word);
    }
    printf("\n");
}

static int32_t load_texture(const uint16_t* path) {
    printf("L");
    for (; *path != 0; ++path)
        printf(" %04x", (unsigned)*path);
    printf("\n");
    return next_texture++;
}

static void release_texture(int32_t texture) {
    printf("R %d\n", (int)texture);
}

static void draw(const AnimeDrawParams* p) {
    print_words('D', p, 16);
}

int main(int argc, char** argv) {
    AnimeHostCallbacks host = {load_texture, release_texture, NULL, draw};
    const char* files[] = {"motions/idle.json", "motions/walk.json", "motions/wave.json",
                           "expressions/smile.json", "expressions/sleepy.json"};
    char path[4096];
    uint32_t a, b;
    int i;
    float transform[6];
    if (argc < 2)
        return 2;
    Anime_Init(&host);
    snprintf(path, sizeof path, "%s/model.json", argv[1]);
    Anime_LoadModel("hero", path);
    for (i = 0; i < 5; ++i) {
        snprintf(path, sizeof path, "%s/%s", argv[1], files[i]);
        if (!(i < 3 ? Anime_LoadMotion : Anime_LoadExpression)("hero", path))
            return 1;
    }
    Anime_LoadModelFromMemory("bad", "[1]", 3, NULL);
    printf("E %s\n", Anime_GetLastError());
    a = Anime_CreateInstance("hero");
    b = Anime_CreateInstance("hero");
    Anime_PlayMotion(a, "idle", 1.0f);
    Anime_PlayOverlay(a, "wave", 1.0f, 0.7f);
    Anime_SetExpression(a, "smile");
    Anime_SetDrawOrder(a, 1);
    Anime_PlayMotion(b, "walk", 1.25f);
    Anime_SetExpression(b, "sleepy");
    Anime_Set3DSetup(b, 1, 0.0f, -360.0f, 1500.0f, 120.0f, 0.0f);
    Anime_Set3DAngles(b, 20.0f, -5.0f, 2.0f);
    Anime_SetPosition(b, 200.0f, -40.0f);
    Anime_SetScale(b, -0.8f, 0.8f);
    Anime_SetAlpha(b, 0.75f);
    Anime_SetWind(b, 20.0f, 0.0f);
    for (i = 0; i < 60; ++i) {
        Anime_Update(16.6667f);
        Anime_Render();
        if (Anime_GetPartTransform(b, "hand_r", transform))
            print_words('T', transform, 6);
        Anime_RenderInstance(a);
    }
    Anime_DestroyInstance(a);
    Anime_Shutdown();
    return 0;
}
