#include "settings/BackgroundRunner.h"

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace {

class ThreadRunner : public BackgroundRunner {
public:
    ~ThreadRunner() override { stopAll(); }

    void run(Job job) override {
        std::lock_guard lock(mutex_);
        prune();
        if (!watching_) {
            if (QCoreApplication* app = QCoreApplication::instance()) {
                QObject::connect(app, &QCoreApplication::aboutToQuit, app, [this] { stopAll(); });
                watching_ = true;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back(Worker{
            std::jthread([job = std::move(job), done](std::stop_token stop) {
                job(std::move(stop));
                done->store(true);
            }),
            done});
    }

private:
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    // Joins the threads whose job has ended (the list stays as short as the jobs in flight).
    void prune() {
        for (auto it = workers_.begin(); it != workers_.end();) {
            if (it->done->load()) {
                it = workers_.erase(it);  // joins at once: the job has returned
            } else {
                ++it;
            }
        }
    }

    void stopAll() {
        std::list<Worker> stopping;
        {
            std::lock_guard lock(mutex_);
            stopping.swap(workers_);
        }
        for (Worker& worker : stopping) worker.thread.request_stop();
        stopping.clear();  // joins
    }

    std::mutex mutex_;
    std::list<Worker> workers_;
    bool watching_ = false;
};

}  // namespace

BackgroundRunner& BackgroundRunner::standard() {
    static ThreadRunner runner;
    return runner;
}
