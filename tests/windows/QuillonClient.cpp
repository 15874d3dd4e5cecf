// quillon_wine_client: drives TarvexQuillon.dll and TarvexUnicode.dll, once registered, the
// way a page host and its scripts do: objects created by ProgID and called by name through
// IDispatch with string values.
//
//   quillon_wine_client checks
//   quillon_wine_client render TABLE DIR
#include <cstdio>
#include <cstring>

#include "platform/Platform.h"
#include "tests/windows/WindowsTests.h"

int main(int argc, char** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int status = 2;
    if (argc == 2 && std::strcmp(argv[1], "checks") == 0) {
        status = RunClientChecks();
    } else if (argc == 4 && std::strcmp(argv[1], "render") == 0) {
        status = RenderTable(argv[2], argv[3]);
    } else {
        std::fprintf(stderr, "usage: quillon_wine_client checks | render TABLE DIR\n");
    }
    CoUninitialize();
    return status;
}
