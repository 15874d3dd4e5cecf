// The man pages say what the programs do: every property of the contract with its type,
// default, accepted values and help, and every option that --help lists.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "component/contract/QuillonProperties.h"
#include "tests/hosts/CliHelpers.h"

namespace {

// The page as text: troff's escapes for '-', '~' and '^' turned back into the characters.
std::string ManPage(const std::string& name) {
    std::string page = ReadFile(std::string(MAN_PAGE_DIR) + "/" + name);
    for (const auto& [escape, character] :
         {std::pair{"\\-", "-"}, std::pair{"\\(ti", "~"}, std::pair{"\\(ha", "^"}}) {
        for (std::size_t at = page.find(escape); at != std::string::npos;
             at = page.find(escape, at)) {
            page.replace(at, std::string(escape).size(), character);
        }
    }
    return page;
}

// Each host and its manual page.
const struct {
    const char* program;
    const char* page;
} kHosts[] = {{QUILLON_PATH, "quillon.1"}, {SERVE_PATH, "quillon-serve.1"}};

std::set<std::string> OptionsOf(const std::string& help) {
    std::set<std::string> options;
    const std::regex option("--[a-z0-9-]+");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
         it != std::sregex_iterator(); ++it) {
        options.insert(it->str());
    }
    return options;
}

TEST(ManPages, QuillonListsEveryPropertyOfTheContract) {
    const std::string page = ManPage("quillon.1");
    for (const QuillonProperty& p : QuillonProperties()) {
        const std::string entry = std::string(".B ") + p.name + "\n" + p.type_name + ", default " +
                                  p.default_value + ", accepted: " + p.AcceptedText() + ".\n" +
                                  p.help + ".";
        EXPECT_NE(page.find(entry), std::string::npos) << "expected:\n" << entry;
    }
}

// The OPTIONS section is written from the host's option table, as --help is: the page holds
// what the table says today.
TEST(ManPages, OptionsSectionIsWhatTheOptionTableWrites) {
    for (const auto& p : kHosts) {
        const ProcessResult generated = RunProgram(p.program, {"--man-options"});
        ASSERT_EQ(generated.status, 0) << p.program;
        const std::string page = ReadFile(std::string(MAN_PAGE_DIR) + "/" + p.page);
        const std::size_t heading = page.find("\n.SH OPTIONS\n");
        ASSERT_NE(heading, std::string::npos) << p.page;
        const std::size_t start = heading + std::string("\n.SH OPTIONS\n").size();
        const std::string section = page.substr(start, page.find("\n.SH ", start) + 1 - start);
        EXPECT_EQ(section, generated.out) << p.page << " is not what the option table writes: run "
                                          << "bash scripts/update-man-options.sh";
        EXPECT_NE(section.find("do not edit"), std::string::npos);
    }
}

TEST(ManPages, EachListsEveryOptionOfItsHelp) {
    for (const auto& p : kHosts) {
        const ProcessResult help = RunProgram(p.program, {"--help"});
        ASSERT_EQ(help.status, 0);
        const std::set<std::string> options = OptionsOf(help.out);
        EXPECT_GE(options.size(), 5u) << p.program;
        const std::string page = ManPage(p.page);
        for (const std::string& option : options) {
            EXPECT_NE(page.find(option), std::string::npos) << p.page << " lacks " << option;
        }
    }
}

}  // namespace
