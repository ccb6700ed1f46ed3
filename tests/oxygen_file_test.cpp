#include "records/date_time.h"
#include "science/oxygen_file.h"
#include "science/oxygen_history.h"
#include "support/qstring_printer.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace oxtiva
{
namespace
{

// A local time as the files write it: ISO 8601 with the clock's offset from UTC.
QString IsoWithOffset(const QDateTime& local)
{
    const int minutes = local.offsetFromUtc() / 60;
    return local.toString("yyyy-MM-ddTHH:mm:ss.zzz") + (minutes < 0 ? "-" : "+") +
           QTime(0, 0).addSecs(std::abs(minutes) * 60).toString("HH:mm");
}

// What a standard CSV reader makes of the bytes, told to skip comment lines: records of
// fields split at "," outside double quotes, "" inside quotes standing for one quote.
QList<QStringList> ReadCsv(const QByteArray& bytes)
{
    QList<QStringList> records;
    for (QString line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n"))) {
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        QStringList fields{QString()};
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"')
                fields.last() += line[++i];
            else if (c == u'"')
                quoted = !quoted;
            else if (c == u',' && !quoted)
                fields << QString();
            else
                fields.last() += c;
        }
        records << fields;
    }
    return records;
}

class OxygenFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        TOxygenBalanceConstants c;
        c.HotVolumeL = 0.012;
        c.ColdEndK = 303.15;
        c.LeakAlpha = 1e-9;
        c.b0 = 1.98;
        c.n0 = 0.01;
        c.bs = 2;
        fHistory.SetConstants(c);
        fHistory.Add({0, 10, 0, 1073.15, 0.21}, false, 2);
        fHistory.Add({10, 20, 0.02, 1073.15, 1e-3}, true, 3);
        fHistory.Add({40, 50, 0.01, 1073.15, 1e-3}, true, 5); // after a gap
        ASSERT_TRUE(fHistory.MarkStepCompleted(1, 30));
        fContent = {"Ceria, \"batch 2\"", "CeO2", "2026-05-06 14:03",
                    "Ceria_0000.csv",     fStart, &fHistory};
    }
    const double fStart = 46148.5; // 2026-05-06 12:00 local
    TOxygenHistory fHistory;
    TOxygenFileContent fContent;
};

TEST_F(OxygenFile, NamesSitBesideTheDataFile)
{
    EXPECT_EQ(OxygenFileName("Ceria_0003.csv"), "Ceria_0003_oxygen.csv");
    EXPECT_EQ(IsothermFileName("Ceria_0003.csv"), "Ceria_0003_isotherm.csv");
    EXPECT_EQ(OxygenFileName("_0000.csv"), "_0000_oxygen.csv");
}

// Loaded as one table, column by column, under a locale whose decimal separator is a comma.
TEST_F(OxygenFile, IsOneTableACsvReaderLoadsColumnByColumn)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray bytes = BuildOxygenFile(fContent);
    QLocale::setDefault(previous);

    EXPECT_TRUE(bytes.startsWith("# Oxygen balance of Ceria, \"batch 2\" (CeO2)"));
    EXPECT_TRUE(bytes.contains("# alpha = 1e-09 mol/(s atm^0.25)"));
    EXPECT_TRUE(QString::fromUtf8(bytes).toUtf8() == bytes) << "UTF-8 throughout";
    const QList<QStringList> table = ReadCsv(bytes);
    ASSERT_EQ(table.size(), 4) << "a header and a row per point";
    const QStringList header = table[0];
    EXPECT_EQ(header, QString("time,time_s,grid_row,cell_T_C,pO2_atm,current_A,charge_C,gas_mol,"
                              "leak_mol,released_mol,b,delta,gap,alpha_held_from_T_C")
                          .split(u','));
    auto column = [&](const char* name) {
        const qsizetype at = header.indexOf(QString::fromLatin1(name));
        QStringList values;
        for (qsizetype row = 1; row < table.size(); ++row)
            values << table[row].value(at);
        return values;
    };
    const QDateTime start = ToLocalDateTime(fStart);
    EXPECT_EQ(column("time"),
              (QStringList{IsoWithOffset(start.addSecs(5)), IsoWithOffset(start.addSecs(15)),
                           IsoWithOffset(start.addSecs(45))}));
    EXPECT_EQ(column("time_s"), (QStringList{"5", "15", "45"}));
    EXPECT_EQ(column("grid_row"), (QStringList{"2", "3", "5"}));
    for (const QString& temperature : column("cell_T_C"))
        EXPECT_NEAR(temperature.toDouble(), 800, 1e-9);
    EXPECT_EQ(column("pO2_atm"), (QStringList{"0.21", "0.001", "0.001"}));
    EXPECT_EQ(column("current_A"), (QStringList{"0", "0.002", "0.001"}));
    EXPECT_EQ(column("gap"), (QStringList{"0", "0", "1"}));
    for (std::size_t i = 0; i < fHistory.Size(); ++i) {
        const TOxygenPointResult& r = fHistory.At(i).Result;
        const int row = int(i);
        EXPECT_DOUBLE_EQ(column("charge_C")[row].toDouble(), r.ChargeC) << i;
        EXPECT_DOUBLE_EQ(column("gas_mol")[row].toDouble(), r.GasMol) << i;
        EXPECT_DOUBLE_EQ(column("leak_mol")[row].toDouble(), r.LeakMol) << i;
        EXPECT_DOUBLE_EQ(column("released_mol")[row].toDouble(), r.ReleasedMol) << i;
        EXPECT_DOUBLE_EQ(column("b")[row].toDouble(), r.b) << i;
        EXPECT_DOUBLE_EQ(column("delta")[row].toDouble(), r.Delta) << i;
    }
}

// At the end of summer time the local clock shows 02:00 to 03:00 twice: each time carries
// its offset from UTC, so the column reads as the instants it stands for, in order.
TEST_F(OxygenFile, TimesCarryTheirOffsetFromUtcAcrossTheEndOfSummerTime)
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QDateTime runStart(QDate(2026, 10, 25), QTime(0, 0), Qt::UTC); // 02:00 summer time
    TOxygenHistory history;
    history.SetConstants(fHistory.Constants());
    for (int i = 0; i < 5; ++i)
        history.Add({1800.0 * i, 1800.0 * i + 10, 0, 1073.15, 1e-3}, true, i + 2);
    ASSERT_TRUE(history.MarkStepCompleted(1, 5000));
    TOxygenFileContent content = fContent;
    content.RunStartDays = ToDays(runStart);
    content.History = &history;
    const QList<QStringList> balance = ReadCsv(BuildOxygenFile(content));
    const QList<QStringList> isotherm = ReadCsv(BuildIsothermFile(content));
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();

    ASSERT_EQ(balance.size(), 6);
    const QStringList expected = {"2026-10-25T02:00:05.000+02:00", "2026-10-25T02:30:05.000+02:00",
                                  "2026-10-25T02:00:05.000+01:00", "2026-10-25T02:30:05.000+01:00",
                                  "2026-10-25T03:00:05.000+01:00"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(balance[i + 1][0], expected[i]) << i;
        EXPECT_EQ(QDateTime::fromString(balance[i + 1][0], Qt::ISODateWithMs),
                  runStart.addSecs(1800 * i + 5))
            << i;
    }
    ASSERT_EQ(isotherm.size(), 2);
    EXPECT_EQ(isotherm[1][1], expected[4]);
}

// Every constant from the run's start, and again from each change; alpha once per
// calibration, with its temperature.
TEST_F(OxygenFile, ListsEachConstantWithTheTimeFromWhichItHolds)
{
    TOxygenBalanceConstants c = fHistory.Constants();
    c.FlushpO2 = 0.01;
    fHistory.ChangeConstants(c, 60, 1073.15, false);
    c.LeakAlpha = 2e-9;
    fHistory.ChangeConstants(c, 90, 1073.15, false);
    QStringList comments;
    for (const QString& line : QString::fromUtf8(BuildOxygenFile(fContent)).split("\r\n"))
        if (line.startsWith(u'#')) comments << line;
    const QDateTime start = ToLocalDateTime(fStart);
    auto from = [&start](int seconds) {
        return QStringLiteral("; from ") + IsoWithOffset(start.addSecs(seconds));
    };
    for (const QString& expected :
         {"# FGpO2 = 0.21 atm, flush gas pO2" + from(0),
          "# FGpO2 = 0.01 atm, flush gas pO2" + from(60),
          "# alpha = 1e-09 mol/(s atm^0.25), leak through the electrolyte at every cell "
          "temperature" +
              from(0),
          "# alpha = 2e-09 mol/(s atm^0.25), leak through the electrolyte at Tc = 1073.15 K" +
              from(90),
          "# b0 = 1.98 mol/mol, initial oxygen content" + from(0)})
        EXPECT_TRUE(comments.contains(expected)) << expected.toStdString();
    EXPECT_EQ(comments.filter(QStringLiteral("# Vhp = ")).size(), 1)
        << "listed again only where it changed";
    EXPECT_EQ(comments.filter(QStringLiteral("# alpha = ")).size(), 2);
}

// The isotherm's point is b over the step's last stability window (30 s: the last two
// points), with its spread.
TEST_F(OxygenFile, IsothermIsAFileOfItsOwnWithTheSpreadOfB)
{
    const QList<QStringList> table = ReadCsv(BuildIsothermFile(fContent));
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table[0],
              QString("step,time,time_s,cell_T_C,pO2_atm,b,b_spread,points,delta,b_final,tau_s,"
                      "b_remaining")
                  .split(u','));
    const QStringList& point = table[1];
    const double b1 = fHistory.At(1).Result.b;
    const double b2 = fHistory.At(2).Result.b;
    EXPECT_EQ(point[0], "1");
    EXPECT_EQ(point[2], "45");
    EXPECT_EQ(point[7], "2");
    EXPECT_DOUBLE_EQ(point[5].toDouble(), (b1 + b2) / 2);
    EXPECT_NEAR(point[6].toDouble(), std::abs(b1 - b2) / std::sqrt(2.0), 1e-15);
    EXPECT_DOUBLE_EQ(point[8].toDouble(), 2 - (b1 + b2) / 2);
}

// The row's pO2 and temperature are means over the same window as its b, not the last
// point's; and the points held at a temperature far from alpha's calibration say so.
TEST_F(OxygenFile, IsothermRowIsTheWindowsMeansAndRowsSayWhereAlphaIsHeld)
{
    TOxygenHistory history;
    history.SetConstants(fHistory.Constants());
    history.ChangeConstants([&] {
        TOxygenBalanceConstants c = fHistory.Constants();
        c.LeakAlpha = 2e-9; // measured at 800 °C
        return c;
    }(), 0, 1073.15, false);
    const double pO2[] = {1e-3, 1.2e-3, 1.1e-3, 0.9e-3};
    const double cellK[] = {1073.15, 1073.35, 1073.55, 1083.15};
    for (int i = 0; i < 4; ++i)
        history.Add({10.0 * i, 10.0 * i + 10, 0, cellK[i], pO2[i]}, false, i + 2);
    ASSERT_TRUE(history.MarkStepCompleted(1, 20)); // the last three points
    TOxygenFileContent content = fContent;
    content.History = &history;
    const QList<QStringList> table = ReadCsv(BuildIsothermFile(content));
    ASSERT_EQ(table.size(), 2);
    EXPECT_NEAR(table[1][4].toDouble(), (1.2e-3 + 1.1e-3 + 0.9e-3) / 3, 1e-15);
    EXPECT_NEAR(table[1][3].toDouble(), (1073.35 + 1073.55 + 1083.15) / 3 - 273.15, 1e-9);
    const QList<QStringList> points = ReadCsv(BuildOxygenFile(content));
    ASSERT_EQ(points.size(), 5);
    const qsizetype held = points[0].indexOf("alpha_held_from_T_C");
    ASSERT_GE(held, 0);
    EXPECT_EQ(points[1][held], "");
    EXPECT_EQ(points[3][held], "") << "within a few kelvin of the calibration";
    EXPECT_NEAR(points[4][held].toDouble(), 800, 1e-9) << "10 K above it";
}

// A month's points make hundreds of megabytes: the file goes out in pieces of about a
// megabyte, every point's line whole and once, in order, and a refused piece ends it.
TEST_F(OxygenFile, ALongRunIsHandedOverInPiecesOfAboutAMegabyte)
{
    const int points = 12000; // about two and a half megabytes
    for (int i = 3; i < points; ++i)
        fHistory.Add({50.0 + i, 51.0 + i, 1e-4, 1073.15, 1e-3}, false, i + 3);
    QList<QByteArray> pieces;
    ASSERT_TRUE(WriteOxygenFile(fContent, [&pieces](QByteArrayView piece) {
        pieces << piece.toByteArray();
        return true;
    }));
    ASSERT_GE(pieces.size(), 2);
    QByteArray whole;
    for (const QByteArray& piece : pieces) {
        EXPECT_LE(piece.size(), (1 << 20) + 4096);
        whole += piece;
    }
    const QList<QStringList> table = ReadCsv(whole);
    ASSERT_EQ(table.size(), points + 1);
    for (int i = 3; i < points; ++i)
        ASSERT_EQ(table[i + 1][2], QString::number(i + 3)) << "grid row of point " << i;

    int offered = 0;
    EXPECT_FALSE(WriteOxygenFile(fContent, [&offered](QByteArrayView) {
        ++offered;
        return false;
    }));
    EXPECT_EQ(offered, 1);
}

} // namespace
} // namespace oxtiva
