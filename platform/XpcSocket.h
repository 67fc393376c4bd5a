#pragma once

#include "platform/XpcFileDescriptor.h"

#include <QString>

#include <deque>
#include <sys/types.h>

// The Unix-domain socket calls under XpcConnection and XpcListener. Every descriptor made
// here is close-on-exec and non-blocking.
namespace XpcSocket {

// Where the service listens: the runtime directory, the service name and ".sock". Empty
// (with the reason in *error) for a name that cannot be a file name or does not fit a
// socket address.
QString socketPath(const QString& serviceName, QString* error = nullptr);

// Creates the runtime directory when missing, mode 0700, and refuses one that is not a
// directory of this user (another user could otherwise impersonate the service).
bool ensureRuntimeDirectory(QString* error);

// A connected socket, or -1 with the reason in *error.
int connectTo(const QString& path, QString* error);
// A listening socket bound to path. A socket file left by a listener that is gone is
// replaced; one with a live listener is not.
int listenOn(const QString& path, QString* error);
// The next pending connection, or -1 (errno set) when there is none.
int acceptFrom(int listeningSocket);

// The peer's process and user, from the kernel; false when unknown.
bool peerCredentials(int socket, pid_t* pid, uid_t* uid);

// Sends up to size bytes, with descriptor (when >= 0) as SCM_RIGHTS ancillary data on the
// first of them. Returns the count sent or -1 with errno (EAGAIN when the buffer is full).
ssize_t send(int socket, const char* data, size_t size, int descriptor);
// Receives up to size bytes; descriptors that arrive with them are appended to received.
// Returns the count, 0 at the end of the stream, or -1 with errno. *lostDescriptors is set
// when the kernel had to drop descriptors for lack of room.
ssize_t receive(int socket, char* buffer, size_t size, std::deque<XpcFileDescriptor>* received,
                bool* lostDescriptors);

// An eventfd that wakes a poll() from another thread.
int createWakeDescriptor();
void wake(int wakeDescriptor);
void drainWake(int wakeDescriptor);

} // namespace XpcSocket
