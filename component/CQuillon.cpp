#include "component/CQuillon.h"

HRESULT CQuillon::GetTypeInfoCount(UINT*) {
    return E_NOTIMPL;
}
HRESULT CQuillon::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
HRESULT CQuillon::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT CQuillon::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT CQuillon::get_PNGImage(VARIANT*) {
    return E_NOTIMPL;
}
HRESULT CQuillon::GetActualRC(VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT CQuillon::GetActualSize(VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
