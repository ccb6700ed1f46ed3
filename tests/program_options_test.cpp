#include "app/program_options.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

TEST(ProgramOptions, WithoutTestSwitchesNothingIsDriven)
{
    for (const QStringList& args :
         {QStringList{"oxtiva"}, QStringList{"oxtiva", "--program-folder", "/data/cell 2"}}) {
        TProgramOptions options;
        QString error;
        ASSERT_TRUE(ParseProgramOptions(args, options, error)) << error.toStdString();
        EXPECT_FALSE(options.TestDrive.Active());
        EXPECT_EQ(options.ProgramFolder, args.value(2));
    }
}

TEST(ProgramOptions, TestSwitchesAreRead)
{
    TProgramOptions options;
    QString error;
    ASSERT_TRUE(ParseProgramOptions({"oxtiva", "--test-smu-port", "/dev/pts/3", "--test-dmm-port",
                                     "/dev/pts/4", "--test-point-length", "1.5", "--test-state",
                                     "PIDSet", "--test-echo-rows", "--test-save-every", "7",
                                     "--test-answer-recovery", "keep"},
                                    options, error))
        << error.toStdString();
    const TTestDriveOptions& drive = options.TestDrive;
    EXPECT_TRUE(drive.Active());
    EXPECT_EQ(drive.SmuPort, "/dev/pts/3");
    EXPECT_EQ(drive.DmmPort, "/dev/pts/4");
    EXPECT_EQ(drive.PointLengthSeconds, 1.5);
    EXPECT_EQ(drive.State, TProgramState::PIDSet);
    EXPECT_TRUE(drive.EchoRows);
    EXPECT_EQ(drive.SaveEveryPoints, 7);
    EXPECT_EQ(drive.RecoveryAnswer, "keep");
}

TEST(ProgramOptions, UnusableValuesAreRefusedWithTheReason)
{
    for (const QStringList& args : {QStringList{"oxtiva", "--test-state", "ToExit"},
                                    QStringList{"oxtiva", "--test-state", "Uninitialized"},
                                    QStringList{"oxtiva", "--test-answer-recovery", "maybe"},
                                    QStringList{"oxtiva", "--test-save-every", "often"},
                                    QStringList{"oxtiva", "--test-point-length", "-1"}}) {
        TProgramOptions options;
        QString error;
        EXPECT_FALSE(ParseProgramOptions(args, options, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

// On a terminal with no display at all (a remote shell on the lab computer), --help must
// still list the switches rather than fail for want of a window system.
TEST(ProgramOptions, HelpIsAnsweredWithoutADisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(OXTIVA_PROGRAM_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForFinished(20000));
    const QString output = QString::fromLocal8Bit(program.readAllStandardOutput());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0)
        << QString::fromLocal8Bit(program.readAllStandardError()).toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("--program-folder"))) << output.toStdString();
}

} // namespace
} // namespace oxtiva
