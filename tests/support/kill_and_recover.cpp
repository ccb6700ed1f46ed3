#include "support/kill_and_recover.h"

#include "support/cell_sim.h"
#include "support/crlf_lines.h"
#include "support/oxtiva_process.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <iostream>
#include <optional>
#include <random>

namespace oxtiva::testing
{

namespace
{

constexpr int StartTimeoutMs = 60000;
const QByteArray DataSectionTitle = "** DATA *************************************************";
// The box names the written file on the line after "written to"; what follows it, after an
// empty line, offers the recovered settings.
const QRegularExpression RecoveredBox(
    QStringLiteral("^box Data recovered: .* written to / (.+?)(?: /  / .*)?$"));
const QRegularExpression EchoedRow(QStringLiteral("^row (\\d+) (.*)$"));

enum class TKillMoment { Random, SaveBegins };

// What a run printed up to its kill.
struct TRunRecord {
    QStringList EchoedRows; // in grid order, from row 0
    QString LastSavedFile;  // of the last save that ended
    bool LastSaveEnded = true;
    bool SaveEndedAfterLastRow = false;
};

TRunRecord ReadRun(const QStringList& lines)
{
    TRunRecord run;
    for (const QString& line : lines) {
        if (const auto row = EchoedRow.match(line); row.hasMatch()) {
            EXPECT_EQ(row.captured(1).toInt(), run.EchoedRows.size()) << line.toStdString();
            run.EchoedRows << row.captured(2);
            run.SaveEndedAfterLastRow = false;
        } else if (line == QLatin1String("save begins")) {
            run.LastSaveEnded = false;
        } else if (line.startsWith(QLatin1String("save ends "))) {
            run.LastSaveEnded = true;
            run.SaveEndedAfterLastRow = true;
            run.LastSavedFile = line.mid(10);
        }
    }
    return run;
}

struct TDataFileParts {
    QList<QByteArray> Head; // without its "Saved" line
    QList<QByteArray> Rows;
};

TDataFileParts ReadDataFile(const QString& path)
{
    QList<QByteArray> lines = CrLfFileLines(path);
    const qsizetype title = lines.indexOf(DataSectionTitle);
    EXPECT_GE(title, 0) << path.toStdString();
    if (title < 0) return {};
    TDataFileParts parts{lines.mid(0, title + 2), lines.mid(title + 2)};
    if (parts.Head.size() > 4) parts.Head.removeAt(4);
    return parts;
}

QStringList DataFilesUnder(const QString& userdata)
{
    QStringList files;
    QDirIterator it(userdata, {QStringLiteral("*.csv")}, QDir::Files, QDirIterator::Subdirectories);
    // The oxygen balance and its isotherm beside each data file are not one.
    while (it.hasNext())
        if (const QString file = it.next(); !file.endsWith(QStringLiteral("_oxygen.csv")) &&
                                            !file.endsWith(QStringLiteral("_isotherm.csv")))
            files << file;
    files.sort();
    return files;
}

class TKillRun
{
  public:
    TKillRun() : fSim(SimOptions()) {}

    void Run(TKillMoment moment, bool lastRun)
    {
        // The last start only recovers: no port is opened, so no lock outlives the test.
        TOxtivaProcess program(lastRun ? RecoveryOnlyArguments() : Arguments(moment));
        CheckStartUp(program);
        if (lastRun) return;
        ASSERT_TRUE(program.LineStartingWith(QStringLiteral("row 3 "), StartTimeoutMs))
            << "no data point; printed: " << program.Lines().join(" | ").toStdString();
        if (moment == TKillMoment::SaveBegins) {
            ASSERT_TRUE(program.LineStartingWith(QStringLiteral("save begins"), StartTimeoutMs));
        } else {
            KeepReading(program, std::uniform_int_distribution<int>(0, 4000)(fRandom));
        }
        program.Kill();
        RemoveSerialPortLocks();
        fPrevious = ReadRun(program.Lines());
        if (!fPrevious->LastSaveEnded) ++fKillsDuringSaves;
        std::cout << "killed after " << fPrevious->EchoedRows.size() << " rows"
                  << (fPrevious->LastSaveEnded ? "" : ", during a save") << std::endl;
    }

    std::mt19937& Random() { return fRandom; }
    void Seed(std::uint32_t seed) { fRandom.seed(seed); }
    int KillsDuringSaves() const { return fKillsDuringSaves; }

    // No data file is cut short, whenever the kill came.
    void CheckEveryDataFileIsWhole() const
    {
        for (const QString& file : DataFilesUnder(Userdata()))
            EXPECT_FALSE(ReadDataFile(file).Rows.isEmpty()) << file.toStdString();
    }

  private:
    static TCellSimOptions SimOptions()
    {
        TCellSimOptions options;
        options.timeScale = 100;
        options.extraArgs = {"--leak", "1e-8"};
        return options;
    }

    QString Userdata() const { return fFolder.filePath(QStringLiteral("Userdata")); }

    QStringList Arguments(TKillMoment moment) const
    {
        return {"--program-folder",
                fFolder.path(),
                "--test-smu-port",
                fSim.SmuPort(),
                "--test-dmm-port",
                fSim.DmmPort(),
                "--test-point-length",
                "1",
                "--test-state",
                "ZeroCurrent",
                "--test-echo-rows",
                "--test-answer-recovery",
                "recover",
                "--test-save-every",
                moment == TKillMoment::SaveBegins ? "2" : "1000"};
    }

    // A kill while the serial library writes its lock file leaves it empty, and an empty
    // one counts as stale only after 30 s. The killed program's locks go, as a reboot
    // after a power cut clears them; the ports' paths are this test's own.
    void RemoveSerialPortLocks() const
    {
        for (const QString& port : {fSim.SmuPort(), fSim.DmmPort()}) {
            const QString name = QStringLiteral("LCK..") + QString(port).replace(u'/', u'_');
            for (const char* folder : {"/run/lock", "/var/lock", "/tmp"})
                QFile::remove(QDir(QString::fromLatin1(folder)).filePath(name));
        }
    }

    QStringList RecoveryOnlyArguments() const
    {
        return {"--program-folder", fFolder.path(), "--test-answer-recovery", "recover"};
    }

    static void KeepReading(TOxtivaProcess& program, int milliseconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds)
            program.NextLine(int(std::max<qint64>(1, milliseconds - clock.elapsed())));
    }

    // Reads up to the end of the start-up questions.
    void CheckStartUp(TOxtivaProcess& program)
    {
        std::optional<QString> recovered;
        bool answered = false;
        while (const auto line = program.NextLine(StartTimeoutMs)) {
            if (const auto box = RecoveredBox.match(*line); box.hasMatch())
                recovered = box.captured(1);
            answered = line->startsWith(QLatin1String("start-up questions answered"));
            if (answered) break;
        }
        ASSERT_TRUE(answered) << program.Lines().join(" | ").toStdString();
        if (!fPrevious) {
            EXPECT_FALSE(recovered) << "nothing to recover at the first start";
            return;
        }
        if (recovered) {
            CheckRecovered(*recovered);
        } else {
            // Only a kill right after a save that held every row leaves nothing to recover.
            EXPECT_TRUE(fPrevious->SaveEndedAfterLastRow)
                << "no recovery; printed: " << program.Lines().join(" | ").toStdString();
            EXPECT_EQ(ReadDataFile(fPrevious->LastSavedFile).Rows.size(),
                      fPrevious->EchoedRows.size());
        }
        EXPECT_TRUE(QDir(Userdata()).entryList({"*.journal"}, QDir::Files).isEmpty())
            << "the recovered journal is gone";
    }

    void CheckRecovered(const QString& path)
    {
        const TDataFileParts recovered = ReadDataFile(path);
        const QStringList& echoed = fPrevious->EchoedRows;
        // The row being journaled at the kill may be missing; one journaled but not yet
        // printed may be there.
        EXPECT_GE(recovered.Rows.size(), echoed.size() - 1) << path.toStdString();
        EXPECT_LE(recovered.Rows.size(), echoed.size() + 1) << path.toStdString();
        for (qsizetype i = 0; i < std::min(recovered.Rows.size(), echoed.size()); ++i)
            EXPECT_EQ(recovered.Rows[i], echoed[i].toLatin1()) << "row " << i;
        if (!fPrevious->LastSavedFile.isEmpty()) {
            const TDataFileParts saved = ReadDataFile(fPrevious->LastSavedFile);
            EXPECT_EQ(recovered.Rows.mid(0, saved.Rows.size()), saved.Rows)
                << "the rows of the last save, byte for byte";
        }
        const QStringList files = DataFilesUnder(Userdata());
        ASSERT_FALSE(files.isEmpty());
        EXPECT_EQ(recovered.Head, ReadDataFile(files.front()).Head) << "the head every save writes";
    }

    QTemporaryDir fFolder;
    TCellSim fSim;
    std::mt19937 fRandom;
    std::optional<TRunRecord> fPrevious;
    int fKillsDuringSaves = 0;
};

} // namespace

std::uint32_t KillSeed()
{
    bool ok = false;
    std::uint32_t seed = qEnvironmentVariable("OXTIVA_KILL_SEED").toUInt(&ok);
    if (!ok) seed = std::random_device{}();
    std::cout << "kill seed " << seed << " (repeat with OXTIVA_KILL_SEED=" << seed << ")"
              << std::endl;
    ::testing::Test::RecordProperty("kill_seed", std::to_string(seed));
    return seed;
}

void RunKillsAndRecover(const TKillPlan& plan, std::uint32_t seed)
{
    TKillRun run;
    run.Seed(seed);
    std::vector<TKillMoment> moments(plan.RandomKills, TKillMoment::Random);
    moments.insert(moments.end(), plan.SaveKills, TKillMoment::SaveBegins);
    std::shuffle(moments.begin(), moments.end(), run.Random());
    for (const TKillMoment moment : moments) {
        run.Run(moment, false);
        if (::testing::Test::HasFatalFailure()) return;
    }
    // A kill meant for a save can come just after it on a busy machine; a few more tries.
    for (int extra = 0; extra < 3 && run.KillsDuringSaves() < plan.SaveKills; ++extra) {
        run.Run(TKillMoment::SaveBegins, false);
        if (::testing::Test::HasFatalFailure()) return;
    }
    run.Run(TKillMoment::Random, true);
    EXPECT_GE(run.KillsDuringSaves(), plan.SaveKills);
    run.CheckEveryDataFileIsWhole();
}

} // namespace oxtiva::testing
