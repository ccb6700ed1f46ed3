#include "app/program_options.h"

#include <QCommandLineParser>

namespace oxtiva
{

namespace
{

const QStringList RecoveryAnswers = {QStringLiteral("recover"), QStringLiteral("keep"),
                                     QStringLiteral("discard")};

std::optional<TProgramState> ChoosableStateNamed(const QString& name)
{
    for (const TProgramState state :
         {TProgramState::Paused, TProgramState::ZeroCurrent, TProgramState::SetVoltage,
          TProgramState::PIDSet, TProgramState::PIDStep, TProgramState::PPS}) {
        if (ProgramStateName(state) == name) return state;
    }
    return std::nullopt;
}

struct TOptionSet {
    QCommandLineOption ProgramFolder{
        QStringLiteral("program-folder"),
        QStringLiteral("Folder of the settings file, \"Userdata\" and \"Logs\" (default: the "
                       "program's own folder)."),
        QStringLiteral("folder")};
    QCommandLineOption SmuPort{QStringLiteral("test-smu-port"),
                               QStringLiteral("Automated tests only: validate the SourceMeter on "
                                              "this port once started."),
                               QStringLiteral("port")};
    QCommandLineOption DmmPort{QStringLiteral("test-dmm-port"),
                               QStringLiteral("Automated tests only: validate the MultiMeter on "
                                              "this port once started."),
                               QStringLiteral("port")};
    QCommandLineOption PointLength{
        QStringLiteral("test-point-length"),
        QStringLiteral("Automated tests only: data point integration time in seconds, set "
                       "before validation."),
        QStringLiteral("seconds")};
    QCommandLineOption State{
        QStringLiteral("test-state"),
        QStringLiteral("Automated tests only: program state chosen once both instruments are "
                       "validated (Paused, ZeroCurrent, SetVoltage, PIDSet, PIDStep, PPS); the "
                       "confirmation is answered Yes."),
        QStringLiteral("state")};
    QCommandLineOption EchoRows{
        QStringLiteral("test-echo-rows"),
        QStringLiteral("Automated tests only: print every grid row on standard output as it "
                       "enters the grid, as \"row <n> <DATA line>\".")};
    QCommandLineOption SaveEvery{
        QStringLiteral("test-save-every"),
        QStringLiteral("Automated tests only: save after every n data points, printing \"save "
                       "begins\" and \"save ends <file>\"."),
        QStringLiteral("n")};
    QCommandLineOption RecoveryAnswer{
        QStringLiteral("test-answer-recovery"),
        QStringLiteral("Automated tests only: answer the start-up question about unsaved data "
                       "with recover, keep or discard (a discard is confirmed). With any test "
                       "switch, every message box is printed on standard output and answered "
                       "(Yes or OK)."),
        QStringLiteral("answer")};
};

bool ReadTestDrive(const QCommandLineParser& parser, const TOptionSet& set,
                   TTestDriveOptions& drive, QString& errorText)
{
    drive.SmuPort = parser.value(set.SmuPort);
    drive.DmmPort = parser.value(set.DmmPort);
    drive.EchoRows = parser.isSet(set.EchoRows);
    bool ok = true;
    if (parser.isSet(set.PointLength))
        drive.PointLengthSeconds = parser.value(set.PointLength).toDouble(&ok);
    if (ok && parser.isSet(set.SaveEvery))
        drive.SaveEveryPoints = parser.value(set.SaveEvery).toInt(&ok);
    if (!ok || drive.PointLengthSeconds < 0 || drive.SaveEveryPoints < 0) {
        errorText = QStringLiteral("--test-point-length and --test-save-every take a number");
        return false;
    }
    if (parser.isSet(set.State)) {
        drive.State = ChoosableStateNamed(parser.value(set.State));
        if (!drive.State) {
            errorText = QStringLiteral("unknown program state: ") + parser.value(set.State);
            return false;
        }
    }
    drive.RecoveryAnswer = parser.value(set.RecoveryAnswer);
    if (!drive.RecoveryAnswer.isEmpty() && !RecoveryAnswers.contains(drive.RecoveryAnswer)) {
        errorText = QStringLiteral("--test-answer-recovery takes recover, keep or discard");
        return false;
    }
    return true;
}

} // namespace

bool TTestDriveOptions::Active() const
{
    return !SmuPort.isEmpty() || !DmmPort.isEmpty() || PointLengthSeconds > 0 || State ||
           EchoRows || SaveEveryPoints > 0 || !RecoveryAnswer.isEmpty();
}

bool ParseProgramOptions(const QStringList& arguments, TProgramOptions& options, QString& errorText)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Drives an electrochemical oxygen pump cell and records its data points."));
    parser.addHelpOption();
    parser.addVersionOption();
    const TOptionSet set;
    parser.addOptions({set.ProgramFolder, set.SmuPort, set.DmmPort, set.PointLength, set.State,
                       set.EchoRows, set.SaveEvery, set.RecoveryAnswer});
    parser.process(arguments);
    options.ProgramFolder = parser.value(set.ProgramFolder);
    return ReadTestDrive(parser, set, options.TestDrive, errorText);
}

} // namespace oxtiva
