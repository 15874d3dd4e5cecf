#include "library/compact/Huffman.h"

#include <algorithm>

namespace {

constexpr int kMostSymbols = 288;
constexpr int kLongestCode = 15;

// Each byte with its bits in the other order.
constexpr auto kReversed = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (int b = 0; b < 8; ++b) r |= ((v >> b) & 1) << (7 - b);
        table[v] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

struct Leaf {
    std::uint32_t frequency;
    int symbol;
};

}  // namespace

void CollectUsed(const std::uint32_t* frequencies, int symbols, UsedSymbols* used) {
    int count = 0;
    for (int i = 0; i < symbols; ++i) {
        used->symbol[count] = static_cast<std::uint16_t>(i);
        count += frequencies[i] != 0;
    }
    used->count = count;
    // Too few: the smallest symbols that do not occur join them, in their order.
    for (int i = 0; used->count < 2; ++i) {
        const auto end = used->symbol.begin() + used->count;
        const auto at = std::lower_bound(used->symbol.begin(), end, i);
        if (at != end && *at == i) continue;
        std::copy_backward(at, end, end + 1);
        *at = static_cast<std::uint16_t>(i);
        ++used->count;
    }
}

void HuffmanLengths(const std::uint32_t* frequencies, const UsedSymbols& used, int longest,
                    std::uint8_t* lengths) {
    const int n = used.count;
    // By frequency, then symbol: both in one key, sorted as numbers.
    std::array<std::uint64_t, kMostSymbols> keys;
    for (int i = 0; i < n; ++i)
        keys[i] = (std::uint64_t{frequencies[used.symbol[i]]} << 16) | used.symbol[i];
    std::sort(keys.begin(), keys.begin() + n);
    std::array<Leaf, kMostSymbols> leaves;
    for (int i = 0; i < n; ++i)
        leaves[i] = {static_cast<std::uint32_t>(keys[i] >> 16), static_cast<int>(keys[i] & 0xFFFF)};

    // The tree by two queues: the leaves in order, and the inner nodes, made in order of
    // weight. Nodes 0..n-1 are the leaves, the rest inner nodes; the root is the last.
    std::array<std::uint32_t, 2 * kMostSymbols> weight;
    std::array<int, 2 * kMostSymbols> parent;
    for (int i = 0; i < n; ++i) weight[i] = leaves[i].frequency;
    int next_leaf = 0, next_inner = n;
    const auto take_lightest = [&](int made) {
        const bool leaf =
            next_leaf < n && (next_inner >= made || weight[next_leaf] <= weight[next_inner]);
        return leaf ? next_leaf++ : next_inner++;
    };
    for (int made = n; made < 2 * n - 1; ++made) {
        const int a = take_lightest(made);
        const int b = take_lightest(made);
        weight[made] = weight[a] + weight[b];
        parent[a] = parent[b] = made;
    }
    // Depths from the root down, then how many leaves each length has, the deepest put at
    // `longest`.
    std::array<int, 2 * kMostSymbols> depth;
    depth[2 * n - 2] = 0;
    std::array<int, kLongestCode + 1> at_length{};
    for (int node = 2 * n - 3; node >= 0; --node) {
        depth[node] = depth[parent[node]] + 1;
        if (node < n) ++at_length[std::min(depth[node], longest)];
    }
    // The leaves put higher than they were take more than the code has room for: while they
    // do, one leaf at `longest` is dropped and a shorter one moved a level down beside it,
    // which frees the room of one code of `longest` bits.
    std::uint32_t room = 0;
    for (int bits = 1; bits <= longest; ++bits)
        room += static_cast<std::uint32_t>(at_length[bits]) << (longest - bits);
    for (; room > (1u << longest); --room) {
        --at_length[longest];
        for (int bits = longest - 1; bits > 0; --bits) {
            if (at_length[bits] != 0) {
                --at_length[bits];
                at_length[bits + 1] += 2;
                break;
            }
        }
    }
    // The longest codes to the rarest symbols.
    int leaf = 0;
    for (int bits = longest; bits >= 1; --bits) {
        for (int k = at_length[bits]; k > 0; --k)
            lengths[leaves[leaf++].symbol] = static_cast<std::uint8_t>(bits);
    }
}

void CanonicalCodes(const std::uint8_t* lengths, const UsedSymbols& used, std::uint16_t* codes) {
    std::array<int, kLongestCode + 1> at_length{};
    for (int i = 0; i < used.count; ++i) ++at_length[lengths[used.symbol[i]]];
    std::array<unsigned, kLongestCode + 1> next{};
    unsigned code = 0;
    for (int bits = 1; bits <= kLongestCode; ++bits) {
        code = (code + static_cast<unsigned>(at_length[bits - 1])) << 1;
        next[bits] = code;
    }
    next[0] = 0;
    for (int i = 0; i < used.count; ++i) {
        const int s = used.symbol[i];
        const int bits = lengths[s];
        const unsigned value = next[bits]++;
        const unsigned reversed = (unsigned{kReversed[value & 0xFF]} << 8) | kReversed[value >> 8];
        codes[s] = static_cast<std::uint16_t>(reversed >> (16 - bits));
    }
}
