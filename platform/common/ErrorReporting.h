// Explaining a failure beyond its HRESULT: the thread's error object, whose description (and,
// for a member of an automation class, the reporting interface and the class's ProgID as its
// source) dispatch hands to the script and tools show to people. Written with the automation
// API alone, so it serves the component, the servers, the runtime and the hosts alike.
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace platform {

// Sets this thread's error object and returns hr, so that a member can end with
// `return ReportError(E_..., iid, source, description)`. A null source is left unset.
HRESULT ReportError(HRESULT hr, REFIID iid, LPCOLESTR source, LPCOLESTR description);

// The same with a UTF-8 message and neither interface nor source, for the platform's own calls
// (a missing registry key, the loader's message, a script's line).
HRESULT ReportFailure(HRESULT hr, std::string_view message);

// Takes this thread's error object (as GetErrorInfo does) and returns its description, UTF-8;
// empty when there is none.
std::string TakeErrorDescription();

}  // namespace platform
