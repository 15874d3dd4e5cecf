#include "hosts/common/OptionTable.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "library/session/PrintableText.h"
#include "library/session/Suggestion.h"

namespace {

// A host's rows and those every host has, looked through without copying the host's: a table's
// rows carry their help and effects, and a command line is read at every run.
struct Rows {
    const std::vector<CommandOption>& table;
    const std::vector<CommandOption>& built_in;

    template <class Matches>
    const CommandOption* Find(Matches matches) const {
        for (const auto* rows : {&table, &built_in}) {
            for (const CommandOption& row : *rows) {
                if (matches(row)) return &row;
            }
        }
        return nullptr;
    }
    const CommandOption* FindLong(std::string_view name) const {
        return Find([name](const CommandOption& row) { return row.name == name; });
    }
    const CommandOption* FindShort(char name) const {
        return Find([name](const CommandOption& row) { return row.short_name == name; });
    }
};

// -h/--help, --version and the hidden --man-options, whose effects set *asked.
std::vector<CommandOption> BuiltInRows(BuiltInOption* asked) {
    const auto ask = [asked](BuiltInOption option) { return Flag([=] { *asked = option; }); };
    std::vector<CommandOption> rows;
    rows.push_back({"help", 'h', "", "this text", ask(BuiltInOption::kHelp)});
    rows.push_back({"version", 0, "", "the version", ask(BuiltInOption::kVersion)});
    rows.push_back({"man-options", 0, "", "the manual page's OPTIONS section",
                    ask(BuiltInOption::kManual), "", true});
    return rows;
}

std::string UnknownOption(const Rows& rows, std::string_view arg) {
    std::vector<std::string> forms;
    for (const auto* table : {&rows.table, &rows.built_in}) {
        for (const CommandOption& row : *table) {
            if (!row.hidden) forms.push_back("--" + std::string(row.name));
        }
    }
    const std::vector<std::string_view> names(forms.begin(), forms.end());
    const std::string_view given = arg.substr(0, arg.find('='));
    const std::string closest = ClosestName(given, names);
    return "unknown option '" + std::string(given) + "'" +
           (closest.empty() ? "" : "; did you mean '" + closest + "'?");
}

// Applies one option's value; an error message refuses it.
std::string Apply(const CommandOption& option, std::string_view value) {
    const OptionEffect& effect = option.effect;
    const std::string name = "--" + std::string(option.name);
    if (effect.kind != OptionEffect::Kind::kNumber) {
        const std::string refusal = effect.apply(value);
        return refusal.empty() ? refusal : name + " " + refusal;
    }
    std::int64_t number = 0;
    if (!ParseWholeNumber(value, effect.low, effect.high, &number)) {
        return name + " needs a number from " + std::to_string(effect.low) + " to " +
               std::to_string(effect.high);
    }
    effect.apply_number(number);
    return {};
}

EarlyExit Show(BuiltInOption asked, const CommandLineRules& rules) {
    const std::string program(rules.program);
    if (asked == BuiltInOption::kHelp) {
        std::printf("%s%s%s", rules.usage.c_str(), OptionsHelp(rules).c_str(),
                    rules.epilogue ? rules.epilogue().c_str() : "");
    } else if (asked == BuiltInOption::kVersion) {
        std::printf("%s %s\n", program.c_str(), std::string(rules.version).c_str());
    } else {
        std::printf("%s", OptionsManual(rules).c_str());
    }
    return 0;
}

}  // namespace

std::vector<CommandOption> OptionRows(const CommandLineRules& rules, BuiltInOption* asked) {
    std::vector<CommandOption> rows = rules.options;
    for (CommandOption& row : BuiltInRows(asked)) rows.push_back(std::move(row));
    return rows;
}

OptionEffect Flag(bool* on) {
    return Flag([on] { *on = true; });
}

OptionEffect Flag(std::function<void()> effect) {
    OptionEffect flag;
    flag.apply = [effect = std::move(effect)](std::string_view) {
        effect();
        return std::string();
    };
    return flag;
}

OptionEffect Text(std::string* text) {
    return Text([text](std::string_view value) {
        *text = value;
        return std::string();
    });
}

OptionEffect Text(std::function<std::string(std::string_view)> effect) {
    OptionEffect text;
    text.kind = OptionEffect::Kind::kText;
    text.apply = std::move(effect);
    return text;
}

OptionEffect WholeNumber(std::int64_t low, std::int64_t high,
                         std::function<void(std::int64_t)> effect) {
    OptionEffect number;
    number.kind = OptionEffect::Kind::kNumber;
    number.low = low;
    number.high = high;
    number.apply_number = std::move(effect);
    return number;
}

bool ParseWholeNumber(std::string_view text, std::int64_t low, std::int64_t high,
                      std::int64_t* value) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != 0 || v < low || v > high) return false;
    *value = v;
    return true;
}

int UsageError(std::string_view program, const std::string& message) {
    const std::string name(program);
    std::fprintf(stderr, "%s: %s (see %s --help)\n", name.c_str(), PrintableText(message).c_str(),
                 name.c_str());
    return kExitUsage;
}

EarlyExit ReadCommandLine(int argc, char** argv, const CommandLineRules& rules) {
    BuiltInOption asked = BuiltInOption::kNone;
    const std::vector<CommandOption> built_in = BuiltInRows(&asked);
    const Rows rows{rules.options, built_in};
    const auto refuse = [&](const std::string& message) {
        return EarlyExit(UsageError(rules.program, message));
    };
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
            continue;
        }
        const CommandOption* option = nullptr;
        std::optional<std::string_view> value;
        if (!options_ended && arg.size() > 2 && arg.substr(0, 2) == "--") {
            const std::size_t equals = arg.find('=');
            option = rows.FindLong(arg.substr(2, equals == arg.npos ? arg.npos : equals - 2));
            if (option == nullptr) return refuse(UnknownOption(rows, arg));
            if (equals != arg.npos) value = arg.substr(equals + 1);
        } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            option = rows.FindShort(arg[1]);
            if (option == nullptr) return refuse(UnknownOption(rows, arg));
            if (arg.size() > 2) value = arg.substr(2);
        } else {
            const std::string refusal =
                rules.operand ? rules.operand(arg) : "unknown argument '" + std::string(arg) + "'";
            if (!refusal.empty()) return refuse(refusal);
            continue;
        }

        const std::string name = "--" + std::string(option->name);
        const auto kind = option->effect.kind;
        if (kind == OptionEffect::Kind::kFlag && value) {
            // "-hx" may be meant as two flags, which are not taken together: name it whole.
            return refuse(arg[1] == '-' ? name + " takes no value"
                                        : "unknown option '" + std::string(arg) + "'");
        }
        if (kind != OptionEffect::Kind::kFlag && !value) {
            if (i + 1 < argc) {
                value = argv[++i];
            } else if (kind == OptionEffect::Kind::kText) {
                return refuse(name + " needs a value");
            }
        }
        if (const std::string refusal = Apply(*option, value.value_or("")); !refusal.empty()) {
            return refuse(refusal);
        }
        if (asked != BuiltInOption::kNone) return Show(asked, rules);
    }
    return std::nullopt;
}
