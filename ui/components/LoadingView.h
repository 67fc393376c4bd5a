#pragma once

#include <QWidget>

class ActivityIndicator;
class LoadingModel;

// The busy overlay: covers the whole of its container (following its size), a gray
// ground with a spinner in the middle, the whole at half opacity. It reads no state;
// attach() decides when one exists.
class LoadingView : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingView(QWidget* container);

    ActivityIndicator* activityIndicator() const;

    // Keeps a LoadingView over `container` while model->isLoading() is true and none
    // otherwise; the overlay stays above children added to the container later.
    static void attach(QWidget* container, LoadingModel* model);
    // The overlay currently over `container`, or nullptr.
    static LoadingView* over(const QWidget* container);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ActivityIndicator* m_activityIndicator;
};
