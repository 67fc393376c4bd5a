#pragma once

#include <QWidget>

class SessionObservableObject;

// The list of requests the filter blocked during this run; the first page of the signed-in
// layout. Empty until the page is built.
class BlockHistoryView : public QWidget
{
    Q_OBJECT

public:
    explicit BlockHistoryView(SessionObservableObject* sessionModel, QWidget* parent = nullptr);

private:
    SessionObservableObject* sessionModel;
};
