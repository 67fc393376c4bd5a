#pragma once

#include "ui/pages/FilterTestResult.h"

#include <QWidget>

class FAText;
class QLabel;
class QPushButton;

// One result of the filter tests page: a check or a cross, "Passed" or "Failed", the
// test's name and its "DETAILS" button, in the columns of the page's header.
class FilterTestRow : public QWidget
{
    Q_OBJECT

public:
    // The columns, left to right, and the room between them (each holds a divider).
    static constexpr int iconWidth = 20;
    static constexpr int statusWidth = 70;
    static constexpr int nameWidth = 100;
    static constexpr int detailsWidth = 100;
    static constexpr int spacing = 10;
    static constexpr int textSize = 10;
    static constexpr int iconSize = 20;

    explicit FilterTestRow(const FilterTestResult& result, QWidget* parent = nullptr);

    const FilterTestResult& result() const { return m_result; }
    FAText* icon() const { return m_icon; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* nameLabel() const { return m_name; }
    QPushButton* detailsButton() const { return m_details; }

signals:
    void detailsRequested(const FilterTestResult& result);

private:
    FilterTestResult m_result;
    FAText* m_icon;
    QLabel* m_status;
    QLabel* m_name;
    QPushButton* m_details;
};
