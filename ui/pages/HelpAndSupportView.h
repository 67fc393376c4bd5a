#pragma once

#include <QWidget>

// The help and support page; empty until it is built.
class HelpAndSupportView : public QWidget
{
    Q_OBJECT

public:
    explicit HelpAndSupportView(QWidget* parent = nullptr);
};
