#pragma once

#include "core/DataResponse.h"
#include "ui/pages/FilterTestResult.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

class FilterTestRow;
class QPushButton;
class QVBoxLayout;
class SerialQueue;

// The filter tests page: checks from the desktop that filtering works. The blocking test
// requests the filter test host's page, which carries a marker when the filter let it
// through; the DNS test and the three safe-search tests compare the addresses two host
// names resolve to. Each test adds one row to the results; "DETAILS" shows its message.
//
// Threads: the page state is the main thread's. The blocking test's reply arrives on the
// main thread; the resolutions run on the application delegate's serial queue and hand
// their results back to the main thread, in the order they finish.
class FilterTestView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int titleSize = 20;
    static constexpr int headerHeight = 30;
    static constexpr int buttonLabelWidth = 100;
    static constexpr int spacing = 10;

    // queue: where the resolutions run; nullptr means the application delegate's.
    explicit FilterTestView(SerialQueue* queue = nullptr, QWidget* parent = nullptr);
    ~FilterTestView() override;

    const QList<FilterTestResult>& testResults() const { return m_testResults; }
    bool showAlert() const { return m_showAlert; }
    QString alertMessage() const { return m_alertMessage; }
    // The "Details" alert while it is shown, else nullptr.
    QMessageBox* alert() const { return m_alert; }

    QPushButton* testFilterButton() const { return m_testFilterButton; }
    QPushButton* testDnsButton() const { return m_testDnsButton; }
    QPushButton* testSafeSearchButton() const { return m_testSafeSearchButton; }
    QList<FilterTestRow*> rows() const { return m_rows; }

    // The buttons' actions.
    void testFilter();
    void testDns();
    void testSafeSearch();
    // What a row's "DETAILS" button runs.
    void showDetails(const FilterTestResult& result);

    // The blocking test's verdict on the filter test page's reply; a failed request's
    // body is looked at too, since the filter may answer with an error status.
    static FilterTestResult blockingTestResult(const DataResponse<QString>& reply, const QString& marker);
    // Resolves both hosts (blocking); passed when both give the same first address.
    static bool sameAddress(const QString& firstHost, const QString& secondHost);
    // The three safe-search tests' messages: "<prefix>enabled." or "<prefix>not enabled.".
    static QString safeSearchMessage(const QString& prefix, bool passed);

private:
    void setTestResults(const QList<FilterTestResult>& results);
    void append(const FilterTestResult& result);
    void addRow(const FilterTestResult& result);
    // Runs the block on the resolution queue; the result it returns is appended on the
    // main thread, if the page still exists.
    void runResolution(std::function<void(const std::function<void(const FilterTestResult&)>&)> work);
    void alertFinished();

    SerialQueue* m_queue;
    QList<FilterTestResult> m_testResults;
    bool m_showAlert = false;
    QString m_alertMessage;
    QPushButton* m_testFilterButton;
    QPushButton* m_testDnsButton;
    QPushButton* m_testSafeSearchButton;
    QWidget* m_rowList;
    QVBoxLayout* m_rowLayout;
    QList<FilterTestRow*> m_rows;
    QPointer<QMessageBox> m_alert;
};
