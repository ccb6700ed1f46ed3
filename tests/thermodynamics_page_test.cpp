// The page "Thermodynamics" in the window: isotherm files the operator adds beside the
// running experiment's, the warning when one is of another sample, the table and the plots
// with their error bars, and the file its button and every save write.
#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/pages/thermodynamics_page.h"
#include "science/oxygen_file.h"
#include "science/physical_constants.h"
#include "support/qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <cmath>

namespace oxtiva
{
namespace
{

// An isotherm file of a sample with dh_O = -120 kJ/mol and ds_O = -60 + 400 delta J/(mol K).
QByteArray IsothermFile(const QString& sample, const std::vector<double>& cellC)
{
    QByteArray out = "# Isotherm of " + sample.toUtf8() +
                     " (CeO2), saved 2026-12-11 10:00 with " + sample.toUtf8() + "_0001.csv\r\n"
                     "# b0 = 1.98 mol/mol, initial oxygen content; from 2026-12-11T09:00:00\r\n"
                     "step,time,time_s,cell_T_C,pO2_atm,b,b_spread,points,delta\r\n";
    int step = 0;
    for (double c : cellC)
        for (double delta : {0.01, 0.02, 0.03, 0.04}) {
            const double t = c + ZeroCelsiusK;
            const double pO2 = std::exp(2 * (-120e3 - t * (-60 + 400 * delta)) / (GasConstant * t));
            out += QStringLiteral("%1,2026-12-11T09:00:00,0,%2,%3,%4,0.0002,5,%5\r\n")
                       .arg(++step)
                       .arg(c)
                       .arg(pO2, 0, 'g', 17)
                       .arg(2 - delta)
                       .arg(delta)
                       .toUtf8();
        }
    return out;
}

class ThermodynamicsPageTest : public ::testing::Test
{
  protected:
    QTemporaryDir fFolder;
    TfrmOxtiva fWindow{nullptr, fFolder.path()};
    TThermodynamicsPage& Page() { return *fWindow.TabSheetThermodynamics; }

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = fFolder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    void SetUp() override
    {
        fWindow.EditSampleName->setText(QStringLiteral("Ceria"));
        fWindow.EditSampleFormula->setText(QStringLiteral("CeO2"));
        fWindow.resize(1366, 768);
        fWindow.show();
        fWindow.PageControlMain->setCurrentWidget(&Page());
    }
};

TEST_F(ThermodynamicsPageTest, FitsTheAddedIsothermsAndNamesThoseOfAnotherSample)
{
    Page().AddIsothermFiles({Write(QStringLiteral("Ceria_0001_isotherm.csv"),
                                   IsothermFile(QStringLiteral("Ceria"), {700, 750})),
                             Write(QStringLiteral("Ceria_0002_isotherm.csv"),
                                   IsothermFile(QStringLiteral("Ceria"), {800})),
                             Write(QStringLiteral("Zirconia_0001_isotherm.csv"),
                                   IsothermFile(QStringLiteral("Zirconia"), {850})),
                             Write(QStringLiteral("notes.txt"), "a,b\r\n1,2\r\n")});
    EXPECT_TRUE(Page().LabelThermodynamicsMessage->text().contains(QStringLiteral("notes.txt")));
    QTableWidget* sources = Page().StringGridIsothermSources;
    ASSERT_EQ(sources->rowCount(), 4) << "the running experiment and three files";
    EXPECT_EQ(sources->item(3, 1)->text(), QStringLiteral("Zirconia"));
    EXPECT_EQ(sources->item(1, 3)->text(), QStringLiteral("b0 = 1.98"));
    EXPECT_EQ(sources->item(1, 5)->text(), QStringLiteral("700.0, 750.0"));
    EXPECT_TRUE(Page().LabelOtherSample->text().contains(QStringLiteral("Zirconia_0001")));

    const TThermodynamics& result = Page().Result();
    ASSERT_EQ(result.TemperaturesK.size(), 4u);
    ASSERT_FALSE(result.Rows.empty());
    for (const TThermodynamicsRow& row : result.Rows) {
        EXPECT_NEAR(row.dhO_kJ, -120, 1e-6);
        EXPECT_NEAR(row.dsO_J, -60 + 400 * row.Delta, 1e-6);
        EXPECT_EQ(row.Temperatures, 4);
    }
    EXPECT_EQ(Page().StringGridThermodynamics->rowCount(), int(result.Rows.size()));
    EXPECT_EQ(Page().StringGridThermodynamics->item(0, 1)->text(), QStringLiteral("-120.00"));
    EXPECT_EQ(Page().RtGraphEnthalpy->graph(0)->dataCount(), int(result.Rows.size()));
    EXPECT_EQ(Page().RtGraphEntropy->graph(1)->dataCount(), 0) << "no point on two temperatures";

    // Without the other sample's file the warning goes and three temperatures remain.
    sources->selectRow(3);
    Page().ButtonRemoveIsotherms->click();
    EXPECT_EQ(sources->rowCount(), 3);
    EXPECT_TRUE(Page().LabelOtherSample->text().isEmpty());
    EXPECT_EQ(Page().Result().TemperaturesK.size(), 3u);
}

TEST_F(ThermodynamicsPageTest, MarksValuesOfTwoTemperaturesAndDrawsTheirErrorBars)
{
    Page().AddIsothermFiles({Write(QStringLiteral("a_isotherm.csv"),
                                   IsothermFile(QStringLiteral("Ceria"), {700, 800}))});
    const TThermodynamics& result = Page().Result();
    ASSERT_FALSE(result.Rows.empty());
    EXPECT_TRUE(Page().StringGridThermodynamics->item(0, 5)->text().contains(
        QStringLiteral("fewer than 3")));
    QCustomPlot* plot = Page().RtGraphEnthalpy;
    EXPECT_EQ(plot->graph(0)->dataCount(), 0);
    EXPECT_EQ(plot->graph(1)->dataCount(), int(result.Rows.size()));
    int bars = 0;
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* errors = qobject_cast<QCPErrorBars*>(plot->plottable(i)))
            if (errors->dataPlottable() == plot->graph(1)) {
                ++bars;
                EXPECT_EQ(errors->dataCount(), int(result.Rows.size()));
                EXPECT_GT(errors->data()->at(0).errorPlus, 0);
            }
    EXPECT_EQ(bars, 1);
}

TEST_F(ThermodynamicsPageTest, SavesItsFileBesideTheNewestDataFile)
{
    Page().ButtonSaveThermodynamics->click();
    EXPECT_TRUE(Page().LabelThermodynamicsMessage->text().startsWith(QStringLiteral("No data")));
    Page().AddIsothermFiles({Write(QStringLiteral("a_isotherm.csv"),
                                   IsothermFile(QStringLiteral("Ceria"), {700, 750, 800}))});
    fWindow.Save();
    ASSERT_TRUE(fWindow.Saver().WaitUntilSaved());
    const QDir day = QFileInfo(fWindow.Saver().LastSavedPath()).dir();
    const QString path = day.filePath(QStringLiteral("Ceria_thermodynamics.csv"));
    ASSERT_TRUE(QFileInfo::exists(path)) << "every save writes it";
    QFile::remove(path);
    Page().ButtonSaveThermodynamics->click();
    EXPECT_TRUE(QFileInfo::exists(path)) << "and so does the button";
    EXPECT_TRUE(Page().LabelThermodynamicsMessage->text().startsWith(QStringLiteral("Saved")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("# isotherm file a_isotherm.csv: Ceria (CeO2)")));
    const QString running = IsothermFileName(QFileInfo(fWindow.Saver().LastSavedPath()).fileName());
    EXPECT_TRUE(text.contains(QStringLiteral("# isotherm file ") + running + QStringLiteral(": Ceria")))
        << "the running experiment named by its isotherm file";
}

TEST_F(ThermodynamicsPageTest, FitsTheWindowAtLaptopSize)
{
    Page().AddIsothermFiles({Write(QStringLiteral("a_isotherm.csv"),
                                   IsothermFile(QStringLiteral("Ceria"), {700, 750, 800}))});
    const QSize needed = Page().minimumSizeHint();
    EXPECT_LE(needed.width(), Page().width());
    EXPECT_LE(needed.height(), Page().height());
    EXPECT_GT(Page().RtGraphEnthalpy->height(), 100);
    EXPECT_GT(Page().RtGraphEntropy->height(), 100);
}

} // namespace
} // namespace oxtiva
