#pragma once
// Switching the computer off through systemd-logind.
#include <QDBusConnection>
#include <functional>
#include <string>

namespace mirvo {

// Asks the login manager on `bus` (the system bus outside tests) to power off,
// without asking the user; `answered` runs on this thread with the error, or
// with an empty text when the request was accepted.
void RequestPowerOff(const QDBusConnection& bus,
                     std::function<void(const std::string& error)> answered);

}  // namespace mirvo
