#include "app/main_window.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    oxtiva::TfrmOxtiva frmOxtiva;
    frmOxtiva.showMaximized();
    return app.exec();
}
