// How long a connection may wait for each thing, and how much it may hold.
#pragma once

#include <chrono>
#include <cstddef>

// What a connection waits for.
enum class Wait {
    kRequest,  // the rest of a request, from its first byte
    kIdle,     // a first or next request to begin
    kWrite,    // the client to take any of an answer
    kLinger,   // after the last answer, the client to close
    kAnswer,   // an answer to be made on one of the server's answer threads
};

struct ConnectionLimits {
    using Duration = std::chrono::milliseconds;
    Duration request_timeout{10'000};
    Duration idle_timeout{30'000};
    // While the server is crowded (at its connection cap, out of descriptors, or stopping),
    // a request and an idle connection get less time: slow clients make room for others.
    Duration crowded_request_timeout{2'000};
    Duration crowded_idle_timeout{1'000};
    Duration write_timeout{30'000};  // for the client to take some of an answer
    Duration linger_timeout{2'000};
    Duration answer_timeout{30'000};       // for an answer thread to make an answer
    std::size_t max_unsent = 1024 * 1024;  // unsent answers past which no request is served

    // The limit of a wait; `crowded`: the server has no room for more connections.
    Duration Of(Wait wait, bool crowded) const {
        switch (wait) {
            case Wait::kRequest:
                return crowded ? crowded_request_timeout : request_timeout;
            case Wait::kIdle:
                return crowded ? crowded_idle_timeout : idle_timeout;
            case Wait::kWrite:
                return write_timeout;
            case Wait::kAnswer:
                return answer_timeout;
            case Wait::kLinger:
                break;
        }
        return linger_timeout;
    }
};
