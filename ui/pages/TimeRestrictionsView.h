#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class SessionObservableObject;
class TimeRestrictionProgressBarView;

// The week's time restrictions, one row per day from Monday to Sunday: when the internet
// is allowed, as a bar and as text, with the current time marked on today's row. It only
// shows the session's timeRestrictions; "Edit" opens the service's page to change them.
// Main thread only.
//
// Object names for tests: "title", "notEnabledText", one row per day named by the day's
// raw value ("monday" ...), and "editLink".
class TimeRestrictionsView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int titleSize = 20;
    static constexpr int titlePadding = 20;
    static constexpr int editPadding = 20;
    static constexpr int pagePadding = 16;

    explicit TimeRestrictionsView(SessionObservableObject* sessionModel, QWidget* parent = nullptr);

    // The service's time-restrictions page.
    static QString editAddress();
    void openEdit();

    // Monday first.
    QList<TimeRestrictionProgressBarView*> rows() const { return m_rows; }
    SessionObservableObject* sessionModel() const { return m_sessionModel; }

private:
    void reloadRows();

    QPointer<SessionObservableObject> m_sessionModel;
    QList<TimeRestrictionProgressBarView*> m_rows;
};
