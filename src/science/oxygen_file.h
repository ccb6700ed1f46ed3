#pragma once

#include <QByteArray>
#include <QString>

namespace oxtiva
{

class TOxygenHistory;

// "<stem>_oxygen.csv", written beside each data file: the oxygen balance's constants, a
// row per data point and the isotherm points. The same bytes as the data file (Windows-1252,
// ";" between fields, CR LF after every line); numbers in the general number format with the
// locale's separator, an empty field where a value cannot be computed.
struct TOxygenFileContent {
    QString SampleName;
    QString SampleFormula;
    QString SavedAt;      // "yyyy-mm-dd hh:mm"
    QString DataFileName; // the data file saved with it
    const TOxygenHistory* History = nullptr;
};

QByteArray BuildOxygenFile(const TOxygenFileContent& content);

// The name beside a data file: "Ceria_0003.csv" gives "Ceria_0003_oxygen.csv".
QString OxygenFileName(const QString& dataFileName);

} // namespace oxtiva
