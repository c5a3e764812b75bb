#!/usr/bin/env python3
"""The generator of the C interface's mirrors, on small headers: each role of
a parameter becomes the JavaScript kind and the C# declaration the mirrors
expect, records are laid out as C lays them out, enums keep their values, and
a declaration outside the header's discipline stops the build with its name.

Usage: c_interface_test.py GENERATOR CLANG. Ends with "N passed, N failed".
"""

import os
import subprocess
import sys
import tempfile

PRELUDE = '''#include <stddef.h>
#include <stdint.h>
#define ANIME_API __attribute__((visibility("default")))
typedef struct AnimeMeshVertex { float x; float y; float u; float v; } AnimeMeshVertex;
'''

# (declarations, a generated file and what must appear in it; or None and
# the generator's error).
CASES = [
    ('ANIME_API int32_t Anime_A(uint32_t id, const char* name, float f);',
     'c-interface.js', "Anime_A: 'i:usf',"),
    ('ANIME_API int32_t Anime_A(const char* json, int32_t length, const char* dir);',
     'c-interface.js', "Anime_A: 'i:bns',"),
    ('ANIME_API int32_t Anime_A(uint32_t id, AnimeMeshVertex* out, int32_t capacity);',
     'NativeMethods.cs', 'int Anime_A(uint id, [Out] AnimeMeshVertex[] @out, int capacity);'),
    ('typedef struct AnimeEvent { uint32_t instance; } AnimeEvent;\nANIME_API int32_t Anime_A(int32_t i, AnimeEvent* out);',
     'NativeMethods.cs', 'int Anime_A(int i, out AnimeEvent @out);'),
    ('ANIME_API int32_t Anime_A(uint32_t id, float out[6]);', 'c-interface.js', "Anime_A: 'i:ua',"),
    ('ANIME_API int32_t Anime_A(uint32_t id, const char* n, float* a, float* b, float* c);', 'NativeMethods.cs',
     'int Anime_A(uint id, byte[] n, out float a, out float b, out float c);'),
    ('ANIME_API int32_t Anime_A(uint32_t id, const char* n, float* a, float* b, float* c);', 'c-interface.js',
     "Anime_A: 'i:usooo',"),
    # Samples in with their count: an address in C#, an array and its length in JavaScript.
    ('ANIME_API int32_t Anime_A(uint32_t id, const float* samples, int32_t count, int32_t rate);',
     'NativeMethods.cs', 'int Anime_A(uint id, IntPtr samples, int count, int rate);'),
    ('ANIME_API int32_t Anime_A(uint32_t id, const float* samples, int32_t count, int32_t rate);',
     'c-interface.js', "Anime_A: 'i:ugni',"),
    ('ANIME_API void Anime_A(const float* samples);', None, 'Anime_A: no rule for the parameter "const float * samples"'),
    ('ANIME_API const char* Anime_A(int32_t index);', 'NativeMethods.cs', 'IntPtr Anime_A(int index);'),
    ('ANIME_API const char* Anime_A(int32_t index);', 'c-interface.js', "Anime_A: 'z:i',"),
    ('ANIME_API void Anime_A(void);', 'signatures.txt', 'Anime_A|void\n'),
    ('ANIME_API void Anime_A(void);\nANIME_API void Anime_B(void);', 'exports.map', 'Anime_A;\n        Anime_B;\n    local:'),
    # Natural alignment: a 16-bit field pads the float after it.
    ('typedef struct AnimeThing { int32_t a; uint16_t b; float c; } AnimeThing;\nANIME_API void Anime_A(void);',
     'layout_check.c', 'offsetof(AnimeThing, c) == 8'),
    ('typedef enum AnimeMode { ANIME_MODE_FIRST = 3, ANIME_MODE_NEXT_ONE } AnimeMode;\nANIME_API void Anime_A(void);',
     'c-interface.js', 'AnimeMode = Object.freeze({ First: 3, NextOne: 4 });'),
    # An enum named after a record's field types it in C#.
    ('typedef enum AnimeThingKind { ANIME_THING_KIND_A = 0, ANIME_THING_KIND_B = 1 } AnimeThingKind;\n'
     'typedef struct AnimeThing { int32_t kind; } AnimeThing;\nANIME_API void Anime_A(void);',
     'NativeMethods.cs', '[FieldOffset(0)] public AnimeThingKind Kind;'),
    ('int32_t Anime_A(void);', None, 'Anime_A is declared without ANIME_API'),
    ('ANIME_API void Anime_A(double d);', None, 'Anime_A: no rule for the parameter "double d"'),
    ('ANIME_API void Anime_A(const AnimeMeshVertex* v);', None,
     'Anime_A: the JavaScript mirror has no kind for "const AnimeMeshVertex * v"'),
    ('typedef struct AnimeThing { double d; } AnimeThing;\nANIME_API void Anime_A(void);', None,
     'AnimeThing.d: no layout rule for the type "double"'),
    ('ANIME_API void Anime_A(int32_t x', None, 'failed'),
    ('', None, 'declares no Anime_ function'),
]


def main():
    generator, clang = sys.argv[1], sys.argv[2]
    failed = 0
    for declarations, file, expected in CASES:
        with tempfile.TemporaryDirectory() as work:
            header, out = os.path.join(work, 'kivanime.h'), os.path.join(work, 'out')
            with open(header, 'w', encoding='utf-8') as f:
                f.write(PRELUDE + declarations + '\n')
            result = subprocess.run([sys.executable, generator, '--clang', clang, '--header', header, '--out', out],
                                    capture_output=True, text=True, check=False)
            got = result.stderr.strip() or f'exit {result.returncode}'
            if file is None:
                ok = result.returncode != 0 and expected in result.stderr
            elif result.returncode == 0:
                with open(os.path.join(out, file), encoding='utf-8') as f:
                    got = f.read()
                # Every generated file says so on its first line.
                ok = expected in got and got.startswith(('//', '#', '/*', ';')) and 'Generated' in got.split('\n')[0]
            else:
                ok = False
        if not ok:
            failed += 1
            print(f'FAILED: {declarations!r}\n  expected {expected!r} in {file or "the error"}\n  got: {got[:2000]}')
    print(f'{len(CASES) - failed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
