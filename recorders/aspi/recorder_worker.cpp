#include "recorders/aspi/recorder_worker.h"

namespace tavrin::aspilib {

std::optional<uint8_t> Recorder::deviceType() {
    const std::lock_guard lock(mutex_);
    return carrier_->deviceType();
}

Outcome Recorder::execute(Command& command) {
    const std::lock_guard lock(mutex_);
    return carrier_->execute(command);
}

RecorderWorker::RecorderWorker(Recorder& recorder, PendingRequests& pending)
    : recorder_(recorder), pending_(pending), thread_([this] { run(); }) {}

RecorderWorker::~RecorderWorker() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void RecorderWorker::enqueue(uint64_t ticket, Command command) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(Job{ticket, std::move(command)});
    }
    wake_.notify_one();
}

void RecorderWorker::carryOut(Recorder& recorder, PendingRequests& pending, uint64_t ticket, Command& command) {
    const Outcome outcome = recorder.execute(command);
    if (outcome.hang) return;
    if (outcome.delay.count() > 0) std::this_thread::sleep_for(outcome.delay);
    pending.complete(ticket, command, outcome);
}

bool RecorderWorker::waitFor(std::chrono::nanoseconds delay) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, delay, [this] { return stopping_; });
}

void RecorderWorker::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // An aborted request is not worth sending any more.
        if (!pending_.pending(job.ticket)) continue;
        const Outcome outcome = recorder_.execute(job.command);
        if (outcome.hang) continue;
        if (outcome.delay.count() > 0 && !waitFor(outcome.delay)) return;
        pending_.complete(job.ticket, job.command, outcome);
    }
}

}  // namespace tavrin::aspilib
