// Percent-encoded text as URLs carry it: the request's path and its query string.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Name=Value pairs of a query string in their order, '+' and %XX decoded.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);
// The pairs ParseQuery gives, written after *out: two queries write the same exactly when
// ParseQuery gives the same pairs, whatever their escapes, '+' or empty items.
void AppendParsedQuery(std::string_view query, std::string* out);
// %XX decoded (and '+' as a space when plus_is_space); a broken escape stays as it was.
std::string PercentDecode(std::string_view text, bool plus_is_space);
