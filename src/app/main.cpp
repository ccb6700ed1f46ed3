#include "app/program_options.h"
#include "app/program_run.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    oxtiva::TProgramOptions options;
    QString error;
    if (!oxtiva::ParseProgramOptions(app.arguments(), options, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    return oxtiva::RunProgram(app, options);
}
