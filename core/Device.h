#pragma once

#include <QString>

#include <optional>

// Facts about this computer that the program sends or shows, and two small system
// services. Nothing is cached: every call asks the system again.
class Device
{
public:
    Device() = delete;

    // The hardware serial number; nothing when it cannot be read.
    static std::optional<QString> serialNumber();
    // The activation identifier: SHA-1 of the serial's UTF-8 bytes as 40 upper-case
    // hexadecimal digits, logged on every call; "" (and no log line) without a serial.
    static QString fingerprint();
    // The same for a given serial number.
    static QString fingerprint(const std::optional<QString>& serial);
    // The identifier of a serial number, without logging.
    static QString fingerprintOf(const QString& serial);
    // The application's short version; "" when the bundle has none.
    static QString appVersion();
    // The operating system's (kernel's) version as major.minor.patch.
    static QString osVersion();
    // major.minor.patch from the leading numbers of a version text; missing parts are 0.
    static QString versionTriple(const QString& versionText);
    // Replaces whatever the pasteboard holds with the text.
    static void copyToPasteboard(const QString& text);
};

// Runs a command line with /bin/bash -c. Without wait it returns "" at once; with wait it
// blocks until the command closes its standard output, logs the command and its output,
// and returns the output ("" when it is not UTF-8).
QString runConsoleCommand(const QString& command, bool wait);
