#include "platform/winapi/SafeArray.h"

#include <cstring>
#include <limits>

#include "platform/winapi/Memory.h"

namespace {

// The element type is kept in front of the descriptor, where the caller never looks.
struct ArrayBlock {
    VARTYPE vt;
    alignas(alignof(std::max_align_t)) SAFEARRAY descriptor;
};

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_DATE:
            return 8;
        default:
            return 0;
    }
}

ArrayBlock* BlockOf(SAFEARRAY* psa) {
    return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(psa) -
                                         offsetof(ArrayBlock, descriptor));
}

std::size_t DescriptorBytes(UINT cDims) {
    return offsetof(ArrayBlock, descriptor) + sizeof(SAFEARRAY) +
           (cDims - 1) * sizeof(SAFEARRAYBOUND);
}

// Total element count, or false when it overflows what one block can address.
bool ElementCount(const SAFEARRAY* psa, std::size_t* count) {
    std::size_t total = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const std::size_t n = psa->rgsabound[d].cElements;
        if (n != 0 && total > std::numeric_limits<std::size_t>::max() / n) return false;
        total *= n;
    }
    *count = total;
    return true;
}

// Bound of dimension nDim counted leftmost first (1-based); stored last dimension first.
SAFEARRAYBOUND& Bound(SAFEARRAY* psa, UINT nDim) {
    return psa->rgsabound[psa->cDims - nDim];
}

HRESULT ElementAddress(SAFEARRAY* psa, const LONG* rgIndices, void** address) {
    if (psa == nullptr || rgIndices == nullptr) return E_INVALIDARG;
    std::size_t offset = 0;
    for (UINT dim = 1; dim <= psa->cDims; ++dim) {
        const SAFEARRAYBOUND& b = Bound(psa, dim);
        const std::int64_t i = static_cast<std::int64_t>(rgIndices[dim - 1]) - b.lLbound;
        if (i < 0 || i >= static_cast<std::int64_t>(b.cElements)) return DISP_E_BADINDEX;
        offset = offset * b.cElements + static_cast<std::size_t>(i);
    }
    *address = static_cast<char*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 64 || rgsabound == nullptr) return nullptr;
    auto* block = static_cast<ArrayBlock*>(CoTaskMemAlloc(DescriptorBytes(cDims)));
    if (block == nullptr) return nullptr;
    block->vt = vt;
    SAFEARRAY* psa = &block->descriptor;
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FADF_HAVEVARTYPE;
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->pvData = nullptr;
    for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = rgsabound[d];
    std::size_t count = 0;
    if (!ElementCount(psa, &count) || count > std::numeric_limits<std::size_t>::max() / size) {
        CoTaskMemFree(block);
        return nullptr;
    }
    psa->pvData = CoTaskMemAlloc(count * size);
    if (psa->pvData == nullptr) {
        CoTaskMemFree(block);
        return nullptr;
    }
    std::memset(psa->pvData, 0, count * size);
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    CoTaskMemFree(psa->pvData);
    CoTaskMemFree(BlockOf(psa));
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (psa == nullptr) return S_OK;
    SAFEARRAYBOUND bounds[64];
    for (UINT dim = 1; dim <= psa->cDims; ++dim) bounds[dim - 1] = Bound(psa, dim);
    SAFEARRAY* copy = SafeArrayCreate(BlockOf(psa)->vt, psa->cDims, bounds);
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::size_t count = 0;
    ElementCount(psa, &count);
    if (count != 0) std::memcpy(copy->pvData, psa->pvData, count * psa->cbElements);
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (pv == nullptr) return E_INVALIDARG;
    void* address = nullptr;
    const HRESULT hr = ElementAddress(psa, rgIndices, &address);
    if (FAILED(hr)) return hr;
    std::memcpy(address, pv, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (pv == nullptr) return E_INVALIDARG;
    void* address = nullptr;
    const HRESULT hr = ElementAddress(psa, rgIndices, &address);
    if (FAILED(hr)) return hr;
    std::memcpy(pv, address, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
    SafeArrayLock(psa);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cDims;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cbElements;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
    *pvt = BlockOf(psa)->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = Bound(psa, nDim).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = Bound(psa, nDim);
    *plUbound = static_cast<LONG>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}
