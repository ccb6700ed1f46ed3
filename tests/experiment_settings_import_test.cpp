// An experiment's settings taken back from its data file into a fresh window: through the
// button beside the tabs, and offered after a crash's journal is recovered. Real windows
// offscreen, files in a real temporary folder.
#include "app/experiment/experiment_saver.h"
#include "app/experiment/experiment_settings_import.h"
#include "app/experiment/journal_keeper.h"
#include "app/experiment/journal_recovery.h"
#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "control/step_line.h"
#include "records/data_file_settings.h"
#include "support/dialog_answerer.h"
#include "support/file_dialog_answerer.h"
#include "support/qstring_printer.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

using testing::TFileDialogAnswerer;
using testing::TMessageBoxAnswerer;

// The constants an operator typed for a sample, all unlike the defaults.
void TypeOperatorsConstants(TfrmOxtiva& w)
{
    w.EditSampleName->setText("Ceria");
    w.EditSampleFormula->setText("CeO2");
    w.EditSensorID->setText("HT PIS 0317524");
    w.MemoNotes->setPlainText("Example values\nExample notes");
    w.RtDoubleEditmass0->setValue(2.5);
    w.RtDoubleEditd->setValue(7.13);
    w.RtDoubleEditVHPS->setValue(0.02);
    w.RtDoubleEditTl->setValue(25);
    w.RtDoubleEditRCThreshold->setValue(0.2);
    w.RtDoubleEditDataPointLength->setValue(12);
    w.RtDoubleEditLeakAlpha->setValue(3e-6);
}

QStringList StepLines(const TfrmOxtiva& w)
{
    QStringList lines;
    for (int i = 0; i < w.ListBoxStepProgram->count(); ++i)
        lines << w.ListBoxStepProgram->item(i)->text();
    return lines;
}

// The default program cut to its first two steps, and a third step of the operator's.
void ShortenTheStepProgram(TfrmOxtiva& w)
{
    while (w.ListBoxStepProgram->count() > 2)
        w.ButtonProgramDeleteStep->click();
    w.RtDoubleEditEditpO2->setValue(-12.5);
    w.RtDoubleEditPPSmV->setValue(640);
    w.ButtonProgramPumpVoltage->click();
}

QStringList ShortenedSteps()
{
    return DefaultStepProgram().mid(0, 2) << StepLine(3, -12.5, 640);
}

// Every value the VARIABLES rows hold, as a save writes them.
std::array<QString, DataFileVariableCount> Variables(TfrmOxtiva& w)
{
    return w.Saver().Content().VariableValues;
}

class ExperimentSettingsImportTest : public ::testing::Test
{
  protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override
    {
        QLocale::setDefault(fLocale);
        EXPECT_TRUE(fMessages.Unexpected().isEmpty())
            << fMessages.Unexpected().join(" | ").toStdString();
        EXPECT_EQ(fFiles.Unexpected(), 0);
    }

    TMessageBoxAnswerer fMessages;
    TFileDialogAnswerer fFiles;
    QTemporaryDir fFolderA;
    QTemporaryDir fFolderB;
    QLocale fLocale;
};

// The save beside the tabs says what it wrote; a fresh window then takes that file's
// settings, and its sample results follow from them.
TEST_F(ExperimentSettingsImportTest, AFreshWindowTakesTheSettingsOfASavedFile)
{
    TfrmOxtiva a(nullptr, fFolderA.path());
    TypeOperatorsConstants(a);
    ShortenTheStepProgram(a);
    a.ButtonSave->click();
    ASSERT_TRUE(a.Saver().WaitUntilSaved());
    const QString saved = a.Saver().LastSavedPath();
    ASSERT_TRUE(QFile::exists(saved));
    EXPECT_TRUE(QRegularExpression(R"(^Saved Ceria_0000\.csv at \d\d:\d\d:\d\d$)")
                    .match(a.LabelLastSave->text())
                    .hasMatch())
        << a.LabelLastSave->text().toStdString();

    TfrmOxtiva b(nullptr, fFolderB.path());
    ASSERT_NE(Variables(b), Variables(a));
    fFiles.Expect(saved);
    fMessages.Expect(QMessageBox::Ok);
    b.ButtonTakeSettings->click();
    EXPECT_EQ(fFiles.Answered(), 1);
    EXPECT_EQ(Variables(b), Variables(a));
    EXPECT_EQ(StepLines(b), ShortenedSteps()) << "the step program saved beside the file";
    EXPECT_TRUE(fMessages.Texts().value(0).startsWith("Taken from "))
        << "the operator is told what was taken";
    EXPECT_EQ(b.EditSampleName->text(), "Ceria");
    EXPECT_EQ(b.EditSampleFormula->text(), "CeO2");
    EXPECT_EQ(b.MemoNotes->toPlainText(), "Example values\nExample notes");
    EXPECT_EQ(b.RtDoubleEditVs->value(), a.RtDoubleEditVs->value()) << "recomputed from m0, d";
}

// A value an edit cannot hold, and a leakage row from before alpha had one, leave the
// edit as it was; the operator is told which were not taken. A file that is no data file
// changes nothing.
TEST_F(ExperimentSettingsImportTest, ValuesAnEditCannotHoldAreNamedAndLeftAsTheyWere)
{
    TfrmOxtiva a(nullptr, fFolderA.path());
    TypeOperatorsConstants(a);
    TDataFileContent content = a.Saver().Content();
    content.VariableValues[24] = "0,2";                      // RCtr, a comma where "." is used
    content.VariableValues[29] = content.VariableValues[27]; // old files: the point length
    content.VariableValues[30] = "-1e400";
    const QString path = fFolderA.filePath("edited.csv");
    QString error;
    ASSERT_TRUE(WriteDataFile(path, content, error)) << error.toStdString();

    TfrmOxtiva b(nullptr, fFolderB.path());
    const double alpha = b.RtDoubleEditLeakAlpha->value();
    const double threshold = b.RtDoubleEditRCThreshold->value();
    QStringList notTaken;
    ASSERT_TRUE(TakeExperimentSettings(b, path, notTaken, error)) << error.toStdString();
    EXPECT_EQ(notTaken, (QStringList{"RCtr ('0,2')", "CTO ('-1e400')"}));
    EXPECT_EQ(b.RtDoubleEditRCThreshold->value(), threshold);
    EXPECT_EQ(b.RtDoubleEditLeakAlpha->value(), alpha);
    EXPECT_EQ(b.RtDoubleEditmass0->value(), 2.5) << "the rest is taken";

    const QString notes = fFolderA.filePath("notes.csv");
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Value;Unit\r\n");
    file.close();
    fMessages.Expect(QMessageBox::Ok);
    fFiles.Expect(notes);
    b.ButtonTakeSettings->click();
    EXPECT_EQ(fMessages.Texts().value(0), "No settings were taken from " +
                                              QDir::toNativeSeparators(notes) +
                                              ": line 1: no \"** HEADER\" line; not a data file");
    EXPECT_EQ(b.RtDoubleEditmass0->value(), 2.5);
}

// Four weeks of points make a data file of hundreds of megabytes, the program's own
// recovered file among them: its settings are taken as readily as an hour's, from its
// head alone.
TEST_F(ExperimentSettingsImportTest, AMonthsFileIsTakenFromItsHead)
{
    TfrmOxtiva a(nullptr, fFolderA.path());
    TypeOperatorsConstants(a);
    const QString path = fFolderA.filePath("month.csv");
    QString error;
    ASSERT_TRUE(WriteDataFile(path, a.Saver().Content(), error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.resize(600LL << 20)); // sparse: the rows' bytes take no disk

    TfrmOxtiva b(nullptr, fFolderB.path());
    QStringList notTaken;
    ASSERT_TRUE(TakeExperimentSettings(b, path, notTaken, error)) << error.toStdString();
    EXPECT_TRUE(notTaken.isEmpty());
    EXPECT_EQ(Variables(b), Variables(a));
    EXPECT_EQ(b.MemoNotes->toPlainText(), "Example values\nExample notes");
}

// A session that ended without closing leaves its rows in the journal; the next start
// recovers them and offers the session's settings, warning that the pump may still source.
TEST_F(ExperimentSettingsImportTest, RecoveryOffersTheRecoveredSettingsWithThePumpWarning)
{
    {
        TfrmOxtiva a(nullptr, fFolderA.path());
        TypeOperatorsConstants(a);
        ShortenTheStepProgram(a);
        a.CheckBoxSMUValidated->setChecked(true);
        a.CheckBox2000Validated->setChecked(true);
        a.State().ProgramState = TProgramState::Paused;
        fMessages.Expect(QMessageBox::Yes);
        a.RadioButtonPIDSet->click();
        a.State().DataPoint = {0.1, 1e-4, 14, true, 1e-5, 845.3, 10, true};
        a.AddDataUpdates();
        a.Journal().Sync();
        ASSERT_TRUE(a.Journal().WaitUntilWritten(5000));
    } // destroyed without closing, as after a crash

    TfrmOxtiva b(nullptr, fFolderA.path());
    const auto before = Variables(b);
    fMessages.Expect(QMessageBox::Yes); // Recover
    fMessages.Expect(QMessageBox::Yes); // Take the settings
    fMessages.Expect(QMessageBox::Ok);  // what was taken
    OfferUnsavedJournals(&b, fFolderA.filePath("Userdata"), b.LogDestination(),
                         [&b](const QString& file, const QString& sample) {
                             OfferRecoveredSettings(b, file, sample);
                         });
    ASSERT_EQ(fMessages.Answered(), 4);
    const QString offer = fMessages.Texts().at(2);
    EXPECT_TRUE(offer.startsWith("The unsaved data of \"Ceria\" was written to\n"))
        << offer.toStdString();
    EXPECT_TRUE(offer.contains("The pump keeps that level until the SourceMeter is validated "
                               "again, which resets it."))
        << offer.toStdString();
    EXPECT_NE(Variables(b), before);
    EXPECT_EQ(b.RtDoubleEditmass0->value(), 2.5);
    EXPECT_EQ(b.RtDoubleEditRCThreshold->value(), 0.2);
    EXPECT_EQ(b.EditSampleName->text(), "Ceria");
    EXPECT_EQ(StepLines(b), ShortenedSteps()) << "the run's step program is back too";
    EXPECT_TRUE(fMessages.Texts().last().contains("The step list holds the run's 3 steps again."))
        << fMessages.Texts().last().toStdString();
}

// Ctrl+S saves from whichever page is open.
TEST_F(ExperimentSettingsImportTest, CtrlSSavesFromAnyPage)
{
    TfrmOxtiva a(nullptr, fFolderA.path());
    a.EditSampleName->setText("Ceria");
    a.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&a));
    a.PageControlMain->setCurrentWidget(a.TabSheetData);
    QTest::keyClick(&a, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(a.Saver().WaitUntilSaved());
    EXPECT_TRUE(a.LabelLastSave->text().startsWith("Saved Ceria_0000.csv at "))
        << a.LabelLastSave->text().toStdString();
    EXPECT_TRUE(QFile::exists(a.Saver().LastSavedPath()));
}

} // namespace
} // namespace oxtiva
