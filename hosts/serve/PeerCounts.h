// How many connections each client address holds, for the server's limit per address. Off
// by default: behind a proxy every client comes from the proxy's address.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

class PeerCounts {
public:
    explicit PeerCounts(int limit) : limit_(limit) {}
    PeerCounts(const PeerCounts&) = delete;
    PeerCounts& operator=(const PeerCounts&) = delete;

    // Counts one more connection from `address`, unless it holds as many as the limit.
    bool Admit(const std::string& address) {
        const std::lock_guard lock(mutex_);
        int& count = counts_[address];
        if (count >= limit_) return false;
        ++count;
        return true;
    }
    void Leave(const std::string& address) {
        const std::lock_guard lock(mutex_);
        const auto found = counts_.find(address);
        if (found != counts_.end() && --found->second <= 0) counts_.erase(found);
    }

private:
    const int limit_;
    std::mutex mutex_;
    std::unordered_map<std::string, int> counts_;
};
