// Failures the component reports to its caller beyond an HRESULT: a description on the
// thread's error object, which dispatch hands to scripts as the exception text.
#pragma once

#include "platform/Platform.h"

// Sets the thread's error object (source "TarvexQuillon.Quillon", interface IQuillon) and
// returns hr, so that a member can end with `return ReportError(E_..., u"...")`.
HRESULT ReportError(HRESULT hr, const char16_t* description);
