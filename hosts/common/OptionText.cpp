// The two descriptions of a host's options that its table gives: --help's lines and the
// manual page's OPTIONS section.
#include <algorithm>
#include <cctype>

#include "hosts/common/OptionTable.h"

namespace {

constexpr std::size_t kHelpWidth = 88;
constexpr std::size_t kManualWidth = 90;
constexpr std::size_t kWidestNameColumn = 24;

std::vector<CommandOption> Listed(const CommandLineRules& rules) {
    BuiltInOption unused = BuiltInOption::kNone;
    std::vector<CommandOption> rows = OptionRows(rules, &unused);
    std::erase_if(rows, [](const CommandOption& row) { return row.hidden; });
    return rows;
}

// The words of `text` in lines of at most `width` characters (a longer word stands alone),
// each but the first preceded by `indent` spaces.
std::string Wrapped(std::string_view text, std::size_t width, std::size_t indent) {
    std::string out;
    std::size_t line = 0;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == text.npos ? std::string_view() : text.substr(space + 1);
        if (word.empty()) continue;
        if (line > 0 && line + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            line = 0;
        } else if (line > 0) {
            out += ' ';
            ++line;
        }
        out += word;
        line += word.size();
    }
    return out;
}

std::string Sentence(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

bool IsWordEdge(std::string_view text, std::size_t at) {
    return at >= text.size() || !(std::isalnum(static_cast<unsigned char>(text[at])) ||
                                  text[at] == '-' || text[at] == '_');
}

// An option's name at `at` ("-o", "--batch", "--max-pixels"), or its length 0.
std::size_t OptionNameAt(std::string_view text, std::size_t at) {
    if (at > 0 && !IsWordEdge(text, at - 1)) return 0;
    std::size_t end = at;
    while (end < text.size() && end - at < 2 && text[end] == '-') ++end;
    if (end == at || end >= text.size() || !std::islower(static_cast<unsigned char>(text[end]))) {
        return 0;
    }
    if (end - at == 1) return IsWordEdge(text, end + 1) ? 2 : 0;  // "-o", not "-ish"
    while (end < text.size() && !IsWordEdge(text, end)) ++end;
    return end - at;
}

// Text as troff prints it: backslashes and hyphens escaped.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) out += c == '\\' ? "\\e" : c == '-' ? "\\-" : std::string(1, c);
    return out;
}

// Plain text as troff: escaped, option names in bold and `value` (the row's FILE or N) in
// italics.
std::string Troff(std::string_view text, std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t n = OptionNameAt(text, i); n > 0) {
            out += "\\fB" + Escaped(text.substr(i, n)) + "\\fR";
            i += n;
        } else if (!value.empty() && text.substr(i, value.size()) == value &&
                   (i == 0 || IsWordEdge(text, i - 1)) && IsWordEdge(text, i + value.size())) {
            out += "\\fI" + std::string(value) + "\\fR";
            i += value.size();
        } else {
            out += Escaped(text.substr(i, 1));
            ++i;
        }
    }
    return out;
}

// Troff text lines: wrapped, none read as a request (one that begins with '.' or '\'').
std::string TroffLines(std::string_view text) {
    std::string out;
    std::string lines = Wrapped(text, kManualWidth, 0) + "\n";
    for (std::size_t start = 0; start < lines.size();) {
        const std::size_t end = lines.find('\n', start);
        if (lines[start] == '.' || lines[start] == '\'') out += "\\&";
        out += lines.substr(start, end + 1 - start);
        start = end + 1;
    }
    return out;
}

std::string NameColumn(const CommandOption& row) {
    std::string name = row.short_name != 0 ? std::string("-") + row.short_name + ", " : "    ";
    name += "--" + std::string(row.name);
    if (!row.value.empty()) name += "=" + std::string(row.value);
    return name;
}

}  // namespace

std::string OptionsHelp(const CommandLineRules& rules) {
    const std::vector<CommandOption> rows = Listed(rules);
    std::vector<std::pair<std::string, std::string>> lines;
    for (const CommandOption& row : rows) lines.emplace_back(NameColumn(row), row.help);
    if (!rules.operands_help.empty()) lines.emplace_back("    --", rules.operands_help);
    std::size_t widest = 0;
    for (const auto& [name, help] : lines) {
        if (name.size() <= kWidestNameColumn) widest = std::max(widest, name.size());
    }
    const std::size_t column = 2 + widest + 2;
    std::string out;
    for (const auto& [name, help] : lines) {
        out += "  " + name;
        if (name.size() > widest) {
            out += "\n" + std::string(column, ' ');
        } else {
            out += std::string(column - 2 - name.size(), ' ');
        }
        out += Wrapped(help, kHelpWidth - column, column) + "\n";
    }
    return out;
}

std::string OptionsManual(const CommandLineRules& rules) {
    const std::vector<CommandOption> rows = Listed(rules);
    std::string out = ".\\\" Generated from the option table by " + std::string(rules.program) +
                      " --man-options: do not edit.\n";
    // The forms, shown with an option that takes a value, a short form one if there is.
    const auto example = std::find_if(rows.begin(), rows.end(), [&](const CommandOption& row) {
        return !row.value.empty() && row.short_name != 0;
    });
    const auto valued = example != rows.end()
                            ? example
                            : std::find_if(rows.begin(), rows.end(), [](const CommandOption& row) {
                                  return !row.value.empty();
                              });
    if (valued != rows.end()) {
        const std::string name = Escaped("--" + std::string(valued->name));
        const std::string value = "\\fI" + std::string(valued->value) + "\\fR";
        std::string forms;
        if (valued->short_name != 0) {
            const std::string short_name = Escaped(std::string("-") + valued->short_name);
            forms += "\\fB" + short_name + value + ", \\fB" + short_name + " " + value + ", ";
        }
        forms += "\\fB" + name + "=" + value + " or \\fB" + name + " " + value;
        out += TroffLines("Options take their values as " + forms +
                          "; \\fB\\-\\-\\fR ends the options.");
    }
    out += "A misspelt option gets a suggestion.\n";
    for (const CommandOption& row : rows) {
        const std::string name = Escaped("--" + std::string(row.name));
        out += ".TP\n";
        if (row.short_name == 0 && row.value.empty()) {
            out += ".B " + name + "\n";
        } else {
            out += ".BR ";
            if (row.short_name != 0) out += Escaped(std::string("-") + row.short_name) + " \", \" ";
            out += name;
            if (!row.value.empty()) out += " =\\fI" + std::string(row.value) + "\\fR";
            out += "\n";
        }
        const std::string text =
            row.name == "help" && !rules.help_summary.empty()
                ? Sentence(std::string(rules.help_summary))
                : Sentence(row.help) + (row.details.empty() ? "" : " " + row.details);
        out += TroffLines(Troff(text, row.value));
    }
    return out;
}
