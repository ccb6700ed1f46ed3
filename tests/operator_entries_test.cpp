// What a new operator types and clicks on a real window, offscreen: values the physics
// cannot mean are refused beside the edit, typed PID gains are the gains in force, an action
// never takes the value an edit refused, and validating during a run asks first.
#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "control/pid.h"
#include "support/dialog_answerer.h"
#include "support/qstring_printer.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

using testing::TMessageBoxAnswerer;

void Type(QLineEdit& aEdit, const QString& aText)
{
    aEdit.selectAll();
    QTest::keyClicks(&aEdit, aText);
    QTest::keyClick(&aEdit, Qt::Key_Return);
}

class OperatorEntriesTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        fWindow = std::make_unique<TfrmOxtiva>(nullptr, fFolder.path());
        fWindow->resize(1366, 768);
        fWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(fWindow.get()));
    }

    // Both instruments count as validated, without threads: the control cycle runs its
    // passes, and a state change needs only the operator's answer.
    void Validated(TProgramState aState = TProgramState::Paused)
    {
        fWindow->CheckBoxSMUValidated->setChecked(true);
        fWindow->CheckBox2000Validated->setChecked(true);
        fWindow->State().ProgramState = aState;
    }

    TfrmOxtiva& W() { return *fWindow; }

    QTemporaryDir fFolder;
    TMessageBoxAnswerer fAnswerer;
    std::unique_ptr<TfrmOxtiva> fWindow;
};

struct TAbsurdEntry {
    const char* Edit;
    const char* Typed;
    const char* Reason; // what the label beside the edit says
};

class AbsurdEntries : public OperatorEntriesTest, public ::testing::WithParamInterface<TAbsurdEntry>
{
};

// The value in force stays, the edit turns red and the label beside it says why in words,
// where the operator sees it without pointing at the edit; a good value clears it.
TEST_P(AbsurdEntries, AreRefusedBesideTheEditWithTheReason)
{
    const TAbsurdEntry c = GetParam();
    W().PageControlMain->setCurrentWidget(W().TabSheetExperimentSetup);
    auto* edit = W().findChild<TRtDoubleEdit*>(QString::fromLatin1(c.Edit));
    ASSERT_NE(edit, nullptr);
    const double before = edit->value();
    Type(*edit, QString::fromLatin1(c.Typed));
    EXPECT_EQ(edit->value(), before) << "an absurd value never reaches a row or a file";
    ASSERT_NE(edit->ReasonLabel(), nullptr) << "every edit the operator types into has one";
    EXPECT_TRUE(edit->ReasonLabel()->isVisible());
    EXPECT_EQ(edit->ReasonLabel()->text(), QString::fromUtf8(c.Reason));
    EXPECT_FALSE(edit->toolTip().isEmpty()) << "the edit says what it takes";

    emit edit->editingFinished(); // leaving the edit without typing keeps the mark
    EXPECT_TRUE(edit->ReasonLabel()->isVisible());
    Type(*edit, edit->text()); // typing the value in force takes it
    EXPECT_FALSE(edit->ReasonLabel()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    FirstAfternoon, AbsurdEntries,
    ::testing::Values(
        TAbsurdEntry{"RtDoubleEditCTO", "5000", "Not taken: '5000' lies outside -50 to 1768"},
        TAbsurdEntry{"RtDoubleEditRCDuration", "-5", "Not taken: '-5' must lie above 0"},
        TAbsurdEntry{"RtDoubleEditRCDuration", "0", "Not taken: '0' must lie above 0"},
        TAbsurdEntry{"RtDoubleEditmass0", "0", "Not taken: '0' must lie above 0"},
        TAbsurdEntry{"RtDoubleEditd", "-7", "Not taken: '-7' must lie above 0"},
        TAbsurdEntry{"RtDoubleEditVHPS", "0.0001",
                     "Not taken: '0.0001' leaves no gas beside the sample: Vhp = Vhpws − Vs = "
                     "0.0001 − 0.000138504155124654 = -3.85041551246537E-5 L"},
        TAbsurdEntry{"RtDoubleEditmass0", "100",
                     "Not taken: '100' leaves no gas beside the sample: Vhp = Vhpws − Vs = "
                     "0.012 − 0.0138504155124654 = -0.00185041551246537 L"},
        TAbsurdEntry{"RtDoubleEditPsO2", "2", "Not taken: '2' lies above 1"},
        TAbsurdEntry{"RtDoubleEditPIDP", "-0.1", "Not taken: '-0.1' lies below 0"},
        TAbsurdEntry{"RtDoubleEditTl", "2,5",
                     "Not taken: '2,5' is not a number (this computer writes decimals with '.')"}));

// The gains typed are the gains the controller steps with, shown beside them; a gain typed
// as 0 is derived from the pO2 again.
TEST_F(OperatorEntriesTest, TypedPidGainsAreTheGainsInForce)
{
    Validated();
    Type(*W().RtDoubleEditPIDP, "0.0005");
    Type(*W().RtDoubleEditPIDI, "0.0002");
    QTest::qWait(600); // two passes of the control cycle
    EXPECT_EQ(W().State().PID.P(), 0.0005);
    EXPECT_EQ(W().State().PID.I(), 0.0002);
    EXPECT_EQ(W().LabelPidGainsInForce->text(), "Gains in force: P 0.0005, I 0.0002, D 0");
    W().State().PID.SetProcessVariable(-4);
    Type(*W().RtDoubleEditPIDP, "0");
    Type(*W().RtDoubleEditPIDI, "0");
    QTest::qWait(600);
    EXPECT_NEAR(W().State().PID.P(), 1 / std::pow(1.75, 4), 1e-12);
    EXPECT_NEAR(W().State().PID.I(), 0.0025, 1e-12);
    EXPECT_TRUE(W().LabelPidGainsInForce->text().startsWith("Gains in force: P 0.1066"))
        << W().LabelPidGainsInForce->text().toStdString();
}

// A refused set point is not applied as the value before it; the list and the edit share
// one sign, so the list's -10 is typed as -10.
TEST_F(OperatorEntriesTest, ApplyToStepProgramRefusesWhileTheSetPointWasNotTaken)
{
    W().PageControlMain->setCurrentWidget(W().TabSheetExperimentControl);
    QListWidget& list = *W().ListBoxStepProgram;
    const int steps = list.count();
    Type(*W().RtDoubleEditEditpO2, "1.5");
    W().ButtonProgramPumpVoltage->click();
    EXPECT_EQ(list.count(), steps) << "no step made of the old value";
    EXPECT_TRUE(W().LabelStepEditRefusal->isVisible());
    EXPECT_TRUE(W().LabelStepEditRefusal->text().startsWith("No step was applied"));

    Type(*W().RtDoubleEditEditpO2, "-10");
    EXPECT_FALSE(W().LabelStepEditRefusal->isVisible()) << "a value taken answers the refusal";
    W().ButtonProgramPumpVoltage->click();
    ASSERT_EQ(list.count(), steps + 1);
    EXPECT_TRUE(list.item(steps)->text().contains(" -10 ")) << list.item(steps)->text().toStdString();
    list.setCurrentRow(steps);
    EXPECT_EQ(W().RtDoubleEditEditpO2->value(), -10) << "read back with the list's sign";
}

// A state that runs on an edit's value is not entered while that edit refused its entry.
TEST_F(OperatorEntriesTest, AStateIsNotEnteredWhileItsEditHoldsARefusedEntry)
{
    Validated();
    W().PageControlMain->setCurrentWidget(W().TabSheetExperimentControl);
    Type(*W().RtDoubleEditPISSP, "-20");
    fAnswerer.Expect(QMessageBox::Ok);
    W().RadioButtonPIDSet->click();
    EXPECT_EQ(W().State().ProgramState, TProgramState::Paused);
    EXPECT_TRUE(W().RadioButtonModeOff->isChecked());
    ASSERT_EQ(fAnswerer.Texts().size(), 1);
    EXPECT_TRUE(fAnswerer.Texts().front().contains("'-20' lies outside -16 to -0.678"))
        << fAnswerer.Texts().front().toStdString();
}

// Validating again resets the instrument under a running experiment: the operator is asked
// what it does to the run, and No leaves the run as it was.
TEST_F(OperatorEntriesTest, ValidatingDuringARunAsksFirst)
{
    Validated(TProgramState::PIDStep);
    W().RadioButtonPIDStep->setChecked(true);
    const QString memo = W().MemoConfLog->toPlainText();
    fAnswerer.Expect(QMessageBox::No);
    W().ButtonSMUTest->click();
    ASSERT_EQ(fAnswerer.Texts().size(), 1);
    EXPECT_TRUE(fAnswerer.Texts().front().startsWith(
        "Validate the SourceMeter 2401 again while PIDStep runs? The pump is stopped at 0 A"))
        << fAnswerer.Texts().front().toStdString();
    EXPECT_EQ(W().State().ProgramState, TProgramState::PIDStep);
    EXPECT_TRUE(W().CheckBoxSMUValidated->isChecked());
    EXPECT_FALSE(W().MemoConfLog->toPlainText().contains("Search for instrument"));

    fAnswerer.Expect(QMessageBox::No);
    W().Button2000Test->click();
    ASSERT_EQ(fAnswerer.Texts().size(), 2);
    EXPECT_TRUE(fAnswerer.Texts().back().startsWith("Validate the MultiMeter 2000 again"));
    EXPECT_EQ(W().State().ProgramState, TProgramState::PIDStep);
}

} // namespace
} // namespace oxtiva
