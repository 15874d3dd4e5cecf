#include "tests/server/IdlReader.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace {

std::string Trim(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    const auto end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

std::string WithoutComments(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(//[^\n]*)"), "");
}

// Splits at commas that are not inside parentheses, brackets or quotes.
std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::string current;
    int depth = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '(' || c == '[')) ++depth;
        if (!quoted && (c == ')' || c == ']')) --depth;
        if (!quoted && depth == 0 && c == ',') {
            items.push_back(Trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!Trim(current).empty()) items.push_back(Trim(current));
    return items;
}

std::map<std::string, std::string> AttributeMap(const std::string& list) {
    std::map<std::string, std::string> attributes;
    static const std::regex with_value(R"(^(\w+)\s*\((.*)\)$)");
    for (const std::string& item : SplitList(list)) {
        std::smatch m;
        if (std::regex_match(item, m, with_value)) {
            std::string value = Trim(m[2]);
            if (value.size() >= 2 && value.front() == '"')
                value = value.substr(1, value.size() - 2);
            attributes[m[1]] = value;
        } else {
            attributes[item] = "";
        }
    }
    return attributes;
}

IdlParameter ReadParameter(const std::string& text) {
    static const std::regex form(R"(^(?:\[([^\]]*)\])?\s*([\w\s]+?\s*\**)\s*(\w+)$)");
    std::smatch m;
    if (!std::regex_match(text, m, form)) throw std::runtime_error("parameter: " + text);
    IdlParameter p;
    p.attributes = SplitList(m[1]);
    p.type = std::regex_replace(Trim(m[2]), std::regex(R"(\s+)"), "");
    p.name = m[3];
    return p;
}

std::vector<IdlMember> ReadMembers(const std::string& body) {
    std::vector<IdlMember> members;
    static const std::regex member(R"(\[([^\]]*)\]\s*HRESULT\s+(\w+)\s*\(([^)]*)\)\s*;)");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), member);
         it != std::sregex_iterator(); ++it) {
        IdlMember m;
        m.attributes = SplitList((*it)[1]);
        m.name = (*it)[2];
        for (const std::string& p : SplitList((*it)[3])) m.parameters.push_back(ReadParameter(p));
        members.push_back(m);
    }
    return members;
}

}  // namespace

IdlFile ReadIdl(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = WithoutComments(buffer.str());

    IdlFile file;
    // [attributes] kind Name [: Base] { body }   -- bodies of interfaces and coclasses hold
    // no braces of their own, so the first closing brace ends them.
    static const std::regex block(
        R"(\[([^\[\]]*)\]\s*(library|interface|coclass)\s+(\w+)\s*(?::\s*(\w+))?\s*\{)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), block);
         it != std::sregex_iterator(); ++it) {
        IdlBlock b;
        b.attributes = AttributeMap((*it)[1]);
        b.name = (*it)[3];
        b.base = (*it)[4];
        const std::string kind = (*it)[2];
        const std::size_t body_start = static_cast<std::size_t>(it->position() + it->length());
        if (kind == "library") {
            file.library = b;
            continue;
        }
        const std::size_t body_end = text.find('}', body_start);
        const std::string body = text.substr(body_start, body_end - body_start);
        if (kind == "interface") {
            b.members = ReadMembers(body);
            file.interfaces[b.name] = b;
        } else {
            std::istringstream lines(body);
            for (std::string line; std::getline(lines, line);) {
                if (!Trim(line).empty()) b.body.push_back(Trim(line));
            }
            file.coclasses[b.name] = b;
        }
    }
    return file;
}

std::string MemberAttribute(const IdlMember& member, const std::string& name) {
    for (const std::string& a : member.attributes) {
        if (a.rfind(name + "(", 0) == 0) {
            std::string value = a.substr(name.size() + 1, a.size() - name.size() - 2);
            if (value.size() >= 2 && value.front() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return "";
}

long MemberDispid(const IdlMember& member) {
    return std::stol(MemberAttribute(member, "id"), nullptr, 0);
}

bool HasAttribute(const std::vector<std::string>& attributes, const std::string& name) {
    for (const std::string& a : attributes) {
        if (a == name) return true;
    }
    return false;
}
