#pragma once

#include "ScriptedAnswer.h"

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// The scripted answers by path: answers queued for the next requests (each used once, in
// order), then a standing answer that stays until reset. Any thread.
class AnswerScript
{
public:
    void setStanding(const std::string& path, const ScriptedAnswer& answer);
    void enqueue(const std::string& path, const ScriptedAnswer& answer);
    void clear();
    std::optional<ScriptedAnswer> take(const std::string& method, const std::string& path);

private:
    std::mutex m_mutex;
    std::map<std::string, std::deque<ScriptedAnswer>> m_queued;
    std::map<std::string, ScriptedAnswer> m_standing;
};
