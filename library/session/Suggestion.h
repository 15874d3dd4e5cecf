// "Did you mean ...?" for a misspelt property or option name.
#pragma once

#include <span>
#include <string>
#include <string_view>

// The candidate closest to `name` in edits (insert, delete, replace or swap two neighbours,
// letter case ignored), when it is close enough to be a likely misspelling: at most one edit
// for a short name, two for a longer one. Empty when none is.
std::string ClosestName(std::string_view name, std::span<const std::string_view> candidates);
