#include "app/main_window.h"
#include "app/window/numeric_edits.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

class SampleCalculationsPanel : public ::testing::Test
{
  protected:
    TfrmOxtiva w;

    void SetUp() override { w.SampleCalculations(); }

    QList<TRtDoubleEdit*> Results() const
    {
        return {w.RtDoubleEditVs,  w.RtDoubleEditn0, w.RtDoubleEditnO0,
                w.RtDoubleEditmO0, w.RtDoubleEditmM, w.RtDoubleEditVhp};
    }
};

TEST_F(SampleCalculationsPanel, ShowsTheQuantitiesOfTheDefaultSample)
{
    EXPECT_NEAR(w.RtDoubleEditVs->value(), 1.38504e-4, 1e-9);
    EXPECT_NEAR(w.RtDoubleEditn0->value(), 5.82106e-3, 1e-8);
    EXPECT_NEAR(w.RtDoubleEditnO0->value(), 1.15257e-2, 1e-7);
    EXPECT_NEAR(w.RtDoubleEditmO0->value(), 0.184404, 1e-6);
    EXPECT_NEAR(w.RtDoubleEditmM->value(), 0.815596, 1e-6);
    EXPECT_NEAR(w.RtDoubleEditVhp->value(), 0.0118615, 1e-7);
    for (TRtDoubleEdit* result : Results())
        EXPECT_FALSE(result->isEnabled());
}

TEST_F(SampleCalculationsPanel, RecomputesWhenATypedInputChanges)
{
    w.RtDoubleEditd->selectAll();
    QTest::keyClicks(w.RtDoubleEditd, QStringLiteral("3.61"));
    QTest::keyClick(w.RtDoubleEditd, Qt::Key_Return);
    EXPECT_NEAR(w.RtDoubleEditVs->value(), 2 * 1.38504e-4, 1e-9);
    EXPECT_NEAR(w.RtDoubleEditVhp->value(), 0.012 - 2 * 1.38504e-4, 1e-9);
    w.RtDoubleEditmass0->setValue(2.0);
    EXPECT_NEAR(w.RtDoubleEditmM->value(), 2 * 0.815596, 2e-6);
    w.RtDoubleEditM0->setValue(0);
    EXPECT_DOUBLE_EQ(w.RtDoubleEditn0->value(), 0);
    EXPECT_DOUBLE_EQ(w.RtDoubleEditmM->value(), 2.0);
}

// Inputs that enter no formula still run the computation, which restores every result.
TEST_F(SampleCalculationsPanel, RunsForEachOfTheFourteenInputs)
{
    const QList<TRtDoubleEdit*> inputs = {
        w.RtDoubleEditb0,    w.RtDoubleEditM0,    w.RtDoubleEditd,        w.RtDoubleEditM,
        w.RtDoubleEditbs,    w.RtDoubleEditmass0, w.RtDoubleEditSensorBx, w.RtDoubleEditSensorAx,
        w.RtDoubleEditVHPS,  w.RtDoubleEditVgp,   w.RtDoubleEditTl,       w.RtDoubleEditPsO2,
        w.RtDoubleEditFGpO2, w.RtDoubleEditCTO};
    for (TRtDoubleEdit* input : inputs) {
        for (TRtDoubleEdit* result : Results())
            result->setValue(-99);
        const double kept = input->value();
        input->setValue(kept + 1);
        EXPECT_NE(w.RtDoubleEditVs->value(), -99) << input->objectName().toStdString();
        EXPECT_NE(w.RtDoubleEditVhp->value(), -99) << input->objectName().toStdString();
        input->setValue(kept);
    }
}

TEST_F(SampleCalculationsPanel, LeavesTheResultsAloneWhenOtherEditsChange)
{
    for (TRtDoubleEdit* result : Results())
        result->setValue(-99);
    w.RtDoubleEditPIDP->setValue(0.5);
    w.RtDoubleEditRCDuration->setValue(50);
    w.RtDoubleEditVhp->setValue(-98); // a result edit does not start the computation
    EXPECT_DOUBLE_EQ(w.RtDoubleEditVs->value(), -99);
    EXPECT_DOUBLE_EQ(w.RtDoubleEditVhp->value(), -98);
}

TEST_F(SampleCalculationsPanel, GivesTheSameResultsWhenTheFlushGasOrOverrideChanges)
{
    QList<double> before;
    for (TRtDoubleEdit* result : Results())
        before << result->value();
    w.RtDoubleEditFGpO2->setValue(0.5);
    w.RtDoubleEditCTO->setValue(800);
    for (int i = 0; i < before.size(); ++i)
        EXPECT_DOUBLE_EQ(Results()[i]->value(), before[i]);
}

} // namespace
