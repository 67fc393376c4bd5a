#pragma once

#include <QObject>

// The window's busy flag. Pages set it when they send a management-server request and
// clear it first thing in the reply handler; the window lays the busy overlay over the
// page while it is set. Main thread only.
class LoadingModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading WRITE setIsLoading NOTIFY isLoadingChanged)

public:
    explicit LoadingModel(QObject* parent = nullptr);

    bool isLoading() const;
    void setIsLoading(bool isLoading);

signals:
    void isLoadingChanged(bool isLoading);

private:
    bool m_isLoading = false;
};
