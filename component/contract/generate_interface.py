#!/usr/bin/env python3
"""Writes every file that repeats the component's interface, from its one description,
component/contract/IQuillon.toml (read by interface_table.py).

    generate_interface.py --out-dir DIR [--clang-format PATH]
        The build's files (build_files below), each under DIR where it would stand in the
        sources, written only when its text changes; C++ formatted with clang-format if given.
    generate_interface.py --update-docs | --check-docs
        The generated sections of README.md and packaging/quillon.1: written in place, or
        compared with what is checked in (exit status 1 when they differ).
    generate_interface.py --previous-idl FILE
        The IDL of the library's previous version as it was published (Library.previous_release),
        for the installer's test of an upgrade from it.

Python 3.11's standard library only: the build runs it whenever CMake configures.
"""
import argparse
import json
import pathlib
import re
import subprocess
import sys
import textwrap
import tomllib

from interface_table import TYPES, TableError, read_table

ROOT = pathlib.Path(__file__).resolve().parents[2]
TABLE = "component/contract/IQuillon.toml"
NOTICE = f"Generated from {TABLE} by generate_interface.py: do not edit"


# ---- Helpers ----

def number(value):
    return f"0x{value:08X}" if value >= 0x10000 else str(value)


def guid_initializer(uuid):
    parts = uuid.split("-")
    tail = parts[3] + parts[4]
    bytes_ = ", ".join(f"0x{tail[i:i + 2]}" for i in range(0, 16, 2))
    return f"{{0x{parts[0]}, 0x{parts[1]}, 0x{parts[2]}, {{{bytes_}}}}}"


def quoted(text, prefix=""):
    """A C++ or IDL string literal."""
    return prefix + json.dumps(text, ensure_ascii=False)


def comment(text):
    return "".join(f"// {line}\n" for line in textwrap.wrap(text, 96))


# ---- The C++ and IDL that the servers and the component build from ----

def header(lib):
    cls, lib_name = lib.cls, lib.library["name"]
    major, minor = lib.version()
    out = [f"// {NOTICE}.\n",
           comment("The barcode component's public contract, as a header generated from a type "
                   "library carries it: the identifiers, the library's version, the errors, and "
                   "each interface in vtable order with its dispatch identifiers; and, for the "
                   "class that implements them, each interface's members as overrides."),
           '#pragma once\n\n#include "platform/Platform.h"\n\n']
    for kind, constant, uuid in [("CLSID", f"CLSID_{cls['name']}", cls["uuid"]),
                                 *(("IID", f"IID_{i.name}", i.uuid) for i in lib.interfaces),
                                 ("GUID", f"LIBID_{lib_name}", lib.library["uuid"])]:
        out.append(f"// {{{uuid}}}\nconstexpr {kind} {constant} = {guid_initializer(uuid)};\n")
    out.append(f"\nconstexpr WORD k{lib_name}MajorVersion = {major};\n"
               f"constexpr WORD k{lib_name}MinorVersion = {minor};\n\n"
               "// The ProgID scripts create the object by (version-independent; \".1\" names the "
               f"current one).\ninline constexpr OLECHAR k{cls['name']}ProgId[] = "
               f"OLESTR({quoted(cls['progid'])});\n")
    for error in lib.errors:
        out.append(f"\n{comment(error['help'])}constexpr HRESULT {error['name']} = "
                   f"MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x{error['code']:X});\n")
    for i in lib.interfaces:
        out.append(f"\n// {i.name}'s dispatch identifiers.\n")
        dispids = {m.name: m.dispid for m in i.members}  # one for a property's get and put
        for name, dispid in dispids.items():
            out.append(f"constexpr DISPID {lib.dispid_name(name)} = {number(dispid)};\n")
        declarations = [f"HRESULT STDMETHODCALLTYPE {m.cpp_name()}"
                        f"({', '.join(p.cpp() for p in m.params)})" for m in i.members]
        out.append(f"\nstruct {i.name} : {i.base} {{\n")
        out.extend(f"    virtual {d} = 0;\n" for d in declarations)
        out.append(f"}};\n\n// {i.name}'s members as the class that implements them declares "
                   f"them.\n#define {i.name.upper()}_OVERRIDES")
        out.extend(f" \\\n    {d} override;" for d in declarations)
        out.append("\n")
    return "".join(out)


def property_table(lib):
    out = [f"// {NOTICE}.\n",
           comment("Included by QuillonProperties.h: the values each accessor accepts, and the "
                   "settable properties in the order of the interface."), "\n"]
    for p in lib.properties:
        a = p.accepts
        if p.values() == "kIntegers":
            out.append(f"constexpr IntegerRange k{p.name}Range{{{a['low']}, {a['high']}}};\n")
        elif p.values() == "kReals":
            at_most = repr(float(a["at_most"])) if "at_most" in a else "FLT_MAX"
            out.append(f"constexpr RealRange k{p.name}Range{{{float(a['above'])!r}, {at_most}}};\n")
        elif p.values() == "kText":
            out.append(f"constexpr IntegerRange k{p.name}LengthRange{{0, {a['bytes']}}};\n")
        elif p.values() == "kDigitGroups":
            out.append(f"constexpr IntegerRange k{p.name}GroupsRange{{1, {a['digit_groups']}}};\n"
                       f"constexpr IntegerRange k{p.name}GroupRange{{0, {a['group_high']}}};\n")
        elif p.values() == "kIntegerList":
            values = ", ".join(str(v) for v in a["one_of"])
            out.append(f"constexpr std::int32_t k{p.name}Values[] = {{{values}}};\n"
                       f"constexpr IntegerList k{p.name}List{{k{p.name}Values}};\n")
    out.append("\ninline constexpr QuillonProperty kQuillonProperties[] = {\n")
    for p in lib.properties:
        fields = [f".name = {quoted(p.name)}", f".dispid = {lib.dispid_name(p.name)}",
                  f".type = {TYPES[p.type][1]}", f".type_name = {quoted(p.type_name())}",
                  f".default_value = {quoted(p.default)}",
                  f".values = PropertyValues::{p.values()}"]
        range_field = {"kIntegers": "integers", "kReals": "reals"}.get(p.values())
        if range_field:
            fields.append(f".{range_field} = k{p.name}Range")
        if p.values() == "kIntegerList":
            fields.append(f".listed = k{p.name}List")
        fields += [f".accepted = {quoted(p.accepted_text())}", f".help = {quoted(p.help)}"]
        if p.not_in_micro:
            fields.append(f".not_in_micro = {quoted(p.not_in_micro)}")
        out.append("    {" + ", ".join(fields) + "},\n")
    out.append("};\n")
    return "".join(out)


def accessors(lib):
    """The accessors of the properties that are not by hand, over CQuillon's GetSetting,
    PutSetting, GetSwitch and PutSwitch."""
    out = [f"// {NOTICE}.\n",
           comment("The accessors of the plain properties: a get reads the state field back "
                   "as the declared type, and a put stores a value that the property's range "
                   "or list accepts, or ignores it without an error (pages rely on a bad value "
                   "simply changing nothing). The properties whose puts do more are in "
                   "component/Properties.cpp."),
           '#include "component/CQuillon.h"\n#include "component/contract/QuillonProperties.h"\n']
    for p in lib.properties:
        if p.by_hand:
            continue
        cpp_type = TYPES[p.type][0]
        switch = p.type == "VARIANT_BOOL"
        if p.readable:
            getter = "GetSwitch" if switch else "GetSetting"
            out.append(f"\nHRESULT CQuillon::get_{p.name}({cpp_type}* pVal) {{\n"
                       f"    return {getter}({p.field}, pVal);\n}}\n")
        accepted = {"kIntegers": "Range", "kReals": "Range", "kIntegerList": "List"}
        put = (f"PutSwitch({p.field}, newVal)" if switch else
               f"PutSetting({p.field}, newVal, k{p.name}{accepted[p.values()]})")
        out.append(f"\nHRESULT CQuillon::put_{p.name}({cpp_type} newVal) {{\n"
                   f"    return {put};\n}}\n")
    return "".join(out)


def idl(lib):
    library, cls = lib.library, lib.cls
    out = [f"// {NOTICE}.\n",
           "// The type library of the barcode component: Windows builds compile it into the "
           "DLL's TYPELIB\n// resource, and on Linux the tables of server/QuillonTypeLib.cpp "
           "(generated too) stand in for it.\n\n",
           'import "oaidl.idl";\nimport "ocidl.idl";\n']
    for i in lib.interfaces:
        out.append(f"\n[\n    object,\n    uuid({i.uuid}),\n    dual,\n"
                   f"    helpstring({quoted(i.help)}),\n    pointer_default(unique),\n"
                   f"    oleautomation\n]\ninterface {i.name} : {i.base}\n{{\n")
        for m in i.members:
            attributes = ([] if m.kind == "method" else [m.kind]) + [f"id({number(m.dispid)})"]
            if m.idl_help:
                attributes.append(f"helpstring({quoted(m.idl_help)})")
            params = ", ".join(p.idl() for p in m.params)
            out.append(f"    [{', '.join(attributes)}] HRESULT {m.name}({params});\n")
        out.append("};\n")
    out.append(f"\n[\n    uuid({library['uuid']}),\n    version({library['version']}),\n"
               f"    lcid(0),\n    helpstring({quoted(library['help'])})\n]\n"
               f"library {library['name']}\n{{\n    importlib(\"stdole2.tlb\");\n\n"
               f"    [\n        uuid({cls['uuid']}),\n        helpstring({quoted(cls['help'])})\n"
               f"    ]\n    coclass {cls['name']}\n    {{\n"
               f"        [default] interface {cls['default']};\n    }};\n}};\n")
    return "".join(out)


def param_spec(p):
    builder = {(): "Param", ("in",): "In", ("out",): "Out", ("out", "retval"): "Retval"}
    name = quoted(p.name, "u") if p.name else "nullptr"
    if p.base_type() == "VARIANT_BOOL":  # a short in C++, so the table says what it is
        return f"{builder[p.attributes]}({name}, VT_BOOL)"
    return f"{builder[p.attributes]}({name if p.name else ''})"


def type_table(lib):
    library, cls = lib.library, lib.cls
    name = library["name"]
    builders = {"method": "Method", "propget": "PropertyGet", "propput": "PropertyPut"}
    out = [f"// {NOTICE}.\n",
           comment(f"The type library {name} as data, as server/TarvexQuillon.idl declares it "
                   "(see QuillonTypeLib.h): each interface with its own members and its base, "
                   "unless that is IDispatch. Property puts take one [in] value with no name, as "
                   "the library declares them."),
           '#include "server/QuillonTypeLib.h"\n\n#include "component/contract/IQuillon.h"\n'
           '#include "platform/runtime/DispatchTable.h"\n\nnamespace {\n\n'
           "using namespace dispatch;\n"]
    for i in lib.interfaces:
        out.append(f"\nconstexpr MemberDescription k{i.name}Members[] = {{\n")
        for m in i.members:
            args = [quoted(m.name, "u"), lib.dispid_name(m.name)]
            if m.idl_help:
                args.append(quoted(m.idl_help, "u"))
            if m.params:
                args.append("{" + ", ".join(param_spec(p) for p in m.params) + "}")
            out.append(f"    {builders[m.kind]}<&{m.interface}::{m.cpp_name()}>"
                       f"({', '.join(args)}),\n")
        base = "" if i.base == "IDispatch" else f", &k{i.base}Interface"
        out.append(f"}};\n\nconstexpr InterfaceDescription k{i.name}Interface{{"
                   f"u\"{i.name}\", IID_{i.name}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, "
                   f"{quoted(i.help, 'u')}, k{i.name}Members{base}}};\n")
    interfaces = ", ".join(f"&k{i.name}Interface" for i in lib.interfaces)
    out.append(f"\nconstexpr const InterfaceDescription* kInterfaces[] = {{{interfaces}}};\n\n"
               f"constexpr ClassDescription kClasses[] = {{{{u\"{cls['name']}\", "
               f"CLSID_{cls['name']}, TYPEFLAG_FCANCREATE, {quoted(cls['help'], 'u')}, "
               f"&k{cls['default']}Interface}}}};\n\n}}  // namespace\n\n"
               f"constexpr TypeLibDescription k{name}{{u\"{name}\", LIBID_{name}, "
               f"k{name}MajorVersion, k{name}MinorVersion, 0, SYS_WIN32, "
               f"{quoted(library['help'], 'u')}, kInterfaces, kClasses}};\n")
    return "".join(out)


def script(lib, template):
    """The registration script: its template with the class's names and identifiers."""
    values = {"PROGID": lib.cls["progid"], "DESCRIPTION": lib.cls["description"],
              "CLSID": "{" + lib.cls["uuid"] + "}", "LIBID": "{" + lib.library["uuid"] + "}"}
    return re.sub(r"@(\w+)@", lambda m: values[m[1]], template)


# ---- The demo page: its form, and the property table its script reads ----

def json_text(text):
    """A JSON string that is also safe inside a <script> element."""
    return json.dumps(text, ensure_ascii=False).replace("<", "\\u003c")


def properties_json(lib):
    entries = []
    for p in lib.properties:
        fields = [("name", p.name), ("type", p.type_name()), ("default", p.default),
                  ("accepted", p.accepted_text()), ("help", p.help)]
        entry = ",".join(f'"{key}":{json_text(value)}' for key, value in fields)
        if p.values() == "kIntegers":
            entry += f',"low":{p.accepts["low"]},"high":{p.accepts["high"]}'
        elif p.values() == "kIntegerList":
            entry += f',"values":{json.dumps(p.accepts["one_of"])}'
        elif p.values() == "kReals" and "at_most" in p.accepts:
            entry += f',"atMost":{p.accepts["at_most"]:.17g}'
        if p.not_in_micro:
            entry += f',"notInMicro":{json_text(p.not_in_micro)}'
        entries.append("{" + entry + "}")
    return "[" + ",".join(entries) + "]"


def control(p, indent):
    """The form's control of a property, in its label."""
    form, name = p.form, p.name
    if form.get("control") == "textarea":
        return (f'<label class="wide">{name} <small></small>'
                f'<textarea id="{name}" name="{name}"></textarea></label>')
    if form.get("control") == "colour":
        return f'<label>{name}<input id="{name}" type="color"></label>'
    if p.type == "VARIANT_BOOL":
        return f'<label class="check wide"><input type="checkbox" id="{name}"> {name}</label>'
    if "choices" in form or p.values() == "kIntegerList":
        labelled = (enumerate(form["choices"]) if "choices" in form
                    else ((value, value) for value in p.accepts["one_of"]))
        options = "".join(f'<option value="{value}">{label}</option>' for value, label in labelled)
        return (f"<label>{name} <small></small>\n"
                f'{indent}  <select id="{name}">{options}</select></label>')
    attributes = "".join(f' {a}="{form[a]}"' for a in ("min", "step", "placeholder") if a in form)
    box = "text" if p.type == "BSTR" else "number"
    return f'<label>{name} <small></small><input id="{name}" type="{box}"{attributes}></label>'


def demo_page(lib, template):
    """The page with each line <!--@Name ...--> replaced by those properties' controls, the line
    <!--@others--> by a fieldset of every property placed nowhere else, and the script's
    /*@PROPERTIES@*/[] by the property table."""
    by_name = {p.name: p for p in lib.properties}
    placed = set()

    def controls(match):
        indent, names = match[1], match[2].split()
        if names == ["others"]:
            rest = [p for p in lib.properties if p.name not in placed]
            inner = indent + "  "
            lines = [f"{inner}{control(p, inner)}\n" for p in rest]
            return (f"{indent}<fieldset>\n{inner}<legend>More properties</legend>\n"
                    + "".join(lines) + f"{indent}</fieldset>\n") if rest else ""
        for name in names:
            if name not in by_name or name in placed:
                raise TableError(f"the demo page places {name}, no settable property, or twice")
            placed.add(name)
        return "".join(f"{indent}{control(by_name[name], indent)}\n" for name in names)

    page = re.sub(r"(?m)^( *)<!--@([\w ]+)-->\n", controls, template)
    return page.replace("/*@PROPERTIES@*/[]", properties_json(lib))


def build_files(lib, read):
    """Each file of the build by its place under --out-dir; the registration script and the
    page are filled in from their templates in the sources, which `read(path)` gives."""
    return {
        "component/contract/IQuillon.h": header(lib),
        "component/contract/QuillonPropertyTable.inc": property_table(lib),
        "component/QuillonAccessors.cpp": accessors(lib),
        "server/TarvexQuillon.idl": idl(lib),
        "server/QuillonTypeLib.cpp": type_table(lib),
        "server/TarvexQuillon.rgs": script(lib, read("server/TarvexQuillon.rgs.in")),
        "hosts/serve/DemoPage.html": demo_page(lib, read("hosts/serve/DemoPage.html")),
    }


# ---- The checked-in tables of README.md and the man page ----

def readme_table(lib):
    rows = [f"| `{p.name}` | {p.type_name()} | {p.default} | {p.accepted_text()} | {p.help} |\n"
            for p in lib.properties]
    return ("| Property | Type | Default | Accepted | Meaning |\n|---|---|---|---|---|\n"
            + "".join(rows))


def troff(text):
    for character, escape in (("\\", "\\e"), ("-", "\\-"), ("~", "\\(ti"), ("^", "\\(ha")):
        text = text.replace(character, escape)
    return "\\&" + text if text[:1] in (".", "'") else text


def man_page_list(lib):
    return "".join(
        f".TP\n.B {p.name}\n"
        + troff(f"{p.type_name()}, default {p.default}, accepted: {p.accepted_text()}.") + "\n"
        + troff(p.help + ".") + "\n" for p in lib.properties)


# Each checked-in section: its file, the lines that open and close it, and how it is made.
DOCS = [
    ("README.md", f"<!-- {NOTICE}; run it with --update-docs. -->",
     "<!-- End of the generated table. -->", readme_table),
    ("packaging/quillon.1", f'.\\" {NOTICE}; run it with --update-docs.',
     '.\\" End of the generated list.', man_page_list),
]


def with_section(text, begin, end, section, path):
    start, stop = text.find(begin + "\n"), text.find(end + "\n")
    if start < 0 or stop < start:
        raise TableError(f"{path} lacks the lines around its generated section:\n{begin}\n{end}")
    return text[:start + len(begin) + 1] + section + text[stop:]


def stale_docs(lib, update):
    """The checked-in files whose sections differ from the table, rewritten when `update`."""
    stale = []
    for path, begin, end, make in DOCS:
        file = ROOT / path
        text = file.read_text(encoding="utf-8")
        fresh = with_section(text, begin, end, make(lib), path)
        if fresh != text:
            stale.append(path)
            if update:
                file.write_text(fresh, encoding="utf-8")
    return stale


# ---- Running ----

def formatted(text, path, clang_format):
    if not clang_format or not path.endswith((".h", ".cpp", ".inc")):
        return text
    return subprocess.run([clang_format, "--style=file", f"--assume-filename={ROOT / path}"],
                          input=text, capture_output=True, text=True, check=True).stdout


def write_build_files(lib, out_dir, clang_format):
    read = lambda path: (ROOT / path).read_text(encoding="utf-8")
    for path, text in build_files(lib, read).items():
        text = formatted(text, path, clang_format)
        file = out_dir / path
        if not file.exists() or file.read_text(encoding="utf-8") != text:
            file.parent.mkdir(parents=True, exist_ok=True)
            file.write_text(text, encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--out-dir", type=pathlib.Path)
    what.add_argument("--update-docs", action="store_true")
    what.add_argument("--check-docs", action="store_true")
    what.add_argument("--previous-idl", type=pathlib.Path)
    parser.add_argument("--clang-format")
    args = parser.parse_args()
    try:
        lib = read_table((ROOT / TABLE).read_text(encoding="utf-8"))
        if args.out_dir:
            write_build_files(lib, args.out_dir, args.clang_format)
            return 0
        if args.previous_idl:
            args.previous_idl.parent.mkdir(parents=True, exist_ok=True)
            args.previous_idl.write_text(idl(lib.previous_release()), encoding="utf-8")
            return 0
        stale = stale_docs(lib, args.update_docs)
    except (TableError, tomllib.TOMLDecodeError) as error:
        print(f"generate_interface.py: {TABLE}: {error}", file=sys.stderr)
        return 1
    except KeyError as error:
        print(f"generate_interface.py: {TABLE}: {error} is missing", file=sys.stderr)
        return 1
    if stale and args.check_docs:
        print(f"generate_interface.py: the generated sections of {' and '.join(stale)} are not "
              f"what {TABLE} makes: run component/contract/generate_interface.py --update-docs",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
