#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <vector>

namespace oxtiva
{

class TOxygenHistory;

// One completed step of an isotherm: where the sample settled and how much its oxygen
// deficiency scattered over the step's last stability window.
struct TIsothermSample {
    double CellK = 0;
    double pO2 = 0;         // atm
    double Delta = 0;       // oxygen deficiency, mol O per mol compound (bs - b)
    double DeltaSpread = 0; // standard deviation of delta over the window
};

// The isotherm points of one run with what tells its sample apart: the points of another
// sample must not be mixed in by mistake.
struct TIsothermSource {
    QString Name; // the isotherm file's name, or what stands for the running experiment
    QString SampleName;
    QString SampleFormula;
    QStringList Constants; // "b0 = 1.98", "n0 = 0.0058", ...: the sample's, newest value each
    std::vector<TIsothermSample> Points;
};

// Reads an "_isotherm.csv" table by its column names (cell_T_C, pO2_atm, delta, b_spread),
// whatever other columns it has and whatever form its time takes; rows without a usable
// temperature, pO2 or delta are passed over. False with aError when the bytes are no
// isotherm table.
bool ParseIsothermFile(QByteArrayView aBytes, TIsothermSource& aSource, QString& aError);
bool ReadIsothermFile(const QString& aPath, TIsothermSource& aSource, QString& aError);

// The running experiment's isotherm, as its isotherm file would give it.
TIsothermSource IsothermOfHistory(const TOxygenHistory& aHistory, const QString& aName,
                                  const QString& aSampleName, const QString& aSampleFormula);

} // namespace oxtiva
