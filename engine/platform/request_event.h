// The completion event of one ASPI request: an eventfd whose descriptor travels in
// SRB_PostProc. A library that completes the request later writes 1 to it.
#pragma once

namespace tavrin::platform {

class RequestEvent {
public:
    RequestEvent();  // not signalled; fd() is -1 when no descriptor could be had
    ~RequestEvent();
    RequestEvent(const RequestEvent&) = delete;
    RequestEvent& operator=(const RequestEvent&) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset();
    // True when signalled within timeoutMs milliseconds.
    bool wait(int timeoutMs);

    // What a completing library does with the descriptor it was given.
    static void signal(int fd);

private:
    int fd_ = -1;
};

}  // namespace tavrin::platform
