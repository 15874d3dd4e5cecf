// What the tests of the quillon command line share: running it, temporary files, and reading
// a picture back with libpng and zxing-cpp.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/hosts/ChildProcess.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/PngReader.h"

inline ProcessResult Quillon(std::vector<std::string> args, bool terminal_stdout = false) {
    return RunProgram(QUILLON_PATH, std::move(args), terminal_stdout);
}

inline ProcessResult QuillonWithInput(std::vector<std::string> args, const std::string& input) {
    return RunProgram(QUILLON_PATH, std::move(args), false, &input);
}

inline DecodedPng Picture(const std::string& png) {
    return ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
}

// The bytes the symbol of a PNG file carries, as zxing-cpp reads them.
inline std::string Decoded(const std::string& png) {
    const DecodedPng picture = Picture(png);
    if (!picture.ok) return "<unreadable PNG: " + picture.error + ">";
    const auto bytes = DecodePdf417(picture);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<no symbol>";
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string TemporaryFile() {
    char name[] = "/tmp/quillon-cli-XXXXXX";
    close(mkstemp(name));
    return name;
}

// A directory that is removed with everything in it when the object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        char name[] = "/tmp/quillon-cli-dir-XXXXXX";
        if (mkdtemp(name) != nullptr) path_ = name;
    }
    ~TemporaryDirectory() {
        if (!path_.empty()) RunProgram("/bin/rm", {"-rf", path_});
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
