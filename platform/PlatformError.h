// How the platform's own calls explain a failure: the HRESULT they return, plus an error
// object on the thread whose description says what went wrong (a missing registry key, the
// loader's message, a script's line), for the caller or a tool to show.
#pragma once

#include <string>
#include <string_view>

#include "platform/HResult.h"

namespace platform {

// Sets this thread's error object with message (UTF-8) as its description; returns hr.
PLATFORM_CPP_API HRESULT ReportFailure(HRESULT hr, std::string_view message);

// Takes this thread's error object (as GetErrorInfo does) and returns its description, UTF-8;
// empty when there is none.
PLATFORM_CPP_API std::string TakeErrorDescription();

}  // namespace platform
