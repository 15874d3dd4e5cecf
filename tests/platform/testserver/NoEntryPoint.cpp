// A shared library that looks like a server but has no DllGetClassObject.
#include "platform/winapi/HResult.h"

STDAPI DllCanUnloadNow() {
    return S_OK;
}
