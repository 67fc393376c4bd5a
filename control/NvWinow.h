#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// The main window: frameless (no system title bar or buttons), light, moved by dragging its
// background, its frame kept in the user defaults under an autosave name. Closing it is
// left to shouldClose, which hides the application instead.
class NvWinow : public QWidget
{
    Q_OBJECT
public:
    explicit NvWinow(QWidget* parent = nullptr);

    // Restores the frame stored under the name (if any) and stores every later change.
    void setFrameAutosaveName(const QString& name);
    QString frameAutosaveName() const { return m_autosaveName; }
    void center();

    // Asked when the window is to close; answering false keeps it open.
    std::function<bool()> shouldClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void saveFrame();
    QString defaultsKey() const;

    QString m_autosaveName;
    QTimer m_saveTimer;
};
