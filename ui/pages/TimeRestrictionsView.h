#pragma once

#include <QWidget>

// The time restrictions page; empty until it is built.
class TimeRestrictionsView : public QWidget
{
    Q_OBJECT

public:
    explicit TimeRestrictionsView(QWidget* parent = nullptr);
};
