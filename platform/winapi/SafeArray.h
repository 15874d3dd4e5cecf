// SAFEARRAY of fixed-size elements (integers, reals, VARIANT_BOOL, HRESULT codes), any
// number of dimensions, as the automation API defines it.
#pragma once

#include "platform/winapi/Variant.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];  // cDims bounds, the last dimension first as on Windows
};
using LPSAFEARRAY = SAFEARRAY*;

constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

// Null when the element type is not supported, a bound is invalid or memory runs out.
// rgsabound lists the dimensions leftmost first, as callers pass them.
PLATFORM_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
PLATFORM_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// rgIndices lists one index per dimension, leftmost dimension first.
PLATFORM_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
PLATFORM_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
PLATFORM_API HRESULT SafeArrayLock(SAFEARRAY* psa);
PLATFORM_API HRESULT SafeArrayUnlock(SAFEARRAY* psa);
PLATFORM_API UINT SafeArrayGetDim(SAFEARRAY* psa);
PLATFORM_API UINT SafeArrayGetElemsize(SAFEARRAY* psa);
PLATFORM_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// nDim is 1-based, leftmost dimension first.
PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
