// Failures the component reports to its caller beyond an HRESULT: a description on the
// thread's error object, which dispatch hands to scripts as the exception text.
#pragma once

#include "component/contract/IQuillon.h"

// Sets the thread's error object (source the ProgID, interface the one that defines the
// member, IQuillon unless said) and returns hr, so that a member can end with
// `return ReportError(E_..., OLESTR("..."))`.
HRESULT ReportError(HRESULT hr, LPCOLESTR description, REFIID iid = IID_IQuillon);

class QuillonState;

// Reports QUILLON_E_DATA_DOES_NOT_FIT with a description that says why, with the numbers the
// encoder left behind (for MicroPDF417, with the sizes there are); or E_INVALIDARG for a Macro
// segment index outside its set's count.
HRESULT ReportDataDoesNotFit(const QuillonState& state);
// Reports E_INVALIDARG for a symbol whose size in pixels is beyond 32-bit coordinates, with
// that size.
HRESULT ReportSymbolTooLarge(const QuillonState& state);
