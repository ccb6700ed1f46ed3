// The journal at the scale of a month-long run (2,400,000 rows, four weeks at one point a
// second) against a short one (1,000 rows): its size on the disk before and after a save,
// and the time and peak memory of recovering a segment of that many unsaved rows.
#include "app/experiment/experiment_saver.h"
#include "app/experiment/journal_keeper.h"
#include "app/experiment/recovered_oxygen_file.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "records/journal_format.h"
#include "records/journal_recovery.h"
#include "support/typical_row.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// kB of a field of /proc/self/status ("VmRSS", "VmHWM").
long StatusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// A run's journal at rows grid rows, handed to the journal as the control cycle does, then
// a save: the bytes of the journal before and after it.
void BM_JournalSizeAfterSave(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        QTemporaryDir folder;
        oxtiva::TfrmOxtiva window(nullptr, folder.path());
        window.EditSampleName->setText(QStringLiteral("Bench"));
        oxtiva::TStringGrid& grid = *window.StringGridData;
        constexpr int RowsPerPass = 100000;
        while (grid.RowCount() < rows) {
            for (int i = 0; i < RowsPerPass && grid.RowCount() < rows; ++i)
                oxtiva::bench::FillTypicalRow(grid, grid.AddRow());
            window.Journal().Sync();
        }
        if (!window.Journal().WaitUntilWritten(600000)) state.SkipWithError("journal not written");
        const double before = double(QFileInfo(window.Journal().Path()).size());
        window.Saver().Save();
        if (!window.Saver().WaitUntilSaved()) state.SkipWithError("save failed");
        window.Journal().Sync();
        if (!window.Journal().WaitUntilWritten(600000)) state.SkipWithError("segment not written");
        const double after = double(QFileInfo(window.Journal().Path()).size());
        state.counters["journal_bytes_before_save"] = before;
        state.counters["journal_bytes_after_save"] = after;
    }
}
BENCHMARK(BM_JournalSizeAfterSave)
    ->Arg(1000)
    ->Arg(2400000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A journal of rows unsaved rows, as a crash leaves it; written in pieces, never held.
void WriteSegment(const QString& path, int rows)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    oxtiva::TJournalHead head;
    head.SampleName = QStringLiteral("Bench");
    head.Notes = QStringLiteral("Example values\nExample notes");
    QByteArray out = oxtiva::JournalFirstLineBytes() + oxtiva::JournalHeadLine(head);
    const QDateTime time = QDateTime::currentDateTimeUtc();
    out += oxtiva::JournalRowLine(0, {time, false, QStringLiteral("Duration,s;Mode;Step")});
    out += oxtiva::JournalRowLine(1, {time, false, QStringLiteral(";;;;;;;;;;;;;;;")});
    const QString line = QStringLiteral("1234.56;15;3;845.30;1.23456E-1;-1.234E-4;2.100000E-05;"
                                        "2.10E-1;0.123;True;;-0.004;True;-6;2020-05-17_14:03;"
                                        "2.100000E-05");
    for (int row = 2; row < rows + 2; ++row) {
        out += oxtiva::JournalRowLine(row, {time, true, line});
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.resize(0);
        }
    }
    file.write(out);
}

struct TRecoveryCost {
    double Ms = 0;
    long PeakKb = 0; // peak resident memory above what the process held before
    bool Ok = false;
};

// In a child process of its own, so that each size's peak is its own. As "Recover" does
// it: the journal read without its rows' text, the data file written from it, and, with
// the balance, the oxygen balance replayed from that file.
TRecoveryCost MeasureRecovery(const QString& journal, const QString& dataFolder, bool withBalance)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        TRecoveryCost cost;
        const long rssBefore = StatusKb("VmRSS");
        QElapsedTimer timer;
        timer.start();
        oxtiva::TJournalContents contents;
        QString error;
        QString written;
        cost.Ok = oxtiva::ReadJournal(journal, contents, error,
                                      oxtiva::TJournalRowKeeping::WithoutLines) &&
                  oxtiva::WriteRecoveredDataFile(contents, dataFolder, QDateTime::currentDateTime(),
                                                 written, error) &&
                  (!withBalance || oxtiva::WriteRecoveredOxygenFiles(contents, written, error));
        cost.Ms = timer.nsecsElapsed() / 1e6;
        cost.PeakKb = StatusKb("VmHWM") - rssBefore;
        [[maybe_unused]] const ssize_t n = write(pipeEnds[1], &cost, sizeof cost);
        _exit(0);
    }
    close(pipeEnds[1]);
    TRecoveryCost cost;
    const bool read = ::read(pipeEnds[0], &cost, sizeof cost) == sizeof cost;
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    if (!read) cost.Ok = false;
    return cost;
}

void RecoverSegment(benchmark::State& state, bool withBalance)
{
    const int rows = int(state.range(0));
    QTemporaryDir folder;
    const QString journal = folder.filePath("Journal_bench.journal");
    WriteSegment(journal, rows);
    for (auto _ : state) {
        const TRecoveryCost cost = MeasureRecovery(journal, folder.path(), withBalance);
        if (!cost.Ok) state.SkipWithError("recovery failed");
        state.SetIterationTime(cost.Ms / 1000);
        state.counters["recovery_ms"] = cost.Ms;
        state.counters["peak_rss_kb"] = double(cost.PeakKb);
        state.counters["journal_bytes"] = double(QFileInfo(journal).size());
    }
}

void BM_RecoverSegment(benchmark::State& state)
{
    RecoverSegment(state, false);
}
BENCHMARK(BM_RecoverSegment)
    ->Arg(1000)
    ->Arg(2400000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// The whole of "Recover": the data file and the balance beside it.
void BM_RecoverSegmentWithBalance(benchmark::State& state)
{
    RecoverSegment(state, true);
}
BENCHMARK(BM_RecoverSegmentWithBalance)
    ->Arg(1000)
    ->Arg(2400000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace
