// `quillon_wine_client render TABLE DIR`: for every line of TABLE (settings "Name=Value"
// separated by tabs, UTF-8), a new object is given the settings by name as strings, as a page
// script gives them; its PNGImage goes to DIR/N.png and its measurements to DIR/N.txt, in
// the form `quillon --measure` prints them ("does not fit" when the data needs more than a
// symbol). The comparison with the Linux build is the test script's.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "component/contract/IQuillon.h"
#include "tests/windows/ByName.h"
#include "tests/windows/Checks.h"
#include "tests/windows/WindowsTests.h"

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        if (!field.empty()) fields.push_back(field);
    }
    return fields;
}

bool DoesNotFit(const CallResult& call) {
    return call.hr == DISP_E_EXCEPTION && call.scode == QUILLON_E_DATA_DOES_NOT_FIT;
}

// The figure a measuring method left in a by-reference argument.
long Figure(Variant& v) {
    Variant as_long;
    return SUCCEEDED(VariantChangeType(&as_long, &v, 0, VT_I4)) ? as_long->lVal : -1;
}

// One row: "" on success, else what went wrong.
std::string RenderRow(const std::vector<std::string>& settings, const std::string& base) {
    HRESULT hr = S_OK;
    IDispatch* object = CreateByProgId(kQuillonProgId, &hr);
    if (object == nullptr) return "cannot create the object: " + Hex(hr);
    std::string problem;
    for (const std::string& setting : settings) {
        const std::size_t eq = setting.find('=');
        const std::wstring name = Widen(setting.substr(0, eq));
        const CallResult put = Put(object, name.c_str(), Widen(setting.substr(eq + 1)));
        if (FAILED(put.hr)) problem += setting.substr(0, eq) + " refused with " + Hex(put.hr);
    }

    std::ofstream figures(base + ".txt", std::ios::binary);
    Variant picture;
    const CallResult got = Get(object, L"PNGImage", &picture);
    if (DoesNotFit(got)) {
        figures << "does not fit\n";
    } else if (FAILED(got.hr) || picture->vt != (VT_ARRAY | VT_UI1)) {
        problem += "PNGImage gave " + Hex(got.hr);
    } else {
        void* bytes = nullptr;
        SafeArrayAccessData(picture->parray, &bytes);
        std::ofstream(base + ".png", std::ios::binary)
            .write(static_cast<const char*>(bytes), picture->parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(picture->parray);

        Variant rows, columns, width, height;
        VARIANT refs[] = {RefTo(&rows), RefTo(&columns), RefTo(&width), RefTo(&height)};
        const CallResult rc =
            Invoke(object, L"GetActualRC", DISPATCH_METHOD, {&refs[0], &refs[1]}, nullptr);
        const CallResult size =
            Invoke(object, L"GetActualSize", DISPATCH_METHOD, {&refs[2], &refs[3]}, nullptr);
        if (FAILED(rc.hr) || FAILED(size.hr)) problem += "measuring failed";
        figures << "{\"rows\":" << Figure(rows) << ",\"columns\":" << Figure(columns)
                << ",\"width\":" << Figure(width) << ",\"height\":" << Figure(height) << "}\n";
    }
    object->Release();
    return problem;
}

}  // namespace

int RenderTable(const char* table, const char* directory) {
    std::ifstream in(table, std::ios::binary);
    Checks checks;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '#') continue;  // an empty line has no settings
        ++number;
        const std::string problem =
            RenderRow(Fields(line), std::string(directory) + "\\" + std::to_string(number));
        checks.Expect(problem.empty(), "row " + std::to_string(number) + ": " + problem);
    }
    checks.Expect(number > 0, "the table has rows");
    return checks.Finish();
}
