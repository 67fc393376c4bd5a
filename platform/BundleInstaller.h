#pragma once

#include <QString>

#include <functional>

// Puts a new bundle folder in the place of an installed one by renames in the installed
// bundle's parent folder: the new bundle is moved (or, from another file system, copied)
// next to the old one, the two are exchanged in one step where the file system allows it,
// else the old one is moved aside and the new one in, and the old one is then removed.
// When a step fails the earlier ones are undone, so the old bundle stays in place.
class BundleInstaller
{
public:
    // The renames, replaceable by tests that need a step to fail. Both return 0 or an errno.
    struct Operations
    {
        std::function<int(const QString& from, const QString& to)> rename;
        // Exchanges two paths atomically; ENOSYS or EINVAL where the file system cannot.
        std::function<int(const QString& first, const QString& second)> exchange;
        static Operations system();
    };

    explicit BundleInstaller(Operations operations = Operations::system());

    // Moves stagedBundle away (it is gone afterwards, installed or removed).
    bool install(const QString& stagedBundle, const QString& installedBundle, QString* errorText = nullptr) const;

private:
    bool moveBeside(const QString& stagedBundle, const QString& besidePath, QString* errorText) const;

    Operations m_operations;
};
