#include "records/process_end.h"

#include <QApplication>
#include <gtest/gtest.h>

// Every test executable gets a QApplication: the window tests need widgets, and the
// instrument threads hand their results over through the main thread's event loop.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return oxtiva::EndProcess(result);
}
