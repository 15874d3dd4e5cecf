// The Windows test programs' reporting: one line for each failed check, then the tally in
// the form CTest and CI read ("N passed, M failed"); the exit status is 1 when any failed.
#pragma once

#include <cstdio>
#include <string>

class Checks {
public:
    bool Expect(bool ok, const std::string& what) {
        if (ok) {
            ++passed_;
        } else {
            ++failed_;
            std::printf("FAILED: %s\n", what.c_str());
        }
        return ok;
    }

    int Finish() const {
        std::printf("%d passed, %d failed\n", passed_, failed_);
        return failed_ == 0 ? 0 : 1;
    }

private:
    int passed_ = 0;
    int failed_ = 0;
};
