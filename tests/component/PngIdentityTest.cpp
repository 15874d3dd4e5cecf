// The PNG files are a contract: for every setting, the bytes must stay what they were when this
// table was written. The expected column of data/png-identity.tsv (file length and FNV-1a hash
// of the PNG, then the measured figures) was written by the component as it stood at commit
// 14d4fda, before the layout and speed work, with QUILLON_PNG_IDENTITY_WRITE set. It is not a
// snapshot to refresh: a change that alters a row changes what callers get.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"

namespace {

// A fixed generator, so that @kind:length:seed means the same text on every platform.
std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// Data=@kind:length:seed stands for generated text, anything else for itself.
std::u16string ExpandData(const std::string& value) {
    if (value.empty() || value[0] != '@') return {value.begin(), value.end()};
    std::istringstream in(value.substr(1));
    std::string kind, length, seed;
    std::getline(in, kind, ':');
    std::getline(in, length, ':');
    std::getline(in, seed);
    std::uint64_t state = std::stoull(seed);
    const std::string text_chars =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ,.:;!?-/()\r\n\t";
    std::u16string out;
    for (int i = 0, n = std::stoi(length); i < n; ++i) {
        const std::uint64_t r = SplitMix(state);
        if (kind == "digits") {
            out += static_cast<char16_t>('0' + r % 10);
        } else if (kind == "ascii") {
            out += static_cast<char16_t>(32 + r % 95);
        } else if (kind == "text") {
            out += static_cast<char16_t>(text_chars[r % text_chars.size()]);
        } else if (kind == "latin1") {
            out += static_cast<char16_t>(1 + r % 255);
        } else if (kind == "tilde") {
            const unsigned byte = r % 256;
            for (char c : {'~', 'd', char('0' + byte / 100), char('0' + byte / 10 % 10),
                           char('0' + byte % 10)}) {
                out += static_cast<char16_t>(c);
            }
        } else {
            ADD_FAILURE() << "unknown data kind " << kind;
        }
    }
    return out;
}

// Puts one Name=Value; returns what the put returned.
HRESULT Apply(CQuillon& q, const std::string& setting) {
    const auto eq = setting.find('=');
    if (eq == std::string::npos) {
        ADD_FAILURE() << setting;
        return E_INVALIDARG;
    }
    const std::string name = setting.substr(0, eq), value = setting.substr(eq + 1);
    const auto i16 = [&] { return static_cast<SHORT>(std::stoi(value)); };
    const auto i32 = [&] { return static_cast<LONG>(std::stoll(value)); };
    HRESULT hr = E_FAIL;
    if (name == "Data")
        hr = PutData(q, ExpandData(value));
    else if (name == "Mode")
        hr = q.put_Mode(i16());
    else if (name == "ErrorCorrectionLevel")
        hr = q.put_ErrorCorrectionLevel(i16());
    else if (name == "Columns")
        hr = q.put_Columns(i16());
    else if (name == "Rows")
        hr = q.put_Rows(i16());
    else if (name == "TruncateSymbol")
        hr = q.put_TruncateSymbol(i16());
    else if (name == "Y2XRatio")
        hr = q.put_Y2XRatio(std::stof(value));
    else if (name == "Width")
        hr = q.put_Width(i16());
    else if (name == "Height")
        hr = q.put_Height(i16());
    else if (name == "NarrowBarWidth")
        hr = q.put_NarrowBarWidth(std::stod(value));
    else if (name == "BackColor")
        hr = q.put_BackColor(i32());
    else if (name == "BarColor")
        hr = q.put_BarColor(i32());
    else if (name == "Orientation")
        hr = q.put_Orientation(i16());
    else if (name == "BorderStyle")
        hr = q.put_BorderStyle(i16());
    else if (name == "HandleTilde")
        hr = q.put_HandleTilde(i16());
    else
        ADD_FAILURE() << "unknown property " << name;
    return hr;
}

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 0xCBF29CE484222325u;
    for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001B3u;
    return h;
}

std::string Hex(std::uint64_t v, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(v));
    return text;
}

// What one row's settings give: any refused put, "png LENGTH HASH" or "error HRESULT", then the
// figures of GetActualRC and GetActualSize (or the measuring error).
std::string Outcome(const std::vector<std::string>& settings) {
    auto q = std::make_unique<TestQuillon>();
    std::string out;
    for (const auto& s : settings) {
        const HRESULT put = Apply(*q, s);
        if (FAILED(put)) out += "refused " + Hex(static_cast<std::uint32_t>(put), 8) + " ";
    }
    TakeErrorDescription();
    VARIANT picture;
    VariantInit(&picture);
    const HRESULT hr = q->get_PNGImage(&picture);
    const std::vector<std::uint8_t> file = BytesOf(picture);
    VariantClear(&picture);
    TakeErrorDescription();
    out += SUCCEEDED(hr) ? "png " + std::to_string(file.size()) + " " + Hex(Fnv1a64(file), 16)
                         : "error " + Hex(static_cast<std::uint32_t>(hr), 8);
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    HRESULT rc = q->GetActualRC(&a, &b);
    if (SUCCEEDED(rc)) out += " rc " + std::to_string(a.lVal) + " " + std::to_string(b.lVal);
    VariantClear(&a);
    VariantClear(&b);
    HRESULT size = q->GetActualSize(&a, &b);
    if (SUCCEEDED(size)) out += " size " + std::to_string(a.lVal) + " " + std::to_string(b.lVal);
    VariantClear(&a);
    VariantClear(&b);
    if (FAILED(rc) || FAILED(size))
        out += " measure-error " + Hex(static_cast<std::uint32_t>(rc), 8);
    TakeErrorDescription();
    return out;
}

struct Row {
    std::string expected;
    std::vector<std::string> settings;
};

std::vector<Row> ReadTable(const char* path) {
    std::ifstream in(path);
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Row row;
        std::getline(fields, row.expected, '\t');
        for (std::string f; std::getline(fields, f, '\t');) row.settings.push_back(f);
        rows.push_back(row);
    }
    return rows;
}

TEST(PngIdentity, EverySettingGivesTheFileItGaveBefore) {
    const std::vector<Row> rows = ReadTable(QUILLON_PNG_IDENTITY_TABLE);
    ASSERT_GE(rows.size(), 200u);
    const char* write_to = std::getenv("QUILLON_PNG_IDENTITY_WRITE");
    std::ofstream out;
    if (write_to != nullptr) out.open(write_to);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string got = Outcome(rows[i].settings);
        if (write_to != nullptr) {
            out << got;
            for (const auto& s : rows[i].settings) out << '\t' << s;
            out << '\n';
            continue;
        }
        std::string settings;
        for (const auto& s : rows[i].settings) settings += s + " ";
        EXPECT_EQ(got, rows[i].expected) << "row " << i + 1 << ": " << settings;
    }
}

}  // namespace
