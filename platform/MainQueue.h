#pragma once

#include <chrono>
#include <functional>

// The main queue: blocks run on the thread of the Qt event loop (the main thread).
namespace MainQueue {
void async(std::function<void()> block);
void asyncAfter(std::chrono::milliseconds delay, std::function<void()> block);
bool isMainThread();
} // namespace MainQueue
