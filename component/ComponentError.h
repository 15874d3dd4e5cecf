// Failures the component reports to its caller beyond an HRESULT: a description on the
// thread's error object, which dispatch hands to scripts as the exception text.
#pragma once

#include "platform/Platform.h"

// Sets the thread's error object (source "TarvexQuillon.Quillon", interface IQuillon) and
// returns hr, so that a member can end with `return ReportError(E_..., u"...")`.
HRESULT ReportError(HRESULT hr, const char16_t* description);

// The data does not fit in a PDF417 symbol: too many codewords, or too many rows even at
// 30 columns. Returned by every request that encodes.
constexpr HRESULT QUILLON_E_DATA_DOES_NOT_FIT = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200);

class QuillonState;

// Reports QUILLON_E_DATA_DOES_NOT_FIT with a description that says why, with the numbers
// the encoder left behind.
HRESULT ReportDataDoesNotFit(const QuillonState& state);
