#pragma once

#include "core/MainViewTabs.h"

#include <QAbstractButton>
#include <QPointer>

#include <functional>

class SessionObservableObject;

// One entry of the sidebar: the page's icon and title in white. Clicking it makes its
// page the selected one (selectedMainPage); the rounded accent ground marks the entry
// whose page was shown last (selectedSideBarTab), so the highlight moves only once the
// page has appeared.
class SidebarCell : public QAbstractButton
{
    Q_OBJECT

public:
    // Builds the entry's page, a new one on each call.
    using ViewBuilder = std::function<QWidget*()>;

    static constexpr qreal iconSize = 12;
    static constexpr qreal cornerRadius = 4;

    // width and height frame the icon and title; leadingPadding lies in front of them.
    SidebarCell(SessionObservableObject* sessionModel, MainViewTabs id, const QString& icon, qreal width,
                qreal height, qreal leadingPadding, ViewBuilder viewBuilder, QWidget* parent = nullptr);

    MainViewTabs id() const;
    QString icon() const;
    QString title() const;
    // Its page is the one the detail column shows (selectedMainPage is this entry).
    bool isActive() const;
    // Drawn on the accent ground (selectedSideBarTab is this entry).
    bool isHighlighted() const;
    // A new page for the detail column; the caller takes ownership.
    QWidget* destination() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<SessionObservableObject> m_sessionModel;
    MainViewTabs m_id;
    QString m_icon;
    ViewBuilder m_viewBuilder;
};
