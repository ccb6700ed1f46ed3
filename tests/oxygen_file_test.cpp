#include "science/oxygen_file.h"
#include "science/oxygen_history.h"

#include <QByteArray>
#include <QList>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

TEST(OxygenFile, NameSitsBesideTheDataFile)
{
    EXPECT_EQ(OxygenFileName("Ceria_0003.csv"), "Ceria_0003_oxygen.csv");
    EXPECT_EQ(OxygenFileName("_0000.csv"), "_0000_oxygen.csv");
}

// A pasted name keeps to one line here as in the data file: the sections are found by line.
TEST(OxygenFile, SampleNameAndFormulaKeepToOneLine)
{
    const TOxygenHistory history;
    const TOxygenFileContent content{"Ceria\r\nbatch 2", "CeO2\t", "2026-05-06 14:03",
                                     "Ceria_0000.csv", &history};
    const QList<QByteArray> lines = BuildOxygenFile(content).split('\n');
    ASSERT_GT(lines.size(), 4);
    EXPECT_EQ(lines[2], "Ceria  batch 2\r");
    EXPECT_EQ(lines[3], "CeO2 \r");
}

// The whole file for two points, the second after a gap and completing step 1, with n0 = 0
// so that b cannot be computed: constants, a row per point, the isotherm, in the data
// file's bytes.
TEST(OxygenFile, HoldsTheConstantsEveryPointAndTheIsothermInTheDataFilesBytes)
{
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.012;
    c.ColdEndK = 303.15;
    c.LeakAlpha = 1e-9;
    c.b0 = 1.98;
    c.n0 = 0;
    c.bs = 2;
    TOxygenHistory history;
    history.SetConstants(c);
    history.Add({0, 10, 0, 1073.15, 0.21});
    history.Add({20, 30, 0.01, 1073.15, 0.21});
    ASSERT_TRUE(history.MarkStepCompleted(1));
    TOxygenFileContent content{"Ceria", "CeO2", "2026-05-06 14:03", "Ceria_0000.csv", &history};

    const QByteArray bytes = BuildOxygenFile(content);
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n')) << "every line ends in CR LF";
    QList<QByteArray> text = bytes.chopped(2).split('\n');
    for (QByteArray& line : text)
        line.replace('\r', "");
    const QList<QByteArray> expected = {
        "** OXYGEN BALANCE ****************************************",
        "",
        "Ceria",
        "CeO2",
        "Saved 2026-05-06 14:03",
        "Data file Ceria_0000.csv",
        "",
        "** CONSTANTS *********************************************",
        "",
        "Value;Unit;Abbreviation;Field name",
        "0.082057;L\xB7"
        "atm/(mol\xB7K);R;Gas constant",
        "96485;C/mol;F;Faraday constant",
        "0.012;L;Vhp;Gas volume of hot part",
        "0;L;Vgp;Gas volume of gradient part",
        "303.15;K;Tl;Cold end temperature",
        "0.21;atm;FGpO2;Flush gas partial pressure of oxygen",
        "1E-9;mol/(s\xB7"
        "atm^\xBC);alpha;Leakage constant",
        "1.98;mol/mol;b0;Initial molar content of oxygen",
        "0;mol;n0;Moles of compound",
        "2;mol/mol;bs;Nominal stoichiometric molar content of oxygen",
        "",
        "** POINTS ************************************************",
        "",
        "Time,s;CellT,\xBA"
        "C;CellpO2,atm;Charge,C;nGas,mol;dnS,mol;b;delta;Gap",
        "5;800;0.21;0;2.86170245276023E-5;0;;;",
        // The second point adds its own 10 s only; half of them lie before its middle.
        "25;800;0.21;0.005;2.86170245276023E-5;1.29553816655439E-8;;;Gap",
        "",
        "** ISOTHERM **********************************************",
        "",
        "Step;Time,s;CellT,\xBA"
        "C;CellpO2,atm;b;delta",
        "1;25;800;0.21;;",
    };
    EXPECT_EQ(text, expected);
}

} // namespace
} // namespace oxtiva
