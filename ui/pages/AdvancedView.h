#pragma once

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"

#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>

class FAText;
class QLabel;
class QPushButton;

// The advanced page: the state of software updates with a button for a user-initiated
// check, the state of the settings synchronisation with a button that asks the extension
// for a new one, and the deactivation request that the management server must approve.
// The page shows the session's updateStatus, lastUpdateTimeString, syncStatus and
// lastSyncTimeString as they change; its own state is the two flags below, fresh with
// each instance. Main thread only.
//
// Object names for tests: "title", "updateStatusText", "updateIcon", "lastUpdateText",
// "updateButton", "syncTitle", "syncIcon", "lastSyncText", "syncButton",
// "deactivationHeading", "deactivationExplanation", "deactivateButton", and
// "deactivationPendingAlert" while the alert is open.
class AdvancedView : public QWidget
{
    Q_OBJECT

public:
    using UpdateStatus = SessionObservableObject::UpdateStatus;
    using SyncStatus = SessionObservableObject::SyncStatus;

    struct UpdatePresentation
    {
        QString statusText;
        QString iconName;
        QColor iconColor;
        QString buttonLabel;
    };
    struct SyncPresentation
    {
        QString iconName;
        QColor iconColor;
    };

    static constexpr int titleFontSize = 20;
    static constexpr int headingFontSize = 15;
    static constexpr int detailFontSize = 10;
    static constexpr qreal iconSize = 20;
    static constexpr int columnWidth = 200;
    static constexpr int columnSpacing = 30;
    static constexpr int rowSpacing = 30;
    static constexpr int buttonLabelWidth = 140;
    static constexpr int blockPadding = 20;
    static constexpr int defaultPadding = 16;
    static constexpr std::chrono::milliseconds syncDisabledInterval{1000};

    static const QString explanationText;

    AdvancedView(SessionObservableObject* sessionModel, LoadingModel* loadingModel, QWidget* parent = nullptr);

    static UpdatePresentation updatePresentation(UpdateStatus status);
    static SyncPresentation syncPresentation(SyncStatus status);
    // The platform's standard red and green.
    static QColor red();
    static QColor green();

    // What the update button runs, whatever its label; by default the application
    // delegate's user-initiated update check. Tests replace it; empty restores the default.
    static void setCheckForUpdates(std::function<void()> check);
    // What a successful deactivation runs after the token is cleared; by default the
    // application delegate's quit path. Tests replace it; empty restores the default.
    static void setQuit(std::function<void()> quit);

    // Page actions.
    void checkForUpdatesAction();
    void synchronizeAction();
    void requestDeactivationAction();
    void handleDeactivationResponse(bool success);

    // Page state.
    bool showDeactivationPending() const { return m_showDeactivationPending; }
    bool isSyncDisabled() const { return m_isSyncDisabled; }
    // The "Request Received" alert while it is shown.
    QMessageBox* deactivationPendingAlert() const { return m_pendingAlert; }

    SessionObservableObject* sessionModel() const { return m_sessionModel; }
    LoadingModel* loadingModel() const { return m_loadingModel; }

private:
    void buildLayout();
    QWidget* buildUpdateColumn();
    QWidget* buildDeactivationColumn();
    void showUpdateStatus(UpdateStatus status);
    void showSyncStatus(SyncStatus status);
    void setSyncDisabled(bool disabled);
    void setShowDeactivationPending(bool show);

    QPointer<SessionObservableObject> m_sessionModel;
    QPointer<LoadingModel> m_loadingModel;
    bool m_showDeactivationPending = false;
    bool m_isSyncDisabled = false;

    QLabel* m_updateStatusText = nullptr;
    FAText* m_updateIcon = nullptr;
    QLabel* m_lastUpdateText = nullptr;
    QPushButton* m_updateButton = nullptr;
    FAText* m_syncIcon = nullptr;
    QLabel* m_lastSyncText = nullptr;
    QPushButton* m_syncButton = nullptr;
    QPushButton* m_deactivateButton = nullptr;
    QPointer<QMessageBox> m_pendingAlert;
};
