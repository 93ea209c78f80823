#pragma once
// Runs slow work (the key check) off the main thread. Each job gets a stop token that is
// requested when the application quits, so no job keeps the process waiting. Jobs post their
// results back to the main thread themselves (onMainRunLoop).

#include <functional>
#include <stop_token>

class BackgroundRunner {
public:
    using Job = std::function<void(std::stop_token)>;

    virtual ~BackgroundRunner() = default;
    virtual void run(Job job) = 0;

    // A thread per job; on the application's aboutToQuit every running job is asked to stop and
    // waited for.
    static BackgroundRunner& standard();
};
