// Percent-encoded text as URLs carry it: the request's path and its query string.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Name=Value pairs of a query string in their order, '+' and %XX decoded.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);
// %XX decoded (and '+' as a space when plus_is_space); a broken escape stays as it was.
std::string PercentDecode(std::string_view text, bool plus_is_space);
