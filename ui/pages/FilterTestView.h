#pragma once

#include <QWidget>

// The filter tests page; empty until it is built.
class FilterTestView : public QWidget
{
    Q_OBJECT

public:
    explicit FilterTestView(QWidget* parent = nullptr);
};
