// Bits into bytes as deflate packs them: each value's lowest bit first, bytes filled from their
// lowest bit up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class BitWriter {
public:
    explicit BitWriter(std::string* out) : out_(out), at_(out->size()) {}

    // Room for `bytes` more bytes, so that Put need not check.
    void Reserve(std::size_t bytes) {
        if (out_->size() < at_ + bytes + 8) out_->resize(at_ + bytes + 8);
    }
    // The low `count` bits of `bits` (count at most 32).
    void Put(std::uint32_t bits, int count) {
        pending_ |= std::uint64_t{bits} << filled_;
        filled_ += count;
        if (filled_ >= 32) {
            const auto word = static_cast<std::uint32_t>(pending_);
            const unsigned char bytes[4] = {
                static_cast<unsigned char>(word), static_cast<unsigned char>(word >> 8),
                static_cast<unsigned char>(word >> 16), static_cast<unsigned char>(word >> 24)};
            std::memcpy(out_->data() + at_, bytes, 4);
            at_ += 4;
            pending_ >>= 32;
            filled_ -= 32;
        }
    }
    // Pads the last byte with zero bits and trims the string to what was written.
    void Finish() {
        Reserve(8);
        for (; filled_ > 0; filled_ -= 8) {
            (*out_)[at_++] = static_cast<char>(pending_ & 0xFF);
            pending_ >>= 8;
        }
        filled_ = 0;
        pending_ = 0;
        out_->resize(at_);
    }

private:
    std::string* out_;
    std::size_t at_;
    std::uint64_t pending_ = 0;
    int filled_ = 0;
};
