// What the server has done, for a Prometheus scrape (GET /metrics): requests by route and
// status, a latency histogram by route, bytes sent, requests in flight, open connections, the
// memory answers hold, the answer cache's hits, misses and bytes, and access log lines
// dropped. Every worker updates the same counters
// without locks; a scrape reads each one once.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/serve/AnswerCache.h"
#include "hosts/serve/AnswerMemory.h"

class HttpMetrics {
public:
    // The routes counted apart; requests for any other path are counted as "other".
    explicit HttpMetrics(std::vector<std::string> routes);

    void RequestAnswered(std::string_view path, int status, double seconds);
    void BytesSent(std::size_t bytes) { bytes_sent_.fetch_add(bytes, std::memory_order_relaxed); }
    void RequestsInFlight(int change) { in_flight_.fetch_add(change, std::memory_order_relaxed); }
    void ConnectionsOpen(int change) { connections_.fetch_add(change, std::memory_order_relaxed); }
    void LogLinesDropped(std::size_t lines) {
        log_lines_dropped_.fetch_add(lines, std::memory_order_relaxed);
    }
    // Shows what `memory` holds, and what `cache` (if any) keeps and how often it is found,
    // in every scrape; set before the server serves.
    void WatchAnswerMemory(const AnswerMemory* memory, const AnswerCache* cache = nullptr) {
        answer_memory_ = memory;
        answer_cache_ = cache;
    }

    // The Prometheus text exposition of every counter.
    std::string Text() const;

private:
    static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                        0.1,   0.25,   0.5,   1.0,  2.5,   10.0};
    static constexpr int kStatuses = 600;
    struct Route {
        std::string name;
        std::array<std::atomic<std::uint64_t>, kStatuses> by_status{};
        std::array<std::atomic<std::uint64_t>, kBuckets.size() + 1> by_bucket{};  // not cumulative
        std::atomic<std::uint64_t> microseconds{0};
    };
    Route& RouteOf(std::string_view path);

    std::vector<std::unique_ptr<Route>> routes_;  // the last one is "other"
    std::atomic<std::uint64_t> bytes_sent_{0};
    std::atomic<std::int64_t> in_flight_{0};
    std::atomic<std::int64_t> connections_{0};
    std::atomic<std::uint64_t> log_lines_dropped_{0};
    const AnswerMemory* answer_memory_ = nullptr;
    const AnswerCache* answer_cache_ = nullptr;
};
