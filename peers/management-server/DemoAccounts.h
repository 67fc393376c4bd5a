#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

// The accounts the peer knows, the tokens it has handed out and the e-mail sign-ins
// waiting to be picked up. Any thread.
class DemoAccounts
{
public:
    static constexpr const char* demoEmail = "demo@norvane.org";
    static constexpr const char* demoPassword = "demo-password";
    static constexpr const char* demoToken = "demo-token-0001";

    DemoAccounts() { reset(); }

    void reset(); // back to the demo account alone
    void add(const std::string& email, const std::string& password, const std::string& token);
    // The account's token when the password is right.
    std::optional<std::string> signIn(const std::string& email, const std::string& password) const;
    bool isValidToken(const std::string& token) const;
    // E-mail sign-in: the server "writes to the user"; the next poll from that device
    // gets the account's token (a new one for an unknown address).
    void requestActivation(const std::string& identifier, const std::string& email);
    std::optional<std::pair<std::string, std::string>> takeActivation(const std::string& identifier);
    // Keeps a site the account added to its own blocklist (SelfModerationFile); reset()
    // forgets them all.
    bool addSelfModeratedSite(const std::string& token, const std::string& site);

private:
    struct Account
    {
        std::string password;
        std::string token;
    };
    mutable std::mutex m_mutex;
    std::map<std::string, Account> m_accounts;
    std::map<std::string, std::string> m_pending; // identifier -> e-mail
    int m_issued = 0;
};
