#pragma once
// Calls into another process that may hang for ever are made on a worker
// thread; the caller waits for them with a limit and without servicing
// events, the way a synchronous automation call blocks a window.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace SHEET::CALC {

// Writing to a connection whose far end died raises SIGPIPE, which ends the
// whole program. Called on every thread that talks to the office; threads the
// office libraries start from there inherit the blocked signal, and their
// writes fail with EPIPE instead.
void BlockBrokenPipeSignal();

class TimedCaller {
public:
    TimedCaller() = default;
    ~TimedCaller();
    TimedCaller(const TimedCaller&) = delete;
    TimedCaller& operator=(const TimedCaller&) = delete;

    // Runs job on the worker (SIGPIPE blocked) and waits up to limitMs. True when the job
    // finished in time. Past the limit the worker is given up: it finishes
    // the job whenever the call returns and then ends, and the next Run gets
    // a fresh worker. So a job must own (capture by value) all it touches.
    bool Run(std::function<void()> job, int limitMs);

    // Hands job to the worker and returns at once. Jobs run in the order
    // given; Run and Post first wait for the jobs before them, up to their
    // own limit. False when an earlier job was past that limit (the worker
    // is then given up as in Run, and job is not run).
    bool Post(std::function<void()> job, int limitMs);
    // Waits up to limitMs for every job handed over; false past the limit,
    // with the worker given up.
    bool Settle(int limitMs);

    // Workers given up since construction (for tests and diagnostics).
    int Abandoned() const { return abandoned_; }
    // Workers given up that have not finished their job yet.
    static int StillRunningAbandoned();

private:
    struct Worker;
    void GiveUp(std::unique_lock<std::mutex>& lock);
    std::shared_ptr<Worker> worker_;
    int abandoned_ = 0;
};

}  // namespace SHEET::CALC
