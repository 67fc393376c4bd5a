#pragma once

#include <QString>

#include <memory>

// Runs a command line with /bin/bash -c. Replaceable, so that tests can record the
// command lines instead of running them.
class CommandRunner
{
public:
    virtual ~CommandRunner() = default;
    // With wait, blocks until the command closes its standard output and returns what it
    // wrote (invalid UTF-8 gives ""); without, starts it and returns "" at once.
    virtual QString run(const QString& commandLine, bool wait) = 0;

    static std::shared_ptr<CommandRunner> shared();
    static void setShared(std::shared_ptr<CommandRunner> runner);
};

class BashCommandRunner : public CommandRunner
{
public:
    QString run(const QString& commandLine, bool wait) override;
};

// Quotes a value for a bash command line, so that it is one word whatever it holds.
QString shellQuoted(const QString& value);
