#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A thread of its own that runs posted jobs in order, the way device callbacks raise native
// events off the main thread. With nothing to do it sleeps on a condition variable.
class EventWorker {
public:
    EventWorker();
    ~EventWorker();  // finishes the queued jobs, then joins

    EventWorker(const EventWorker&) = delete;
    EventWorker& operator=(const EventWorker&) = delete;

    void post(std::function<void()> job);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};
