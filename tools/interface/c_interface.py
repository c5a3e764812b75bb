#!/usr/bin/env python3
"""Writes everything that mirrors the C interface from include/kivanime.h.

The header is the one description of the interface. This reads it through
clang's own parser (its JSON syntax tree) and writes, into the build folder:

  exports.txt             the exported names, one a line
  exports.map             the Linux version script (only those names leave)
  kivanime.def            the Windows DLL's export list
  kivanime_export_names.h an X-macro list of the names, for C and C++ tests
  signatures.txt          name, result and parameter types of every export,
                          as C spells them, for the front-ends' tests
  layout_check.c          static checks of the record offsets written below
  c-interface.js          the JavaScript mirror's table and record layouts
  NativeMethods.cs        the C# declarations: records, enums, delegates and
                          one DllImport per export

Every generated file says so in its first line. Whatever the header declares
that no rule below covers stops the build with the declaration's name: a new
kind of parameter is taught here once, not copied into every front-end.

Usage: c_interface.py --clang clang-14 --header include/kivanime.h --out DIR
"""

import argparse
import json
import os
import re
import subprocess
import sys
import textwrap

PREFIX = 'Anime'
SCALARS = {'int32_t': 4, 'uint32_t': 4, 'float': 4, 'uint16_t': 2}
CSHARP_SCALARS = {'int32_t': 'int', 'uint32_t': 'uint', 'float': 'float', 'uint16_t': 'ushort', 'void': 'void'}
JS_SCALARS = {'int32_t': 'i', 'uint32_t': 'u', 'float': 'f'}
CSHARP_KEYWORDS = {'out', 'ref', 'in', 'object', 'string', 'base', 'event', 'params', 'fixed', 'checked', 'lock'}


class InterfaceError(Exception):
    pass


def parse(clang, header):
    """The header's syntax tree, as clang reads it in C."""
    command = [clang, '-x', 'c', '-std=c11', '-Xclang', '-ast-dump=json', '-fsyntax-only', header]
    result = subprocess.run(command, capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise InterfaceError(f'{" ".join(command)} failed:\n{result.stderr}')
    return json.loads(result.stdout)


def source_text(source, node):
    """The declaration as written (clang reports byte offsets)."""
    begin = node['range']['begin']
    end = node['range']['end']
    begin = begin.get('expansionLoc', begin).get('offset')
    end = end.get('expansionLoc', end)
    return source[begin:end['offset'] + end['tokLen']].decode()


def type_of(node):
    return node['type']['qualType']


def pointee(ctype):
    """`const X *` -> ('X', True); not a pointer -> (None, False)."""
    match = re.fullmatch(r'(const )?(\w+) \*', ctype)
    return (match.group(2), bool(match.group(1))) if match else (None, False)


class Interface:
    def __init__(self, tree, source):
        self.records = {}    # name -> [(field, ctype, offset)], size
        self.enums = {}      # name -> [(enumerator, value)]
        self.callbacks = {}  # name -> (result, [parameter types])
        self.functions = []  # (name, result, [(parameter, ctype, array length or None)])
        self.docs = {}       # 'AnimeEvent', 'AnimeEvent.kind', 'ANIME_EVENT_KIND_LAP' -> the header's comment
        for node in tree['inner']:
            name = node.get('name', '')
            if not name.startswith(PREFIX) or node.get('isImplicit'):
                continue
            kind = node['kind']
            if kind == 'RecordDecl' and node.get('completeDefinition'):
                self.add_record(node)
            elif kind == 'EnumDecl':
                self.enums[name] = [(e['name'], None) for e in node.get('inner', []) if e['kind'] == 'EnumConstantDecl']
                self.docs[name] = comment(node)
                self.docs.update((e['name'], comment(e)) for e in node.get('inner', []) if 'name' in e)
            elif kind == 'TypedefDecl':
                self.add_typedef(node)
            elif kind == 'FunctionDecl':
                self.add_function(node, source)
        self.enum_values(tree)

    def add_record(self, node):
        fields = []
        offset = 0
        for field in node.get('inner', []):
            if field['kind'] != 'FieldDecl':
                continue
            ctype = type_of(field)
            size = SCALARS.get(ctype, 8 if ctype.endswith('*') or ctype in self.callbacks else None)
            if size is None:
                raise InterfaceError(f'{node["name"]}.{field["name"]}: no layout rule for the type "{ctype}"')
            offset = (offset + size - 1) // size * size  # natural alignment, as the C compiler does
            fields.append((field['name'], ctype, offset))
            self.docs[node['name'] + '.' + field['name']] = comment(field)
            offset += size
        self.records[node['name']] = fields
        self.docs[node['name']] = comment(node)

    def add_typedef(self, node):
        match = re.fullmatch(r'(.+?) ?\(\*\)\((.*)\)', type_of(node))
        if match:
            params = [] if match.group(2) in ('', 'void') else match.group(2).split(', ')
            self.callbacks[node['name']] = (match.group(1), params)

    def add_function(self, node, source):
        inner = node.get('inner', [])
        if not any(n['kind'] == 'VisibilityAttr' for n in inner):
            raise InterfaceError(f'{node["name"]} is declared without ANIME_API')
        result = re.match(r'(.*?) ?\(', type_of(node)).group(1)
        params = []
        for p in inner:
            if p['kind'] == 'ParmVarDecl':
                array = re.search(r'\[(\d+)\]\s*$', source_text(source, p))
                params.append((p['name'], type_of(p), int(array.group(1)) if array else None))
        self.functions.append((node['name'], result, params))

    def enum_values(self, tree):
        """The enumerators' values, as the compiler works them out."""
        values = {}
        for node in tree['inner']:
            if node['kind'] != 'EnumDecl' or not node.get('name', '').startswith(PREFIX):
                continue
            nxt = 0
            for e in node.get('inner', []):
                if e['kind'] != 'EnumConstantDecl':
                    continue
                value = find_value(e)
                nxt = nxt if value is None else value
                values[e['name']] = nxt
                nxt += 1
        for name, members in self.enums.items():
            self.enums[name] = [(member, values[member]) for member, _ in members]

    def field_enum(self, record, field):
        """The enum that lists a field's values: named after both (AnimeEvent + kind)."""
        name = record + field[0].upper() + field[1:]
        return name if name in self.enums else None

    def classify(self, name, params):
        """Each parameter's role, the same for every front-end."""
        roles = []
        for i, (pname, ctype, array) in enumerate(params):
            target, const = pointee(ctype)
            followed_by_count = i + 1 < len(params) and params[i + 1][1] == 'int32_t'
            if ctype in JS_SCALARS:
                role = 'count' if roles and roles[-1] in ('bytes', 'records', 'floats-in') else 'scalar'
            elif ctype in self.callbacks:
                role = 'callback'
            elif target == 'char' and const:
                role = 'bytes' if followed_by_count else 'string'
            elif target == 'float' and not const:
                role = f'floats[{array}]' if array else 'float-out'
            elif target == 'float' and followed_by_count:
                role = 'floats-in'  # an array the caller fills, with its length after it
            elif target in self.records and const:
                role = 'record-in'
            elif target in self.records:
                role = 'records' if followed_by_count else 'record-out'
            elif ctype == 'void *':
                role = 'pointer'  # the host's own context, handed back untouched
            else:
                raise InterfaceError(f'{name}: no rule for the parameter "{ctype} {pname}"')
            roles.append(role)
        return roles


def find_value(node):
    """An enumerator's value: the constant clang folded, or its literal."""
    for child in node.get('inner', []):
        if 'value' in child and child['kind'] in ('ConstantExpr', 'IntegerLiteral'):
            return int(child['value'])
        found = find_value(child)
        if found is not None:
            return found
    return None


def comment(node):
    """The text of the declaration's documentation comment, '' without one."""
    texts = []

    def gather(n):
        if n.get('kind') == 'TextComment':
            texts.append(n['text'].strip())
        for child in n.get('inner', []):
            gather(child)

    for child in node.get('inner', []):
        if child['kind'] == 'FullComment':
            gather(child)
    return ' '.join(t for t in texts if t)


def summary(text, indent):
    """A C# documentation comment carrying the header's text."""
    if not text:
        return []
    text = text.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')
    lines = textwrap.wrap(f'<summary>{text}</summary>', 96 - len(indent))
    return [f'{indent}/// {line}' for line in lines]


def pascal(name):
    return name[0].upper() + name[1:]


def enum_members(name, members):
    """ANIME_EVENT_KIND_LAP of AnimeEventKind -> 'Lap' (the members' common prefix dropped)."""
    names = [m for m, _ in members]
    common = os.path.commonprefix(names) if len(names) > 1 else re.sub(r'(?<!^)([A-Z])', r'_\1', name).upper() + '_'
    common = common[:common.rfind('_') + 1]
    return [(''.join(w.capitalize() for w in m[len(common):].split('_')), v) for m, v in members]


HEADER = 'Generated from include/kivanime.h by tools/interface/c_interface.py at build time: do not edit.'


def write(path, text):
    """Writes only what changed, so that the build redoes only what depends on it."""
    old = None
    if os.path.exists(path):
        with open(path, encoding='utf-8') as f:
            old = f.read()
    if old != text:
        with open(path, 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)


def export_lists(api, out):
    names = [name for name, _, _ in api.functions]
    write(os.path.join(out, 'exports.txt'), f'# {HEADER}\n' + ''.join(n + '\n' for n in names))
    write(os.path.join(out, 'exports.map'), f'/* {HEADER} */\n{{\n    global:\n' +
          ''.join(f'        {n};\n' for n in names) + '    local:\n        *;\n};\n')
    write(os.path.join(out, 'kivanime.def'), f'; {HEADER}\nEXPORTS\n' + ''.join(f'    {n}\n' for n in names))
    write(os.path.join(out, 'kivanime_export_names.h'), f'/* {HEADER} */\n#define KIVANIME_EXPORT_COUNT {len(names)}\n'
          '#define KIVANIME_FOR_EACH_EXPORT(X) \\\n    ' + ' \\\n    '.join(f'X({n})' for n in names) + '\n')
    write(os.path.join(out, 'signatures.txt'), f'# {HEADER}\n# name|result|parameter types\n' +
          ''.join('|'.join([n, r] + [t + (f'[{a}]' if a else '') for _, t, a in p]) + '\n' for n, r, p in api.functions))
    checks = ''.join(f'ANIME_STATIC_ASSERT(offsetof({r}, {f}) == {o}, generated_{r}_{f});\n'
                     for r, fields in api.records.items() for f, _, o in fields)
    write(os.path.join(out, 'layout_check.c'), f'/* {HEADER} */\n/* The offsets the front-ends read records at, as the compiler lays them out. */\n'
          f'#include "kivanime.h"\n\n{checks}')


def javascript(api):
    """The C mirror's table: a result kind, a colon and one kind per parameter."""
    # A page has no threads to run tasks on: the task system's functions and
    # its context cross as plain numbers (a function table index, an address).
    js_roles = {'string': 's', 'bytes': 'b', 'floats-in': 'g', 'callback': None, 'float-out': 'o', 'record-in': None,
                'record-out': None, 'records': None, 'pointer': 'i'}
    by_record = {'record-in': {'AnimeHostCallbacks': 'h'}, 'record-out': {'AnimeEvent': 'e'},
                 'records': {'AnimeMeshVertex': 'x'}, 'callback': {'AnimeDrawMeshFn': 'm', 'AnimeEnqueueTaskFn': 'i', 'AnimeFinishTaskFn': 'i'}}
    rows = []
    for name, result, params in api.functions:
        kinds = ''
        for (pname, ctype, _), role in zip(params, api.classify(name, params)):
            if role == 'scalar':
                kind = JS_SCALARS[ctype]
            elif role == 'count':
                kind = 'n' if kinds.endswith(('b', 'g')) else 'i'
            elif role.startswith('floats['):
                kind = 'a'
            elif role in by_record:
                kind = by_record[role].get(ctype if role == 'callback' else pointee(ctype)[0])
            else:
                kind = js_roles[role]
            if kind is None:
                raise InterfaceError(f'{name}: the JavaScript mirror has no kind for "{ctype} {pname}"')
            kinds += kind
        res = {'void': 'v', 'const char *': 'z'}.get(result, JS_SCALARS.get(result))
        if res is None:
            raise InterfaceError(f'{name}: the JavaScript mirror has no result kind for "{result}"')
        rows.append(f"    {name}: '{res}:{kinds}',")
    records = []
    typedefs = []
    for record, fields in api.records.items():
        if any(t not in SCALARS for _, t, _ in fields):
            continue  # tables of host functions are written by the mirror itself
        size = fields[-1][2] + SCALARS[fields[-1][1]]
        records.append(f'    {record}: {{ bytes: {size}, fields: {{ ' +
                       ', '.join(f"{f}: [{o}, '{t}']" for f, t, o in fields) + ' } },')
        typedefs.append(f' * @typedef {{{{{", ".join(f"{f}: number" for f, _, _ in fields)}}}}} {record}')
    enums = [f'/** The values of the C enum {name}. */\nexport const {name} = Object.freeze({{ ' +
             ', '.join(f'{m}: {v}' for m, v in enum_members(name, members)) + ' });\n'
             for name, members in api.enums.items()]
    return (f'// {HEADER}\n'
            '// The C interface as the JavaScript mirror (kivanime.js, records.js)\n'
            '// reads it; the kinds are explained at CMirror in kivanime.js.\n\n'
            '/** Every export: its result kind, a colon, one kind per parameter. */\n'
            'export const C_FUNCTIONS = /** @type {const} */ ({\n' + '\n'.join(rows) + '\n});\n\n'
            '/** Each record\'s size in bytes, and each field\'s byte offset and C type. */\n'
            'export const RECORDS = /** @type {const} */ ({\n' + '\n'.join(records) + '\n});\n\n' +
            '\n'.join(enums) + '\n/**\n' + '\n'.join(typedefs) + '\n */\n\nexport {};\n')


def csharp_type(api, ctype, role, callback=False):
    target, const = pointee(ctype)
    if role in ('scalar', 'count') or ctype in CSHARP_SCALARS:
        return CSHARP_SCALARS[ctype]
    if role == 'string' or role == 'bytes':
        return 'byte[]'
    if role == 'float-out':
        return 'out float'
    if role == 'floats-in':
        # An address, so that the bindings can pass part of a pinned array
        # (C# 6 has no spans) without copying it.
        return 'IntPtr'
    if role.startswith('floats'):
        return '[Out] float[]'
    if role == 'record-in':
        return f'ref {target}'
    if role == 'record-out':
        return f'out {target}'
    if role == 'records':
        return f'[Out] {target}[]'
    return 'IntPtr'


def csharp(api):
    lines = [f'// {HEADER}',
             '// The C interface declared for C#, internal to the bindings but for the',
             '// records and enums: strings go in as NUL-terminated UTF-8 byte arrays',
             '// (Utf8 in Kivanime.cs); records are blittable, laid out at the offsets',
             '// the header gives them, so they cross in place.',
             'using System;', 'using System.Runtime.InteropServices;', '', 'namespace Kivanime', '{']
    for name, members in api.enums.items():
        lines += summary(api.docs.get(name), '    ') + [f'    public enum {name}', '    {']
        for (member, _), (m, v) in zip(members, enum_members(name, members)):
            lines += summary(api.docs.get(member), '        ') + [f'        {m} = {v},']
        lines += ['    }', '']
    for record, fields in api.records.items():
        public = all(t in SCALARS for _, t, _ in fields)
        size = fields[-1][2] + SCALARS.get(fields[-1][1], 8)
        layout = f'[StructLayout(LayoutKind.Explicit, Size = {size})]' if public else '[StructLayout(LayoutKind.Sequential)]'
        lines += summary(api.docs.get(record), '    ')
        lines += [f'    {layout}', f'    {"public" if public else "internal"} partial struct {record}', '    {']
        for field, ctype, offset in fields:
            ftype = api.field_enum(record, field) or CSHARP_SCALARS.get(ctype, 'IntPtr')
            lines += summary(api.docs.get(f'{record}.{field}'), '        ')
            lines.append(f'        {f"[FieldOffset({offset})] " if public else ""}public {ftype} {pascal(field)};')
        lines += ['    }', '']
    for name, (result, params) in api.callbacks.items():
        args = []
        for i, ctype in enumerate(params):
            target, _ = pointee(ctype)
            array = i + 1 < len(params) and params[i + 1] == 'int32_t'
            args.append(f'ref {target}' if target in api.records and not array else CSHARP_SCALARS.get(ctype, 'IntPtr'))
        lines += ['    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]',
                  f'    internal delegate {CSHARP_SCALARS.get(result, "IntPtr")} {name}(' +
                  ', '.join(f'{a} p{i}' for i, a in enumerate(args)) + ');', '']
    lines += ['    internal static class NativeMethods', '    {',
              '        // "kivanime" finds kivanime.dll on Windows and libkivanime.so on Linux.',
              '        public const string Library = "kivanime";', '']
    for name, result, params in api.functions:
        roles = api.classify(name, params)
        args = ', '.join(f'{csharp_type(api, t, r)} {"@" + p if p in CSHARP_KEYWORDS else p}'
                         for (p, t, _), r in zip(params, roles))
        ret = CSHARP_SCALARS.get(result, 'IntPtr')
        lines.append(f'        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] '
                     f'public static extern {ret} {name}({args});')
    lines += ['    }', '}']
    return '\n'.join(lines) + '\n'


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--clang', default='clang-14')
    parser.add_argument('--header', required=True)
    parser.add_argument('--out', required=True)
    args = parser.parse_args()
    try:
        with open(args.header, 'rb') as f:
            source = f.read()
        api = Interface(parse(args.clang, args.header), source)
        if not api.functions:
            raise InterfaceError(f'{args.header} declares no {PREFIX}_ function')
        os.makedirs(args.out, exist_ok=True)
        export_lists(api, args.out)
        write(os.path.join(args.out, 'c-interface.js'), javascript(api))
        write(os.path.join(args.out, 'NativeMethods.cs'), csharp(api))
    except (InterfaceError, OSError) as e:
        print(f'c_interface.py: {e}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
