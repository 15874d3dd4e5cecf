// The conformance table of VariantChangeType: every row derived by hand from the Automation
// rules (round half to even, ranges of the target type, English number text with '.' decimal
// point, ',' thousands separator, "&H" hexadecimal, "True"/"False" for booleans). Our Linux
// stand-in is tested against it (tests/platform/VariantChangeTypeTest.cpp), and so is Wine's
// oleaut32 (tests/windows/VariantConformance.cpp), the nearest thing to Windows we can run.
// Where the two are known to differ and ours is kept as it is, the row says what Wine gives
// and why ours stays.
#pragma once

#include <span>
#include <string>

#include "platform/Runtime.h"

namespace conformance {

// The value to convert.
struct Source {
    VARTYPE vt;
    long long integer = 0;
    double real = 0;
    const char16_t* text = nullptr;
};

// What the conversion must give: an HRESULT and, on success, the value in the target type.
struct Expect {
    HRESULT hr = S_OK;
    long long integer = 0;
    double real = 0;
    const char16_t* text = nullptr;
};

// A difference from Wine that we keep: what Wine gives instead, and why ours stays.
struct WineDifference {
    bool kept = false;
    Expect wine;
    const char* why = nullptr;
};

constexpr LCID kEnglishUs = 0x0409;

struct Row {
    VARTYPE target;
    Source source;
    Expect expect;
    WineDifference difference = {};
    LCID lcid = kEnglishUs;  // the locale and flags handed to VariantChangeTypeEx
    USHORT flags = 0;
};

enum class Oleaut { kOurs, kWine };

std::span<const Row> VariantChangeTypeRows();

// Converts the row's source and compares: "" when the result is what the row expects of that
// implementation, else what differs.
std::string CheckRow(const Row& row, Oleaut implementation);

// "I2 from BSTR \"40000\"", for messages.
std::string DescribeRow(const Row& row);
const char* TypeName(VARTYPE vt);
std::string DescribeSource(const Source& s);

}  // namespace conformance
