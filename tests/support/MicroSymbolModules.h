// Reads a MicroPDF417 symbol's codewords back from its modules, whoever drew it: each row's
// left row address pattern tells its number and so its cluster, the centre and right ones
// must follow from the rows above, and the first row's three must be where one of the sizes
// starts.
#pragma once

#include <string>
#include <vector>

class CQuillon;

struct MicroReading {
    std::string error;  // empty when the symbol reads
    int size = -1;      // index into kMicroPdf417Sizes
    int columns = 0;
    int rows = 0;
    std::vector<int> codewords;  // row by row

    bool ok() const { return error.empty(); }
    // Every codeword but the error correction of its size.
    std::vector<int> DataCodewords() const;
};

// Each row as its modules from left to right, true for a bar.
MicroReading ReadMicroModules(const std::vector<std::vector<bool>>& rows);

// Data of any bytes (as tilde escapes) for a MicroPDF417 symbol.
void PutMicroData(CQuillon& q, const std::string& bytes);

// The object's symbol as its PNG shows it: upright, black on white, modules and rows 1 pixel
// (NarrowBarWidth, Y2XRatio 1), in a picture of the symbol's size; empty when there is none.
std::vector<std::vector<bool>> DrawnModules(CQuillon& q);
