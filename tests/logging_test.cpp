#include "records/logging.h"
#include "support/qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace oxtiva
{
namespace
{

QStringList ReadLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // Lines end in CR LF on Windows, in LF elsewhere.
    static const QRegularExpression lineEnd(QStringLiteral("\r?\n"));
    return QString::fromUtf8(file.readAll()).split(lineEnd, Qt::SkipEmptyParts);
}

class LogFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.isValid());
        fDestination = std::make_shared<TLogDestination>();
    }

    QStringList Lines()
    {
        fDestination->Flush();
        return ReadLines(fDestination->FilePath());
    }

    QTemporaryDir fDir;
    std::shared_ptr<TLogDestination> fDestination;
};

TEST_F(LogFile, LinesCarryMillisecondStampThreadCategoryAndText)
{
    ASSERT_TRUE(fDestination->OpenLogFile(fDir.path()));
    EXPECT_TRUE(fDestination->Active());
    EXPECT_EQ(fDestination->FilePath(), QDir(fDir.path()).filePath(QStringLiteral("Log.csl")));
    TLogger logger(QStringLiteral("Serial Port"), true);
    logger.SetDestination(fDestination);
    logger.Send(QStringLiteral("*IDN? sent"));

    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 1);
    static const QRegularExpression stamp(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\t\d+\tSerial Port\t\*IDN\? sent$)"));
    EXPECT_TRUE(stamp.match(lines[0]).hasMatch()) << lines[0].toStdString();
}

TEST_F(LogFile, EveryKindOfMessageLandsInOrder)
{
    ASSERT_TRUE(fDestination->OpenLogFile(fDir.path()));
    QLocale previous;
    QLocale::setDefault(QLocale::c());
    TLogger logger(QStringLiteral("PID"), true);
    logger.SetDestination(fDestination);
    logger.EnterMethod(QStringLiteral("UpdateResults"));
    logger.Send(QStringLiteral("Stopped: "), true);
    logger.Send(QStringLiteral("Stopped: "), false);
    logger.SendValue(QStringLiteral("Tk : "), 1.5e-6);
    logger.Send(QStringLiteral("Cell T, ºC"));
    logger.ExitMethod(QStringLiteral("UpdateResults"));
    QLocale::setDefault(previous);

    QStringList texts;
    for (const QString& line : Lines())
        texts << line.section(QLatin1Char('\t'), 2);
    EXPECT_EQ(texts, (QStringList{"PID\t-> UpdateResults", "PID\tStopped: True",
                                  "PID\tStopped: False", "PID\tTk : 1.5E-6",
                                  QString::fromUtf8("PID\tCell T, ºC"), "PID\t<- UpdateResults"}));
}

TEST_F(LogFile, DisabledLoggerWritesNothing)
{
    ASSERT_TRUE(fDestination->OpenLogFile(fDir.path()));
    TLogger logger(QStringLiteral("LLS"));
    logger.SetDestination(fDestination);
    EXPECT_FALSE(logger.Enabled());
    logger.Send(QStringLiteral("hidden"));
    logger.Send(QStringLiteral("hidden"), true);
    logger.SendValue(QStringLiteral("hidden"), 1);
    logger.EnterMethod(QStringLiteral("hidden"));
    logger.ExitMethod(QStringLiteral("hidden"));
    logger.SetEnabled(true);
    logger.Send(QStringLiteral("shown"));
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tLLS\tshown")));
}

TEST_F(LogFile, LoggersWithoutDestinationWriteNowhere)
{
    TLogger logger(QStringLiteral("Thread 2401"), true);
    EXPECT_EQ(logger.Destination(), TLogDestination::Default());
    EXPECT_FALSE(TLogDestination::Default()->Active());
    logger.Send(QStringLiteral("into the void")); // must neither crash nor create a file
    EXPECT_TRUE(QDir(fDir.path()).isEmpty());
    logger.SetDestination(nullptr);
    EXPECT_EQ(logger.Destination(), TLogDestination::Default());
}

TEST_F(LogFile, UnopenableFolderLeavesTheDestinationInactive)
{
    const QString blocker = QDir(fDir.path()).filePath(QStringLiteral("plainfile"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(fDestination->OpenLogFile(QDir(blocker).filePath(QStringLiteral("Logs"))));
    EXPECT_FALSE(fDestination->Active());
    fDestination->Write(QStringLiteral("Form"), QStringLiteral("lost, harmlessly"));
}

TEST_F(LogFile, TwoDestinationsInOneProcessKeepTheirOwnFiles)
{
    QTemporaryDir otherDir;
    auto other = std::make_shared<TLogDestination>();
    ASSERT_TRUE(fDestination->OpenLogFile(fDir.path()));
    ASSERT_TRUE(other->OpenLogFile(otherDir.path()));
    fDestination->Write(QStringLiteral("A"), QStringLiteral("first"));
    other->Write(QStringLiteral("B"), QStringLiteral("second"));
    other->Flush();
    ASSERT_EQ(Lines().size(), 1);
    EXPECT_TRUE(Lines()[0].endsWith(QStringLiteral("A\tfirst")));
    const QStringList otherLines = ReadLines(other->FilePath());
    ASSERT_EQ(otherLines.size(), 1);
    EXPECT_TRUE(otherLines[0].endsWith(QStringLiteral("B\tsecond")));
}

TEST_F(LogFile, ConcurrentSendsFromSeveralThreadsAllLand)
{
    ASSERT_TRUE(fDestination->OpenLogFile(fDir.path()));
    constexpr int threads = 4;
    constexpr int perThread = 250;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([this, t] {
            TLogger logger(QStringLiteral("Worker %1").arg(t), true);
            logger.SetDestination(fDestination);
            for (int i = 0; i < perThread; ++i)
                logger.Send(QStringLiteral("message %1").arg(i));
        });
    }
    for (auto& w : workers)
        w.join();

    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), threads * perThread);
    for (int t = 0; t < threads; ++t) {
        const QString category = QStringLiteral("\tWorker %1\t").arg(t);
        EXPECT_EQ(lines.filter(category).size(), perThread) << t;
        EXPECT_EQ(lines.filter(category + QStringLiteral("message 249")).size(), 1);
    }
}

TEST_F(LogFile, RotationKeepsAtMostTheConfiguredParts)
{
    constexpr int parts = 3;
    ASSERT_TRUE(fDestination->OpenLogFile(fDir.path(), QStringLiteral("Log.csl"), 1, parts));
    TLogger logger(QStringLiteral("COM"), true);
    logger.SetDestination(fDestination);
    const QString filler(100, QLatin1Char('x'));
    for (int i = 0; i < 200; ++i)
        logger.Send(QStringLiteral("%1 %2").arg(i).arg(filler));
    fDestination->Flush();

    const QStringList files = QDir(fDir.path()).entryList(QDir::Files);
    EXPECT_EQ(files.size(), parts) << files.join(QLatin1Char(' ')).toStdString();
    for (const QString& name : files) {
        EXPECT_LE(QFileInfo(QDir(fDir.path()).filePath(name)).size(), 1024) << name.toStdString();
    }
    // The newest lines are in the live file.
    EXPECT_TRUE(Lines().last().contains(QStringLiteral("199 x")));
}

} // namespace
} // namespace oxtiva
