#pragma once

#include "app/window/column_table.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QTableView>

#include <memory>
#include <vector>

class QFontMetrics;

namespace oxtiva
{

// A row's cells packed into one UTF-8 byte array, cells separated by CellSeparator. An
// experiment of a month holds a quarter of a million rows, so a row must cost one
// allocation, not one object per cell. Cells past the stored ones read as empty.
inline constexpr char CellSeparator = '\x1f';
QString PackedCell(const QByteArray& aRow, int aCol);
void SetPackedCell(QByteArray& aRow, int aCol, const QString& aText);

// Rows are kept in chunks that a snapshot shares: taking one costs a pointer per chunk,
// and a chunk is copied only when the grid changes it while a snapshot still holds it.
inline constexpr int GridChunkRows = 4096;
using TGridChunk = std::vector<QByteArray>;

// The grid's text at one moment, for a save on another thread: it never changes, and the
// grid goes on growing beside it.
class TGridSnapshot
{
  public:
    int RowCount() const { return fRowCount; }
    int ColCount() const { return fColCount; }
    QString Cell(int aCol, int aRow) const;

  private:
    friend class TGridModel;
    std::vector<std::shared_ptr<const TGridChunk>> fChunks;
    int fRowCount = 0;
    int fColCount = 0;
};

// The grid's text, addressed in the grid's own row numbers: row 0 is the caption row (the
// view shows it as the horizontal header), row 1 the empty row present from the start,
// data and state rows follow. Model row m is grid row m + 1.
class TGridModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    explicit TGridModel(QObject* parent = nullptr);

    int RowCount() const { return fRowCount; }
    int ColCount() const { return fColCount; }
    void SetColCount(int aCount);
    int AddRow();
    QString Cell(int aCol, int aRow) const;
    void SetCell(int aCol, int aRow, const QString& aText);
    TGridSnapshot Snapshot() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    bool ValidCell(int aCol, int aRow) const;
    const QByteArray& Row(int aRow) const;
    QByteArray& RowToChange(int aRow);

    std::vector<std::shared_ptr<TGridChunk>> fChunks;
    int fRowCount = 0;
    int fColCount = 5;
};

// StringGridData: whole-row selection, no editing, rows of 20 pixels, columns the operator
// can widen; the grid only grows while the program runs.
class TStringGrid : public QTableView
{
    Q_OBJECT

  public:
    explicit TStringGrid(QWidget* parent = nullptr);

    TGridModel& Model() { return *fModel; }
    const TGridModel& Model() const { return *fModel; }

    int RowCount() const { return fModel->RowCount(); }
    int ColCount() const { return fModel->ColCount(); }
    void SetColCount(int aCount) { fModel->SetColCount(aCount); }
    int AddRow() { return fModel->AddRow(); }
    QString Cell(int aCol, int aRow) const { return fModel->Cell(aCol, aRow); }
    void SetCell(int aCol, int aRow, const QString& aText) { fModel->SetCell(aCol, aRow, aText); }
    TGridSnapshot Snapshot() const { return fModel->Snapshot(); }
    // Makes the row current and scrolls it into view; the caption row cannot be current.
    void ScrollToRow(int aRow);

  private:
    TGridModel* fModel;
};

inline constexpr int GridRowHeight = 20;

// The widest text a column shows: a state row's date and time in the duration column, a
// set point of six characters, the column format with every digit at its widest and a
// sign for numbers, "True" for the other text columns.
QString WidestColumnText(const RColInfo& aColumn);

// The column table's width, widened where the grid's fonts need more room for the caption
// or for the widest text: a number cut short ("9.276...") would hide its exponent.
int FittedColumnWidth(const RColInfo& aColumn, const QFontMetrics& aCellFont,
                      const QFontMetrics& aCaptionFont);

// Sets the grid to 16 columns and gives each quantity's column its caption (row 0) and
// its fitted width.
void FormatGrid(TStringGrid& aGrid);

} // namespace oxtiva
