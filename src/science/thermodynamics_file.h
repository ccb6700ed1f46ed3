#pragma once

#include "science/isotherm_source.h"
#include "science/oxygen_thermodynamics.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace oxtiva
{

// The isotherms the thermodynamics of a sample are taken from.
struct TThermodynamicsInput {
    QString SampleName;
    QString SampleFormula;
    std::vector<TIsothermSource> Sources;
};

// Every point of every source.
std::vector<TIsothermSample> AllPoints(const TThermodynamicsInput& aInput);

// "<sample>_thermodynamics.csv": one table that a CSV reader loads as it is (UTF-8, ","
// between fields, "." in every number, an empty field where there is no value). Lines
// starting with "#" give the equation and its units, and name the isotherm files and
// temperatures used; then one row per delta: delta, dh_O_kJ_per_mol, dh_O_error,
// ds_O_J_per_mol_K, ds_O_error, temperatures, and log10_pO2_<T>K for each temperature.
QByteArray BuildThermodynamicsFile(const TThermodynamicsInput& aInput,
                                   const TThermodynamics& aResult, const QString& aSavedAt);

// "Ceria" gives "Ceria_thermodynamics.csv".
QString ThermodynamicsFileName(const QString& aSampleStem);

// Fits aInput and writes its file (a source without a name is the running experiment,
// named by the isotherm file beside the data file), whole or not at all, into the folder of the data file
// aDataFilePath (a newer save's replaces an older one's); runs on any thread. False with the
// reason in aError.
bool WriteThermodynamicsFileBeside(const QString& aDataFilePath, const QString& aSampleStem,
                                   const TThermodynamicsInput& aInput, QString& aError);

} // namespace oxtiva
