#include "app/main_window.h"
#include "app/numeric_edits.h"

#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

class StepProgramEditorTest : public ::testing::Test
{
  protected:
    TfrmOxtiva fWindow;
    QListWidget& List() { return *fWindow.ListBoxStepProgram; }
    void SetEdits(double minusLogpO2, double millivolts)
    {
        fWindow.RtDoubleEditEditpO2->setValue(minusLogpO2);
        fWindow.RtDoubleEditPPSmV->setValue(millivolts);
    }
};

TEST_F(StepProgramEditorTest, ApplyWithoutSelectionAppendsANumberedLine)
{
    ASSERT_EQ(List().count(), 8);
    SetEdits(0.678, 20);
    fWindow.ButtonProgramPumpVoltage->click();
    ASSERT_EQ(List().count(), 9);
    EXPECT_EQ(List().item(8)->text(), "0009   -0.678      20");
}

TEST_F(StepProgramEditorTest, ApplyWithSelectionReplacesThatLineAndClearsTheSelection)
{
    List().setCurrentRow(2);
    SetEdits(10, -25);
    fWindow.ButtonProgramPumpVoltage->click();
    EXPECT_EQ(List().count(), 8);
    EXPECT_EQ(List().item(2)->text(), "0003   -10         -25");
    EXPECT_TRUE(List().selectedItems().isEmpty());
}

TEST_F(StepProgramEditorTest, SelectingALineLoadsItIntoTheEdits)
{
    List().setCurrentRow(6); // "0007   -10         466"
    EXPECT_DOUBLE_EQ(fWindow.RtDoubleEditEditpO2->value(), 10);
    EXPECT_DOUBLE_EQ(fWindow.RtDoubleEditPPSmV->value(), 466);
}

TEST_F(StepProgramEditorTest, LongSetPointIsCutToSixCharacters)
{
    SetEdits(4.33333, 100);
    fWindow.ButtonProgramPumpVoltage->click();
    EXPECT_EQ(List().item(8)->text(), "0009   -4.333      100");
}

TEST_F(StepProgramEditorTest, DeleteKeepsTheLastRemainingStep)
{
    for (int i = 0; i < 10; ++i)
        fWindow.ButtonProgramDeleteStep->click();
    ASSERT_EQ(List().count(), 1);
    EXPECT_EQ(List().item(0)->text(), "0001   -4          45");
}

} // namespace
} // namespace oxtiva
