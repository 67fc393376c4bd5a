#include "DemoAccounts.h"

#include "SelfModerationFile.h"

void DemoAccounts::reset()
{
    std::lock_guard lock(m_mutex);
    SelfModerationFile::clear();
    m_accounts.clear();
    m_pending.clear();
    m_accounts[demoEmail] = {demoPassword, demoToken};
}

void DemoAccounts::add(const std::string& email, const std::string& password, const std::string& token)
{
    std::lock_guard lock(m_mutex);
    m_accounts[email] = {password, token};
}

std::optional<std::string> DemoAccounts::signIn(const std::string& email, const std::string& password) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_accounts.find(email);
    if (it == m_accounts.end() || it->second.password != password)
        return std::nullopt;
    return it->second.token;
}

bool DemoAccounts::isValidToken(const std::string& token) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& [email, account] : m_accounts) {
        if (!token.empty() && account.token == token)
            return true;
    }
    return false;
}

void DemoAccounts::requestActivation(const std::string& identifier, const std::string& email)
{
    std::lock_guard lock(m_mutex);
    m_pending[identifier] = email;
}

std::optional<std::pair<std::string, std::string>> DemoAccounts::takeActivation(const std::string& identifier)
{
    std::lock_guard lock(m_mutex);
    const auto pending = m_pending.find(identifier);
    if (pending == m_pending.end())
        return std::nullopt;
    const std::string email = pending->second;
    m_pending.erase(pending);
    auto account = m_accounts.find(email);
    if (account == m_accounts.end())
        account = m_accounts.emplace(email, Account{{}, "issued-token-" + std::to_string(++m_issued)}).first;
    return std::make_pair(account->second.token, email);
}

bool DemoAccounts::addSelfModeratedSite(const std::string& token, const std::string& site)
{
    std::lock_guard lock(m_mutex);
    return SelfModerationFile::add(QString::fromStdString(token), QString::fromStdString(site));
}
