#include "hosts/serve/Gzip.h"

#include <zlib.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "hosts/serve/HttpMessage.h"
#include "platform/common/AsciiCase.h"

namespace {

// Level 1 takes nearly all there is to take from a picture of bars (long runs of equal
// bytes) at a fraction of the default level's time; bench/http_load.sh measures both.
constexpr int kLevel = 1;
constexpr int kGzipWindowBits = 15 + 16;  // 32 KiB window, gzip header and trailer

// Whether an item's parameters (what follows "gzip;") give it a weight above zero: "q=0",
// "q=0.0" and the like refuse it, no weight at all takes it.
bool WeightAboveZero(const std::vector<std::string_view>& item) {
    for (std::size_t i = 1; i < item.size(); ++i) {
        const std::string_view parameter = item[i];
        if (parameter.size() < 2 || platform::LowerAscii(parameter[0]) != 'q' ||
            parameter[1] != '=') {
            continue;
        }
        return parameter.find_first_not_of("0.", 2) != std::string_view::npos;
    }
    return true;
}

}  // namespace

bool AcceptsGzip(std::string_view accept_encoding) {
    std::optional<bool> gzip;
    bool any = false;
    for (const std::string_view entry : ListItems(accept_encoding)) {
        const std::vector<std::string_view> item = ListItems(entry, ';');
        if (item.empty()) continue;  // ";" alone
        if (platform::EqualsIgnoringCase(item[0], "gzip") ||
            platform::EqualsIgnoringCase(item[0], "x-gzip")) {
            gzip = WeightAboveZero(item);
        } else if (item[0] == "*") {
            any = WeightAboveZero(item);
        }
    }
    return gzip.value_or(any);
}

std::string Gzip(std::string_view data) {
    z_stream stream{};
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("zlib cannot start a gzip stream");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("zlib cannot finish a gzip stream");
    return out;
}
