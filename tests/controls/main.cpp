#include <QApplication>

#include "ControlsTestSupport.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    failures += RunFlatComboTests(argc, argv);
    failures += RunFontComboTests(argc, argv);
    return failures;
}
