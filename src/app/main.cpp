#include "app/program_options.h"
#include "app/program_run.h"
#include "records/process_end.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace
{

// Help and version need no window system, so they are answered on any terminal.
bool AsksOnlyForText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char* name : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    oxtiva::TProgramOptions options;
    QString error;
    if (AsksOnlyForText(argc, argv)) {
        // The parser answers and ends the program; it comes back only for a value it cannot
        // use, or where "--help" was itself the value of a switch.
        QCoreApplication core(argc, argv);
        if (!oxtiva::ParseProgramOptions(core.arguments(), options, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
    }
    int code = 0;
    {
        QApplication app(argc, argv);
        if (!oxtiva::ParseProgramOptions(app.arguments(), options, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        code = oxtiva::RunProgram(app, options);
    }
    return oxtiva::EndProcess(code);
}
