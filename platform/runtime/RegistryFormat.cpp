#include "platform/runtime/RegistryFormat.h"

#include <iterator>
#include <memory>
#include <vector>

#include "platform/common/Utf8.h"

namespace platform {
namespace {

void AppendQuoted(std::u16string_view text, std::string* out) {
    out->push_back('"');
    std::u16string plain;
    auto flush = [&] {
        *out += Utf16ToUtf8(plain);
        plain.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool paired_high =
            high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (paired_high) {
            plain += c;
            plain += text[++i];
            continue;
        }
        const char* escape = nullptr;
        switch (c) {
            case u'\\':
                escape = "\\\\";
                break;
            case u'"':
                escape = "\\\"";
                break;
            case u'\n':
                escape = "\\n";
                break;
            case u'\r':
                escape = "\\r";
                break;
            case u'\t':
                escape = "\\t";
                break;
            default:
                break;
        }
        if (escape != nullptr) {
            flush();
            *out += escape;
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
            flush();
            static constexpr char kHex[] = "0123456789ABCDEF";
            *out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out->push_back(kHex[(c >> shift) & 0xF]);
            }
        } else {
            plain += c;
        }
    }
    flush();
    out->push_back('"');
}

void AppendKey(const RegistryKeyNode& key, std::u16string& path, bool is_root, std::string* out) {
    if (!is_root || !key.values.empty()) {
        *out += '\n';
        *out += '[';
        *out += Utf16ToUtf8(path);
        *out += "]\n";
        for (const auto& [name, data] : key.values) {
            if (name.empty()) {
                *out += '@';
            } else {
                AppendQuoted(name, out);
            }
            *out += '=';
            AppendQuoted(data, out);
            *out += '\n';
        }
    }
    for (const auto& [name, subkey] : key.subkeys) {
        const size_t length = path.size();
        if (!is_root) path += u'\\';
        path += name;
        AppendKey(*subkey, path, false, out);
        path.resize(length);
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at line[*pos]; leaves *pos after the closing quote.
bool ParseQuoted(std::string_view line, size_t* pos, std::u16string* out, std::string* error) {
    if (*pos >= line.size() || line[*pos] != '"') {
        *error = "expected a quoted string";
        return false;
    }
    ++*pos;
    // Most strings hold no escape: converted where they lie.
    const size_t end = line.find_first_of("\"\\", *pos);
    if (end != std::string_view::npos && line[end] == '"') {
        if (!Utf8ToUtf16(line.substr(*pos, end - *pos), out)) {
            *error = "malformed UTF-8";
            return false;
        }
        *pos = end + 1;
        return true;
    }
    out->clear();
    std::string plain;
    auto flush = [&]() -> bool {
        std::u16string converted;
        if (!Utf8ToUtf16(plain, &converted)) {
            *error = "malformed UTF-8";
            return false;
        }
        *out += converted;
        plain.clear();
        return true;
    };
    while (*pos < line.size()) {
        const char c = line[(*pos)++];
        if (c == '"') return flush();
        if (c != '\\') {
            plain.push_back(c);
            continue;
        }
        if (*pos >= line.size()) break;
        const char e = line[(*pos)++];
        switch (e) {
            case '\\':
                plain.push_back('\\');
                break;
            case '"':
                plain.push_back('"');
                break;
            case 'n':
                plain.push_back('\n');
                break;
            case 'r':
                plain.push_back('\r');
                break;
            case 't':
                plain.push_back('\t');
                break;
            case 'u': {
                if (!flush()) return false;
                unsigned value = 0;
                for (int k = 0; k < 4; ++k) {
                    const int digit = *pos < line.size() ? HexValue(line[*pos]) : -1;
                    if (digit < 0) {
                        *error = "\\u needs four hex digits";
                        return false;
                    }
                    value = value * 16 + static_cast<unsigned>(digit);
                    ++*pos;
                }
                *out += static_cast<char16_t>(value);
                break;
            }
            default:
                *error = std::string("unknown escape \\") + e;
                return false;
        }
    }
    *error = "unterminated quoted string";
    return false;
}

// The subkey name of parent, added unless it is there. The file lists keys in order, so a new
// name normally belongs at the end, where the map adds it without searching.
auto& FindOrAddKey(RegistryKeyNode& parent, std::u16string_view name) {
    auto& keys = parent.subkeys;
    auto at = keys.end();
    if (!keys.empty() && !RegistryNameLess()(std::prev(keys.end())->first, name)) {
        at = keys.lower_bound(name);
        if (at != keys.end() && !RegistryNameLess()(name, at->first)) return *at;
    }
    return *keys.emplace_hint(at, name, std::make_unique<RegistryKeyNode>());
}

// The same for a value, which replaces one of the same name.
void SetValue(RegistryKeyNode& key, std::u16string&& name, std::u16string&& data) {
    auto& values = key.values;
    if (values.empty() || RegistryNameLess()(std::prev(values.end())->first, name)) {
        values.emplace_hint(values.end(), std::move(name), std::move(data));
    } else {
        values.insert_or_assign(std::move(name), std::move(data));
    }
}

// Reads the lines of one file into a tree, in time that grows as the file does: a key line
// finds its key from the previous key's, whose path it mostly shares, and keys and values
// that come in order are added without a search.
class TreeReader {
public:
    explicit TreeReader(RegistryKeyNode* root) : chain_{root} {}

    bool Section(std::string_view line, std::string* error) {
        const size_t close = line.rfind(']');
        if (close == std::string_view::npos) {
            *error = "a key line must end with ']'";
            return false;
        }
        for (size_t i = close + 1; i < line.size(); ++i) {
            if (line[i] != ' ' && line[i] != '\t') {
                *error = "text after ']'";
                return false;
            }
        }
        if (!Utf8ToUtf16(line.substr(1, close - 1), &path_text_)) {
            *error = "malformed UTF-8";
            return false;
        }
        if (SplitRegistryPath(path_text_, &path_) != 0 ||
            (!path_text_.empty() && path_text_.back() == u'\\')) {
            *error = "invalid key path";
            return false;
        }
        size_t shared = 0;
        while (shared < path_.size() && shared < names_.size() &&
               RegistryNamesEqual(*names_[shared], path_[shared])) {
            ++shared;
        }
        chain_.resize(shared + 1);
        names_.resize(shared);
        for (size_t depth = shared; depth < path_.size(); ++depth) {
            auto& [name, key] = FindOrAddKey(*chain_.back(), path_[depth]);
            chain_.push_back(key.get());
            names_.push_back(&name);
        }
        current_ = chain_.back();
        return true;
    }

    bool Value(std::string_view line, std::string* error) {
        if (current_ == nullptr) {
            *error = "a value before the first key";
            return false;
        }
        size_t pos = 0;
        std::u16string name;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, &pos, &name, error)) {
            return false;
        } else if (name.empty()) {
            *error = "a named value needs a name (the default value is written @)";
            return false;
        }
        if (pos >= line.size() || line[pos] != '=') {
            *error = "expected '=' after the value name";
            return false;
        }
        ++pos;
        std::u16string data;
        if (!ParseQuoted(line, &pos, &data, error)) return false;
        for (; pos < line.size(); ++pos) {
            if (line[pos] != ' ' && line[pos] != '\t') {
                *error = "text after the value";
                return false;
            }
        }
        SetValue(*current_, std::move(name), std::move(data));
        return true;
    }

private:
    // The keys from the root down to the last key line's, and the names they are kept under.
    std::vector<RegistryKeyNode*> chain_;
    std::vector<const std::u16string*> names_;
    RegistryKeyNode* current_ = nullptr;
    std::u16string path_text_;
    std::vector<std::u16string_view> path_;
};

}  // namespace

std::string FormatRegistryText(const RegistryKeyNode& root) {
    std::string out(kRegistryFileHeader);
    out +=
        "\n; HKEY_CLASSES_ROOT. Rewritten whole on every change; edit only while no program"
        "\n; uses it.\n";
    std::u16string path;
    AppendKey(root, path, true, &out);
    return out;
}

bool ParseRegistryText(std::string_view text, RegistryKeyNode* root, std::string* error) {
    TreeReader reader(root);
    size_t line_number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        std::string what;
        if (line_number == 1) {
            if (line != kRegistryFileHeader) {
                *error = "line 1: not a registry file (expected \"" +
                         std::string(kRegistryFileHeader) + "\")";
                return false;
            }
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        const bool ok = line[0] == '[' ? reader.Section(line, &what) : reader.Value(line, &what);
        if (!ok) {
            *error = "line " + std::to_string(line_number) + ": " + what;
            return false;
        }
    }
    return true;
}

}  // namespace platform
