#pragma once

#include <functional>

// Restarting the computer.
namespace Power {
// Asks logind over the system bus to reboot (interactive: the desktop may ask the user
// for authorisation). A failure is logged; done, when given, gets the outcome on the main
// thread.
void restart(std::function<void(bool requested)> done = {});
} // namespace Power
