// Small helpers for tests that call the component's requests directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "component/CQuillon.h"
#include "platform/common/ErrorReporting.h"

// The bytes of a VT_ARRAY | VT_UI1 VARIANT (empty when it holds anything else).
std::vector<std::uint8_t> BytesOf(const VARIANT& value);

// The description of this thread's error object, which is taken and cleared.
using platform::TakeErrorDescription;

HRESULT PutData(CQuillon& q, const std::u16string& text);

// The colour the picture's read-back gives a drawn colour: black or white at 1 bit per
// pixel, the nearest colour of the standard 16-colour table (ties to the earlier entry) at 4.
std::uint32_t CapturedColour(std::uint32_t rgb, int bits);
