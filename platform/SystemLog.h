#pragma once

#include <QString>

// The system log (syslog), standing in for os_log's default log object.
namespace SystemLog {
void write(const QString& message);
}
