// Reading a fuzzer's bytes as the values a target needs. Reading past the end gives zeros and
// empty strings, so every input, however short, is a valid sequence of values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }

    template <class T>
    T Take() {
        T value{};
        const std::size_t n = Available(sizeof value);
        if (n > 0) std::memcpy(&value, data_ + pos_, n);
        pos_ += n;
        return value;
    }
    std::uint8_t Byte() { return Take<std::uint8_t>(); }
    bool Bool() { return (Byte() & 1) != 0; }
    // A number in [0, limit).
    unsigned Below(unsigned limit) { return limit == 0 ? 0 : Take<std::uint16_t>() % limit; }

    // A length byte, then that many bytes.
    std::string_view Bytes() {
        const std::size_t n = Available(Byte());
        if (n == 0) return {};
        const std::string_view bytes(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return bytes;
    }
    // A 16-bit length (taken modulo longest + 1), then that many UTF-16 units, any values (zero
    // and lone surrogates included).
    std::u16string Utf16(std::size_t longest = 255) {
        const std::size_t units = Available(2 * (Take<std::uint16_t>() % (longest + 1))) / 2;
        std::u16string text(units, u'\0');
        if (units > 0) std::memcpy(text.data(), data_ + pos_, 2 * units);
        pos_ += 2 * units;
        return text;
    }
    // Whatever is left.
    std::string_view Rest() {
        if (empty()) return {};
        const std::string_view rest(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return rest;
    }

private:
    std::size_t Available(std::size_t wanted) const {
        const std::size_t left = pos_ < size_ ? size_ - pos_ : 0;
        return wanted < left ? wanted : left;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Stops the run as a sanitizer finding would, with the reason, when a property the target checks
// does not hold.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
