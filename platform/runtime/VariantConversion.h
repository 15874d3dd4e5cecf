// VariantChangeType: converting an automation value to another type by the Automation rules,
// with the invariant English locale.
//
// Types: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_BOOL, VT_BSTR and VT_UI1 convert
// among each other; VT_UNKNOWN and VT_DISPATCH only to each other (through QueryInterface).
// Any type converts to itself (a copy). Other source or target types: DISP_E_BADVARTYPE.
//
// - Reals to integers round half to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2); a result outside
//   the target's range is DISP_E_OVERFLOW, and so are NaN and infinities.
// - Strings are read as NumberText.h describes; what is not a number is DISP_E_TYPEMISMATCH.
// - "&H" and "&O" integers fill the target's bits: "&HFFFF" is -1 as VT_I2 and 65535 as VT_I4,
//   "&HFFFFFFFF" -1 as VT_I4; beyond the target's bits they overflow.
// - VT_BOOL: "True" and "False" in any case, or "#TRUE#" and "#FALSE#", with no white space
//   around them, or any number, nonzero being VARIANT_TRUE. Booleans become -1 and 0 as
//   numbers (255 and 0 as VT_UI1, as Windows gives them), and "-1" and "0" as strings, or
//   "True" and "False" with VARIANT_ALPHABOOL.
// - VT_EMPTY becomes 0, VARIANT_FALSE or the empty string. Anything becomes VT_NULL; VT_NULL
//   converts to nothing else (DISP_E_TYPEMISMATCH), nor do VT_ERROR values.
// - Numbers become strings as NumberText.h writes them.
// - A VT_BYREF source is read through its pointer. dest may equal src. On failure dest is
//   left as it was; on success its previous content is cleared first.
// - Of wFlags only VARIANT_ALPHABOOL counts: objects have no default property read here.
#pragma once

#include "platform/winapi/Variant.h"

constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

PLATFORM_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                       USHORT wFlags, VARTYPE vt);
// The locale is not consulted: every conversion uses the invariant English conventions.
PLATFORM_API HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                         LCID lcid, USHORT wFlags, VARTYPE vt);
