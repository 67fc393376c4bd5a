#pragma once

#include <QString>

// Each test process runs with HOME and the XDG folders inside one temporary folder, so no
// test touches the real user's files.
namespace TestEnvironment {
QString root();
// Points HOME, XDG_* and NORVANE_RUNTIME_DIR below a new temporary folder, and the
// management server at a closed loopback port (ManagementServerPeer points it at itself).
void isolate();
// Reads a whole file as UTF-8 ("" when missing).
QString readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& content);
} // namespace TestEnvironment
