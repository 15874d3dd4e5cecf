// A fixed corpus for comparing compactions: digits, text, binary and mixtures of them, at
// lengths from 1 to `longest` bytes, generated the same way on every platform.
#pragma once

#include <string>
#include <vector>

struct CorpusEntry {
    std::string kind;
    std::string bytes;
};

std::vector<CorpusEntry> CompactionCorpus(int longest = 2000);
