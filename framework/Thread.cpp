#include "Thread.h"

#include <thread>

#include "Baton.h"
#include "EventLoop.h"
#include "Exceptions.h"
#include "TypeName.h"

namespace fw {
namespace {
std::atomic<int> gLive{0};
}

void Thread::Run() {
    // Throws std::bad_weak_ptr when the thread is not owned by a shared_ptr.
    std::shared_ptr<Thread> self = shared_from_this();
    bool idle = false;
    if (!running_.compare_exchange_strong(idle, true)) return;
    ++gLive;
    try {
        std::thread([self = std::move(self)]() mutable {
            baton::Acquire();
            Guarded("thread " + internal::ClassNameOf(typeid(*self)), [&] { self->Event_Run(); });
            // Statics this thread made must outlive an end that comes while the next one works.
            internal::RegisterEndHandlerAgain();
            self->running_ = false;
            --gLive;
            // The last reference may go here: program destructors run with the baton.
            self.reset();
            baton::Release();
        }).detach();
    } catch (...) {
        running_ = false;
        --gLive;
        throw;
    }
}

void Thread::YieldToNext() { baton::Yield(); }

int Thread::LiveCount() { return gLive.load(); }

}  // namespace fw
