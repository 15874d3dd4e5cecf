#include "platform/runtime/Apartment.h"

#include "platform/runtime/ClassRuntime.h"

namespace {

struct ThreadApartment {
    int initializations = 0;
    bool apartment_threaded = false;
};
thread_local ThreadApartment apartment;

constexpr DWORD kKnownFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

}  // namespace

namespace platform {

bool IsThreadInitialized() {
    return apartment.initializations > 0;
}

}  // namespace platform

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved != nullptr || (dwCoInit & ~kKnownFlags) != 0) return E_INVALIDARG;
    const bool apartment_threaded = (dwCoInit & COINIT_APARTMENTTHREADED) != 0;
    if (apartment.initializations > 0) {
        if (apartment.apartment_threaded != apartment_threaded) return RPC_E_CHANGED_MODE;
        ++apartment.initializations;
        return S_FALSE;
    }
    apartment.initializations = 1;
    apartment.apartment_threaded = apartment_threaded;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (apartment.initializations > 0) --apartment.initializations;
}
