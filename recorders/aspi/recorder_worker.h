// The thread that carries out one recorder's queued requests in order, so that a
// request sent with event notification returns at once and a slow recorder holds
// up only its own queue.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "recorders/aspi/carrier.h"
#include "recorders/aspi/pending_requests.h"

namespace tavrin::aspilib {

// A carrier with the lock that keeps its commands one at a time, whichever thread
// sends them.
class Recorder {
public:
    explicit Recorder(std::unique_ptr<Carrier> carrier) : carrier_(std::move(carrier)) {}
    std::optional<uint8_t> deviceType();
    Outcome execute(Command& command);

private:
    std::mutex mutex_;
    std::unique_ptr<Carrier> carrier_;
};

class RecorderWorker {
public:
    RecorderWorker(Recorder& recorder, PendingRequests& pending);
    ~RecorderWorker();  // drops what is queued and joins the thread
    RecorderWorker(const RecorderWorker&) = delete;
    RecorderWorker& operator=(const RecorderWorker&) = delete;

    void enqueue(uint64_t ticket, Command command);

    // Carries out one request on the calling thread, waiting out the drive's time;
    // a command that never completes stays pending.
    static void carryOut(Recorder& recorder, PendingRequests& pending, uint64_t ticket, Command& command);

private:
    struct Job {
        uint64_t ticket;
        Command command;
    };
    void run();
    // False when the worker is stopping.
    bool waitFor(std::chrono::nanoseconds delay);

    Recorder& recorder_;
    PendingRequests& pending_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tavrin::aspilib
