#include "AnswerScript.h"

void AnswerScript::setStanding(const std::string& path, const ScriptedAnswer& answer)
{
    std::lock_guard lock(m_mutex);
    m_standing[path] = answer;
}

void AnswerScript::enqueue(const std::string& path, const ScriptedAnswer& answer)
{
    std::lock_guard lock(m_mutex);
    m_queued[path].push_back(answer);
}

void AnswerScript::clear()
{
    std::lock_guard lock(m_mutex);
    m_queued.clear();
    m_standing.clear();
}

std::optional<ScriptedAnswer> AnswerScript::take(const std::string& method, const std::string& path)
{
    std::lock_guard lock(m_mutex);
    if (auto queued = m_queued.find(path); queued != m_queued.end()) {
        for (auto it = queued->second.begin(); it != queued->second.end(); ++it) {
            if (it->matches(method)) {
                ScriptedAnswer answer = *it;
                queued->second.erase(it);
                return answer;
            }
        }
    }
    if (auto standing = m_standing.find(path);
        standing != m_standing.end() && standing->second.matches(method))
        return standing->second;
    return std::nullopt;
}
