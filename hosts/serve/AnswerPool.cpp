#include "hosts/serve/AnswerPool.h"

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>

namespace {

// A job that waited longer than this for a thread is refused rather than made: its client has
// waited long enough to be better off asking again.
constexpr auto kMostWait = std::chrono::seconds(5);

}  // namespace

AnswerJob::AnswerJob(const HttpRequest& request, std::shared_ptr<LaterAnswer> later, int socket,
                     AnswerMailbox& mailbox, AnswerMemory& memory)
    : request_(request),
      later_(std::move(later)),
      socket_(socket),
      mailbox_(mailbox),
      memory_(memory) {}

AnswerJob::~AnswerJob() {
    memory_.Give(held_);
}

void AnswerJob::Make() {
    if (!memory_.TryTake(later_->memory)) {
        return Refuse("the server holds as many answers as it may; ask again in a moment");
    }
    held_ = later_->memory;
    try {
        response_ = later_->make(request());
    } catch (const std::exception& e) {
        response_ = HttpResponse::Text(500, std::string("internal error: ") + e.what());
    }
    // Made, it holds its answer alone until the connection takes it.
    const std::size_t answer = response_.BodySize();
    if (answer < held_) {
        memory_.Give(held_ - answer);
    } else {
        memory_.Take(answer - held_);
    }
    held_ = answer;
}

AnswerMailbox::AnswerMailbox() : event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

AnswerMailbox::~AnswerMailbox() {
    if (event_ >= 0) close(event_);
}

void AnswerMailbox::Post(std::shared_ptr<AnswerJob> job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(event_, &one, sizeof one);
}

std::vector<std::shared_ptr<AnswerJob>> AnswerMailbox::Collect() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(event_, &count, sizeof count);
    const std::lock_guard lock(mutex_);
    return std::exchange(jobs_, {});
}

bool AnswerPool::Start(int threads, std::string* error) {
    try {
        for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error& e) {
        *error = "cannot start an answer thread: " + std::string(e.what());
        return false;
    }
    return true;
}

void AnswerPool::Submit(std::shared_ptr<AnswerJob> job) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(job));
    }
    ready_.notify_one();
}

void AnswerPool::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void AnswerPool::Work() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    if (thread_start_) thread_start_();
    for (;;) {
        std::shared_ptr<AnswerJob> job;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) break;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        if (job->abandoned) continue;
        if (AnswerJob::Clock::now() - job->queued() > kMostWait) {
            job->Refuse("the server is busy drawing; ask again in a moment");
        } else {
            job->Make();
        }
        AnswerMailbox& mailbox = job->mailbox();
        mailbox.Post(std::move(job));
    }
    if (thread_stop_) thread_stop_();
}
