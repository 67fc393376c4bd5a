#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a call on the main thread. blockSignals() must run first
// thing in main, before any thread starts, so that no thread takes the signals itself.
class SignalWatcher
{
public:
    static void blockSignals();

    explicit SignalWatcher(std::function<void(int signal)> handler);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool isValid() const { return m_descriptor >= 0; }

private:
    int m_descriptor = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
