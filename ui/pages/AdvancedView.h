#pragma once

#include <QWidget>

// The advanced page; empty until it is built.
class AdvancedView : public QWidget
{
    Q_OBJECT

public:
    explicit AdvancedView(QWidget* parent = nullptr);
};
