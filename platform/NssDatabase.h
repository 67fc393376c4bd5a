#pragma once

#include "platform/SecurityStatus.h"

#include <QString>

#include <mutex>

typedef struct NSSInitContextStr NSSInitContext;
typedef struct PK11SlotInfoStr PK11SlotInfo;

// One opening of an NSS certificate database for the length of one keychain operation.
// NSS keeps process-wide state, so every opening in this process is serialised by one lock,
// held until the database closes again, and each opening has an NSS context of its own so
// that closing it never shuts NSS down under another user. A directory without a database
// gets a new one, set up as `certutil -N --empty-password` does (an empty password, so
// that certificates and trust can be written without asking anybody).
// Used only inside platform/: it holds its lock, so it must not live across a call out.
class NssDatabase
{
public:
    // The user's NSS shared database, read by Chromium and other NSS programs.
    static QString userDirectory(); // $HOME/.pki/nssdb

    explicit NssDatabase(const QString& directory);
    ~NssDatabase();
    NssDatabase(const NssDatabase&) = delete;
    NssDatabase& operator=(const NssDatabase&) = delete;

    bool isOpen() const { return m_slot != nullptr; }
    // success when open; otherwise why not, with the reason in failure().
    OSStatus status() const { return m_status; }
    QString failure() const { return m_failure; }
    // The database's certificate and key slot (owned by this object).
    PK11SlotInfo* slot() const { return m_slot; }

    // The last NSS error of this thread, as text for the log.
    static QString lastError();

private:
    void open(const QString& directory);
    void fail(OSStatus status, const QString& failure);

    std::unique_lock<std::mutex> m_lock;
    NSSInitContext* m_context = nullptr;
    PK11SlotInfo* m_slot = nullptr;
    OSStatus m_status = SecurityStatus::notAvailable;
    QString m_failure;
};
