#pragma once

#include "platform/AppcastItem.h"
#include "platform/UpdateChoice.h"

#include <QDialog>

class QLabel;
class QPushButton;
class ReleaseNotesView;

// "A new version is available": the offered version beside the installed one, the
// release notes, and the three answers. Closing the window counts as "remind me later".
// The answer is given once, through `chosen`.
//
// Object names for tests: "headline", "message", "releaseNotesTitle", "releaseNotes",
// "skipButton", "laterButton", "installButton".
class UpdateFoundDialog : public QDialog
{
    Q_OBJECT

public:
    UpdateFoundDialog(const QString& applicationName, const QString& installedVersion, const AppcastItem& item,
                      UpdateItemState state, QWidget* parent = nullptr);

    // Release notes fetched after the dialog opened (from the item's release-notes link).
    void setReleaseNotes(const QString& html);
    // The notes could not be fetched.
    void showReleaseNotesUnavailable();

    ReleaseNotesView* releaseNotes() const { return m_releaseNotes; }

    // Closes without answering (the update session ended elsewhere).
    void dismissQuietly();

signals:
    void chosen(UpdateChoice choice);

protected:
    void done(int result) override;

private:
    void answer(UpdateChoice choice);

    ReleaseNotesView* m_releaseNotes;
    QLabel* m_releaseNotesTitle;
    bool m_answered = false;
};
