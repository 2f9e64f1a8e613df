// The desktop converter: one window, an .xps file from the open dialog or as
// the first command-line argument.
#include <QApplication>

#include "app/xpsmain.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    InitializeApplication();
    TQtFileOpenDialog openDialog;
    TQtErrorBox errorBox;
    TfmXPSConverter fmXPSConverter(QApplication::arguments().mid(1), openDialog, errorBox);
    fmXPSConverter.show();
    return application.exec();
}
