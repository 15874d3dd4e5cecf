// Reads the parts of an IDL file that a type library is made of (library, coclass, dual
// interface and its members) so a test can hold our type information tables against them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct IdlParameter {
    std::vector<std::string> attributes;  // in, out, retval
    std::string type;                     // as written, e.g. "VARIANT*", "short"
    std::string name;
};

struct IdlMember {
    std::vector<std::string> attributes;  // propget, propput, id(...), helpstring(...)
    std::string name;
    std::vector<IdlParameter> parameters;
};

// An attributed block: the attribute list in brackets before `kind name`.
struct IdlBlock {
    std::map<std::string, std::string>
        attributes;  // uuid -> "...", helpstring -> "...", dual -> ""
    std::string name;
    std::string base;                // for an interface: what it derives from
    std::vector<IdlMember> members;  // for an interface
    std::vector<std::string> body;   // for a coclass: its interface lines
};

struct IdlFile {
    std::optional<IdlBlock> library;
    std::map<std::string, IdlBlock> interfaces;
    std::map<std::string, IdlBlock> coclasses;
};

// Throws std::runtime_error with the offending text when the file is not of that shape.
IdlFile ReadIdl(const std::string& path);

// "id(0x60020000)" -> 0x60020000; attribute value of a member ("helpstring") or empty.
long MemberDispid(const IdlMember& member);
std::string MemberAttribute(const IdlMember& member, const std::string& name);
bool HasAttribute(const std::vector<std::string>& attributes, const std::string& name);
