// Cooperative framework thread. Create it with fw::New<T>() (it must live in a
// shared_ptr); a running thread keeps itself alive without any outside reference.
#pragma once
#include <atomic>
#include <memory>

namespace fw {

class Thread : public std::enable_shared_from_this<Thread> {
public:
    Thread() = default;
    virtual ~Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts Event_Run on a new thread and returns at once. The new thread runs
    // program code only while it holds the baton. A Run while the thread has
    // not yet ended is ignored; once it has ended, Run starts it again. An
    // exception that escapes Event_Run is reported and ends only this thread.
    // The thread drops its own reference still holding the baton, so the last
    // one's destructor runs with it. Throws std::bad_weak_ptr outside a shared_ptr.
    void Run();
    bool IsRunning() const { return running_.load(); }

    // The running program thread gives way to any other thread waiting to run.
    static void YieldToNext();

    // Number of framework threads that have been started and not yet ended.
    static int LiveCount();

protected:
    virtual void Event_Run() = 0;

private:
    std::atomic<bool> running_{false};
};

}  // namespace fw
