#include "TestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

// Read by ThreadSanitizer at start (and ignored by every other build). glibc's
// tzset_internal runs under glibc's own tzset lock, which ThreadSanitizer cannot see; Qt
// reaches it from local-time conversions on any thread.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:tzset_internal\n";
}

int main(int argc, char** argv)
{
    // Before anything reads the environment: temporary folders, headless windows.
    TestEnvironment::isolate();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
