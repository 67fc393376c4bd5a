#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// The relaxed policy's passcode sheet: a short explanation, a secure field and "Ok" and
// "Cancel". Return in the field does nothing; the page decides what each button means.
// Modal to its window only; it deletes itself once closed.
class PasscodePopup : public QDialog
{
    Q_OBJECT

public:
    static constexpr int explanationSize = 15;
    static constexpr int titlePadding = 10;
    static constexpr int width = 360;

    explicit PasscodePopup(QWidget* parent);

    QLineEdit* field() const { return m_field; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    void passcodeChanged(const QString& passcode);
    void okClicked();
    void cancelClicked();

private:
    QLineEdit* m_field;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
