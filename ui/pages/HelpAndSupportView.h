#pragma once

#include "control/LogType.h"

#include <QWidget>

class LinkButton;
class QLabel;
class QPushButton;

// The help and support page: the service's help links, the export of the logs and of the
// root certificate into the Downloads folder for a support case, and the activation
// identifier, which a click copies. The extension writes its logs and the certificate into
// files the page creates and hands over the link; the page copies its own log itself.
class HelpAndSupportView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int titleSize = 20;
    static constexpr int headingSize = 15;
    static constexpr const char* activationIdentifierCaption = "Activation Identifier (click to copy):     ";

    explicit HelpAndSupportView(QWidget* parent = nullptr);

    QList<LinkButton*> links() const { return m_links; }
    QLabel* telephoneLabel() const { return m_telephone; }
    QPushButton* viewLogFilesButton() const { return m_viewLogFilesButton; }
    QPushButton* exportRootCertificateButton() const { return m_exportRootCertificateButton; }
    QPushButton* activationIdentifierButton() const { return m_activationIdentifierButton; }
    QString activationIdentifier() const { return m_activationIdentifier; }

    // "view log files": the extension's two logs, then the application's own.
    void viewLogFiles();
    // "export root certificate".
    void exportRootCertificate();
    // A click on the activation identifier.
    void copyActivationIdentifier();

private:
    static void requestExtensionLog(LogType type, const QString& name);
    static void copyOwnLog();

    QString m_activationIdentifier;
    QList<LinkButton*> m_links;
    QLabel* m_telephone;
    QPushButton* m_viewLogFilesButton;
    QPushButton* m_exportRootCertificateButton;
    QPushButton* m_activationIdentifierButton;
};
