#pragma once

#include "core/DataResponse.h"
#include "core/ErrorStringResponse.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class LoadingModel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QVBoxLayout;
class SessionObservableObject;

// The user's own blocked sites (self-moderation): the list as the server configuration
// holds it, and one field to add a site. An addition is confirmed, sent to the management
// server and, once accepted, appended to the list and followed by a sync request to the
// filter extension so that it fetches the new policy. Everything else is done on the
// service's web page behind "Advanced Settings". Main thread only.
//
// Object names for tests: "title", "siteField", "addButton", "siteList" holding one
// "siteRow" label per site, "advancedSettingsLink", and "alert" while the alert is up.
class MyBlockedSitesView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int columnMaximumWidth = 400;
    static constexpr int columnSpacing = 10;
    static constexpr int titleSize = 20;
    static constexpr int titlePadding = 10;
    static constexpr int pagePadding = 16;

    MyBlockedSitesView(LoadingModel* loadingModel, SessionObservableObject* sessionModel, QWidget* parent = nullptr);

    // What a reply to an addition means for the page.
    struct AddSiteOutcome
    {
        enum class Kind
        {
            added,   // the server took the site
            error,   // the error alert with errorText
            nothing, // no answer at all: the page just stops waiting
        };
        Kind kind = Kind::nothing;
        QString errorText;
    };
    static AddSiteOutcome outcomeOf(const DataResponse<ErrorStringResponse>& reply);
    // Appends the site to the session's list and asks the extension to sync, unless the
    // list holds it already; true when it appended.
    static bool addToList(SessionObservableObject* sessionModel, const QString& site);

    // The confirmation's message for a site, the site between double quotes as typed.
    static QString confirmationMessage(const QString& site);
    // The service's self-moderation page.
    static QString advancedSettingsAddress();

    // Page actions.
    void addButtonPressed();
    void confirmAdd();
    void addSiteRequest(const QString& site);
    void handleAddSiteResponse(const DataResponse<ErrorStringResponse>& reply, const QString& site);
    void siteAdded(const QString& site);
    void openAdvancedSettings();

    // Page state.
    QString siteToAdd() const { return m_siteToAdd; }
    bool showAlert() const { return m_showAlert; }
    QString errorText() const { return m_errorText; }
    // The alert while it is up, else nullptr.
    QMessageBox* alert() const;

    LoadingModel* loadingModel() const { return m_loadingModel; }
    SessionObservableObject* sessionModel() const { return m_sessionModel; }

private:
    void buildLayout();
    void setSiteToAdd(const QString& site);
    void setShowAlert(bool show);
    void openAlert();
    void reloadRows();

    QPointer<LoadingModel> m_loadingModel;
    QPointer<SessionObservableObject> m_sessionModel;
    QString m_siteToAdd;
    bool m_showAlert = false;
    QString m_errorText;

    QLineEdit* m_siteField = nullptr;
    QWidget* m_siteList = nullptr;
    QVBoxLayout* m_siteLayout = nullptr;
    QPointer<QMessageBox> m_alert;
};
