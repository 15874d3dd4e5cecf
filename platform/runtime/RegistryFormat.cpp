#include "platform/runtime/RegistryFormat.h"

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

bool ParseSection(std::string_view line, RegistryKeyNode* root, RegistryKeyNode** current,
                  std::string* error) {
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
    std::u16string path_text;
    if (!Utf8ToUtf16(line.substr(1, close - 1), &path_text)) {
        *error = "malformed UTF-8";
        return false;
    }
    RegistryPath path;
    if (ParseRegistryPath(path_text, &path) != 0 ||
        (!path_text.empty() && path_text.back() == u'\\')) {
        *error = "invalid key path";
        return false;
    }
    *current = CreateKey(*root, path, nullptr);
    return true;
}

bool ParseValue(std::string_view line, RegistryKeyNode* key, std::string* error) {
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
    key->values[name] = std::move(data);
    return true;
}

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
    RegistryKeyNode* current = nullptr;
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
        bool ok = false;
        if (line[0] == '[') {
            ok = ParseSection(line, root, &current, &what);
        } else if (current == nullptr) {
            what = "a value before the first key";
        } else {
            ok = ParseValue(line, current, &what);
        }
        if (!ok) {
            *error = "line " + std::to_string(line_number) + ": " + what;
            return false;
        }
    }
    return true;
}

}  // namespace platform
