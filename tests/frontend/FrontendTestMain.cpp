// The dialog's tests run on real widgets without a display.
#include <QApplication>
#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The stock Qt libraries are not built with the thread sanitizer: their own locks are invisible to it, so
// memory that Qt makes on one thread and frees on another (its thread pool, queued calls) looks racy.
// Everything of ours that crosses threads is ordered by standard mutexes, which the sanitizer sees.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n";
}
#endif

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
