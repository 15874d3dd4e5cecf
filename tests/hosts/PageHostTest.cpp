// quillon-serve over loopback: every route, status and header, and many clients at once.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>

#include "platform/common/Utf8.h"
#include "tests/hosts/ByteCorpora.h"
#include "tests/hosts/ChildProcess.h"
#include "tests/hosts/Gunzip.h"
#include "tests/hosts/RawHttpClient.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/PngReader.h"

namespace {

struct Response {
    int status = 0;
    std::string head;
    std::string body;
    std::string Header(const std::string& name) const {
        const std::size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) return "";
        const std::size_t start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    }
};

Response Parse(const std::string& raw) {
    Response r;
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.size() < 12 || end == std::string::npos) return r;
    r.status = std::stoi(raw.substr(9, 3));
    r.head = raw.substr(0, end + 2);
    r.body = raw.substr(end + 4);
    return r;
}

std::string DecodedBody(const Response& r) {
    const DecodedPng picture =
        ReadPng(reinterpret_cast<const std::uint8_t*>(r.body.data()), r.body.size());
    if (!picture.ok) return "<unreadable PNG>";
    const auto bytes = DecodePdf417(picture);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<no symbol>";
}

std::string Escaped(const std::string& text) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

class PageHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new RunningProgram(SERVE_PATH, {"--port", "0", "--threads", "2", "--quiet"});
        const std::string banner = server_->WaitFor("\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(banner, m, std::regex(R"(127\.0\.0\.1:(\d+)/)"))) << banner;
        port_ = std::stoi(m[1]);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    static Response Get(const std::string& target, const std::string& extra_headers = "",
                        const std::string& method = "GET") {
        RawHttpClient client(port_);
        if (!client.Send(method + " " + target + " HTTP/1.1\r\nHost: test\r\n" + extra_headers +
                         "Connection: close\r\n\r\n")) {
            return {};
        }
        return Parse(method == "HEAD" ? client.ReadUntilClosed() : client.ReadResponse());
    }

    static RunningProgram* server_;
    static int port_;
};
RunningProgram* PageHost::server_ = nullptr;
int PageHost::port_ = 0;

TEST_F(PageHost, ThePictureWithItsHeaders) {
    const Response r = Get("/barcode.png?Data=" + Escaped("Hello, page host") + "&Width=500");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(r.Header("Content-Type"), "image/png");
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
    EXPECT_EQ(r.Header("Cache-Control"), "public, max-age=86400");
    EXPECT_FALSE(r.Header("ETag").empty());
    EXPECT_EQ(DecodedBody(r), "Hello, page host");
}

// The component's 300 x 200 default cut the default symbol off; the host sizes the picture
// to the symbol (363 x 36 pixels) and a quiet zone of 2 modules of 3 pixels.
TEST_F(PageHost, TheDefaultPictureIsTheSymbolAndItsQuietZone) {
    const Response r = Get("/barcode.png");
    ASSERT_EQ(r.status, 200);
    const DecodedPng picture =
        ReadPng(reinterpret_cast<const std::uint8_t*>(r.body.data()), r.body.size());
    EXPECT_EQ(picture.width, 375);
    EXPECT_EQ(picture.height, 48);
    EXPECT_EQ(DecodedBody(r), "12");
    EXPECT_EQ(r.Header("X-Quillon-Warning"), "");
}

TEST_F(PageHost, AMatchingEntityTagGets304) {
    const Response first = Get("/barcode.png?Data=cached&Width=400");
    const std::string tag = first.Header("ETag");
    ASSERT_FALSE(tag.empty());
    const Response again = Get("/barcode.png?data=cached&width=400");  // same settings
    EXPECT_EQ(again.Header("ETag"), tag);
    const Response revalidated =
        Get("/barcode.png?Data=cached&Width=400", "If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(revalidated.status, 304);
    EXPECT_EQ(revalidated.body, "");
    EXPECT_EQ(revalidated.Header("ETag"), tag);
    const Response other =
        Get("/barcode.png?Data=changed&Width=400", "If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(other.status, 200);
    EXPECT_NE(other.Header("ETag"), tag);
}

TEST_F(PageHost, MeasureAndTheDemoPage) {
    const Response measure = Get("/measure");
    ASSERT_EQ(measure.status, 200);
    EXPECT_EQ(measure.Header("Content-Type"), "application/json");
    EXPECT_EQ(measure.body, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
    const Response page = Get("/");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("/barcode.png?"), std::string::npos);
    const Response head = Get("/barcode.png", "", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("Content-Length"), std::to_string(Get("/barcode.png").body.size()));
    EXPECT_EQ(head.body, "");
}

TEST_F(PageHost, BadInputGetsAClientErrorWithAMessageNeverA500) {
    const struct {
        std::string target;
        int status;
        std::string message;
        std::string method = "GET";
    } cases[] = {
        {"/barcode.png?Colour=1", 400, "unknown property 'Colour'"},
        {"/barcode.png?Width=abc", 400, "Width=abc: 'abc' is not a 16-bit integer"},
        {"/measure?Height=99999", 400, "out of range"},
        {"/barcode.png?Data=" + std::string(5000, 'x'), 400, "Data is longer than 4999 bytes"},
        {"/barcode.png?ErrorCorrectionLevel=8&Data=" + std::string(2000, 'x'), 422, "does not fit"},
        {"/measure?ErrorCorrectionLevel=8&Data=" + std::string(2000, 'x'), 422, "does not fit"},
        {"/barcode.png?Width=32767&Height=32767", 413, "above this host's limit"},
        {"/barcode.png?Data=" + std::string(17000, 'q'), 414, "URI Too Long"},
        {"/nothing", 404, "no page at /nothing"},
        {"/barcode.png", 405, "only GET and HEAD", "POST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.substr(0, 60));
        const Response r = Get(c.target, "", c.method);
        EXPECT_EQ(r.status, c.status) << r.body;
        EXPECT_NE(r.body.find(c.message), std::string::npos) << r.body;
        EXPECT_EQ(r.Header("Content-Type"), "text/plain; charset=utf-8");
    }
}

TEST_F(PageHost, IgnoredValuesAreServedWithAWarningHeader) {
    const Response r = Get("/measure?Width=0");
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(r.Header("X-Quillon-Warning").find("Width=0 is outside the accepted range"),
              std::string::npos);
}

TEST_F(PageHost, Utf8DataIsCarriedAsItsBytes) {
    const std::string text = "Ελληνικά — Кириллица — 中文";
    const Response r = Get("/barcode.png?utf8=1&Data=" + Escaped(text) + "&Width=1400&Height=300");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(DecodedBody(r), text);
    // Beyond ASCII the symbol names UTF-8 (ECI 26), so that a reader shows the text itself.
    const auto symbol = DecodePdf417Symbol(
        ReadPng(reinterpret_cast<const std::uint8_t*>(r.body.data()), r.body.size()));
    ASSERT_TRUE(symbol);
    EXPECT_TRUE(symbol->hasEci);
    EXPECT_EQ(symbol->text, text);
}

// utf8=1 owns HandleTilde, as the demo page's requests showed: it sent HandleTilde=False
// after utf8=1, and the symbol carried "~d081~d117..." instead of the text.
TEST_F(PageHost, Utf8ModeCarriesTheBytesWhateverHandleTildeSays) {
    for (const std::string& text : {std::string("Quillon PDF417"), std::string("Ελληνικά ~d065")}) {
        const Response r = Get("/barcode.png?Data=" + Escaped(text) +
                               "&utf8=1&Mode=2&HandleTilde=False&Width=600&Height=200");
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(DecodedBody(r), text);
        EXPECT_NE(r.Header("X-Quillon-Warning").find("HandleTilde=False is ignored"),
                  std::string::npos);
    }
}

TEST_F(PageHost, Utf8TextGetsTheWholeCapacityOfData) {
    std::string greek;
    while (greek.size() < 1000) greek += "αβγδεζηθ";  // 1008 bytes
    const Response fits =
        Get("/barcode.png?utf8=1&Columns=20&ErrorCorrectionLevel=1&Width=1400&"
            "Height=1000&Data=" +
            Escaped(greek));
    ASSERT_EQ(fits.status, 200) << fits.body;
    EXPECT_TRUE(DecodedBody(fits) == greek) << "the 1008 bytes do not come back";

    const Response over = Get("/measure?utf8=1&Data=" + std::string(4998, 'a') + "%C3%A9");
    EXPECT_EQ(over.status, 400);
    EXPECT_NE(over.body.find("the text is 5000 UTF-8 bytes; Data holds at most 4999 bytes"),
              std::string::npos)
        << over.body;
}

TEST_F(PageHost, TheSvgRoute) {
    const Response svg = Get("/barcode.svg?Data=vector&Width=400&Height=60");
    ASSERT_EQ(svg.status, 200) << svg.body;
    EXPECT_EQ(svg.Header("Content-Type"), "image/svg+xml");
    EXPECT_EQ(svg.body.substr(0, 5), "<svg ");
    EXPECT_NE(svg.body.find("viewBox=\"0 0 400 60\""), std::string::npos);
    EXPECT_NE(svg.Header("ETag"),
              Get("/barcode.png?Data=vector&Width=400&Height=60").Header("ETag"));
}

// Every route says when the picture cuts the symbol off: the picture's own and the
// measurement, which reports the symbol's size whatever the picture.
TEST_F(PageHost, EveryRouteWarnsOfAClippedPicture) {
    const std::string clipped = "the symbol (363 x 36 pixels) is larger than the picture";
    for (const std::string route : {"/barcode.png", "/barcode.svg", "/measure"}) {
        SCOPED_TRACE(route);
        const Response cut = Get(route + "?Width=300");
        ASSERT_EQ(cut.status, 200);
        EXPECT_NE(cut.Header("X-Quillon-Warning").find(clipped + " (300 x 48) and is cut off"),
                  std::string::npos)
            << cut.head;
        EXPECT_EQ(Get(route + "?Width=363").Header("X-Quillon-Warning"), "");
        EXPECT_EQ(Get(route).Header("X-Quillon-Warning"), "");
        EXPECT_NE(Get(route + "?Width=300&Height=200").Header("X-Quillon-Warning").find(clipped),
                  std::string::npos);
        EXPECT_EQ(Get(route + "?Width=300&Height=200&fit=1").Header("X-Quillon-Warning"), "");
    }
    EXPECT_EQ(Get("/measure?Width=300").body,
              "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
}

// fit=1 and quietzone=N size the picture as the command line's --fit and --quiet-zone do.
TEST_F(PageHost, FitAndQuietZoneSizeThePicture) {
    const struct {
        std::string query;
        int width, height;
    } cases[] = {
        {"quietzone=0", 363, 36},
        {"QuietZone=4&Orientation=1", 60, 387},
        {"Width=1000&Height=1000&fit=1", 375, 48},
        {"Width=1000&Height=1000&fit=0", 1000, 1000},
        {"Height=90", 375, 90},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const Response r = Get("/barcode.png?" + c.query);
        ASSERT_EQ(r.status, 200) << r.body;
        const DecodedPng picture =
            ReadPng(reinterpret_cast<const std::uint8_t*>(r.body.data()), r.body.size());
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        EXPECT_EQ(DecodedBody(r), "12");
    }
    const Response svg = Get("/barcode.svg?quietzone=1");
    EXPECT_NE(svg.body.find("viewBox=\"0 0 369 42\""), std::string::npos) << svg.body;
    for (const std::string bad : {"quietzone=abc", "quietzone=-1", "quietzone=101"}) {
        const Response r = Get("/measure?" + bad);
        EXPECT_EQ(r.status, 400) << bad;
        EXPECT_NE(r.body.find("the quiet zone is a whole number of modules from 0 to 100"),
                  std::string::npos)
            << r.body;
    }
}

// binary=1 carries the percent-decoded bytes of Data exactly, the zero byte included; without
// it, Data is text, and what text loses is warned about.
TEST_F(PageHost, ByteModeCarriesEveryByteAndTextModeWarnsOfWhatItLoses) {
    for (const ByteCorpus& corpus : ByteCorpora()) {
        SCOPED_TRACE(corpus.name);
        const Response r = Get("/barcode.png?binary=1&Columns=8&Data=" + Escaped(corpus.bytes));
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(DecodedBody(r), corpus.bytes);
        EXPECT_EQ(r.Header("X-Quillon-Warning"), "");
    }
    const struct {
        std::string query;
        std::string warning;
    } cases[] = {
        {"Data=caf%E9",
         "Data: 1 character becomes '?', having no Windows-1252 byte (the first "
         "at byte 3: '\\xE9')"},
        {"Data=" + Escaped("Ελληνικά"), "Data: 8 characters become '?'"},
        {"Data=a%00bc",
         "Data is cut at byte 1: a zero byte ends the text, and 3 bytes are left "
         "out; byte mode carries them"},
        {"Data=", "Data is empty"},
        {"binary=1&Data=", "Data is empty"},
        {"binary=1&Data=x&HandleTilde=True",
         "HandleTilde=True is ignored: byte mode sets "
         "HandleTilde itself"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        for (const std::string route : {"/barcode.png?", "/measure?"}) {
            const Response r = Get(route + c.query);
            EXPECT_EQ(r.status, 200) << r.body;
            EXPECT_NE(r.Header("X-Quillon-Warning").find(c.warning), std::string::npos) << r.head;
        }
    }
    const Response both = Get("/measure?utf8=1&binary=1");
    EXPECT_EQ(both.status, 400);
    EXPECT_NE(both.body.find("utf8=1 and binary=1 are two ways to read Data"), std::string::npos);
}

TEST_F(PageHost, MisspeltPropertiesGetASuggestionAndColoursTakeRgbHex) {
    const Response misspelt = Get("/measure?Colums=5");
    EXPECT_EQ(misspelt.status, 400);
    EXPECT_NE(misspelt.body.find("did you mean 'Columns'?"), std::string::npos) << misspelt.body;
    EXPECT_EQ(Get("/barcode.png?BarColor=%23800000").body, Get("/barcode.png?BarColor=128").body);
}

TEST_F(PageHost, EntityTagsFollowThePictureNotTheQuery) {
    // The component ignores Width=0 and keeps what it had: none, which the host sizes, or an
    // earlier 500.
    const Response zero = Get("/barcode.png?Width=0");
    const Response kept = Get("/barcode.png?Width=500&Width=0");
    ASSERT_EQ(zero.status, 200);
    ASSERT_EQ(kept.status, 200);
    ASSERT_NE(zero.body, kept.body);
    EXPECT_NE(zero.Header("ETag"), kept.Header("ETag"));
    // One picture, however it was asked for, has one tag.
    const Response plain = Get("/barcode.png");
    EXPECT_EQ(plain.body, zero.body);
    EXPECT_EQ(plain.Header("ETag"), zero.Header("ETag"));
    EXPECT_EQ(Get("/barcode.png?Width=500").Header("ETag"), kept.Header("ETag"));
    EXPECT_NE(Get("/measure").Header("ETag"), plain.Header("ETag"));
}

TEST_F(PageHost, OnlyAValidRequestCanBeNotModified) {
    EXPECT_EQ(Get("/barcode.png?Width=abc", "If-None-Match: *\r\n").status, 400);
    EXPECT_EQ(Get("/barcode.png?Data=" + std::string(2000, 'x') + "&ErrorCorrectionLevel=8",
                  "If-None-Match: *\r\n")
                  .status,
              422);
    EXPECT_EQ(Get("/barcode.png", "If-None-Match: *\r\n").status, 304);
    const std::string tag = Get("/barcode.png").Header("ETag");
    EXPECT_EQ(Get("/barcode.png", "If-None-Match: \"other\", W/" + tag + "\r\n").status, 304);
    EXPECT_EQ(Get("/barcode.png", "If-None-Match: \"other\"\r\n").status, 200);
}

TEST_F(PageHost, GzipForClientsThatTakeItDecodesToTheSameBytes) {
    for (const std::string& target :
         {"/barcode.png?Data=" + Escaped("Hello, gzip") + "&Width=500",
          std::string("/barcode.png?Width=1200&Height=800&BarColor=255&Orientation=1"),
          std::string("/measure?Data=abc"), std::string("/")}) {
        SCOPED_TRACE(target);
        const Response identity = Get(target);
        const Response zipped = Get(target, "Accept-Encoding: br, gzip;q=0.8\r\n");
        ASSERT_EQ(identity.status, 200);
        ASSERT_EQ(zipped.status, 200);
        EXPECT_EQ(identity.Header("Vary"), "Accept-Encoding");
        EXPECT_EQ(zipped.Header("Vary"), "Accept-Encoding");
        EXPECT_EQ(identity.Header("Content-Encoding"), "");
        const bool small = identity.body.size() < 256;  // not worth compressing
        EXPECT_EQ(zipped.Header("Content-Encoding"), small ? "" : "gzip");
        EXPECT_EQ(small ? zipped.body : Gunzip(zipped.body), identity.body);
        if (small) continue;
        EXPECT_LT(zipped.body.size(), identity.body.size() / 2);
        // Two representations, two tags, each revalidated as itself.
        const std::string tag = zipped.Header("ETag");
        EXPECT_NE(tag, identity.Header("ETag"));
        EXPECT_EQ(Get(target, "Accept-Encoding: gzip\r\nIf-None-Match: " + tag + "\r\n").status,
                  304);
        EXPECT_EQ(Get(target, "If-None-Match: " + tag + "\r\n").status, 200);
    }
    const Response refused = Get("/barcode.png", "Accept-Encoding: gzip;q=0, identity\r\n");
    EXPECT_EQ(refused.Header("Content-Encoding"), "");
    EXPECT_EQ(refused.body, Get("/barcode.png").body);
}

TEST_F(PageHost, MessagesAreWholeUtf8WithoutControlCharacters) {
    std::string accented;
    for (int i = 0; i < 30; ++i) accented += "é";  // 60 bytes: a cut at 40 falls mid-letter
    const struct {
        std::string target;
        std::string shown;
    } cases[] = {
        // At most 40 bytes with the "...", cut between letters.
        {"/barcode.png?Width=" + Escaped(accented), accented.substr(0, 36) + "..."},
        {"/barcode.png?Width=" + Escaped("1\x1b[31m\r\nX-Forged: 1"), "\\x1B[31m\\r\\nX-Forged"},
        {"/" + Escaped("\x1b]0;title\x07"), "\\x1B]0;title\\x07"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const Response r = Get(c.target);
        EXPECT_GE(r.status, 400);
        std::u16string ignored;
        EXPECT_TRUE(platform::Utf8ToUtf16(r.body, &ignored)) << r.body;
        ASSERT_FALSE(r.body.empty());
        EXPECT_EQ(std::count_if(r.body.begin(), r.body.end() - 1,
                                [](char ch) { return static_cast<unsigned char>(ch) < 0x20; }),
                  0)
            << r.body;
        EXPECT_NE(r.body.find(c.shown), std::string::npos) << r.body;
        EXPECT_EQ(r.Header("X-Forged"), "");
    }
}

TEST_F(PageHost, ManyClientsAtOnceEachGetTheirOwnPicture) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([t, &wrong] {
            RawHttpClient client(port_);  // one kept-alive connection per client
            for (int i = 0; i < 15; ++i) {
                const std::string data =
                    "client " + std::to_string(t) + " request " + std::to_string(i);
                client.Send("GET /barcode.png?Width=600&Data=" + Escaped(data) +
                            " HTTP/1.1\r\nHost: test\r\n\r\n");
                if (DecodedBody(Parse(client.ReadResponse())) != data) ++wrong;
            }
        });
    }
    for (std::thread& c : clients) c.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(PageHostLifetime, StopsCleanlyOnSigterm) {
    RunningProgram server(SERVE_PATH, {"--port", "0", "--threads", "1"});
    EXPECT_NE(server.WaitFor("listening on").find("http://127.0.0.1:"), std::string::npos);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace

namespace {

std::vector<DecodedPng> Pictures(const std::vector<std::string>& files) {
    std::vector<DecodedPng> pictures;
    for (const std::string& png : files) {
        pictures.push_back(ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()));
    }
    return pictures;
}

}  // namespace

// segments=N&segment=I serves symbol I of a Macro PDF417 set: every symbol fetched and joined
// by zxing-cpp gives the data; X-Quillon-Segments says the set's size, which auto chooses.
TEST_F(PageHost, ServesEachSymbolOfAMacroSet) {
    std::string greek;
    while (greek.size() < 2500) greek += "Καλημέρα κόσμε, ";
    const struct {
        const char* name;
        std::string data;
        std::string options;
        int count;  // 0: as auto chooses
    } cases[] = {
        {"binary, auto", RandomBytes(2000), "binary=1&segments=auto", 0},
        {"binary in 4", RandomBytes(2000), "binary=1&segments=4", 4},
        {"UTF-8 in 3, optimized", greek, "utf8=1&optimize=1&segments=3", 3},
        {"one symbol", "Hello", "segments=1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string query = "/barcode.png?" + c.options + "&Data=" + Escaped(c.data);
        std::vector<std::string> files;
        int count = 1;
        for (int index = 0; index < count; ++index) {
            const Response r = Get(query + "&segment=" + std::to_string(index));
            ASSERT_EQ(r.status, 200) << r.body;
            EXPECT_EQ(r.Header("Content-Type"), "image/png");
            count = std::stoi(r.Header("X-Quillon-Segments"));
            files.push_back(r.body);
            // Every instance serving the query gives the same bytes.
            if (index == 0) {
                EXPECT_TRUE(Get(query + "&segment=0").body == r.body);
            }
        }
        if (c.count > 0) {
            EXPECT_EQ(count, c.count);
        }
        const auto joined = JoinPdf417Set(Pictures(files));
        ASSERT_TRUE(joined) << "zxing-cpp does not join the set";
        EXPECT_TRUE(std::string(joined->begin(), joined->end()) == c.data);
    }
}

TEST_F(PageHost, RefusesWhatNoMacroSetHas) {
    const struct {
        std::string target;
        int status;
        const char* message;
    } cases[] = {
        {"/barcode.png?Data=abc&segments=100&segment=0", 400, "a set has 1 to 99 symbols"},
        {"/barcode.png?Data=abcdef&segments=3&segment=3", 400,
         "there is no symbol 3 in a set of 3"},
        {"/barcode.png?Data=abc&segments=auto&segment=1", 400,
         "there is no symbol 1 in a set of 1"},
        {"/barcode.png?Data=abc&segment=0", 400, "needs both segments=N (or auto) and segment=I"},
        {"/barcode.png?Data=abc&segments=2&segment=-1", 400, "the symbol's index in the set"},
        {"/barcode.svg?Data=abc&segments=1&segment=0", 400, "are for /barcode.png"},
        {"/barcode.png?Data=ab&segments=3&segment=0", 400, "needs at least as many"},
        {"/barcode.png?binary=1&segments=1&segment=0&Data=" + Escaped(RandomBytes(1500)), 422,
         "the data does not fit in 1 symbol"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const Response r = Get(c.target);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.body.find(c.message), std::string::npos) << r.body;
    }
}

// optimize=1 is OptimizeCompaction=True: the same picture.
TEST_F(PageHost, OptimizeIsOptimizeCompaction) {
    const std::string data = "/barcode.png?Data=" + Escaped("Invoice 2026-0042: 123456789012345");
    const Response shorthand = Get(data + "&optimize=1");
    const Response property = Get(data + "&OptimizeCompaction=True");
    ASSERT_EQ(shorthand.status, 200) << shorthand.body;
    EXPECT_TRUE(shorthand.body == property.body);
    EXPECT_FALSE(shorthand.body == Get(data).body);
}

// compress=1 reaches the library: the same pixels in a smaller file, with an entity tag of
// its own.
TEST_F(PageHost, CompressServesTheSamePixelsSmaller) {
    const Response stored = Get("/barcode.png?Data=compressed");
    const Response compressed = Get("/barcode.png?Data=compressed&compress=1");
    ASSERT_EQ(compressed.status, 200) << compressed.body;
    EXPECT_LT(compressed.body.size() * 4, stored.body.size());
    const auto pixels = [](const Response& r) {
        return ReadPng(reinterpret_cast<const std::uint8_t*>(r.body.data()), r.body.size()).rgb;
    };
    EXPECT_TRUE(pixels(compressed) == pixels(stored));
    EXPECT_NE(compressed.Header("ETag"), stored.Header("ETag"));
}

// micro=1 is Symbology=1: the same picture, and what does not apply to it comes back as a
// warning, never a refusal, on every route.
TEST_F(PageHost, MicroIsSymbology1) {
    const std::string data = "?Data=" + Escaped("LOT 4711") + "&Columns=5";
    const Response shorthand = Get("/barcode.png" + data + "&micro=1");
    const Response property = Get("/barcode.png" + data + "&Symbology=1");
    ASSERT_EQ(shorthand.status, 200) << shorthand.body;
    EXPECT_TRUE(shorthand.body == property.body);
    for (const std::string route : {"/barcode.png", "/barcode.svg", "/measure"}) {
        const Response r = Get(route + data + "&micro=1");
        EXPECT_EQ(r.status, 200) << route;
        EXPECT_NE(r.head.find("X-Quillon-Warning: Columns=5 is ignored with Symbology=1: a "
                              "MicroPDF417 symbol takes its size from MicroColumns and "
                              "MicroRows\r\n"),
                  std::string::npos)
            << route << r.head;
    }
    const Response undone = Get("/barcode.png" + data + "&micro=1&micro=0");
    EXPECT_EQ(undone.head.find("X-Quillon-Warning"), std::string::npos) << undone.head;
    EXPECT_TRUE(undone.body == Get("/barcode.png" + data).body);
}
