#pragma once

#include <system_error>
#include <thread>

namespace TalvexBasic::Threads {

// Work on a thread of its own, joined when the holder goes however the scope is left (a thread
// still joinable when it goes would end the program). Where no thread can be started, the work
// runs at once on the caller's thread: slower, never lost.
class JoiningThread {
public:
    template <typename Work>
    explicit JoiningThread(Work work)
    {
        try {
            mThread = std::thread(work);
        } catch (const std::system_error&) {
            work();
        }
    }
    ~JoiningThread() { Join(); }
    JoiningThread(const JoiningThread&) = delete;
    JoiningThread& operator=(const JoiningThread&) = delete;

    // Waits until the work is done.
    void Join()
    {
        if (mThread.joinable()) {
            mThread.join();
        }
    }

private:
    std::thread mThread;
};

} // namespace TalvexBasic::Threads
