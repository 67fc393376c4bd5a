#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

// Looks at the test user's NSS shared database from outside, with NSS's own certutil
// (Debian libnss3-tools), so tests check what another NSS program would see.
namespace NssDatabaseTool {
// $HOME/.pki/nssdb of the test environment.
QString directory();
// certutil -L: nickname to trust attributes ("CT,C,C"); nullopt when certutil fails.
std::optional<QMap<QString, QString>> list();
// certutil -L -n nickname -a: the DER of each stored certificate with the nickname.
QList<QByteArray> certificates(const QString& nickname);
// Runs certutil with the arguments (after -d sql:<directory>); its exit code, and its
// output in *output when given. Standard input is closed, so a password prompt fails.
int run(const QStringList& arguments, QString* output = nullptr);
} // namespace NssDatabaseTool
