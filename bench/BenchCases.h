// What the benchmarks share: the data sets (a) "12", (b) 100 ASCII characters and (c) 1000
// mixed bytes, each in two versions of the same length and kind, which every timed call takes
// in turn so that nothing kept from the call before can answer it; the picture's 2-pixel
// modules; and timing in turns on a shared, noisy machine.
#pragma once

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct DataSet {
    const char* name;      // as the benchmarks print it
    std::string bytes[2];  // taken in turn
    int mode;              // the component's Mode for the data
};

inline std::string Ascii100(int rotation) {
    const std::string sentence = "The quick brown fox jumps over the lazy dog, 0123456789! ";
    std::string ascii;
    for (int i = 0; i < 100; ++i) ascii += sentence[(i + rotation) % sentence.size()];
    return ascii;
}

// Runs of text and runs of arbitrary bytes, 1000 in all.
inline std::string Mixed1000(unsigned seed) {
    std::string mixed;
    unsigned state = seed;
    while (mixed.size() < 1000) {
        state = state * 1103515245u + 12345u;
        const bool text = (state >> 16) % 3 != 0;
        const int run = 5 + static_cast<int>((state >> 8) % 20);
        for (int i = 0; i < run && mixed.size() < 1000; ++i) {
            state = state * 1103515245u + 12345u;
            mixed += text ? static_cast<char>('a' + (state >> 16) % 26)
                          : static_cast<char>((state >> 16) & 0xFF);
        }
    }
    return mixed;
}

inline std::vector<DataSet> DataSets() {
    return {{"(a) \"12\"", {"12", "34"}, 0},
            {"(b) 100 ASCII", {Ascii100(0), Ascii100(1)}, 1},
            {"(c) 1000 mixed", {Mixed1000(12345), Mixed1000(5)}, 2}};
}

// Modules of 2 pixels at the screen's 96 pixels per inch, in centimetres.
constexpr double kTwoPixelModuleCm = 2 * 2.54 / 96;

// The processor time of this thread: the time other processes take the processor away is not
// counted, which wall-clock time on a shared machine would.
inline double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Seconds per call of `work` over a batch of `calls`.
inline double TimeBatch(const std::function<void()>& work, int calls) {
    const double start = ThreadSeconds();
    for (int i = 0; i < calls; ++i) work();
    return (ThreadSeconds() - start) / calls;
}

// Enough calls for a batch of about 5 ms, so that the clock's resolution does not count.
inline int CallsPerBatch(const std::function<void()>& work) {
    work();  // warm: first touch of the heap, the tables, the caches
    const double once = TimeBatch(work, 3);
    return std::max(1, static_cast<int>(5e-3 / std::max(once, 1e-9)));
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median seconds per call of each side, timed a batch each in turn, `repetitions` times:
// a burst of load on the machine then falls on every side alike.
inline std::vector<double> MediansInTurns(const std::vector<std::function<void()>>& sides,
                                          int repetitions) {
    std::vector<int> calls;
    for (const auto& side : sides) calls.push_back(CallsPerBatch(side));
    std::vector<std::vector<double>> times(sides.size());
    for (int r = 0; r < repetitions; ++r) {
        for (std::size_t s = 0; s < sides.size(); ++s) {
            times[s].push_back(TimeBatch(sides[s], calls[s]));
        }
    }
    std::vector<double> medians;
    for (auto& t : times) medians.push_back(Median(std::move(t)));
    return medians;
}

}  // namespace bench
