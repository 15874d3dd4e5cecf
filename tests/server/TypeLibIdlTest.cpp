// Our type information tables stand in for compiled type libraries, so they must say exactly
// what the IDL files say: each member's name, DISPID, kind, help string and parameters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "converter/ConverterTypeLib.h"
#include "platform/runtime/TypeDescription.h"
#include "server/QuillonTypeLib.h"
#include "tests/server/IdlReader.h"

namespace {

std::string Narrow(const OLECHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text);
    return out;
}

std::string GuidText(const GUID& guid) {
    OLECHAR text[40];
    StringFromGUID2(guid, text, 40);
    const std::string braced = Narrow(text);
    return braced.substr(1, braced.size() - 2);
}

VARTYPE TypeOf(const std::string& idl_type) {
    const bool pointer = idl_type.back() == '*';
    const std::string base = pointer ? idl_type.substr(0, idl_type.size() - 1) : idl_type;
    VARTYPE vt = VT_EMPTY;
    if (base == "short") vt = VT_I2;
    if (base == "long") vt = VT_I4;
    if (base == "float") vt = VT_R4;
    if (base == "double") vt = VT_R8;
    if (base == "BSTR") vt = VT_BSTR;
    if (base == "VARIANT_BOOL") vt = VT_BOOL;
    if (base == "VARIANT") vt = VT_VARIANT;
    if (base == "IUnknown") return VT_UNKNOWN;  // an interface pointer is the value itself
    return pointer ? static_cast<VARTYPE>(vt | VT_BYREF) : vt;
}

USHORT FlagsOf(const IdlParameter& p) {
    USHORT flags = PARAMFLAG_NONE;
    if (HasAttribute(p.attributes, "in")) flags |= PARAMFLAG_FIN;
    if (HasAttribute(p.attributes, "out")) flags |= PARAMFLAG_FOUT;
    if (HasAttribute(p.attributes, "retval")) flags |= PARAMFLAG_FRETVAL;
    return flags;
}

void ExpectSameInterface(const IdlBlock& idl, const InterfaceDescription& table) {
    EXPECT_EQ(idl.name, Narrow(table.name));
    EXPECT_EQ(idl.base, table.base == nullptr ? "IDispatch" : Narrow(table.base->name));
    EXPECT_EQ(idl.attributes.at("uuid"), GuidText(table.iid));
    EXPECT_EQ(idl.attributes.count("dual") == 1, (table.flags & TYPEFLAG_FDUAL) != 0);
    EXPECT_EQ(idl.attributes.count("hidden") == 1, (table.flags & TYPEFLAG_FHIDDEN) != 0);
    EXPECT_EQ(idl.attributes.count("nonextensible") == 1,
              (table.flags & TYPEFLAG_FNONEXTENSIBLE) != 0);
    EXPECT_EQ(idl.attributes.count("oleautomation") == 1,
              (table.flags & TYPEFLAG_FOLEAUTOMATION) != 0);
    const auto help = idl.attributes.find("helpstring");
    EXPECT_EQ(help == idl.attributes.end() ? "" : help->second, Narrow(table.help));

    ASSERT_EQ(idl.members.size(), table.members.size());
    for (std::size_t i = 0; i < table.members.size(); ++i) {
        const IdlMember& m = idl.members[i];
        const MemberDescription& d = table.members[i];
        SCOPED_TRACE("member " + std::to_string(i) + " " + m.name);
        EXPECT_EQ(m.name, Narrow(d.name));
        EXPECT_EQ(MemberDispid(m), d.dispid);
        const INVOKEKIND kind = HasAttribute(m.attributes, "propget")   ? INVOKE_PROPERTYGET
                                : HasAttribute(m.attributes, "propput") ? INVOKE_PROPERTYPUT
                                                                        : INVOKE_FUNC;
        EXPECT_EQ(kind, d.kind);
        EXPECT_EQ(MemberAttribute(m, "helpstring"), Narrow(d.help));
        ASSERT_EQ(static_cast<SHORT>(m.parameters.size()), d.paramCount);
        for (std::size_t p = 0; p < m.parameters.size(); ++p) {
            const IdlParameter& ip = m.parameters[p];
            const ParameterDescription& dp = d.params[p];
            EXPECT_EQ(TypeOf(ip.type), dp.type) << ip.type;
            EXPECT_EQ(FlagsOf(ip), dp.flags) << ip.name;
            // A property's new value goes unnamed into the library.
            EXPECT_EQ(kind == INVOKE_PROPERTYPUT ? "" : ip.name, Narrow(dp.name));
        }
    }
}

void ExpectSameLibrary(const std::string& idl_path, const TypeLibDescription& table) {
    const IdlFile idl = ReadIdl(idl_path);
    ASSERT_TRUE(idl.library.has_value());
    EXPECT_EQ(idl.library->name, Narrow(table.name));
    EXPECT_EQ(idl.library->attributes.at("uuid"), GuidText(table.libid));
    EXPECT_EQ(idl.library->attributes.at("version"),
              std::to_string(table.majorVersion) + "." + std::to_string(table.minorVersion));
    const auto help = idl.library->attributes.find("helpstring");
    EXPECT_EQ(help == idl.library->attributes.end() ? "" : help->second, Narrow(table.help));

    ASSERT_EQ(idl.interfaces.size(), table.interfaces.size());
    for (const InterfaceDescription* i : table.interfaces) {
        ASSERT_EQ(idl.interfaces.count(Narrow(i->name)), 1u) << Narrow(i->name);
        ExpectSameInterface(idl.interfaces.at(Narrow(i->name)), *i);
    }
    ASSERT_EQ(idl.coclasses.size(), table.classes.size());
    for (const ClassDescription& c : table.classes) {
        const IdlBlock& coclass = idl.coclasses.at(Narrow(c.name));
        EXPECT_EQ(coclass.attributes.at("uuid"), GuidText(c.clsid));
        const auto class_help = coclass.attributes.find("helpstring");
        EXPECT_EQ(class_help == coclass.attributes.end() ? "" : class_help->second, Narrow(c.help));
        ASSERT_EQ(coclass.body.size(), 1u);
        EXPECT_EQ(coclass.body[0], "[default] interface " + Narrow(c.defaultInterface->name) + ";");
    }
}

TEST(TypeLibraryTables, QuillonAgreesWithItsIdl) {
    ExpectSameLibrary(QUILLON_IDL, kTarvexQuillonLib);
}

TEST(TypeLibraryTables, ConverterAgreesWithItsIdl) {
    ExpectSameLibrary(CONVERTER_IDL, kTarvexUnicodeLib);
}

TEST(TypeLibraryTables, ReaderSeesEveryMember) {
    // Guards the test itself: a reader that silently skipped members would agree with anything.
    const IdlFile idl = ReadIdl(QUILLON_IDL);
    ASSERT_EQ(idl.interfaces.count("IQuillon"), 1u);
    EXPECT_EQ(idl.interfaces.at("IQuillon").members.size(), 22u);
    EXPECT_EQ(idl.interfaces.at("IQuillon").members[20].parameters[1].name, "ActualCols");
    ASSERT_EQ(idl.interfaces.count("IQuillon2"), 1u);
    EXPECT_EQ(idl.interfaces.at("IQuillon2").base, "IQuillon");
    EXPECT_EQ(idl.interfaces.at("IQuillon2").members.size(), 12u);
    ASSERT_EQ(idl.interfaces.count("IQuillon3"), 1u);
    EXPECT_EQ(idl.interfaces.at("IQuillon3").base, "IQuillon2");
    EXPECT_EQ(idl.interfaces.at("IQuillon3").members.size(), 6u);
}

}  // namespace

// The public contract's property table must name the members the IDL declares, with their
// DISPIDs and the type of the value a put takes.
TEST(TypeLibraryTables, ContractPropertiesAgreeWithTheIdl) {
    const IdlFile idl = ReadIdl(QUILLON_IDL);
    std::vector<IdlMember> members;
    for (const char* name : {"IQuillon", "IQuillon2", "IQuillon3"}) {
        for (const IdlMember& m : idl.interfaces.at(name).members) members.push_back(m);
    }
    std::size_t puts = 0;
    for (const IdlMember& m : members) {
        if (!HasAttribute(m.attributes, "propput")) continue;
        ++puts;
        SCOPED_TRACE(m.name);
        const QuillonProperty* p = FindQuillonProperty(m.name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->name, m.name);
        EXPECT_EQ(p->dispid, MemberDispid(m));
        ASSERT_EQ(m.parameters.size(), 1u);
        EXPECT_EQ(p->type, TypeOf(m.parameters[0].type));
    }
    EXPECT_EQ(QuillonProperties().size(), puts);
}
