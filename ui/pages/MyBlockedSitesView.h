#pragma once

#include <QWidget>

// The my blocked sites page; empty until it is built.
class MyBlockedSitesView : public QWidget
{
    Q_OBJECT

public:
    explicit MyBlockedSitesView(QWidget* parent = nullptr);
};
