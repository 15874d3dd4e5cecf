// Threads that make the answers too costly for an event loop (HttpResponse::later), so that
// a worker's other clients are answered while a large picture is drawn. Jobs are made in the
// order they came. A job is refused with 503 and Retry-After, without being made, when what
// making it holds does not fit in the server's AnswerMemory, or when it has waited for a
// thread longer than a client should; one whose client has gone is dropped. Each answer goes
// back to the worker that asked for it through that worker's AnswerMailbox.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosts/serve/AnswerMemory.h"
#include "hosts/serve/HttpMessage.h"

class AnswerMailbox;

// One answer to make, shared by the connection that waits for it and the thread making it.
class AnswerJob {
public:
    using Clock = std::chrono::steady_clock;

    AnswerJob(const HttpRequest& request, std::shared_ptr<LaterAnswer> later, int socket,
              AnswerMailbox& mailbox, AnswerMemory& memory);
    // Gives back the memory counted for it.
    ~AnswerJob();
    AnswerJob(const AnswerJob&) = delete;
    AnswerJob& operator=(const AnswerJob&) = delete;

    // Makes the answer on the calling thread when its memory fits, else a 503.
    void Make();
    void Refuse(std::string reason) { response_ = HttpResponse::Busy(std::move(reason)); }

    const HttpRequest& request() const { return request_.request(); }
    int socket() const { return socket_; }
    AnswerMailbox& mailbox() const { return mailbox_; }
    Clock::time_point queued() const { return queued_; }
    HttpResponse& response() { return response_; }

    // Set by the connection's worker when the connection closes: nobody waits for it.
    std::atomic<bool> abandoned{false};

private:
    const OwnedRequest request_;
    const std::shared_ptr<LaterAnswer> later_;
    const int socket_;  // the connection that waits, as its worker knows it
    AnswerMailbox& mailbox_;
    AnswerMemory& memory_;
    std::size_t held_ = 0;  // counted in memory_
    const Clock::time_point queued_ = Clock::now();
    HttpResponse response_;
};

// Where a worker's answers come back: readable (an eventfd) while some wait, so that the
// worker's event loop wakes for them.
class AnswerMailbox {
public:
    AnswerMailbox();
    ~AnswerMailbox();
    AnswerMailbox(const AnswerMailbox&) = delete;
    AnswerMailbox& operator=(const AnswerMailbox&) = delete;

    int fd() const { return event_; }  // -1 when it could not be made
    void Post(std::shared_ptr<AnswerJob> job);
    std::vector<std::shared_ptr<AnswerJob>> Collect();

private:
    const int event_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<AnswerJob>> jobs_;
};

class AnswerPool {
public:
    using ThreadHook = std::function<void()>;

    // thread_start and thread_stop run on each of its threads around its work, as they do
    // on the workers.
    AnswerPool(ThreadHook thread_start, ThreadHook thread_stop)
        : thread_start_(std::move(thread_start)), thread_stop_(std::move(thread_stop)) {}
    ~AnswerPool() { Stop(); }
    AnswerPool(const AnswerPool&) = delete;
    AnswerPool& operator=(const AnswerPool&) = delete;

    // Starts `threads` threads; false with a message when one cannot be made.
    bool Start(int threads, std::string* error);
    bool running() const { return !threads_.empty(); }
    void Submit(std::shared_ptr<AnswerJob> job);
    // Ends the threads, each once it has finished the job in hand; the jobs still queued are
    // dropped (their workers have stopped).
    void Stop();

private:
    void Work();

    const ThreadHook thread_start_;
    const ThreadHook thread_stop_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::shared_ptr<AnswerJob>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
