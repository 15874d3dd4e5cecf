// A 64-bit hash of an answer's bytes for its entity tag: 32 bytes a round, so that tagging
// a picture costs far less than making it. The same bytes give the same hash on every
// instance and every run (no random seed), which a cache behind a balancer needs.
#pragma once

#include <cstdint>
#include <string_view>

// The hash of `bytes`, continuing from `seed` (the hash of what comes before, or 0). The
// length is part of the hash, so "ab" then "c" and "a" then "bc" differ; two inputs of the
// same length that differ in a single 8-byte word never collide.
std::uint64_t ContentHash(std::string_view bytes, std::uint64_t seed = 0);
