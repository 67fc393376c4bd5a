#pragma once

#include "RunningApp.h"

#include "DesktopSession.h"
#include "TestEnvironment.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <memory>
#include <optional>

// The real program on a desktop of the test's own (Xvfb and a private session bus, see
// DesktopSession). Skipped only when a program it needs is not installed.
class DesktopFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Skips the test when one of the programs is missing.
    bool needs(const QStringList& programs);
    void storeToken(const QString& token = QStringLiteral("desktop-token"));
    std::unique_ptr<RunningApp> startApp(const QProcessEnvironment& extra = {});

    // Whether a line of either log (before and after the program renames it) holds the text.
    static bool waitForLog(const QString& text, int count = 1, int milliseconds = 20000);
    static int countLog(const QString& text);

    // The main window (at least this wide) and the tray icon (smaller), by their X window ids.
    std::optional<QString> mainWindow() const;
    std::optional<QString> trayIconWindow() const;
    bool waitForViewable(const QString& windowId, bool viewable, int milliseconds = 20000) const;
    // The main window once it is on screen; whether none is (never shown, or hidden now).
    std::optional<QString> waitForShownMainWindow(int milliseconds = 20000) const;
    bool mainWindowShown() const;
    // Clicks the close button of the window's own title bar until the window is hidden: on
    // a loaded display a click can come before the program takes input.
    bool closeWithItsCloseButton(const QString& windowId) const;

    static QString screenshotPath(const QString& name);

    DesktopSession session;
};
