// The quillon command line as people use it: its options, exit statuses and messages, and
// pictures that a real decoder reads back.
#include <gtest/gtest.h>

#include <string>

#include "tests/hosts/ByteCorpora.h"
#include "tests/hosts/CliHelpers.h"

namespace {

TEST(QuillonCli, MeasuresTheDefaultSymbol) {
    const ProcessResult r = Quillon({"--measure"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
    EXPECT_EQ(r.err, "");
}

TEST(QuillonCli, TheLastOfRepeatedNamesWinsWhateverTheirCase) {
    const ProcessResult r = Quillon({"--measure", "Columns=5", "columns=7", "TRUNCATESYMBOL=true"});
    EXPECT_EQ(r.status, 0) << r.err;
    // 7 columns of 3 modules: (17 × 7 + 36) × 3 pixels along a truncated row.
    EXPECT_EQ(r.out, "{\"rows\":3,\"columns\":7,\"width\":465,\"height\":27}\n");
}

TEST(QuillonCli, WritesAPictureThatDecodesToTheData) {
    const std::string file = TemporaryFile();
    const ProcessResult r =
        Quillon({"-o", file, "Data=Quillon on the command line", "Width=600", "Height=150"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Decoded(ReadFile(file)), "Quillon on the command line");
    std::remove(file.c_str());
}

TEST(QuillonCli, WritesThePictureToAPipeButNeverToATerminal) {
    const ProcessResult piped = Quillon({"Data=piped", "Width=400"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.substr(0, 8), "\x89PNG\r\n\x1A\n");
    EXPECT_EQ(Decoded(piped.out), "piped");

    const ProcessResult terminal = Quillon({"Data=x"}, true);
    EXPECT_EQ(terminal.status, 2);
    EXPECT_NE(terminal.err.find("terminal"), std::string::npos) << terminal.err;
}

TEST(QuillonCli, Utf8TextIsCarriedAsItsUtf8Bytes) {
    const std::string text = "Ελληνικά Кириллица 中文 🎉";
    const ProcessResult r = Quillon({"--utf8", "Data=" + text, "Width=1200", "Height=400"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Decoded(r.out), text);
}

// UTF-8 mode owns HandleTilde: whatever the command line sets, before or after Data, the
// symbol carries the text's bytes, and the setting is ignored with a warning.
TEST(QuillonCli, Utf8ModeCarriesTheBytesWhateverHandleTildeSays) {
    const struct {
        std::vector<std::string> args;
        std::string carried;
    } cases[] = {
        {{"Data=Quillon PDF417", "HandleTilde=False"}, "Quillon PDF417"},
        {{"HandleTilde=False", "Data=Ελληνικά"}, "Ελληνικά"},
        {{"HandleTilde=True", "Data=~d065 stays as written"}, "~d065 stays as written"},
        {{"Data=ünïcödé ~d066", "handletilde=1"}, "ünïcödé ~d066"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--utf8", "--fit", "Mode=2"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Quillon(args);
        SCOPED_TRACE(c.carried);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Decoded(r.out), c.carried);
        EXPECT_NE(r.err.find("warning: HandleTilde="), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("is ignored: UTF-8 mode sets HandleTilde itself"), std::string::npos);
    }
}

// The page script's way, the converter's five-character escapes with HandleTilde on, is the
// reference: the host's more compact way must draw the very same picture, with ECI 26 (UTF-8)
// when the text is not ASCII alone, and without it otherwise.
TEST(QuillonCli, Utf8ModeDrawsWhatTheConvertersEscapesDraw) {
    const struct {
        std::string text;
        std::vector<std::string> also;  // what the escapes need besides
    } cases[] = {
        {"é€ 中文 🎉 ~", {"Eci=26"}},
        {"plain ASCII ~", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string escapes;
        for (const unsigned char byte : c.text) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "~d%03u", byte);
            escapes += escape;
        }
        std::vector<std::string> args{"--fit", "Data=" + escapes, "HandleTilde=True"};
        args.insert(args.end(), c.also.begin(), c.also.end());
        const ProcessResult compact = Quillon({"--utf8", "--fit", "Data=" + c.text});
        const ProcessResult escaped = Quillon(args);
        ASSERT_EQ(compact.status, 0) << compact.err;
        ASSERT_EQ(escaped.status, 0) << escaped.err;
        EXPECT_TRUE(compact.out == escaped.out);
        EXPECT_EQ(Decoded(compact.out), c.text);
    }
    // An Eci the command line sets is kept.
    const ProcessResult chosen = Quillon({"--utf8", "--fit", "Eci=0", "Data=é"});
    const ProcessResult plain = Quillon({"--fit", "Data=~d195~d169", "HandleTilde=True"});
    EXPECT_TRUE(chosen.out == plain.out);
}

// Bytes the single-byte text cannot hold as characters (the zero byte) go in as escapes, and
// then every tilde does too, so the symbol still carries exactly the input.
TEST(QuillonCli, Utf8ModeCarriesZeroBytesAndTildesFromAFile) {
    const std::string text("zero\0byte ~d065 ~", 17);
    const std::string file = TemporaryFile();
    WriteFile(file, text);
    const ProcessResult r = Quillon({"--utf8", "--fit", "-i", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Decoded(r.out), text);
    std::remove(file.c_str());
}

// Every byte of Data can be a UTF-8 byte: text far beyond the 999 bytes that five-character
// escapes allowed fits, and the limit is told in UTF-8 bytes.
TEST(QuillonCli, Utf8TextGetsTheWholeCapacityOfData) {
    std::string greek;
    while (greek.size() < 1000) greek += "αβγδεζηθ";  // 1008 bytes, two a letter
    const ProcessResult fits =
        Quillon({"--utf8", "--fit", "Columns=30", "ErrorCorrectionLevel=1", "Data=" + greek});
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_EQ(Decoded(fits.out), greek);

    // 4999 bytes are taken as Data (no symbol holds that many, hence 3), 5000 are not.
    const ProcessResult most = Quillon({"--utf8", "--measure", "Data=" + std::string(4999, 'a')});
    EXPECT_EQ(most.status, 3) << most.err;
    const ProcessResult over =
        Quillon({"--utf8", "--measure", "Data=" + std::string(4998, 'a') + "é"});
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("the text is 5000 UTF-8 bytes; Data holds at most 4999 bytes"),
              std::string::npos)
        << over.err;
}

// The input of -i and --batch is bytes: every one reaches the symbol as it is, the zero byte
// included, as it does from Data=... with --binary.
TEST(QuillonCli, ByteModeCarriesEveryByteExactly) {
    TemporaryDirectory dir;
    for (const ByteCorpus& corpus : ByteCorpora()) {
        SCOPED_TRACE(corpus.name);
        WriteFile(dir / "data", corpus.bytes);
        const ProcessResult file = Quillon({"-i", dir / "data", "Columns=8"});
        ASSERT_EQ(file.status, 0) << file.err;
        EXPECT_EQ(Decoded(file.out), corpus.bytes);
        EXPECT_EQ(file.err.empty(), corpus.bytes.back() != '\n') << file.err;
        if (corpus.bytes.find('\0') == std::string::npos) {
            const ProcessResult argument =
                Quillon({"--binary", "Columns=8", "Data=" + corpus.bytes});
            EXPECT_EQ(argument.out, file.out);
        }
        if (corpus.bytes.find_first_of("\r\n") == std::string::npos) {
            const ProcessResult batch = QuillonWithInput(
                {"--batch", "Columns=8", "-o", dir / "line-%d.png"}, "x\n" + corpus.bytes + "\n");
            EXPECT_EQ(batch.status, 0) << batch.err;
            EXPECT_EQ(ReadFile(dir / "line-2.png"), file.out);
        }
    }
    // Data holds 4999 bytes; a zero byte takes a 5-character escape.
    WriteFile(dir / "data", std::string(4999, 'a'));
    EXPECT_EQ(Quillon({"--measure", "-i", dir / "data"}).status, 3)
        << "taken, but no symbol holds it";
    WriteFile(dir / "data", std::string(4998, 'a') + '\0');
    const ProcessResult over = Quillon({"--measure", "-i", dir / "data"});
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("the text is 4999 bytes, 1 of them written as 5-character ~dNNN "
                            "escapes, which fill 5003 bytes; Data holds at most 4999 bytes"),
              std::string::npos)
        << over.err;
    EXPECT_NE(Quillon({"--utf8", "--binary"}).err.find("--utf8 and --binary"), std::string::npos);
}

// Text mode keeps Windows-1252 characters; what it cannot keep is warned about, counted, with
// the first place (the byte offset in the text and the character).
TEST(QuillonCli, TextModeWarnsOfEveryCharacterItReplaces) {
    const struct {
        std::string data;
        std::string warning;  // empty: none
    } cases[] = {
        {"Windows-1252: € Š œ é ÿ", ""},
        {"Καλημέρα",
         "Data: 8 characters become '?', having no Windows-1252 byte (the first at "
         "byte 0: 'Κ'); UTF-8 or byte mode carries them exactly"},
        {"caf\xE9",
         "Data: 1 character becomes '?', having no Windows-1252 byte (the first at byte 3: "
         "'\\xE9'); UTF-8 or byte mode carries it exactly"},
        {"ok 🎉", "Data: 1 character becomes '?', having no Windows-1252 byte (the first at byte 3"},
        {"", "Data is empty: the symbol holds no data, and readers report nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        const ProcessResult r = Quillon({"--measure", "Data=" + c.data});
        EXPECT_EQ(r.status, 0);
        if (c.warning.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find("quillon: warning: " + c.warning), std::string::npos) << r.err;
        }
    }
    // Empty input warns in byte mode too.
    EXPECT_NE(QuillonWithInput({"--measure", "-i", "-"}, "").err.find("Data is empty"),
              std::string::npos);
}

TEST(QuillonCli, Utf8ModeRefusesTextThatIsNotUtf8) {
    const ProcessResult r = Quillon({"--utf8", "--measure", "Data=caf\xE9 au lait"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Data=caf\\xE9 au lait: not UTF-8 text (byte 0xE9 at offset 3)"),
              std::string::npos)
        << r.err;
}

// What the user typed comes back printable: control characters as escapes, long values cut
// between whole characters.
TEST(QuillonCli, MessagesShowValuesPrintableAndCutBetweenCharacters) {
    const ProcessResult escape = Quillon({"--measure", "Width=\x1B[31m\r\n"});
    EXPECT_EQ(escape.status, 2);
    EXPECT_NE(escape.err.find("Width=\\x1B[31m\\r\\n"), std::string::npos) << escape.err;
    EXPECT_EQ(escape.err.find('\x1B'), std::string::npos);

    // 40 bytes of the value would end inside the second character.
    const ProcessResult cut =
        Quillon({"--measure", "Columns=" + std::string(36, 'x') + "中文中文"});
    EXPECT_EQ(cut.status, 2);
    EXPECT_NE(cut.err.find("Columns=" + std::string(36, 'x') + "...: '"), std::string::npos)
        << cut.err;
}

// A registration that fails says why, not only its code.
// The host registers its own servers in a registry private to it, so a user's registry,
// even a broken one, neither stops it nor is touched. (Why a registration of its own servers
// fails is said by OwnServers.AServerThatCannotBeRegisteredIsNamedWithTheReason.)
TEST(QuillonCli, AUsersRegistryNeitherStopsNorChangesWithTheHost) {
    const std::string registry = TemporaryFile();
    WriteFile(registry, "not a registry\n");
    const std::string command = "QUILLON_REGISTRY=" + registry + " " + QUILLON_PATH + " --measure";
    const ProcessResult r = RunProgram("/bin/sh", {"-c", command});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
    EXPECT_EQ(ReadFile(registry), "not a registry\n");
    std::remove(registry.c_str());
}

TEST(QuillonCli, ExitStatusAndMessageForEveryKindOfMistake) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // a part of standard error
    } cases[] = {
        {{"--bogus"}, 2, "unknown option '--bogus'"},
        {{"-o"}, 2, "--output needs a value"},
        {{"hello"}, 2, "'hello' is not Name=Value"},
        {{"=5"}, 2, "is not Name=Value"},
        {{"--measure", "Colour=1"}, 2, "unknown property 'Colour'"},
        {{"--measure", "PNGImage=1"}, 2, "unknown property 'PNGImage'"},
        {{"--measure", "Width=abc"}, 2, "Width=abc: 'abc' is not a 16-bit integer"},
        {{"--measure", "Width=40000"}, 2, "Width=40000: '40000' is out of range for a 16-bit"},
        {{"--measure", "NarrowBarWidth=wide"}, 2, "NarrowBarWidth=wide"},
        {{"--measure", "Data=" + std::string(5000, 'x')}, 2, "Data is longer than 4999 bytes"},
        {{"--measure", "ErrorCorrectionLevel=8", "Data=" + std::string(2000, 'x')},
         3,
         "does not fit"},
        {{"ErrorCorrectionLevel=8", "Data=" + std::string(2000, 'x'), "-o", "/dev/null"},
         3,
         "does not fit"},
        // Under a file, so that no directory anyone makes can let the write succeed.
        {{"-o", "/dev/null/out.png"}, 1, "cannot write /dev/null/out.png"},
        // An input that cannot be read by its name is the name's fault, as a usage error.
        {{"-i", "/nonexistent/input"}, 2, "cannot read /nonexistent/input: No such file"},
        {{"-i", "/"}, 2, "cannot read /: Is a directory"},
        {{"--batch", "--measure", "-i", "/"}, 2, "cannot read /: Is a directory"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Quillon(c.args);
        SCOPED_TRACE(c.args.back().substr(0, 40));
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        // Said once: "the data does not fit: The data does not fit ..." was said twice.
        EXPECT_EQ(r.err.find(c.message), r.err.rfind(c.message)) << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(QuillonCli, IgnoredValuesAreWarnedAboutButNotRefused) {
    const ProcessResult r = Quillon({"--measure", "Width=0", "ErrorCorrectionLevel=9", "Mode=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: Width=0 is outside the accepted range (1..32767)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("warning: ErrorCorrectionLevel=9"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Mode"), std::string::npos) << r.err;  // Mode=1 is accepted
    EXPECT_EQ(r.out, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");

    // A comma separates thousands, as scripts read numbers: "2,5" is 25, and the warning says
    // so, whether the number read is ignored or taken.
    const ProcessResult comma = Quillon({"--measure", "Y2XRatio=2,5", "Columns=1,0"});
    EXPECT_NE(comma.err.find("warning: Y2XRatio=2,5 is read as 25 (a comma separates thousands; "
                             "a decimal point is written '.'), which is outside the accepted "
                             "range (above 0, at most 5), and is ignored"),
              std::string::npos)
        << comma.err;
    EXPECT_NE(comma.err.find("warning: Columns=1,0 is read as 10 (a comma separates thousands"),
              std::string::npos)
        << comma.err;
    EXPECT_NE(comma.out.find("\"columns\":10"), std::string::npos) << comma.out;
}

TEST(QuillonCli, HelpListsEveryPropertyAndVersionIsOneLine) {
    const ProcessResult help = Quillon({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* name :
         {"Data", "Mode", "ErrorCorrectionLevel", "Columns", "Rows", "TruncateSymbol", "Y2XRatio",
          "Width", "Height", "NarrowBarWidth", "BackColor", "BarColor", "Orientation",
          "BorderStyle", "HandleTilde"}) {
        EXPECT_NE(help.out.find(std::string("  ") + name + " "), std::string::npos) << name;
    }
    const ProcessResult version = Quillon({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quillon 4.0.0.1\n");
}

// --macro N -i FILE -o seg-%d.png writes a Macro PDF417 set: zxing-cpp joins the files into the
// input's bytes exactly; auto writes the fewest that fit, one less does not hold the data.
TEST(QuillonCli, MacroWritesASetThatJoinsIntoTheInput) {
    const std::string binary = RandomBytes(3000);  // the zero byte and high bytes among them
    std::string greek;
    while (greek.size() < 2500) greek += "Ελληνικά κείμενα ";
    const struct {
        const char* name;
        std::string input;
        std::vector<std::string> args;
        std::size_t count;  // 0: as auto chooses
    } cases[] = {
        {"binary, auto", binary, {"--macro", "auto"}, 0},
        {"binary in 5", binary, {"--macro=5", "--fit"}, 5},
        {"UTF-8 in 3, optimized", greek, {"--macro", "3", "--utf8", "--optimize"}, 3},
        {"one symbol", "Hello", {"--macro", "1"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TemporaryDirectory dir;
        const std::string input = dir / "input";
        WriteFile(input, c.input);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-i", input, "-o", dir / "seg-%d.png"});
        const ProcessResult r = Quillon(args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<DecodedPng> pictures;
        while (access((dir / ("seg-" + std::to_string(pictures.size()) + ".png")).c_str(), F_OK) ==
               0) {
            pictures.push_back(
                Picture(ReadFile(dir / ("seg-" + std::to_string(pictures.size()) + ".png"))));
        }
        if (c.count > 0) {
            EXPECT_EQ(pictures.size(), c.count);
        }
        const auto joined = JoinPdf417Set(pictures);
        ASSERT_TRUE(joined) << "zxing-cpp does not join the set";
        EXPECT_TRUE(std::string(joined->begin(), joined->end()) == c.input);
        if (c.count == 0 && pictures.size() > 1) {
            args[1] = std::to_string(pictures.size() - 1);
            EXPECT_EQ(Quillon(args).status, 3) << "one symbol less holds the data";
        }
    }
}

TEST(QuillonCli, MacroRefusesWhatNoSetHas) {
    const std::string big(65537, 'a');  // one more than a set carries
    const std::string binary(1500, '\xFF');
    const TemporaryDirectory dir;
    WriteFile(dir / "big", big);
    WriteFile(dir / "abc", "abc");
    WriteFile(dir / "binary", binary);
    const std::string pattern = dir / "seg-%d.png";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--macro", "100", "-i", dir / "abc", "-o", pattern},
         2,
         "--macro takes auto or a number of symbols from 1 to 99, not '100'"},
        {{"--macro", "0", "-i", dir / "abc", "-o", pattern}, 2, "from 1 to 99"},
        {{"--macro", "2", "-i", dir / "abc", "-o", dir / "seg.png"},
         2,
         "give -o a pattern with one %d"},
        {{"--macro", "2", "--measure", "-i", dir / "abc", "-o", pattern},
         2,
         "not taken with --batch, --measure or SVG"},
        {{"--macro", "2", "-o", pattern}, 2, "--macro splits data: give -i FILE or Data=..."},
        {{"--macro", "auto", "-i", dir / "big", "-o", pattern},
         2,
         "the data is 65537 bytes; a Macro PDF417 set carries at most 65536"},
        {{"--macro", "4", "-i", dir / "abc", "-o", pattern}, 2, "needs at least as many"},
        {{"--macro", "1", "-i", dir / "binary", "-o", pattern}, 3, "does not fit in 1 symbol"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const ProcessResult r = Quillon(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(access((dir / "seg-0.png").c_str(), F_OK), 0) << "no file is written";
    }
}

// --optimize is OptimizeCompaction=True, in its place among the settings.
TEST(QuillonCli, OptimizeIsOptimizeCompaction) {
    const std::string data = "Data=Invoice 2026-0042: 123456789012345";
    const ProcessResult shorthand = Quillon({"--optimize", data});
    const ProcessResult property = Quillon({data, "OptimizeCompaction=True"});
    ASSERT_EQ(shorthand.status, 0) << shorthand.err;
    EXPECT_TRUE(shorthand.out == property.out);
    EXPECT_TRUE(Quillon({"--optimize", data, "OptimizeCompaction=False"}).out ==
                Quillon({data}).out);
}

// --compress reaches the library: the same pixels, in a smaller file.
TEST(QuillonCli, CompressWritesTheSamePixelsSmaller) {
    const ProcessResult stored = Quillon({"Data=compressed"});
    const ProcessResult compressed = Quillon({"--compress", "Data=compressed"});
    ASSERT_EQ(compressed.status, 0) << compressed.err;
    EXPECT_LT(compressed.out.size() * 4, stored.out.size());
    EXPECT_TRUE(Picture(compressed.out).rgb == Picture(stored.out).rgb);
}

// --micro is Symbology=1, in its place among the settings: the same picture, and a setting of
// PDF417 alone is warned of (never refused), whatever the order.
TEST(QuillonCli, MicroIsSymbology1) {
    const ProcessResult shorthand = Quillon({"Columns=5", "--micro", "Data=LOT 4711"});
    const ProcessResult property = Quillon({"Data=LOT 4711", "Symbology=1", "Columns=5"});
    ASSERT_EQ(shorthand.status, 0) << shorthand.err;
    EXPECT_TRUE(shorthand.out == property.out);
    EXPECT_EQ(shorthand.err,
              "quillon: warning: Columns=5 is ignored with Symbology=1: a MicroPDF417 symbol "
              "takes its size from MicroColumns and MicroRows\n");
    EXPECT_EQ(property.err, shorthand.err);

    const ProcessResult undone = Quillon({"--micro", "Symbology=0", "Columns=5", "Data=LOT 4711"});
    EXPECT_EQ(undone.err, "");
    EXPECT_TRUE(undone.out == Quillon({"Columns=5", "Data=LOT 4711"}).out);
    EXPECT_NE(Quillon({"--help"}).out.find("--micro"), std::string::npos);
}

}  // namespace
