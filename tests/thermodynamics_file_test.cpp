#include "science/physical_constants.h"
#include "science/thermodynamics_file.h"
#include "support/qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace oxtiva
{
namespace
{

// Isotherms of a sample with dh_O = -150 + 100 delta kJ/mol and ds_O = -80 + 50 delta
// J/(mol K), at 700, 750 and 800 °C, the first from a file of another name.
TThermodynamicsInput Input()
{
    TThermodynamicsInput input;
    input.SampleName = QStringLiteral("Ceria, ½ doped");
    input.SampleFormula = QStringLiteral("Ce0.9Gd0.1O2");
    auto pO2 = [](double cellK, double delta) {
        const double dh = -150e3 + 100e3 * delta, ds = -80 + 50 * delta;
        return std::exp(2 * (dh - cellK * ds) / (GasConstant * cellK));
    };
    for (int i = 0; i < 3; ++i) {
        TIsothermSource source;
        source.Name = i == 0 ? QStringLiteral("Ceria_0001_isotherm.csv") : QString();
        source.SampleName = input.SampleName;
        source.SampleFormula = input.SampleFormula;
        source.Constants = {QStringLiteral("b0 = 1.95"), QStringLiteral("n0 = 0.0058"),
                            QStringLiteral("bs = 2")};
        const double cellK = 973.15 + 50 * i;
        for (double delta : {0.01, 0.02, 0.03, 0.05})
            source.Points.push_back({cellK + 0.2 * delta, pO2(cellK, delta), delta, 2e-4});
        input.Sources.push_back(source);
    }
    // The running experiment is one source, whatever its temperatures.
    input.Sources[1].Points.insert(input.Sources[1].Points.end(), input.Sources[2].Points.begin(),
                                   input.Sources[2].Points.end());
    input.Sources.pop_back();
    return input;
}

// Python's csv module reads the file as any reader would, comments skipped, and gives every
// column as a list of its texts.
const char* const ReadColumns = R"(
import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.DictReader(line for line in f if not line.startswith('#')))
print(json.dumps({name: [row[name] for row in rows] for name in rows[0].keys()}))
)";

TEST(ThermodynamicsFile, IsReadColumnByColumnByAStandardCsvReader)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) GTEST_SKIP() << "no python3 on this machine";
    QTemporaryDir dir;
    const QString dataFile = dir.filePath(QStringLiteral("Ceria_0003.csv"));
    QString error;
    ASSERT_TRUE(WriteThermodynamicsFileBeside(dataFile, QStringLiteral("Ceria"), Input(), error))
        << error.toStdString();
    const QString path = dir.filePath(QStringLiteral("Ceria_thermodynamics.csv"));
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromUtf8(ReadColumns), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QJsonObject columns = QJsonDocument::fromJson(process.readAllStandardOutput()).object();

    const TThermodynamics fit = FitThermodynamics(AllPoints(Input()));
    ASSERT_EQ(fit.TemperaturesK.size(), 3u);
    ASSERT_EQ(fit.Rows.size(), 50u);
    const QStringList names = {QStringLiteral("delta"),        QStringLiteral("dh_O_kJ_per_mol"),
                               QStringLiteral("dh_O_error"),   QStringLiteral("ds_O_J_per_mol_K"),
                               QStringLiteral("ds_O_error"),   QStringLiteral("temperatures"),
                               QStringLiteral("log10_pO2_973.2K"), QStringLiteral("log10_pO2_1023.2K"),
                               QStringLiteral("log10_pO2_1073.2K")};
    EXPECT_EQ(columns.keys().size(), names.size());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QJsonArray column = columns.value(name).toArray();
        ASSERT_EQ(column.size(), qsizetype(fit.Rows.size()));
        for (std::size_t i = 0; i < fit.Rows.size(); ++i) {
            const TThermodynamicsRow& row = fit.Rows[i];
            const double expected[] = {row.Delta,  row.dhO_kJ,    row.dhO_Error,
                                       row.dsO_J,  row.dsO_Error, double(row.Temperatures),
                                       row.Log10pO2[0], row.Log10pO2[1], row.Log10pO2[2]};
            const QString text = column[qsizetype(i)].toString();
            const double value = expected[names.indexOf(name)];
            if (std::isnan(value))
                EXPECT_TRUE(text.isEmpty()) << "no value is an empty field";
            else
                EXPECT_EQ(text.toDouble(), value) << "full precision";
        }
    }
    EXPECT_NEAR(fit.Rows[10].dhO_kJ, -150 + 100 * fit.Rows[10].Delta, 0.5);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("of Ceria, ½ doped (Ce0.9Gd0.1O2)")));
    EXPECT_TRUE(text.contains(QStringLiteral("# isotherm file Ceria_0001_isotherm.csv: ")));
    EXPECT_TRUE(text.contains(QStringLiteral("# isotherm file Ceria_0003_isotherm.csv: ")))
        << "the running experiment is the isotherm beside the data file";
    EXPECT_TRUE(text.contains(QStringLiteral("# temperature 1023.2 K (750.0 °C): 4 isotherm points")));
    EXPECT_TRUE(text.contains(QStringLiteral("b0 = 1.95, n0 = 0.0058, bs = 2, 8 points")));
}

} // namespace
} // namespace oxtiva
