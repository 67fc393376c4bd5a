#pragma once

#include <QObject>

// Software updates. The application shell calls it at start-up and after each user-data
// update; checking the feed and installing come with the update support.
class Updater : public QObject
{
    Q_OBJECT
public:
    explicit Updater(QObject* parent = nullptr) : QObject(parent) {}

    void refreshLastUpdateTime() {}
    void checkForUpdatesIfNeeded() {}
};
