#include <QApplication>
#include <QTemporaryDir>

#include "WindowTestSupport.h"

int main(int argc, char** argv) {
    // The window reads and writes the current user's recent fonts: keep the tester's own out of reach.
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
    QApplication application(argc, argv);
    InitializeApplication();
    int failures = 0;
    failures += RunWindowLayoutTests(argc, argv);
    failures += RunWindowFileTests(argc, argv);
    failures += RunWindowConvertTests(argc, argv);
    return failures;
}
