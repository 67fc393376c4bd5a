#pragma once

#include <QWidget>

// The relaxed policy page; empty until it is built.
class RelaxedPolicyView : public QWidget
{
    Q_OBJECT

public:
    explicit RelaxedPolicyView(QWidget* parent = nullptr);
};
