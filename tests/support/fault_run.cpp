#include "support/fault_run.h"

#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "instruments/thread2401.h"
#include "records/number_format.h"
#include "support/cell_sim.h"
#include "support/dialog_answerer.h"
#include "support/wait_for.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace oxtiva::testing
{

namespace
{

constexpr int PumpMicroamperes = 100;
constexpr double Tolerance = 0.05;
constexpr int ExamplesKept = 5;
const QString FaultRunCategory = QStringLiteral("Fault run");

// What the simulator said it answered: for each reply text, the context of the reading
// and whether it left while its asker was still waiting.
struct TReplyRecord {
    QString context;
    bool inTime = false;
};

struct TReplyBook {
    std::multimap<std::pair<double, double>, TReplyRecord> smu; // (volts, amperes)
    std::multimap<double, TReplyRecord> dmm;
};

std::vector<double> Numbers(const QString& text)
{
    std::vector<double> values;
    for (const QString& field : text.split(QLatin1Char(','))) {
        double value = 0;
        if (!ParseScpiDouble(field, value)) return {};
        values.push_back(value);
    }
    return values;
}

TReplyBook ReadReplyLog(const QString& path, TFaultRunFigures& figures)
{
    TReplyBook book;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return book;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QStringList f = QString::fromLatin1(raw).split(QLatin1Char('\t'));
        if (f.size() != 6) continue;
        ++figures.replies;
        const bool inTime = f[2] == QLatin1String("in-time");
        if (f[2] == QLatin1String("late")) ++figures.lateReplies;
        // A reading that rode behind a place mark comes last in its line.
        const std::vector<double> values = Numbers(f[5].section(QLatin1Char(';'), -1));
        if (f[0] == QLatin1String("smu") && values.size() == 2)
            book.smu.insert({{values[0], values[1]}, {f[3], inTime}});
        else if (f[0] == QLatin1String("dmm") && values.size() == 1)
            book.dmm.insert({values[0], {f[3], inTime}});
    }
    return book;
}

// The program's log parts, oldest first: Log.N.csl ... Log.1.csl, Log.csl.
QStringList LogLinesOf(const QString& logFolder)
{
    QStringList parts = QDir(logFolder).entryList({QStringLiteral("Log*.csl")}, QDir::Files);
    const auto index = [](const QString& name) {
        const QStringList pieces = name.split(QLatin1Char('.'));
        return pieces.size() == 3 ? pieces[1].toInt() : 0;
    };
    std::sort(parts.begin(), parts.end(),
              [&](const QString& a, const QString& b) { return index(a) > index(b); });
    QStringList lines;
    for (const QString& part : parts) {
        QFile file(QDir(logFolder).filePath(part));
        if (file.open(QIODevice::ReadOnly))
            lines << QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }
    return lines;
}

void NoteMisattributed(TFaultRunFigures& figures, const QString& what)
{
    ++figures.misattributed;
    if (figures.misattributedExamples.size() < ExamplesKept) figures.misattributedExamples << what;
}

// Every reading the program accepted, as its threads logged it, against what the
// simulator answered.
void CheckAttribution(const QStringList& logLines, const TReplyBook& book,
                      TFaultRunFigures& figures)
{
    const std::map<QString, QString> dmmContexts = {
        {QStringLiteral("Thermistor resistance: "), QStringLiteral("ch3 RES")},
        {QStringLiteral("Thermocouple voltage: "), QStringLiteral("ch1 VOLT")},
        {QStringLiteral("Sensor voltage: "), QStringLiteral("ch2 VOLT")}};
    QString pendingPump;      // a pump reading is accepted unless found implausible next
    bool underFaults = false; // readings are counted from the moment the faults began
    const auto settlePump = [&] {
        if (pendingPump.isEmpty()) return;
        if (underFaults) ++figures.smuReadings;
        const QStringList parts = pendingPump.split(QLatin1Char(' '));
        double volts = 0;
        double amperes = 0;
        const bool parsed = parts.size() == 5 && ParseLocaleDouble(parts[2], volts) &&
                            ParseLocaleDouble(parts[4], amperes);
        const auto [first, last] = book.smu.equal_range({volts, amperes});
        const bool own =
            parsed && std::any_of(first, last, [](const auto& r) { return r.second.inTime; });
        if (!own) NoteMisattributed(figures, QStringLiteral("SMU ") + pendingPump);
        pendingPump.clear();
    };
    for (const QString& line : logLines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 4) continue;
        const QString& category = f[2];
        const QString& text = f[3];
        if (category == FaultRunCategory) underFaults = true;
        if (category == QLatin1String("Thread 2401")) {
            if (text == QLatin1String("Implausible reading from instrument")) pendingPump.clear();
            settlePump();
            if (text.startsWith(QLatin1String("Pump voltage: "))) pendingPump = text;
            continue;
        }
        if (category != QLatin1String("Thread 2000")) continue;
        for (const auto& [prefix, context] : dmmContexts) {
            if (!text.startsWith(prefix)) continue;
            if (underFaults) ++figures.dmmReadings;
            double value = 0;
            const bool parsed = ParseLocaleDouble(text.mid(prefix.size()), value);
            const auto [first, last] = book.dmm.equal_range(value);
            const bool own = parsed && std::any_of(first, last, [&, c = context](const auto& r) {
                                 return r.second.inTime && r.second.context == c;
                             });
            if (!own) NoteMisattributed(figures, QStringLiteral("DMM ") + text);
        }
    }
    settlePump();
}

struct TTruth {
    TProperty property;
    double value;
};

void CheckGrid(const TStringGrid& grid, int firstRow, const std::vector<TTruth>& truths,
               TFaultRunFigures& figures)
{
    const int currentColumn = ColumnOf(TProperty::PumpI).ColID;
    for (int row = firstRow; row < grid.RowCount(); ++row) {
        if (grid.Cell(currentColumn, row).isEmpty()) continue; // a state row
        ++figures.points;
        for (const TTruth& truth : truths) {
            const QString cell = grid.Cell(ColumnOf(truth.property).ColID, row);
            if (cell.isEmpty()) continue;
            ++figures.gridValues;
            double value = 0;
            const bool parsed = ParseLocaleDouble(cell, value);
            if (parsed && std::fabs(value - truth.value) <= Tolerance * std::fabs(truth.value))
                continue;
            ++figures.valuesOutside;
            if (figures.outsideExamples.size() < ExamplesKept)
                figures.outsideExamples << ColumnOf(truth.property).Caption + QStringLiteral(" ") +
                                               cell + QStringLiteral(" vs ") +
                                               QString::number(truth.value);
        }
    }
}

// Serves the window's events for the given time, as the program's own loop does, and
// notes how long the loop was kept from running and how far apart the cycle's passes were.
void RunWatched(TfrmOxtiva& window, int ms, TFaultRunFigures& figures)
{
    constexpr int ProbeMs = 10;
    QElapsedTimer clock;
    clock.start();
    qint64 lastProbe = 0;
    qint64 lastCycle = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        figures.longestStallMs = std::max(figures.longestStallMs, now - lastProbe - ProbeMs);
        lastProbe = now;
    });
    const auto cycle = QObject::connect(window.Timer1, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastCycle >= 0)
            figures.longestCycleGapMs = std::max(figures.longestCycleGapMs, now - lastCycle);
        lastCycle = now;
    });
    probe.start(ProbeMs);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    probe.stop();
    QObject::disconnect(cycle);
    figures.seconds = clock.elapsed() / 1000.0;
}

} // namespace

QString TFaultRunFigures::Summary() const
{
    return QStringLiteral("%1 s: readings accepted SMU %2, DMM %3; misattributed %4; replies %5, "
                          "late %6; points %7 (%8/min); grid values %9, outside ±5 % %10; "
                          "longest stall %11 ms; longest cycle gap %12 ms")
        .arg(seconds, 0, 'f', 1)
        .arg(smuReadings)
        .arg(dmmReadings)
        .arg(misattributed)
        .arg(replies)
        .arg(lateReplies)
        .arg(points)
        .arg(pointsPerMinute, 0, 'f', 1)
        .arg(gridValues)
        .arg(valuesOutside)
        .arg(longestStallMs)
        .arg(longestCycleGapMs);
}

// Late means past the SourceMeter's 500 ms time-out, while the multimeter, which waits
// 2 s, gets its late replies in time; only the first scenario makes every reply of both
// come after its time-out. "All faults together" shares 5 % of the replies among every kind
// of fault, as the dropped, garbled and cut replies share theirs. Every kind at 5 % at once
// strikes 15 % of the replies and is held to 70 %: each late SourceMeter reply stands its
// line still for about 0.62 s, 5 of them for every 1.7 s of 95 clean readings, and a point
// closes only with the first reading after its second has passed, which bounds that run
// near 80 % however little the program loses around each fault.
std::vector<TFaultScenario> FaultScenarios()
{
    return {
        {"EveryReplyLatePastTheTimeOut",
         {QStringLiteral("late smu 510"), QStringLiteral("late dmm 2010")},
         false,
         0},
        {"TwoPercentOfRepliesLate",
         {QStringLiteral("late smu 600 0.02"), QStringLiteral("late dmm 600 0.02")},
         true,
         0.8},
        {"TwoPercentOfRepliesPaused",
         {QStringLiteral("pause smu 40 0.02"), QStringLiteral("pause dmm 40 0.02")},
         true,
         0.8},
        {"FivePercentDroppedGarbledOrCutTwoPercentOverflowOrExtraField",
         {QStringLiteral("chance smu no-reply 0.017"), QStringLiteral("chance smu junk 0.017"),
          QStringLiteral("chance smu half 0.016"), QStringLiteral("chance smu overflow 0.01"),
          QStringLiteral("chance smu three-fields 0.01"),
          QStringLiteral("chance dmm no-reply 0.017"), QStringLiteral("chance dmm junk 0.017"),
          QStringLiteral("chance dmm half 0.016"), QStringLiteral("chance dmm overflow 0.02")},
         true,
         0.85},
        {"AllFaultsTogetherAtFivePercent",
         {QStringLiteral("late smu 600 0.01"), QStringLiteral("late dmm 600 0.01"),
          QStringLiteral("pause smu 40 0.01"), QStringLiteral("pause dmm 40 0.01"),
          QStringLiteral("chance smu no-reply 0.007"), QStringLiteral("chance smu junk 0.007"),
          QStringLiteral("chance smu half 0.006"), QStringLiteral("chance smu overflow 0.005"),
          QStringLiteral("chance smu three-fields 0.005"),
          QStringLiteral("chance dmm no-reply 0.008"), QStringLiteral("chance dmm junk 0.008"),
          QStringLiteral("chance dmm half 0.009"), QStringLiteral("chance dmm overflow 0.005")},
         true,
         0.85},
        {"EveryFaultKindAtFivePercent",
         {QStringLiteral("late smu 600 0.05"), QStringLiteral("late dmm 600 0.05"),
          QStringLiteral("pause smu 40 0.05"), QStringLiteral("pause dmm 40 0.05"),
          QStringLiteral("chance smu no-reply 0.017"), QStringLiteral("chance smu junk 0.017"),
          QStringLiteral("chance smu half 0.016"), QStringLiteral("chance dmm no-reply 0.017"),
          QStringLiteral("chance dmm junk 0.017"), QStringLiteral("chance dmm half 0.016")},
         true,
         0.7},
    };
}

TFaultRunFigures RunFaultScenario(const TFaultRunOptions& options)
{
    TFaultRunFigures figures;
    QTemporaryDir folder;
    const QString replyLog = folder.filePath(QStringLiteral("replies.tsv"));
    TCellSimOptions simOptions;
    simOptions.timeScale = 0; // a frozen cell: its state is the truth of every reading
    simOptions.latencyMs = 1;
    simOptions.modelWireTime = true;
    simOptions.extraArgs = {QStringLiteral("--reply-log"), replyLog,
                            QStringLiteral("--tag-readings"), QStringLiteral("--seed"),
                            QStringLiteral("11")};
    TCellSim sim(simOptions);
    TMessageBoxAnswerer answerer;
    TLogger& pumpLog = Thread2401Log();
    std::vector<TTruth> truths;
    {
        auto window = std::make_unique<TfrmOxtiva>(nullptr, folder.path());
        window->RtDoubleEditDataPointLength->setValue(1);
        window->State().LogCategories.Include(TLogCat::DMM);
        pumpLog.SetDestination(window->LogDestination());
        pumpLog.SetEnabled(true);
        window->EditSMUCOMPort->setText(sim.SmuPort());
        window->ButtonSMUTest->click();
        window->Edit2000COMPort->setText(sim.DmmPort());
        window->Button2000Test->click();
        if (window->State().ProgramState == TProgramState::Paused) {
            window->RtIntegerEditCurrentmA->setValue(PumpMicroamperes);
            answerer.Expect(QMessageBox::Yes);
            window->RadioButtonModePassive->click();
            // The first pass of the new state saves the experiment; the run starts after it.
            figures.ran = window->State().ProgramState == TProgramState::ZeroCurrent &&
                          WaitFor([&] { return window->StringGridData->RowCount() > 3; }, 10000);
        }
        for (const QString& line : options.faultLines)
            figures.ran = figures.ran && sim.Command(line) == QLatin1String("ok");
        window->LogDestination()->Write(FaultRunCategory, QStringLiteral("Faults on"));
        const int firstRow = window->StringGridData->RowCount();
        if (figures.ran) RunWatched(*window, options.seconds * 1000, figures);
        auto state = sim.State();
        truths = {{TProperty::PumpI, state[QStringLiteral("pump_i_a")]},
                  {TProperty::PumpV, state[QStringLiteral("pump_v_v")]},
                  {TProperty::Temp, state[QStringLiteral("temp_c")]},
                  {TProperty::CellpO2, state[QStringLiteral("po2_atm")]}};
        CheckGrid(*window->StringGridData, firstRow, truths, figures);
        answerer.Expect(QMessageBox::Ok);
        window->close();
        window.reset();
    }
    pumpLog.SetEnabled(false);
    pumpLog.SetDestination(TLogDestination::Default());
    sim.Command(QStringLiteral("quit"));
    CheckAttribution(LogLinesOf(QDir(folder.path()).filePath(QStringLiteral("Logs"))),
                     ReadReplyLog(replyLog, figures), figures);
    if (figures.seconds > 0) figures.pointsPerMinute = figures.points * 60 / figures.seconds;
    return figures;
}

} // namespace oxtiva::testing
