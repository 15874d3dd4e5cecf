#!/usr/bin/env python3
"""The interface generator (component/contract/): a description that could not be a type
library is refused with the reason, one edit of the table reaches every generated file, and a
derived interface comes out as the next interface of the component needs it."""
import pathlib
import sys
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "component/contract"))

import generate_interface as generate  # noqa: E402
from interface_table import TableError, read_table  # noqa: E402

TABLE = (ROOT / "component/contract/IQuillon.toml").read_text(encoding="utf-8")

WIDGET = """
[library]
name = "WidgetLib"
uuid = "00000000-0000-0000-0000-000000000001"
version = "1.0"
help = "Widgets"

[class]
name = "Widget"
uuid = "00000000-0000-0000-0000-000000000002"
help = "Widget"
description = "Widget Class"
progid = "Test.Widget"
default = "IWidget"

[[interface]]
name = "IWidget"
uuid = "00000000-0000-0000-0000-000000000003"
base = "IDispatch"
help = "IWidget Interface"

[[interface.member]]
property = "Size"
id = 1
type = "short"
access = "get put"
default = "3"
accepts = { low = 1, high = 9 }
help = "how big"
"""

MEMBER = "\n[[interface.member]]\n"
DERIVED = """
[[interface]]
name = "IWidget2"
uuid = "00000000-0000-0000-0000-000000000004"
base = "IWidget"
help = "IWidget2 Interface"
"""


def build_files(table):
    read = lambda path: (ROOT / path).read_text(encoding="utf-8")
    return generate.build_files(read_table(table), read)


class RefusedTables(unittest.TestCase):
    def test_each_refusal_says_why(self):
        cases = [
            # (what is wrong, the table, what the error says)
            ("two members, one DISPID", WIDGET + MEMBER + 'method = "Reset"\nid = 1\n',
             "Reset and Size have one DISPID, 1"),
            ("a property's get twice", WIDGET + MEMBER
             + 'property = "Size"\nid = 1\ntype = "short"\naccess = "get"\n', "one DISPID"),
            ("a derived interface reuses its base's DISPID",
             WIDGET + DERIVED + MEMBER + 'method = "Reset"\nid = 1\n', "one DISPID"),
            ("no such access", WIDGET.replace('"get put"', '"set"'), "access is"),
            ("no access", WIDGET.replace('"get put"', '""'), "access is"),
            ("a settable property without help", WIDGET.replace('help = "how big"', ""),
             "needs `help`"),
            ("without accepted values", WIDGET.replace("accepts = { low = 1, high = 9 }", ""),
             "needs `accepts`"),
            ("without a default", WIDGET.replace('default = "3"', ""), "needs `default`"),
            ("a settable VARIANT", WIDGET.replace('"short"', '"VARIANT"'), "cannot be of type"),
            ("a type IDL lacks", WIDGET.replace('"short"', '"int"'), "unknown type int"),
            ("a parameter without a name",
             WIDGET + MEMBER + 'method = "Fill"\nid = 2\nparams = ["[in] short"]\n',
             "not a parameter"),
            ("a parameter of a type IDL lacks",
             WIDGET + MEMBER + 'method = "Fill"\nid = 2\nparams = ["[in] colour c"]\n',
             "unknown type colour"),
            ("a base declared after", DERIVED.replace("IWidget2", "IWidget0") + WIDGET,
             "not an interface before it"),
            ("text without its limits",
             WIDGET.replace('"short"', '"BSTR"'), "only text, accepts"),
            ("digit groups that are not text",
             WIDGET.replace("low = 1, high = 9", "digit_groups = 2, group_high = 899"),
             "only text, accepts"),
            ("a default interface that is not there",
             WIDGET.replace('default = "IWidget"', 'default = "IGadget"'), "is not here"),
            ("a list of reals", WIDGET.replace('"short"', '"float"').replace(
                "low = 1, high = 9", "one_of = [1.5]"), "only integers are `one_of`"),
            ("an empty list", WIDGET.replace("low = 1, high = 9", "one_of = []"),
             "only integers are `one_of`"),
            ("a field that is no name", WIDGET + 'field = "Size Kept"\n', "no C++ name"),
            ("a field of a property by hand", WIDGET + 'field = "Kept"\nby_hand = true\n',
             "names no `field`"),
            ("text whose accessors would be generated", WIDGET.replace('"short"', '"BSTR"')
             .replace("low = 1, high = 9", "bytes = 9"), "say `by_hand`"),
        ]
        for what, table, message in cases:
            with self.subTest(what), self.assertRaises(TableError) as raised:
                read_table(table)
            self.assertIn(message, str(raised.exception), what)

    def test_the_demo_page_places_only_settable_properties_once(self):
        lib = read_table(TABLE)
        for template in ("<!--@PNGImage-->\n", "<!--@Mode-->\n<!--@Mode-->\n"):
            with self.subTest(template), self.assertRaises(TableError):
                generate.demo_page(lib, template)

    def test_a_checked_in_file_without_its_markers_is_refused(self):
        with self.assertRaises(TableError):
            generate.with_section("no markers\n", "<!-- begin -->", "<!-- end -->", "", "README")


class OneEdit(unittest.TestCase):
    def test_a_new_property_reaches_every_generated_file(self):
        table = TABLE + MEMBER + """property = "Sample"
id = 900
type = "short"
access = "put"
default = "2"
accepts = { low = 0, high = 9 }
help = "a sample"
"""
        files = build_files(table)
        lib = read_table(table)
        expected = [
            ("component/contract/IQuillon.h", "constexpr DISPID DISPID_QUILLON_SAMPLE = 900;"),
            ("component/contract/IQuillon.h",
             "virtual HRESULT STDMETHODCALLTYPE put_Sample(SHORT newVal) = 0;"),
            ("component/contract/IQuillon.h", "put_Sample(SHORT newVal) override;"),
            ("component/contract/QuillonPropertyTable.inc",
             "constexpr IntegerRange kSampleRange{0, 9};"),
            ("component/contract/QuillonPropertyTable.inc",
             '.accepted = "0..9", .help = "a sample"'),
            ("server/TarvexQuillon.idl", '[propput, id(900), helpstring("property Sample")] '
                                         "HRESULT Sample([in] short newVal);"),
            ("server/QuillonTypeLib.cpp", 'PropertyPut<&IQuillon3::put_Sample>(u"Sample", '
                                          'DISPID_QUILLON_SAMPLE, u"property Sample", {In()})'),
            ("hosts/serve/DemoPage.html", "<legend>More properties</legend>"),
            ("hosts/serve/DemoPage.html", '      <label>Sample <small></small>'
                                          '<input id="Sample" type="number"></label>\n'
                                          "    </fieldset>\n  </form>"),
            ("hosts/serve/DemoPage.html",
             '{"name":"Sample","type":"16-bit integer","default":"2","accepted":"0..9",'
             '"help":"a sample","low":0,"high":9}]'),
            ("component/QuillonAccessors.cpp", "HRESULT CQuillon::put_Sample(SHORT newVal) {\n"
                                               "    return PutSetting(Sample, newVal, "
                                               "kSampleRange);\n}"),
        ]
        for path, text in expected:
            self.assertTrue(text in files[path], f"{path} lacks {text}")
        self.assertIn("| `Sample` | 16-bit integer | 2 | 0..9 | a sample |\n",
                      generate.readme_table(lib))
        self.assertIn(".B Sample\n16\\-bit integer, default 2, accepted: 0..9.\na sample.\n",
                      generate.man_page_list(lib))

    def test_the_page_keeps_no_mark(self):
        self.assertNotIn("<!--@", build_files(TABLE)["hosts/serve/DemoPage.html"])


class NextInterface(unittest.TestCase):
    def test_a_derived_interface_is_the_class_default_with_the_library_version(self):
        table = WIDGET.replace('default = "IWidget"', 'default = "IWidget2"').replace(
            'version = "1.0"', 'version = "1.1"') + DERIVED + MEMBER + (
            'property = "Tag"\nid = 2\ntype = "BSTR"\naccess = "get put"\ndefault = "000"\n'
            'accepts = { digit_groups = 4, group_high = 899 }\nhelp = "a tag"\nby_hand = true\n')
        lib = read_table(table)
        expected = [
            (generate.idl, "interface IWidget2 : IWidget\n{\n"
                           '    [propget, id(2), helpstring("property Tag")]'),
            (generate.idl, "version(1.1)"),
            (generate.idl, "[default] interface IWidget2;"),
            (generate.header, "struct IWidget2 : IWidget {\n"
                              "    virtual HRESULT STDMETHODCALLTYPE get_Tag(BSTR* pVal) = 0;"),
            (generate.header, "constexpr WORD kWidgetLibMinorVersion = 1;"),
            (generate.header, "#define IWIDGET2_OVERRIDES"),
            # Linux's table gives each interface its own members and names the base, as a
            # compiled library does; IDispatch, the base of the first, goes unnamed.
            (generate.type_table, "kIWidget2Members[] = {\n    PropertyGet<&IWidget2::get_Tag>"),
            (generate.type_table, "kIWidgetMembers};"),
            (generate.type_table, "kIWidget2Members, &kIWidgetInterface};"),
            (generate.type_table, "kInterfaces[] = {&kIWidgetInterface, &kIWidget2Interface}"),
            (generate.type_table, "&kIWidget2Interface}};"),
            (generate.property_table, "kTagGroupsRange{1, 4};\n"),
            (generate.property_table, "kTagGroupRange{0, 899};\n"),
            (generate.property_table, "3 to 12 decimal digits, in groups of three from 000 to 899"),
        ]
        for make, text in expected:
            self.assertIn(text, make(lib), make.__name__)
        self.assertEqual(generate.header(lib).count("#define IWIDGET"), 2)

    def test_the_previous_release_is_the_table_before_the_interface(self):
        derived = WIDGET.replace('default = "IWidget"', 'default = "IWidget2"').replace(
            'version = "1.0"', 'version = "1.1"') + DERIVED + MEMBER + (
            'property = "Tag"\nid = 2\ntype = "long"\naccess = "get put"\ndefault = "0"\n'
            'accepts = { low = 0, high = 1 }\nhelp = "a tag"\n')
        previous = read_table(derived).previous_release()
        self.assertEqual(generate.idl(previous), generate.idl(read_table(WIDGET)))
        self.assertEqual([p.name for p in previous.properties], ["Size"])
        with self.assertRaises(TableError):
            previous.previous_release()  # 1.0 has none


class Accessors(unittest.TestCase):
    def test_a_list_a_field_a_switch_and_a_property_by_hand(self):
        lib = read_table(WIDGET + 'field = "Kept"\n' + MEMBER + (
            'property = "Depth"\nid = 2\ntype = "long"\naccess = "put"\ndefault = "0"\n'
            'accepts = { one_of = [0, 4, 6] }\nhelp = "how deep"\nnot_in_micro = "none"\n')
            + MEMBER + 'property = "Shiny"\nid = 3\ntype = "VARIANT_BOOL"\naccess = "put"\n'
            'default = "False"\nhelp = "shiny"\nby_hand = true\n')
        made = generate.accessors(lib)
        self.assertIn("get_Size(SHORT* pVal) {\n    return GetSetting(Kept, pVal);", made)
        self.assertIn("put_Depth(LONG newVal) {\n    return PutSetting(Depth, newVal, kDepthList);",
                      made)
        self.assertNotIn("Shiny", made)
        self.assertIn('.listed = kDepthList, .accepted = "one of 0, 4, 6", .help = "how deep", '
                      '.not_in_micro = "none"}', generate.property_table(lib))
        self.assertIn('<option value="4">4</option>', generate.demo_page(lib, "<!--@Depth-->\n"))


class Troff(unittest.TestCase):
    def test_escapes(self):
        cases = [
            ("2^(level+1)", "2\\(ha(level+1)"),
            ("~dNNN escapes", "\\(tidNNN escapes"),
            ("16-bit integer", "16\\-bit integer"),
            ("a\\b", "a\\eb"),
            (".starts with a dot", "\\&.starts with a dot"),
            ("'starts with a quote", "\\&'starts with a quote"),
        ]
        for text, troff in cases:
            self.assertEqual(generate.troff(text), troff, text)


if __name__ == "__main__":
    unittest.main()
