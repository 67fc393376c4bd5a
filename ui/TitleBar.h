#pragma once

#include <QWidget>

class SessionObservableObject;

// The bar above every page area, signed in or not. Empty until its contents are built;
// the window's accent ground shows through it.
class TitleBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 30;

    explicit TitleBar(SessionObservableObject* sessionModel, QWidget* parent = nullptr);

private:
    SessionObservableObject* sessionModel;
};
