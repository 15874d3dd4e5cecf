// The registry: HKEY_CLASSES_ROOT only, as the registrar, the class runtime and the servers
// use it. Values are strings (REG_SZ); the default value of a key has the empty name (or a
// null one). Key and value names compare without regard to letter case. Access masks and
// security attributes are accepted and not enforced: the store's file permissions govern.
//
// The keys live in one file (platform/runtime/RegistryStore.h says where, and the environment
// variable QUILLON_REGISTRY overrides it), or in a registry private to the process. Every call
// reads the store; a change rewrites it atomically under a lock shared with other processes.
// An open key names a place, not a snapshot: a key that another process deleted answers
// ERROR_KEY_DELETED. Keys lie at most 512 levels deep, as on Windows.
#pragma once

#include "platform/winapi/WinError.h"
#include "platform/winapi/WinTypes.h"

using REGSAM = DWORD;
using PHKEY = HKEY*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Opens lpSubKey below hKey, creating it and any missing keys above it. An empty lpSubKey
// opens hKey itself again. *lpdwDisposition (optional) tells REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY.
PLATFORM_API LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                  DWORD dwOptions, REGSAM samDesired,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                  LPDWORD lpdwDisposition);
// ERROR_FILE_NOT_FOUND when the key does not exist; *phkResult is then null. A null or empty
// lpSubKey opens hKey itself again.
PLATFORM_API LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                PHKEY phkResult);
PLATFORM_API LONG RegCloseKey(HKEY hKey);

// Only REG_SZ: cbData bytes of UTF-16 text, up to its first zero character.
PLATFORM_API LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                 const BYTE* lpData, DWORD cbData);
// *lpcbData is the buffer's size in bytes on entry, and the bytes of the text with its
// terminating zero on return. A null lpData asks for the size; a buffer too small gives
// ERROR_MORE_DATA (with the size needed) and leaves the buffer alone.
PLATFORM_API LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
PLATFORM_API LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise), with its values.
PLATFORM_API LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes lpSubKey with everything below it; a null lpSubKey empties hKey of its values and
// subkeys and keeps hKey.
PLATFORM_API LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

// The subkeys in case-insensitive order; ERROR_NO_MORE_ITEMS past the last one. *lpcchName
// counts characters: the buffer's size with room for the zero on entry, the name's length
// without it on return. lpClass gets an empty string; the write time is zero.
PLATFORM_API LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                PFILETIME lpftLastWriteTime);
// The values in case-insensitive order of their names, the default value (empty name) first.
PLATFORM_API LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);

// Not part of the Windows API. The message of this thread's last failing registry call, for
// tools to show (for example "/home/me/.local/share/quillon/registry is corrupt: line 7:
// unterminated quoted string"); empty when none has failed.
PLATFORM_API const char* PlatformRegistryErrorText();
// The file that keeps HKEY_CLASSES_ROOT for this process now, or "the private registry of this
// process".
PLATFORM_API const char* PlatformRegistryPath();
// From now on (or, with FALSE, no longer) this process keeps HKEY_CLASSES_ROOT in its own
// memory, empty at first: what it registers only it sees, and what others register it does not
// see. A host that ships its servers beside it registers them there, so that it creates those
// and no others, whatever another installation has registered (as a Windows program does with
// a registration-free manifest). Open keys keep naming the store they were opened in.
PLATFORM_API void PlatformUsePrivateRegistry(BOOL use);
