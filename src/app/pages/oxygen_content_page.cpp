#include "app/pages/oxygen_content_page.h"

#include "app/window/experiment_graph.h"
#include "records/number_format.h"
#include "science/oxygen_history.h"
#include "science/oxygen_sensor.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <qcustomplot.h>

#include <cmath>
#include <limits>

namespace oxtiva
{

namespace
{

// The b line keeps at most twice this many points, more than a screen is wide, so that
// drawing it costs the same however long the run.
constexpr int MostPlottedPoints = 4096;

// A steady content is drawn as the steady line it is, not as its rounding magnified.
constexpr double MinimumContentSpan = 1e-4; // mol/mol
constexpr double MinimumLogpO2Span = 0.5;
const QColor ContentColour = Qt::darkMagenta;

// b is the mean over the step's last stability window, "± b" its standard deviation there.
const char* const IsothermColumns[] = {"Step", "Time, s", "Cell T, ºC", "Cell pO2, atm",
                                       "b",    "± b",     "δ"};

QString Content(double value)
{
    return std::isfinite(value) ? FormatFloat(u"0.000000", value) : QString();
}

QCustomPlot* Plot(const char* aName, const QString& aXLabel)
{
    auto* plot = new QCustomPlot;
    plot->setObjectName(QString::fromLatin1(aName));
    plot->setBackground(Qt::white);
    plot->xAxis->setLabel(aXLabel);
    plot->yAxis->setLabel(QStringLiteral("b, mol/mol"));
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    return plot;
}

QLineEdit* ReadOnlyValue(const char* aName)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(aName));
    edit->setReadOnly(true);
    return edit;
}

// The range widened by the given shares of its size below and above, so that no point
// sits on the frame.
QCPRange Padded(const QCPRange& aRange, double aBelow, double aAbove)
{
    return {aRange.lower - aBelow * aRange.size(), aRange.upper + aAbove * aRange.size()};
}

// aLabelRoom: the share of the width kept right of the last point for its label.
void Rescale(QCustomPlot* aPlot, double aMinimumXSpan, double aLabelRoom)
{
    aPlot->rescaleAxes();
    aPlot->xAxis->setRange(
        Padded(AtLeastSpan(aPlot->xAxis->range(), aMinimumXSpan), 0.03, 0.03 + aLabelRoom));
    aPlot->yAxis->setRange(
        Padded(AtLeastSpan(aPlot->yAxis->range(), MinimumContentSpan), 0.08, 0.08));
    aPlot->replot(QCustomPlot::rpQueuedReplot);
}

QTableWidgetItem* Item(const QString& aText)
{
    auto* item = new QTableWidgetItem(aText);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

TOxygenContentPage::TOxygenContentPage(QWidget* parent) : QWidget(parent)
{
    BuildContentPlot();
    BuildIsothermPlot();
    StringGridIsotherm = new QTableWidget(0, int(std::size(IsothermColumns)));
    StringGridIsotherm->setObjectName(QStringLiteral("StringGridIsotherm"));
    QStringList captions;
    for (const char* caption : IsothermColumns)
        captions << QString::fromUtf8(caption);
    StringGridIsotherm->setHorizontalHeaderLabels(captions);
    StringGridIsotherm->verticalHeader()->setVisible(false);
    StringGridIsotherm->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* layout = new QGridLayout(this);
    layout->addWidget(RtGraphOxygenContent, 0, 0);
    layout->addWidget(RtGraphIsotherm, 1, 0);
    auto* side = new QVBoxLayout;
    side->addWidget(BuildValues());
    side->addWidget(StringGridIsotherm, 1);
    layout->addLayout(side, 0, 1, 2, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    ClearAll();
}

void TOxygenContentPage::BuildContentPlot()
{
    RtGraphOxygenContent = Plot("RtGraphOxygenContent", QStringLiteral("Time, s"));
    RtLineSeriesOxygenContent = RtGraphOxygenContent->addGraph();
    RtLineSeriesOxygenContent->setName(QStringLiteral("Oxygen content b"));
    RtLineSeriesOxygenContent->setPen(QPen(ContentColour, 2));
    RtPointSeriesOxygenGaps = RtGraphOxygenContent->addGraph();
    RtPointSeriesOxygenGaps->setName(QStringLiteral("After a gap in the pump record"));
    RtPointSeriesOxygenGaps->setLineStyle(QCPGraph::lsNone);
    RtPointSeriesOxygenGaps->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCross, QPen(Qt::red, 2), Qt::NoBrush, 10));
    RtGraphOxygenContent->legend->setVisible(true);
    RtGraphOxygenContent->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop |
                                                                              Qt::AlignRight);
}

void TOxygenContentPage::BuildIsothermPlot()
{
    RtGraphIsotherm = Plot("RtGraphIsotherm", QStringLiteral("log10(pO2 / atm)"));
    RtPointSeriesIsotherm = RtGraphIsotherm->addGraph();
    RtPointSeriesIsotherm->setName(QStringLiteral("Isotherm"));
    RtPointSeriesIsotherm->setLineStyle(QCPGraph::lsNone);
    RtPointSeriesIsotherm->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssDisc, ContentColour, ContentColour, 8));
}

QWidget* TOxygenContentPage::BuildValues()
{
    auto* group = new QGroupBox(QStringLiteral("Now"));
    group->setObjectName(QStringLiteral("GroupBoxOxygenContent"));
    auto* form = new QFormLayout(group);
    EditOxygenContentb = ReadOnlyValue("EditOxygenContentb");
    EditOxygenContentDelta = ReadOnlyValue("EditOxygenContentDelta");
    EditOxygenContentAlpha = ReadOnlyValue("EditOxygenContentAlpha");
    form->addRow(QStringLiteral("Oxygen content b, mol/mol"), EditOxygenContentb);
    form->addRow(QStringLiteral("Nonstoichiometry δ = bs − b"), EditOxygenContentDelta);
    form->addRow(QStringLiteral("Leakage constant α, mol/(s·atm^¼)"), EditOxygenContentAlpha);
    LabelOxygenAlphaHeld = new QLabel;
    LabelOxygenAlphaHeld->setObjectName(QStringLiteral("LabelOxygenAlphaHeld"));
    LabelOxygenAlphaHeld->setWordWrap(true);
    form->addRow(LabelOxygenAlphaHeld);
    LabelOxygenGaps = new QLabel;
    LabelOxygenGaps->setObjectName(QStringLiteral("LabelOxygenGaps"));
    LabelOxygenGaps->setWordWrap(true);
    form->addRow(LabelOxygenGaps);
    return group;
}

void TOxygenContentPage::ClearAll()
{
    RtLineSeriesOxygenContent->data()->clear();
    fStride = 1;
    fSinceKept = 0;
    fLastProvisional = false;
    RtPointSeriesOxygenGaps->data()->clear();
    RtPointSeriesIsotherm->data()->clear();
    RtGraphIsotherm->clearItems();
    fLabelledTemperatures.clear();
    StringGridIsotherm->setRowCount(0);
    EditOxygenContentb->clear();
    EditOxygenContentDelta->clear();
    LabelOxygenGaps->setText(QStringLiteral("No gaps in the pump record"));
}

void TOxygenContentPage::AppendPoint(const TOxygenRecord& aRecord)
{
    const double time = aRecord.Result.TimeS;
    const double b = aRecord.Result.b;
    QCPGraphDataContainer& line = *RtLineSeriesOxygenContent->data();
    // The newest point is always drawn, but stays only if it falls on the stride.
    if (fLastProvisional) line.remove(line.at(line.size() - 1)->key);
    const bool kept = ++fSinceKept >= fStride || aRecord.Result.AfterGap;
    if (kept) fSinceKept = 0;
    fLastProvisional = !kept;
    if (aRecord.Result.AfterGap) {
        // No value at the gap's start interrupts the line there.
        line.add(QCPGraphData(aRecord.Input.StartS, std::numeric_limits<double>::quiet_NaN()));
        RtPointSeriesOxygenGaps->addData(time, b);
    }
    line.add(QCPGraphData(time, b));
    if (line.size() > 2 * MostPlottedPoints) ThinContentLine();
    fStale = true;
}

// Every other point goes, except the breaks at gaps and the newest; later points are kept
// at the doubled stride. Each point is thinned a bounded number of times, so a point costs
// the same at any length of run.
void TOxygenContentPage::ThinContentLine()
{
    QCPGraphDataContainer& line = *RtLineSeriesOxygenContent->data();
    QVector<QCPGraphData> kept;
    kept.reserve(line.size() / 2 + 16);
    int i = 0;
    for (auto it = line.constBegin(); it != line.constEnd(); ++it, ++i)
        if (i % 2 == 0 || std::isnan(it->value) || it + 1 == line.constEnd()) kept.push_back(*it);
    line.set(kept, true);
    fStride *= 2;
}

void TOxygenContentPage::AppendIsothermPoint(int aStep, const TOxygenRecord& aRecord,
                                             const TContentSpread& aContent)
{
    // The window's means, as b is; a caller without them gives the record's own.
    const double pO2 = aContent.pO2 > 0 ? aContent.pO2 : aRecord.Input.pO2;
    const double logpO2 = std::log10(pO2);
    const double b = aContent.Mean;
    const double tempC = (aContent.CellK > 0 ? aContent.CellK : aRecord.Input.CellK) - ZeroCelsiusK;
    RtPointSeriesIsotherm->addData(logpO2, b);
    // One label names a temperature's points; one at each would hide the points.
    const QString temperature = FormatFloat(u"0", tempC) + QStringLiteral(" °C");
    if (!fLabelledTemperatures.contains(temperature)) {
        fLabelledTemperatures.insert(temperature);
        auto* label = new QCPItemText(RtGraphIsotherm);
        label->position->setCoords(logpO2, b);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        label->setPadding(QMargins(6, 0, 0, 2));
        label->setText(temperature);
    }

    const int row = StringGridIsotherm->rowCount();
    StringGridIsotherm->insertRow(row);
    const QString cells[] = {QString::number(aStep),
                             FormatFloat(u"0.00", aRecord.Result.TimeS),
                             FormatFloat(u"0.00", tempC),
                             FormatFloat(u"0.000000E+00", pO2),
                             Content(b),
                             Content(aContent.Spread),
                             Content(aRecord.Result.Delta + aRecord.Result.b - b)};
    for (int col = 0; col < int(std::size(cells)); ++col)
        StringGridIsotherm->setItem(row, col, Item(cells[col]));
    fStale = true;
}

void TOxygenContentPage::ShowHistory(const TOxygenHistory& aHistory)
{
    ClearAll();
    for (std::size_t i = 0; i < aHistory.Size(); ++i)
        AppendPoint(aHistory.At(i));
    for (const TIsothermPoint& point : aHistory.Isotherm())
        AppendIsothermPoint(point.Step, aHistory.At(point.Index), aHistory.Content(point));
}

void TOxygenContentPage::ShowCurrent(const TOxygenHistory& aHistory, double aAlpha)
{
    EditOxygenContentAlpha->setText(FormatGeneral(aAlpha));
    LabelOxygenAlphaHeld->clear();
    if (!aHistory.Empty()) {
        const TOxygenRecord& last = aHistory.Last();
        const double heldFromK = AlphaHeldFromK(
            PeriodAt(aHistory.ConstantsHistory(), last.Result.TimeS).Alpha, last.Input.CellK);
        if (!std::isnan(heldFromK))
            LabelOxygenAlphaHeld->setText(
                QStringLiteral("α is held from its calibration at %1 °C, %2 K away: it was not "
                               "measured near this temperature.")
                    .arg(FormatFloat(u"0", heldFromK - ZeroCelsiusK),
                         FormatFloat(u"0", std::abs(last.Input.CellK - heldFromK))));
        EditOxygenContentb->setText(Content(aHistory.Last().Result.b));
        EditOxygenContentDelta->setText(Content(aHistory.Last().Result.Delta));
    }
    const int gaps = aHistory.Gaps();
    LabelOxygenGaps->setText(gaps == 0 ? QStringLiteral("No gaps in the pump record")
                                       : QStringLiteral("Gaps in the pump record: ") +
                                             QString::number(gaps) +
                                             QStringLiteral(" (red crosses: a stretch no "
                                                            "reading measured, or a pause)"));
}

void TOxygenContentPage::Replot()
{
    if (!isVisible()) return;
    fStale = false;
    Rescale(RtGraphOxygenContent, 1, 0);
    Rescale(RtGraphIsotherm, MinimumLogpO2Span, 0.12);
}

void TOxygenContentPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (fStale) Replot();
}

} // namespace oxtiva
