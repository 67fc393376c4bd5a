#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

// Lets callbacks that arrive on other threads (link completions and handlers) reach an
// object only while it lives. close() turns later callbacks away and waits for those that
// are running, so after it nothing guarded by this gate runs any more. No lock is held
// while a callback runs; close() must not be called from inside one of them.
class CallbackGate
{
public:
    CallbackGate() : m_state(std::make_shared<State>()) {}
    ~CallbackGate() { close(); }
    CallbackGate(const CallbackGate&) = delete;
    CallbackGate& operator=(const CallbackGate&) = delete;

    // A callable that runs block with the arguments while the gate is open, and does
    // nothing after close(). Copies may outlive the gate.
    template <typename Block>
    auto guard(Block block) const
    {
        return [state = m_state, block = std::move(block)](auto&&... arguments) {
            if (!state->enter())
                return;
            const Leave leave{state.get()};
            block(std::forward<decltype(arguments)>(arguments)...);
        };
    }

    void close() { m_state->close(); }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable idle;
        int running = 0;
        bool open = true;

        bool enter()
        {
            std::lock_guard lock(mutex);
            if (!open)
                return false;
            ++running;
            return true;
        }
        void leave()
        {
            std::lock_guard lock(mutex);
            if (--running == 0)
                idle.notify_all();
        }
        void close()
        {
            std::unique_lock lock(mutex);
            open = false;
            idle.wait(lock, [this] { return running == 0; });
        }
    };
    struct Leave
    {
        State* state;
        ~Leave() { state->leave(); }
    };

    std::shared_ptr<State> m_state;
};
