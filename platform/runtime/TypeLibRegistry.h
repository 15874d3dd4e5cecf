// Registration of type libraries: RegisterTypeLib records a library under its LIBID, version
// and locale, LoadRegTypeLib finds it again, UnRegisterTypeLib forgets it.
//
// This process's registrations are kept in a process-wide table. Registrations that must
// outlive the process (HKEY_CLASSES_ROOT\TypeLib, HKEY_CLASSES_ROOT\Interface) are the
// business of a store that the registry module connects with SetTypeLibRegistryStore; without
// one, registration is in-process only.
//
// LoadRegTypeLib picks, among the libraries registered with the LIBID and the major version,
// the one with the requested minor version or else the highest greater one; a library
// registered for the requested locale is preferred to one for its primary language, and that
// to a language-neutral one (locale 0). The table holds a reference to each registered
// library; an entry whose library has been revoked (RevokeTypeLibDescription) is dropped when
// it is next looked up.
#pragma once

#include "platform/runtime/TypeInfo.h"

struct TypeLibRegistryStore {
    // Writes a library that RegisterTypeLib has just recorded. A failure undoes the
    // registration and becomes RegisterTypeLib's result.
    HRESULT (*Write)(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
    // Removes a library's entries; TYPE_E_LIBNOTREGISTERED when there are none.
    HRESULT (*Erase)(REFGUID libid, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);
    // Loads a library that is not in this process's table (registered by another process or
    // an earlier run); TYPE_E_LIBNOTREGISTERED when there is none.
    HRESULT (*Load)(REFGUID libid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
};

// Connects the persistent store (any of its functions may be null); null disconnects it.
// The store must stay valid while it is connected.
PLATFORM_API void SetTypeLibRegistryStore(const TypeLibRegistryStore* store);

// Records ptlib under the LIBID, version, locale and system kind of its GetLibAttr, with the
// path of the module that holds it; registering the same again replaces the entry.
PLATFORM_API HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// TYPE_E_LIBNOTREGISTERED when neither the table nor the store had the library.
PLATFORM_API HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                       SYSKIND syskind);
// TYPE_E_LIBNOTREGISTERED when no registered library fits.
PLATFORM_API HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                    ITypeLib** pptlib);
