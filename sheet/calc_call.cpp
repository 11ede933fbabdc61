#include "calc_call.h"

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <chrono>
#include <thread>

namespace SHEET::CALC {

namespace {
std::atomic<int> g_stuck{0};
}

void BlockBrokenPipeSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

struct TimedCaller::Worker {
    std::mutex m;
    std::condition_variable wake;   // worker: a job or the end
    std::condition_variable done;   // caller: the job finished
    std::function<void()> job;
    bool quit = false;
    bool abandoned = false;
    unsigned long long started = 0, finished = 0;
    std::thread thread;

    static void Loop(std::shared_ptr<Worker> self) {
        BlockBrokenPipeSignal();
        std::unique_lock lock(self->m);
        for (;;) {
            self->wake.wait(lock, [&] { return self->quit || self->job; });
            if (!self->job) return;
            auto job = std::move(self->job);
            self->job = nullptr;
            lock.unlock();
            job();
            job = nullptr;   // what the job owned goes here, on this thread
            lock.lock();
            ++self->finished;
            self->done.notify_all();
            if (self->abandoned) {
                --g_stuck;
                return;
            }
        }
    }
};

int TimedCaller::StillRunningAbandoned() { return g_stuck.load(); }

TimedCaller::~TimedCaller() {
    if (!worker_) return;
    {
        std::lock_guard lock(worker_->m);
        worker_->quit = true;
    }
    worker_->wake.notify_all();
    // Only an idle worker is kept, so this join cannot wait on a hung call.
    if (worker_->thread.joinable()) worker_->thread.join();
}

// Past the limit: leave the worker to its call and never wait for it again.
void TimedCaller::GiveUp(std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<Worker> w = worker_;
    w->abandoned = true;
    w->quit = true;
    ++g_stuck;
    ++abandoned_;
    lock.unlock();
    w->thread.detach();
    worker_.reset();
}

bool TimedCaller::Settle(int limitMs) {
    if (!worker_) return true;
    std::shared_ptr<Worker> w = worker_;
    std::unique_lock lock(w->m);
    if (w->finished >= w->started) return true;
    const unsigned long long ticket = w->started;
    if (w->done.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return w->finished >= ticket; }))
        return true;
    GiveUp(lock);
    return false;
}

bool TimedCaller::Post(std::function<void()> job, int limitMs) {
    if (!Settle(limitMs)) return false;
    if (!worker_) {
        worker_ = std::make_shared<Worker>();
        worker_->thread = std::thread(&Worker::Loop, worker_);
    }
    std::shared_ptr<Worker> w = worker_;
    std::lock_guard lock(w->m);
    ++w->started;
    w->job = std::move(job);
    w->wake.notify_all();
    return true;
}

bool TimedCaller::Run(std::function<void()> job, int limitMs) {
    if (!Settle(limitMs)) return false;
    if (!worker_) {
        worker_ = std::make_shared<Worker>();
        worker_->thread = std::thread(&Worker::Loop, worker_);
    }
    std::shared_ptr<Worker> w = worker_;
    std::unique_lock lock(w->m);
    const unsigned long long ticket = ++w->started;
    w->job = std::move(job);
    w->wake.notify_all();
    const bool inTime = w->done.wait_for(lock, std::chrono::milliseconds(limitMs),
                                         [&] { return w->finished >= ticket; });
    if (inTime) return true;
    GiveUp(lock);
    return false;
}

}  // namespace SHEET::CALC
