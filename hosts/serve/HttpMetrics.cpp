#include "hosts/serve/HttpMetrics.h"

#include <cstdio>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

void Describe(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

HttpMetrics::HttpMetrics(std::vector<std::string> routes) {
    routes.push_back("other");
    for (std::string& name : routes) {
        routes_.push_back(std::make_unique<Route>());
        routes_.back()->name = std::move(name);
    }
}

HttpMetrics::Route& HttpMetrics::RouteOf(std::string_view path) {
    for (std::size_t i = 0; i + 1 < routes_.size(); ++i) {
        if (routes_[i]->name == path) return *routes_[i];
    }
    return *routes_.back();
}

void HttpMetrics::RequestAnswered(std::string_view path, int status, double seconds) {
    Route& route = RouteOf(path);
    route.by_status[status >= 0 && status < kStatuses ? status : 0].fetch_add(1, kRelaxed);
    std::size_t bucket = 0;
    while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) ++bucket;
    route.by_bucket[bucket].fetch_add(1, kRelaxed);
    route.microseconds.fetch_add(static_cast<std::uint64_t>(seconds * 1e6), kRelaxed);
}

std::string HttpMetrics::Text() const {
    std::string out;
    Describe(out, "quillon_http_requests_total", "counter",
             "Requests answered, by route and status.");
    for (const auto& route : routes_) {
        for (int status = 0; status < kStatuses; ++status) {
            const std::uint64_t count = route->by_status[status].load(kRelaxed);
            if (count == 0) continue;
            out += "quillon_http_requests_total{route=\"" + route->name + "\",status=\"" +
                   std::to_string(status) + "\"} " + std::to_string(count) + "\n";
        }
    }
    Describe(out, "quillon_http_request_duration_seconds", "histogram",
             "Time from a whole request to its answer, by route.");
    for (const auto& route : routes_) {
        const std::string label = "{route=\"" + route->name + "\"";
        std::uint64_t cumulative = 0;
        for (std::size_t i = 0; i <= kBuckets.size(); ++i) {
            cumulative += route->by_bucket[i].load(kRelaxed);
            const std::string le = i < kBuckets.size() ? Number(kBuckets[i]) : "+Inf";
            out += "quillon_http_request_duration_seconds_bucket" + label + ",le=\"" + le + "\"} " +
                   std::to_string(cumulative) + "\n";
        }
        out += "quillon_http_request_duration_seconds_sum" + label + "} " +
               Number(static_cast<double>(route->microseconds.load(kRelaxed)) / 1e6) + "\n";
        out += "quillon_http_request_duration_seconds_count" + label + "} " +
               std::to_string(cumulative) + "\n";
    }
    Describe(out, "quillon_http_response_bytes_total", "counter",
             "Bytes of answers sent to clients, heads included.");
    out += "quillon_http_response_bytes_total " + std::to_string(bytes_sent_.load(kRelaxed)) + "\n";
    Describe(out, "quillon_http_requests_in_flight", "gauge",
             "Requests received whose answers are not yet all sent.");
    out += "quillon_http_requests_in_flight " + std::to_string(in_flight_.load(kRelaxed)) + "\n";
    Describe(out, "quillon_http_connections_open", "gauge", "Client connections open.");
    out += "quillon_http_connections_open " + std::to_string(connections_.load(kRelaxed)) + "\n";
    if (answer_memory_ != nullptr) {
        Describe(out, "quillon_http_answer_memory_bytes", "gauge",
                 "Memory held by answers not yet sent and by answers being made.");
        out += "quillon_http_answer_memory_bytes " + std::to_string(answer_memory_->used()) + "\n";
    }
    if (answer_cache_ != nullptr) {
        Describe(out, "quillon_http_answer_cache_hits_total", "counter",
                 "Requests answered with an answer kept from an earlier one.");
        out +=
            "quillon_http_answer_cache_hits_total " + std::to_string(answer_cache_->hits()) + "\n";
        Describe(out, "quillon_http_answer_cache_misses_total", "counter",
                 "Requests whose answer was looked for among those kept and not found.");
        out += "quillon_http_answer_cache_misses_total " + std::to_string(answer_cache_->misses()) +
               "\n";
        Describe(out, "quillon_http_answer_cache_bytes", "gauge",
                 "Memory held by answers kept, which gives way to the answers being sent.");
        out += "quillon_http_answer_cache_bytes " + std::to_string(answer_cache_->bytes()) + "\n";
    }
    Describe(out, "quillon_access_log_lines_dropped_total", "counter",
             "Access log lines dropped because the log's reader did not keep up.");
    out += "quillon_access_log_lines_dropped_total " +
           std::to_string(log_lines_dropped_.load(kRelaxed)) + "\n";
    return out;
}
