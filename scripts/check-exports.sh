#!/usr/bin/env bash
# Checks that a built library exports exactly the 35 Anime_ functions.
# Usage: scripts/check-exports.sh path/to/libkivanime.so
set -euo pipefail
lib="$1"
expected="Anime_ClearExpression Anime_CreateInstance Anime_DestroyAllInstances
Anime_DestroyInstance Anime_GetInstanceCount Anime_GetPosition Anime_HasInstances Anime_Init
Anime_IsMotionFinished Anime_IsMotionPlaying Anime_LoadExpression Anime_LoadModel
Anime_LoadMotion Anime_PlayMotion Anime_PlayOverlay Anime_Render Anime_ResetPhysics
Anime_Set3DAngles Anime_Set3DSetup Anime_Set3DStrength Anime_SetAlpha Anime_SetDrawOrder
Anime_SetExpression Anime_SetGlobalWind Anime_SetPosition Anime_SetScale Anime_SetVisible
Anime_SetWind Anime_Shutdown Anime_StopAllOverlays Anime_StopMotion Anime_StopOverlay
Anime_UnloadAll Anime_UnloadModel Anime_Update"
case "$lib" in
    *.dll)
        objdump_cmd=${OBJDUMP:-x86_64-w64-mingw32-objdump}
        actual=$("$objdump_cmd" -p "$lib" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^\t\[/{print $NF} f&&/^$/{f=0}' | sort)
        ;;
    *)
        actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
        ;;
esac
want=$(echo $expected | tr ' ' '\n' | sort)
if [ "$actual" != "$want" ]; then
    echo "export check FAILED for $lib" >&2
    diff <(echo "$want") <(echo "$actual") >&2 || true
    exit 1
fi
echo "exports: exactly the 35 Anime_ functions in $(basename "$lib")"
