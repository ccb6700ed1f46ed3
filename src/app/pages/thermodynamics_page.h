#pragma once

#include "science/oxygen_thermodynamics.h"
#include "science/thermodynamics_file.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

class QCPErrorBars;
class QCPGraph;
class QCustomPlot;
class QLabel;
class QPushButton;
class QTableWidget;

namespace oxtiva
{

// The page "Thermodynamics": the partial molar enthalpy and entropy of the sample's oxygen
// against delta, from the isotherms of the running experiment and of the isotherm files the
// operator adds. Each source is listed with its sample's name, formula and constants, and a
// source of another sample than the running one is named in a warning, so that no points of
// another sample are mixed in unseen. A table and two plots with error bars show the fit;
// values behind fewer than three temperatures are drawn hollow and marked in the table.
class TThermodynamicsPage : public QWidget
{
    Q_OBJECT

  public:
    explicit TThermodynamicsPage(QWidget* parent = nullptr);

    // Gives the running experiment's isotherm, its source's Name left empty (the isotherm
    // file beside each data file holds it).
    void SetRunningSource(std::function<TIsothermSource()> aRunning)
    {
        fRunning = std::move(aRunning);
    }
    // Reads each file as an isotherm; files that are none are named in the page's message.
    void AddIsothermFiles(const QStringList& aPaths);
    void RemoveSelectedSources();
    // The running experiment's isotherm and the added ones, as a save fits them.
    TThermodynamicsInput Input() const;
    // Fits again and shows it, if the page is shown; otherwise when it is.
    void Refresh();
    const TThermodynamics& Result() const { return fResult; }
    void ShowMessage(const QString& aText);

    QLabel* LabelThermodynamicsConvention = nullptr;
    QTableWidget* StringGridIsothermSources = nullptr;
    QPushButton* ButtonAddIsotherms = nullptr;
    QPushButton* ButtonRemoveIsotherms = nullptr;
    QPushButton* ButtonSaveThermodynamics = nullptr;
    QLabel* LabelThermodynamicsMessage = nullptr;
    QLabel* LabelOtherSample = nullptr;
    QTableWidget* StringGridThermodynamics = nullptr;
    QCustomPlot* RtGraphEnthalpy = nullptr;
    QCustomPlot* RtGraphEntropy = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* BuildSources();
    void ButtonAddIsothermsClick();
    void Show();
    void ShowSources(const TThermodynamicsInput& aInput);
    void ShowTable();
    void ShowPlots();

    std::function<TIsothermSource()> fRunning;
    std::vector<TIsothermSource> fAdded;
    TThermodynamics fResult;
    bool fStale = true;
};

} // namespace oxtiva
