// quillon-serve run for one test, on a free loopback port unless the arguments say, with two
// worker threads; and what a client asks of it, one request on a connection of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/hosts/ChildProcess.h"
#include "tests/hosts/RawHttpClient.h"

struct Served {
    explicit Served(std::vector<std::string> args, const std::function<void()>& in_child = {}) {
        args.insert(args.end(), {"--threads", "2"});
        program = std::make_unique<RunningProgram>(SERVE_PATH, args, in_child);
        banner = program->WaitFor("\n");
        std::smatch m;
        if (std::regex_search(banner, m, std::regex(R"(http://(\S+):(\d+)/)"))) {
            host = m[1];
            port = std::stoi(m[2]);
        }
    }
    // GET target: status line, headers and body, as one string.
    std::string Get(const std::string& target, const char* address = "127.0.0.1") const {
        RawHttpClient client(port, address);
        if (!client.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"))
            return "";
        return client.ReadResponse();
    }
    // Any method, with more header lines (each ending in CRLF): every byte of the answer.
    std::string Ask(const std::string& method, const std::string& target,
                    const std::string& headers = "") const {
        RawHttpClient client(port);
        if (!client.Send(method + " " + target + " HTTP/1.1\r\nHost: x\r\n" + headers +
                         "Connection: close\r\n\r\n")) {
            return "";
        }
        return client.ReadUntilClosed();
    }
    // The value of a metric without labels, or -1 when /metrics has none of that name.
    std::int64_t Metric(const std::string& name) const {
        const std::string text = Get("/metrics");
        std::smatch value;
        if (!std::regex_search(text, value, std::regex("\n" + name + " (\\d+)\n"))) return -1;
        return std::stoll(value[1]);
    }

    std::unique_ptr<RunningProgram> program;
    std::string banner;
    std::string host;
    int port = 0;
};
