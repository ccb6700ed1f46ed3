#include "app/window/data_grid.h"

#include "app/window/column_table.h"

#include <QHeaderView>

#include <algorithm>
#include <atomic>

namespace oxtiva
{

namespace
{

// Byte range [begin, end) of cell aCol in aRow; begin == -1 when the row stores fewer cells.
std::pair<qsizetype, qsizetype> CellRange(const QByteArray& aRow, int aCol)
{
    qsizetype begin = 0;
    for (int c = 0; c < aCol; ++c) {
        const qsizetype sep = aRow.indexOf(CellSeparator, begin);
        if (sep < 0) return {-1, -1};
        begin = sep + 1;
    }
    qsizetype end = aRow.indexOf(CellSeparator, begin);
    if (end < 0) end = aRow.size();
    return {begin, end};
}

} // namespace

QString PackedCell(const QByteArray& aRow, int aCol)
{
    if (aCol < 0 || aRow.isEmpty()) return {};
    const auto [begin, end] = CellRange(aRow, aCol);
    if (begin < 0) return {};
    return QString::fromUtf8(aRow.constData() + begin, end - begin);
}

void SetPackedCell(QByteArray& aRow, int aCol, const QString& aText)
{
    if (aCol < 0) return;
    QByteArray utf8 = aText.toUtf8();
    utf8.replace(CellSeparator, ' '); // a separator inside a text would shift the cells after it
    auto [begin, end] = CellRange(aRow, aCol);
    if (begin < 0) {
        if (utf8.isEmpty()) return;
        const qsizetype stored = aRow.count(CellSeparator) + 1;
        aRow.append(QByteArray(aCol - stored + 1, CellSeparator));
        aRow.append(utf8);
        return;
    }
    aRow.replace(begin, end - begin, utf8);
}

// ---- TGridModel ----

QString TGridSnapshot::Cell(int aCol, int aRow) const
{
    if (aCol < 0 || aCol >= fColCount || aRow < 0 || aRow >= fRowCount) return {};
    return PackedCell((*fChunks[aRow / GridChunkRows])[aRow % GridChunkRows], aCol);
}

TGridModel::TGridModel(QObject* parent) : QAbstractTableModel(parent)
{
    fChunks.push_back(std::make_shared<TGridChunk>());
    fChunks.back()->reserve(GridChunkRows);
    fChunks.back()->resize(2);
    fRowCount = 2;
}

const QByteArray& TGridModel::Row(int aRow) const
{
    return (*fChunks[aRow / GridChunkRows])[aRow % GridChunkRows];
}

QByteArray& TGridModel::RowToChange(int aRow)
{
    std::shared_ptr<TGridChunk>& chunk = fChunks[aRow / GridChunkRows];
    if (chunk.use_count() > 1) {
        chunk = std::make_shared<TGridChunk>(*chunk);
        chunk->reserve(GridChunkRows);
    } else {
        // A save thread that let its snapshot go has finished reading the chunk.
        std::atomic_thread_fence(std::memory_order_acquire);
    }
    return (*chunk)[aRow % GridChunkRows];
}

TGridSnapshot TGridModel::Snapshot() const
{
    TGridSnapshot snapshot;
    snapshot.fChunks.assign(fChunks.begin(), fChunks.end());
    snapshot.fRowCount = fRowCount;
    snapshot.fColCount = fColCount;
    return snapshot;
}

void TGridModel::SetColCount(int aCount)
{
    if (aCount < 0 || aCount == fColCount) return;
    beginResetModel();
    fColCount = aCount;
    endResetModel();
}

int TGridModel::AddRow()
{
    const int row = RowCount();
    beginInsertRows(QModelIndex(), row - 1, row - 1);
    if (row % GridChunkRows == 0) {
        fChunks.push_back(std::make_shared<TGridChunk>());
        fChunks.back()->reserve(GridChunkRows);
    } else if (fChunks.back().use_count() > 1) {
        RowToChange(row - 1); // a snapshot holds the chunk: the grid takes a copy of its own
    }
    fChunks.back()->emplace_back();
    ++fRowCount;
    endInsertRows();
    return row;
}

bool TGridModel::ValidCell(int aCol, int aRow) const
{
    return aCol >= 0 && aCol < fColCount && aRow >= 0 && aRow < RowCount();
}

QString TGridModel::Cell(int aCol, int aRow) const
{
    if (!ValidCell(aCol, aRow)) return {};
    return PackedCell(Row(aRow), aCol);
}

void TGridModel::SetCell(int aCol, int aRow, const QString& aText)
{
    if (!ValidCell(aCol, aRow)) return;
    SetPackedCell(RowToChange(aRow), aCol, aText);
    if (aRow == 0) {
        emit headerDataChanged(Qt::Horizontal, aCol, aCol);
    } else {
        const QModelIndex changed = index(aRow - 1, aCol);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
}

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount() - 1;
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : fColCount;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return Cell(index.column(), index.row() + 1);
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return Cell(section, 0);
    return section + 1;
}

// ---- TStringGrid ----

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent), fModel(new TGridModel(this))
{
    setModel(fModel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(GridRowHeight);
    verticalHeader()->setDefaultSectionSize(GridRowHeight);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    setWordWrap(false);
}

void TStringGrid::ScrollToRow(int aRow)
{
    if (aRow < 1 || aRow >= RowCount()) return;
    const QModelIndex target = fModel->index(aRow - 1, 0);
    setCurrentIndex(target);
    scrollTo(target);
}

QString WidestColumnText(const RColInfo& aColumn)
{
    if (aColumn.ColID == ColumnOf(TProperty::Time).ColID)
        return QStringLiteral("8888-88-88 88:88:88");
    // A step's set point: a log(pO2) cut to six characters, or volts.
    if (aColumn.ColID == ColumnOf(TProperty::SetPoint).ColID) return QStringLiteral("-88.888");
    if (aColumn.Format == QLatin1String("0")) return QStringLiteral("True");
    QString text = aColumn.Format;
    for (QChar& c : text)
        if (c.isLetter() && c != QLatin1Char('E')) c = QLatin1Char('8');
    text.replace(QLatin1Char('0'), QLatin1Char('8'));
    return text.contains(QLatin1Char('-')) ? text : QLatin1Char('-') + text;
}

int FittedColumnWidth(const RColInfo& aColumn, const QFontMetrics& aCellFont,
                      const QFontMetrics& aCaptionFont)
{
    constexpr int CellMargin = 12; // the grid lines and the text's padding on both sides
    return std::max({aColumn.ColWidth, aCaptionFont.horizontalAdvance(aColumn.Caption) + CellMargin,
                     aCellFont.horizontalAdvance(WidestColumnText(aColumn)) + CellMargin});
}

void FormatGrid(TStringGrid& aGrid)
{
    aGrid.SetColCount(PropertyCount);
    const QFontMetrics cellFont = aGrid.fontMetrics();
    const QFontMetrics captionFont = aGrid.horizontalHeader()->fontMetrics();
    for (const RColInfo& column : ColInfo) {
        if (column.ColID < 0 || column.Caption.isEmpty()) continue;
        aGrid.SetCell(column.ColID, 0, column.Caption);
        aGrid.setColumnWidth(column.ColID, FittedColumnWidth(column, cellFont, captionFont));
    }
}

} // namespace oxtiva
