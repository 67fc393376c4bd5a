#pragma once

#include <QString>

// Linux homes of the macOS folders the program uses. Every path comes from HOME and
// the XDG variables, so a test that points them at a temporary folder touches nothing
// of the real user's.
namespace Paths {

QString home();
// The user's Library folder: $XDG_STATE_HOME/norvane (logs go to its "Logs").
QString libraryDirectory();
// $XDG_CONFIG_HOME/norvane: the user defaults.
QString configDirectory();
// $XDG_DATA_HOME/norvane: persistent data (keychain items live in the NSS database).
QString dataDirectory();
// $XDG_CACHE_HOME/norvane: files that can be made again (downloaded updates).
QString cacheDirectory();
// The user's Downloads folder.
QString downloadsDirectory();
// Expands a leading "~" to the home folder.
QString expandTilde(const QString& path);

// The program's folders hold the device fingerprint, server addresses, tokens and command
// outputs: they are the owner's only.
// Creates the folder (with missing parents) and makes the folder itself 0700.
bool makePrivateDirectory(const QString& path);
// Makes a folder 0700 and what lies in it 0600 (files) or 0700 (folders); with recursive,
// all the way down.
void makePrivate(const QString& path, bool recursive);
// At start: the state folder with its logs, the configuration and data folders, made
// private again where an earlier version (or the user) left them open.
void tightenPrivateFolders();

} // namespace Paths
