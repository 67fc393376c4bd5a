#pragma once

#include <QWidget>

class LoadingModel;
class QHBoxLayout;
class QVBoxLayout;
class SessionObservableObject;
class SidebarView;

// The signed-in layout: the sidebar on the left and the detail column on the right. The
// detail column shows the page of the sidebar's active entry, built anew each time the
// entry becomes active; with no entry active it shows a block history page.
class MainView : public QWidget
{
    Q_OBJECT

public:
    explicit MainView(SessionObservableObject* sessionModel, LoadingModel* loadingModel = nullptr,
                      QWidget* parent = nullptr);

    SidebarView* sidebar() const;
    // The page the detail column shows.
    QWidget* detail() const;
    // Shows `page` in the detail column, taking ownership. The page shown before is
    // removed at once and deleted once control returns to the event loop, so a page
    // may call this from one of its own handlers.
    void setDetail(QWidget* page);

private:
    void showActiveCell();

    SessionObservableObject* m_sessionModel;
    SidebarView* m_sidebar;
    QWidget* m_detailColumn;
    QVBoxLayout* m_detailLayout;
    QWidget* m_detail = nullptr;
};
