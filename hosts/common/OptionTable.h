// The options of a host's command line, one table per host: each row names an option, its
// short form and value, says what it does, and carries its effect. Both hosts read their
// arguments with the one reader below, so every option takes the same forms (--port=9000,
// --port 9000, -oFILE and -o FILE where a short form exists; -- ends the options), a misspelt
// name gets a suggestion, and --help and the manual page's OPTIONS section are written from
// the same rows. Adding an option is one row and its effect.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What an option does with its value.
struct OptionEffect {
    enum class Kind { kFlag, kText, kNumber };
    Kind kind = Kind::kFlag;
    // kFlag (with an empty value) and kText: applies the value. An error message, which
    // follows the option's name ("takes png or svg, not 'gif'"), refuses it.
    std::function<std::string(std::string_view value)> apply;
    // kNumber: the accepted range, and what a number in it does.
    std::int64_t low = 0;
    std::int64_t high = 0;
    std::function<void(std::int64_t)> apply_number;
};

// A flag: sets *on, or runs `effect`.
OptionEffect Flag(bool* on);
OptionEffect Flag(std::function<void()> effect);
// A text value: stored in *text, or handed to `effect`, which may refuse it with a message.
OptionEffect Text(std::string* text);
OptionEffect Text(std::function<std::string(std::string_view)> effect);
// A whole number from low to high, handed to `effect` or stored in *number.
OptionEffect WholeNumber(std::int64_t low, std::int64_t high,
                         std::function<void(std::int64_t)> effect);
template <typename Number>
OptionEffect WholeNumber(std::int64_t low, std::int64_t high, Number* number) {
    return WholeNumber(low, high, [number](std::int64_t n) { *number = static_cast<Number>(n); });
}

struct CommandOption {
    std::string_view name;   // the long form, without its dashes
    char short_name;         // 0: none
    std::string_view value;  // its value as help names it ("FILE", "N"); empty for a flag
    std::string help;        // what it does, for --help and the manual page
    OptionEffect effect;
    std::string details = {};  // what the manual page says besides, if anything
    bool hidden = false;       // for the build: listed nowhere, suggested never
};

// A host's command line: its options and what it makes of the other arguments.
struct CommandLineRules {
    std::string_view program;  // "quillon", as messages and --version name it
    std::string_view version;
    std::string usage;  // --help's text before the options
    // --help's text after them, made only when asked for: quillon's lists every property with
    // its range, which would cost every run more than its symbol.
    std::function<std::string()> epilogue;
    std::string_view help_summary;  // what the manual page says --help prints
    std::vector<CommandOption> options;
    // Takes an argument that is not an option (every one after --); an error message refuses
    // it. Null: the host takes none.
    std::function<std::string(std::string_view)> operand = {};
    std::string_view operands_help = {};  // what --help says of the arguments after --
};

// Set when the program is to end at once with this exit status: after --help or --version
// (0), or a usage error (2), whose message has been printed.
using EarlyExit = std::optional<int>;

constexpr int kExitUsage = 2;

// What every host does itself, whatever its table.
enum class BuiltInOption { kNone, kHelp, kVersion, kManual };
// rules.options, then -h/--help, --version and the hidden --man-options, whose effects set
// *asked.
std::vector<CommandOption> OptionRows(const CommandLineRules& rules, BuiltInOption* asked);

// Applies the arguments in order: options through their effects, the others through
// rules.operand. Besides the table's own options, every host takes -h/--help, --version and
// the hidden --man-options, which prints the manual page's OPTIONS section.
EarlyExit ReadCommandLine(int argc, char** argv, const CommandLineRules& rules);

// Whether `text` is a whole number from low to high, in decimal; *value is it then.
bool ParseWholeNumber(std::string_view text, std::int64_t low, std::int64_t high,
                      std::int64_t* value);

// Prints "PROGRAM: MESSAGE (see PROGRAM --help)" on standard error, the message made
// printable; returns kExitUsage.
int UsageError(std::string_view program, const std::string& message);

// --help's lines for the options: "  -o, --output=FILE   write to FILE ...", wrapped.
std::string OptionsHelp(const CommandLineRules& rules);
// The body of the manual page's OPTIONS section, in troff.
std::string OptionsManual(const CommandLineRules& rules);
