// An object keeps its last encoding and draws its picture straight from the symbol's rows; as
// far as any caller can tell, it still encodes every request afresh and paints on a device.
// Random sequences of puts and requests, made by name as scripts make them, go to two objects:
// one as every object is, and one made to encode every request and to paint its picture on a
// device context and read it back. After every step, every property get, every result, HRESULT
// and error description, and every PNG of the two must be the same.
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "component/CQuillon.h"
#include "component/contract/QuillonProperties.h"
#include "platform/serverkit/TypeInfoDispatch.h"
#include "tests/server/ServerHost.h"

namespace {

serverkit::TypeInfoHolder type_info(LIBID_TarvexQuillonLib, kTarvexQuillonLibMajorVersion,
                                    kTarvexQuillonLibMinorVersion, IID_IQuillon3);

class Counted : public CQuillon {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// The component called by name through its type library, as the server's objects are.
class Scripted final : public serverkit::TypeInfoDispatch<Counted, IQuillon3, type_info> {};

// A value for a put, as a script would write it: mostly inside the property's range, often
// at its edges, sometimes outside it or not of its type at all.
std::u16string AnyValue(const QuillonProperty& p, std::mt19937& random) {
    const auto pick = [&](std::initializer_list<std::string> options) {
        const std::string& s = options.begin()[random() % options.size()];
        return std::u16string(s.begin(), s.end());
    };
    const auto number = [&](std::int64_t v) { return pick({std::to_string(v)}); };
    switch (p.values) {
        case PropertyValues::kAnyValue:
            return pick({"True", "False", "0", "-1", "maybe"});
        case PropertyValues::kDigitGroups:
            return pick({"000", "123456", "899001002", "900", "12", "abc"});
        case PropertyValues::kText: {
            static const std::vector<std::string> pieces = {
                "12", "Hello, World", "~d065", "~d200~d009", "0123456789", "abcXYZ", "~",
                " ",  "\xE9t\xE9",    "@#$%"};
            std::u16string text;
            const int parts = static_cast<int>(random() % 40);
            for (int i = 0; i < parts; ++i) {
                const std::string& piece = pieces[random() % pieces.size()];
                text.append(piece.begin(), piece.end());
            }
            if (random() % 10 == 0) text.assign(1100 + random() % 4000, u'7');  // long, or too long
            return text;
        }
        case PropertyValues::kIntegers: {
            const std::int64_t low = p.integers.low, high = p.integers.high;
            // Pictures stay small enough to paint thousands of: a large side with a small one.
            if (p.dispid == DISPID_QUILLON_WIDTH || p.dispid == DISPID_QUILLON_HEIGHT) {
                return pick({"1", "37", "121", "300", "640", "0", "32768", "2500"});
            }
            switch (random() % 5) {
                case 0:
                    return number(low);
                case 1:
                    return number(high);
                case 2:
                    return number(random() % 2 ? low - 1 : high + 1);
                case 3:
                    return pick({"x", "2,5", "99999999999"});
                default:
                    return number(low + static_cast<std::int64_t>(random() % 8) % (high - low + 1));
            }
        }
        case PropertyValues::kIntegerList: {
            const std::span<const std::int32_t> listed = p.listed.values;
            return random() % 4 == 0 ? number(listed.back() + 1)
                                     : number(listed[random() % listed.size()]);
        }
        case PropertyValues::kReals:
            if (p.dispid == DISPID_QUILLON_NARROWBARWIDTH) {
                return pick({"0.01", "0.0529", "0.07", "0.1", "0.3", "0", "-1", "1000", "x"});
            }
            return pick({"0.3", "1", "2.5", "3", "5", "5.01", "0", "x"});
    }
    return {};
}

// Everything a call gave, as one comparable record.
struct Outcome {
    HRESULT hr;
    SCODE scode;
    std::u16string description;
    std::vector<std::string> results;
    bool operator==(const Outcome&) const = default;
};

std::string Text(const VARIANT& v) {
    if (v.vt == (VT_ARRAY | VT_UI1)) {
        const auto* bytes = static_cast<const char*>(v.parray->pvData);
        return "png:" + std::string(bytes, v.parray->rgsabound[0].cElements);
    }
    VARIANT text;
    VariantInit(&text);
    std::string out = std::to_string(v.vt) + ":";
    if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR))) {
        for (UINT i = 0; i < SysStringLen(text.bstrVal); ++i) {
            out += static_cast<char>(text.bstrVal[i] >> 8);
            out += static_cast<char>(text.bstrVal[i] & 0xFF);
        }
    }
    VariantClear(&text);
    return out;
}

Outcome Request(IDispatch* object, const std::u16string& name, WORD flags,
                const std::u16string& value = {}) {
    Outcome outcome{};
    if (flags == DISPATCH_PROPERTYPUT) {
        const Call call = Put(object, name, value);
        outcome = {call.hr, call.scode, call.description, {}};
        return outcome;
    }
    Value first, second, result;
    std::vector<VARIANT> args;
    if (flags == DISPATCH_METHOD) {
        for (Value* v : {&first, &second}) {
            VARIANT ref;
            VariantInit(&ref);
            ref.vt = VT_BYREF | VT_VARIANT;
            ref.pvarVal = &v->v;
            args.push_back(ref);
        }
    }
    const Call call = Invoke(object, name, flags, args, &result.v);
    outcome = {
        call.hr, call.scode, call.description, {Text(first.v), Text(second.v), Text(result.v)}};
    return outcome;
}

using KeptEncoding = ServerHost;

TEST_F(KeptEncoding, ObjectsAnswerAsIfEveryRequestEncodedAfreshAndPaintedOnADevice) {
    const std::vector<std::u16string> requests = {u"GetActualRC", u"GetActualSize", u"PNGImage"};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        const auto kept = std::make_unique<Scripted>();
        const auto fresh = std::make_unique<Scripted>();
        fresh->KeepEncodings = FALSE;
        fresh->DrawOnDevice = TRUE;
        for (int step = 0; step < 400; ++step) {
            const QuillonProperty& p = QuillonProperties()[random() % QuillonProperties().size()];
            const std::u16string name(p.name, p.name + std::strlen(p.name));
            std::u16string request;
            WORD flags = DISPATCH_PROPERTYPUT;
            std::u16string value;
            switch (random() % 3) {
                case 0:  // a request
                    request = requests[random() % requests.size()];
                    flags = request == u"PNGImage" ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
                    break;
                case 1: {  // the value the property holds, put back
                    request = name;
                    Value held;
                    Invoke(kept.get(), name, DISPATCH_PROPERTYGET, {}, &held.v);
                    VARIANT text;
                    VariantInit(&text);
                    VariantChangeType(&text, &held.v, 0, VT_BSTR);
                    value = text.bstrVal == nullptr ? u"" : text.bstrVal;
                    VariantClear(&text);
                    break;
                }
                default:
                    request = name;
                    value = AnyValue(p, random);
                    break;
            }
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step);
            ASSERT_EQ(Request(kept.get(), request, flags, value),
                      Request(fresh.get(), request, flags, value));
            for (const QuillonProperty& each : QuillonProperties()) {
                const std::u16string get(each.name, each.name + std::strlen(each.name));
                ASSERT_EQ(Request(kept.get(), get, DISPATCH_PROPERTYGET),
                          Request(fresh.get(), get, DISPATCH_PROPERTYGET))
                    << each.name;
            }
        }
    }
}

}  // namespace
