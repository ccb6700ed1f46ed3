#include "app/experiment/control_cycle.h"
#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "control/step_line.h"
#include "control/step_program_file.h"
#include "records/logging.h"
#include "support/dialog_answerer.h"
#include "support/file_dialog_answerer.h"
#include "support/qstring_printer.h"
#include "support/wait_for.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

class StepProgramEditorTest : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        QLocale::setDefault(fLocale);
        EXPECT_TRUE(fMessages.Unexpected().isEmpty())
            << fMessages.Unexpected().join(" | ").toStdString();
        EXPECT_EQ(fFiles.Unexpected(), 0);
    }

    QTemporaryDir fProgramFolder;
    TfrmOxtiva fWindow{nullptr, fProgramFolder.path()};
    oxtiva::testing::TMessageBoxAnswerer fMessages;
    oxtiva::testing::TFileDialogAnswerer fFiles;
    QLocale fLocale;

    QListWidget& List() { return *fWindow.ListBoxStepProgram; }
    QStringList Lines()
    {
        QStringList lines;
        for (int i = 0; i < List().count(); ++i)
            lines << List().item(i)->text();
        return lines;
    }
    QString ProgramsFolder() const { return fProgramFolder.filePath("Userdata/Step programs"); }
    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = fProgramFolder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void SaveAs(const QString& path)
    {
        fFiles.Expect(path);
        fWindow.ButtonSaveSteps->click();
    }
    void Load(const QString& path)
    {
        fFiles.Expect(path);
        fWindow.ButtonLoadSteps->click();
    }
    // Both instruments count as validated, so the program state can be chosen; no
    // instrument threads run, which the control cycle allows for.
    void Choose(QRadioButton* button)
    {
        fWindow.CheckBoxSMUValidated->setChecked(true);
        fWindow.CheckBox2000Validated->setChecked(true);
        fMessages.Expect(QMessageBox::Yes);
        button->click();
    }
    void SetEdits(double minusLogpO2, double millivolts)
    {
        fWindow.RtDoubleEditEditpO2->setValue(-minusLogpO2);
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
    EXPECT_DOUBLE_EQ(fWindow.RtDoubleEditEditpO2->value(), -10);
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

struct TLocaleCase {
    QLocale::Language Language;
    QLocale::Territory Territory;
    const char* AppliedLine;
};

class StepProgramFilesTest : public StepProgramEditorTest,
                             public ::testing::WithParamInterface<TLocaleCase>
{
};

TEST_P(StepProgramFilesTest, ASavedProgramLoadsBackIntoTheList)
{
    QLocale::setDefault(QLocale(GetParam().Language, GetParam().Territory));
    SetEdits(0.85, -20);
    fWindow.ButtonProgramPumpVoltage->click();
    ASSERT_EQ(List().item(8)->text(), GetParam().AppliedLine);
    const QStringList saved = Lines();

    SaveAs(ProgramsFolder() + "/ceria");
    EXPECT_EQ(fFiles.LastMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(fFiles.Folders().last(), ProgramsFolder()) << "created for the first save";
    EXPECT_TRUE(fFiles.NameFilters().contains("Step programs (*.steps)"));
    const QString path = ProgramsFolder() + "/ceria.steps";
    EXPECT_EQ(ReadFile(path), (saved.join("\r\n") + "\r\n").toUtf8());

    while (List().count() > 1)
        fWindow.ButtonProgramDeleteStep->click();
    Load(path);
    EXPECT_EQ(fFiles.LastMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(fFiles.Folders().last(), ProgramsFolder());
    EXPECT_EQ(Lines(), saved);
    EXPECT_TRUE(List().selectedItems().isEmpty());
    EXPECT_EQ(fFiles.Answered(), 2);
}

INSTANTIATE_TEST_SUITE_P(Locales, StepProgramFilesTest,
                         ::testing::Values(TLocaleCase{QLocale::English, QLocale::UnitedStates,
                                                       "0009   -0.85       -20"},
                                           TLocaleCase{QLocale::German, QLocale::Germany,
                                                       "0009   -0,85       -20"}));

TEST_F(StepProgramEditorTest, SaveAppendsTheExtensionAndAsksBeforeReplacingAFile)
{
    const QString typed = fProgramFolder.filePath("run.v2");
    const QString path = typed + ".steps";
    SaveAs(typed);
    ASSERT_EQ(ReadFile(path).count("\r\n"), 8);

    fWindow.ButtonProgramDeleteStep->click();
    fMessages.Expect(QMessageBox::No);
    SaveAs(typed);
    ASSERT_EQ(fMessages.Texts().size(), 1);
    EXPECT_EQ(fMessages.Texts().last(),
              QDir::toNativeSeparators(path) + " already exists. Replace it?");
    EXPECT_EQ(ReadFile(path).count("\r\n"), 8) << "No keeps the file as it was";

    fMessages.Expect(QMessageBox::Yes);
    SaveAs(typed);
    EXPECT_EQ(ReadFile(path).count("\r\n"), 7);
    EXPECT_FALSE(QFile::exists(typed));
}

TEST_F(StepProgramEditorTest, AFileThatIsNotAStepProgramLeavesTheListAsItWas)
{
    const QStringList before = Lines();
    struct TCase {
        QString Path;
        QString Message;
    };
    const QString bad =
        WriteFile("bad.steps", "0001   -4          45\r\n0002   -5          115\r\n0003   -6\r\n"
                               "0004   -7,5        361\r\n");
    const QString large = WriteFile("large.steps", QByteArray(2 << 20, ' '));
    const QString empty = WriteFile("empty.steps", "\r\n");
    for (const TCase& c :
         {TCase{bad, "The step program " + QDir::toNativeSeparators(bad) +
                         " was not loaded; the list is unchanged.\n\nline 3: expected 3 columns "
                         "(step number, log(pO2) set point, millivolts) separated by blanks or a "
                         "tab, found 2 in '0003   -6'\n"
                         "line 4: the log(pO2) set point '-7,5' is not a number (this computer "
                         "writes decimals with '.')"},
          TCase{large, QDir::toNativeSeparators(large) + " is too large to be a step program."},
          TCase{empty, "The step program " + QDir::toNativeSeparators(empty) +
                           " was not loaded; the list is unchanged.\n\nthe file holds no steps"}}) {
        fMessages.Expect(QMessageBox::Ok);
        Load(c.Path);
        EXPECT_EQ(fMessages.Texts().last(), c.Message);
        EXPECT_EQ(Lines(), before);
    }
    EXPECT_EQ(fMessages.Answered(), 3);
}

TEST_F(StepProgramEditorTest, LoadingWhileAProgramRunsAsksFirstAndGoesOnAtTheSameStep)
{
    QLocale::setDefault(QLocale::c());
    const QStringList loaded = {StepLine(1, -1, 100), StepLine(2, -2.5, 200), StepLine(3, -3, 300)};
    const QString path = WriteFile("three.steps", StepProgramFileText(loaded));
    Choose(fWindow.RadioButtonPIDStep);
    ASSERT_EQ(fWindow.State().ProgramState, TProgramState::PIDStep);
    fWindow.State().StepIndex = 1;
    const QStringList before = Lines();

    fMessages.Expect(QMessageBox::No);
    Load(path);
    EXPECT_EQ(fMessages.Texts().last(),
              "Load these steps in place of the running step program? The program goes on at "
              "step 2 of the loaded list, with the time already spent in the step.");
    EXPECT_EQ(Lines(), before) << "No keeps the running program";

    fMessages.Expect(QMessageBox::Yes);
    Load(path);
    EXPECT_EQ(Lines(), loaded);
    EXPECT_EQ(fWindow.State().StepIndex, 1);
    fWindow.ControlCycle().Timer1Timer();
    EXPECT_EQ(fWindow.State().ProgramState, TProgramState::PIDStep);
    EXPECT_DOUBLE_EQ(fWindow.State().PID.Setpoint(), -2.5);
}

// A program that runs past the end of a shorter list ends as any program does; the caption
// and the log keep when, until the operator next chooses a program state, be it the one
// the program fell back to.
TEST_F(StepProgramEditorTest, LoadingAShorterListEndsTheRunningProgramAndSaysWhen)
{
    const QString path =
        WriteFile("two.steps", StepProgramFileText(DefaultStepProgram().mid(0, 2)));
    Choose(fWindow.RadioButtonPPS);
    fWindow.State().StepIndex = 4;
    fMessages.Expect(QMessageBox::Yes);
    Load(path);
    EXPECT_EQ(fMessages.Texts().last(),
              QString("Load these steps in place of the running step program? The loaded list has "
                      "only 2 steps, fewer than the running step 5, so the program ends and the "
                      "pump falls back to 0 µA."));
    fWindow.ControlCycle().Timer1Timer();
    EXPECT_EQ(fWindow.State().ProgramState, TProgramState::ZeroCurrent);
    EXPECT_TRUE(fWindow.RadioButtonModePassive->isChecked());

    const QRegularExpression ended(R"(^Step program ended at \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)");
    const QString caption = fWindow.windowTitle();
    EXPECT_TRUE(ended.match(caption).hasMatch()) << caption.toStdString();
    fWindow.LogDestination()->Flush();
    const QString log = QString::fromUtf8(ReadFile(fProgramFolder.filePath("Logs/Log.csl")));
    EXPECT_TRUE(log.contains(caption)) << log.toStdString();

    // Declining another state is no answer; choosing the zero current the program fell
    // back to is, though the state stays as it was.
    fMessages.Expect(QMessageBox::No);
    fWindow.RadioButtonSetVoltage->click();
    EXPECT_EQ(fWindow.windowTitle(), caption);
    fWindow.RadioButtonModePassive->click();
    EXPECT_EQ(fWindow.State().ProgramState, TProgramState::ZeroCurrent);
    EXPECT_EQ(fWindow.windowTitle(), "Oxtiva");
    Choose(fWindow.RadioButtonModeOff);
    EXPECT_EQ(fWindow.State().ProgramState, TProgramState::Paused);
}

} // namespace
} // namespace oxtiva
