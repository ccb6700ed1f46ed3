#include "app/experiment/journal_keeper.h"

#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "records/date_time.h"
#include "records/journal_writer.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace oxtiva
{

namespace
{

// A write that has not come back after this long counts as failed until it does.
constexpr qint64 StuckWriteMs = 5000;

// Rows queued for a disk that refuses them; about a day of rows at one a second.
constexpr qint64 MaxQueuedBytes = 16 << 20;

// Unique in this process without asking the disk: the writer's thread makes it free there
// should another file have it.
QString NewJournalPath(const QString& userdata)
{
    static QString lastStem;
    static int sameStem = 1;
    QString stem = QStringLiteral("Journal_%1_%2")
                       .arg(QDateTime::currentDateTime().toString(
                           QStringLiteral("yyyy-MM-dd_hh-mm-ss")))
                       .arg(QCoreApplication::applicationPid());
    if (stem == lastStem) {
        stem += QStringLiteral("_%1").arg(++sameStem);
    } else {
        lastStem = stem;
        sameStem = 1;
    }
    return QDir(userdata).filePath(stem + QLatin1String(JournalSuffix));
}

} // namespace

QString JournalFailedCaption(const QString& cause)
{
    return QStringLiteral("Journal write failed: %1. New data points are only in memory")
        .arg(cause);
}

TJournalKeeper::TJournalKeeper(TfrmOxtiva& window) : fWindow(window)
{
    fLog.SetDestination(fWindow.LogDestination());
    WatchHeadEdits();
    WatchStepList();
}

// A recovered run brings back the step program it ran, which lives only in the list.
void TJournalKeeper::WatchStepList()
{
    const QAbstractItemModel* model = fWindow.ListBoxStepProgram->model();
    const auto changed = [this] { fStepsMayHaveChanged = true; };
    QObject::connect(model, &QAbstractItemModel::dataChanged, &fHeadEditWatch, changed);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, &fHeadEditWatch, changed);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, &fHeadEditWatch, changed);
    QObject::connect(model, &QAbstractItemModel::modelReset, &fHeadEditWatch, changed);
}

QStringList TJournalKeeper::StepLines() const
{
    QStringList lines;
    const QListWidget& list = *fWindow.ListBoxStepProgram;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

int TJournalKeeper::UnsavedRows() const
{
    return std::max(0, fWindow.StringGridData->RowCount() - std::max(fSaved.Rows, FixedGridRows));
}

// Every value a data file's head holds comes from an edit of the "Experiment data" page. A
// typed number changes its text before its value is taken, so values are watched too.
void TJournalKeeper::WatchHeadEdits()
{
    QWidget* page = fWindow.TabSheetExperimentSetup;
    const auto changed = [this] { fHeadMayHaveChanged = true; };
    for (QLineEdit* edit : page->findChildren<QLineEdit*>())
        QObject::connect(edit, &QLineEdit::textChanged, &fHeadEditWatch, changed);
    for (TRtDoubleEdit* edit : page->findChildren<TRtDoubleEdit*>())
        QObject::connect(edit, &TRtDoubleEdit::valueChanged, &fHeadEditWatch, changed);
    for (QPlainTextEdit* memo : page->findChildren<QPlainTextEdit*>())
        QObject::connect(memo, &QPlainTextEdit::textChanged, &fHeadEditWatch, changed);
}

TJournalKeeper::~TJournalKeeper()
{
    if (fWriter && !fWriter->WaitUntilWritten(StuckWriteMs))
        fLog.Send(QStringLiteral("Closing with rows not yet in the journal ") + fWriter->Path());
}

QString TJournalKeeper::Path() const
{
    return fWriter ? fWriter->Path() : QString();
}

bool TJournalKeeper::WaitUntilWritten(int timeoutMs)
{
    return !fWriter || fWriter->WaitUntilWritten(timeoutMs);
}

void TJournalKeeper::Sync()
{
    if (fClosed) return;
    const int rows = fWindow.StringGridData->RowCount();
    if (!fWriter) {
        if (rows <= FixedGridRows) return; // a run starts with its first row
        Start();
    }
    const TJournalWriter::TStatus status = fWriter->Status();
    ShowWriterState(status);
    // While the disk refuses, new rows wait in the grid, which holds them anyway, instead
    // of in a queue that would grow with the run; they follow in order once it takes them.
    if (!status.Error.isEmpty() && status.QueuedBytes >= MaxQueuedBytes) return;
    const QByteArray records = NewRecords(rows);
    if (!records.isEmpty()) fWriter->Append(records, rows);
    if (fSegmentWanted) StartSegment(rows, status);
}

// The new segment holds what a file written from it needs besides the saved rows: the
// head, the fixed rows, the save it starts from and the rows after that save.
void TJournalKeeper::StartSegment(int gridRows, const TJournalWriter::TStatus& status)
{
    if (status.Cutting) return; // the one before is not on the disk yet
    fSegmentWanted = false;
    // A save that did not record where its rows start cannot stand in for them.
    if (fSaved.Size < 0 || fSaved.RowsOffset < 0 || fSaved.Rows < FixedGridRows ||
        fSaved.Rows > gridRows || !fQueuedHead)
        return;
    QByteArray segment = JournalFirstLineBytes() + JournalHeadLine(*fQueuedHead);
    if (fQueuedSteps) segment += JournalStepsLine(*fQueuedSteps);
    AppendRows(segment, 0, FixedGridRows);
    segment += JournalBaseLine(fSaved);
    AppendRows(segment, fSaved.Rows, gridRows);
    const QString path = NewJournalPath(QFileInfo(fWriter->Path()).absolutePath());
    fWriter->StartSegment(path, segment, gridRows, fSaved.Path, fSaved.Size);
    fLog.Send(QStringLiteral("Journal goes on after the save of %1 rows in ").arg(fSaved.Rows) +
              QDir::toNativeSeparators(path));
}

void TJournalKeeper::Start()
{
    const QString userdata =
        QDir(fWindow.Saver().ProgramFolder()).filePath(QStringLiteral("Userdata"));
    const QString path = NewJournalPath(userdata);
    fWriter = std::make_unique<TJournalWriter>(path);
    fLog.Send(QStringLiteral("Journal of this session: ") + QDir::toNativeSeparators(path));
}

// The writer's news reaches the operator one pass after the write; the writer tries a
// failed write again on its own, after a pause.
void TJournalKeeper::ShowWriterState(const TJournalWriter::TStatus& status)
{
    if (status.Vanished) {
        StartAgainAfterLoss();
        return;
    }
    QString problem = status.Error;
    if (problem.isEmpty() && status.BusyMs > StuckWriteMs)
        problem =
            QStringLiteral("the disk has not answered for more than %1 s").arg(StuckWriteMs / 1000);
    if (problem == fShownProblem) return;
    fShownProblem = problem;
    if (problem.isEmpty()) {
        fWindow.Caption().ClearNotice(TCaptionNotice::JournalFailed);
        fLog.Send(QStringLiteral("Journal written again: ") + fWriter->Path());
        return;
    }
    fWindow.Caption().SetNotice(TCaptionNotice::JournalFailed, JournalFailedCaption(problem));
    fLog.Send(QStringLiteral("Journal write failed: ") + fWriter->Path() + QStringLiteral(": ") +
              problem);
}

// The file went with its folder or by hand; rows that were on the disk are not any more,
// so the whole journal is written again from the grid.
void TJournalKeeper::StartAgainAfterLoss()
{
    fLog.Send(QStringLiteral("Journal vanished, writing it again: ") + fWriter->Path());
    fWriter->Restart();
    fQueuedRows = 0;
    fQueuedHead.reset();
    fHeadMayHaveChanged = true;
    fQueuedSteps.reset();
    fStepsMayHaveChanged = true;
    fSavedQueued = fSaved.Rows == 0;
    // Small again once the whole grid is back on the disk, but only while the saved rows
    // are: the folder may have gone with the saved file in it, which the writer's thread
    // looks at before it cuts.
    fSegmentWanted = fSaved.Rows > 0;
}

QByteArray TJournalKeeper::NewRecords(int gridRows)
{
    QByteArray out;
    if (fQueuedRows == 0) out = JournalFirstLineBytes();
    // A note typed after the last row is in the next start's file too.
    if (fHeadMayHaveChanged) {
        fHeadMayHaveChanged = false;
        TJournalHead head = JournalHeadOf(fWindow.Saver().Content());
        if (head != fQueuedHead) {
            out += JournalHeadLine(head);
            fQueuedHead = std::move(head);
        }
    }
    if (fStepsMayHaveChanged) {
        fStepsMayHaveChanged = false;
        QStringList steps = StepLines();
        if (steps != fQueuedSteps) {
            out += JournalStepsLine(steps);
            fQueuedSteps = std::move(steps);
        }
    }
    AppendRows(out, fQueuedRows, gridRows);
    fQueuedRows = gridRows;
    if (!fSavedQueued) {
        out += JournalSavedLine(fSaved);
        fSavedQueued = true;
    }
    return out;
}

void TJournalKeeper::AppendRows(QByteArray& out, int firstRow, int endRow) const
{
    const TStringGrid& grid = *fWindow.StringGridData;
    const QDateTime now = WallNow().toUTC();
    for (int row = firstRow; row < endRow; ++row) {
        const QString line =
            DataLine(grid.ColCount(), [&grid, row](int col) { return grid.Cell(col, row); });
        out += JournalRowLine(row, {now, IsDataPointRow(grid, row), line});
    }
}

bool IsDataPointRow(const TStringGrid& grid, int row)
{
    bool ok = false;
    const int mode = grid.Cell(ColumnOf(TProperty::Mode).ColID, row).toInt(&ok);
    return ok && mode >= FirstDataPointModeCode;
}

void TJournalKeeper::NoteSaved(const TSavedFile& saved)
{
    fSaved = saved;
    fSavedQueued = false;
    fSegmentWanted = true;
    fHeadMayHaveChanged = true; // whatever the save read is what the journal holds
}

void TJournalKeeper::CloseSession()
{
    if (!fWriter) return;
    Sync();
    fClosed = true;
    const int rows = fWindow.StringGridData->RowCount();
    if (fSaved.Rows < rows) {
        // The next start then says that this close was a normal one.
        fWriter->Append(JournalClosedLine(), rows);
        const bool written = fWriter->WaitUntilWritten(StuckWriteMs);
        fLog.Send(QStringLiteral("Journal kept with %1 unsaved rows%2: ")
                      .arg(rows - fSaved.Rows)
                      .arg(written ? QString() : QStringLiteral(", not all of them written")) +
                  fWriter->Path());
        return;
    }
    QString error;
    if (fWriter->StopAndRemove(error))
        fLog.Send(QStringLiteral("Every row is saved; journal removed: ") + fWriter->Path());
    else
        fLog.Send(QStringLiteral("Every row is saved, but the journal could not be removed: ") +
                  error);
    fWriter.reset();
}

} // namespace oxtiva
