// The HTTP server in the test's own process, on a free loopback port, with a handler the
// test gives; it runs until the fixture ends.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "hosts/serve/HttpServer.h"

class HttpServerTest : public testing::Test {
protected:
    static HttpServerConfig Config(int threads = 2) {
        HttpServerConfig config;
        config.bind = "127.0.0.1";
        config.port = 0;
        config.threads = threads;
        return config;
    }
    void Start(HttpServer::Handler handler, int threads = 2,
               const AccessLog* access_log = nullptr) {
        HttpServerConfig config = Config(threads);
        config.access_log = access_log;
        Start(std::move(handler), config);
    }
    void Start(HttpServer::Handler handler, HttpServerConfig config) {
        server_ = std::make_unique<HttpServer>(
            config, std::move(handler), [this] { ++threads_started_; },
            [this] { ++threads_stopped_; });
        std::string error;
        ASSERT_TRUE(server_->Listen(&error)) << error;
        runner_ = std::thread([this] { server_->Run(); });
    }
    void TearDown() override {
        if (server_) server_->Stop();
        if (runner_.joinable()) runner_.join();
    }
    static HttpResponse Echo(const HttpRequest& request) {
        return HttpResponse::Text(200, request.path + "?" + std::string(request.query));
    }
    // Echo, but the answers to paths that begin with /later are made on an answer thread,
    // holding `memory` bytes meanwhile, after `while_made` has returned there.
    static HttpServer::Handler MadeLater(
        std::size_t memory, std::function<void()> while_made = [] {}) {
        return [=](const HttpRequest& request) {
            if (request.path.rfind("/later", 0) != 0) return Echo(request);
            HttpResponse response;
            response.later =
                std::make_shared<LaterAnswer>(LaterAnswer{[while_made](const HttpRequest& asked) {
                                                              while_made();
                                                              return Echo(asked);
                                                          },
                                                          memory});
            return response;
        };
    }

    std::unique_ptr<HttpServer> server_;
    std::thread runner_;
    std::atomic<int> threads_started_{0};
    std::atomic<int> threads_stopped_{0};
};
