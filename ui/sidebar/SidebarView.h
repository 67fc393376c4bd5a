#pragma once

#include <QWidget>

class SessionObservableObject;

// The signed-in layout's left column, one entry per page. Empty until its entries are built.
class SidebarView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int columnWidth = 250;

    explicit SidebarView(SessionObservableObject* sessionModel, QWidget* parent = nullptr);

private:
    SessionObservableObject* sessionModel;
};
