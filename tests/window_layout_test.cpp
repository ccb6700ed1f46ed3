#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "app/window/status_bar.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

using namespace oxtiva;

namespace
{

class WindowLayout : public ::testing::Test
{
  protected:
    TfrmOxtiva w;

    template <typename T> T* Control(const char* aName)
    {
        auto* control = w.findChild<T*>(QString::fromLatin1(aName));
        EXPECT_NE(control, nullptr) << aName;
        return control;
    }

    // The text of the label that names a control.
    QString LabelOf(const QWidget* aControl) const
    {
        for (const QLabel* label : w.findChildren<QLabel*>())
            if (label->buddy() == aControl) return label->text();
        return {};
    }
};

struct TPageCase {
    const char* Name;
    const char* Caption;
};

TEST_F(WindowLayout, ShowsTheSevenPagesInOrderWithTheConfigurationPageFirst)
{
    const TPageCase pages[] = {{"TabSheetInstruments", "Configuration"},
                               {"TabSheetExperimentSetup", "Experiment data"},
                               {"TabSheetExperimentControl", "Experiment Control"},
                               {"TabSheetData", "Raw data"},
                               {"TabSheetDebug", "Debug"},
                               {"TabSheetOxygenContent", "Oxygen content"},
                               {"TabSheetThermodynamics", "Thermodynamics"}};
    ASSERT_EQ(w.PageControlMain->count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(w.PageControlMain->tabText(i), QString::fromUtf8(pages[i].Caption));
        EXPECT_EQ(w.PageControlMain->widget(i)->objectName(), QString::fromLatin1(pages[i].Name));
    }
    EXPECT_EQ(w.PageControlMain->currentWidget(), w.TabSheetInstruments);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Oxtiva"));
    EXPECT_TRUE(w.centralWidget()->isAncestorOf(w.PageControlMain));
    EXPECT_EQ(w.statusBar(), w.StatusBar1);
}

struct TGroupCase {
    const char* Name;
    const char* Title;
    const char* Page;
};

TEST_F(WindowLayout, PlacesEachGroupOnItsPage)
{
    const TGroupCase groups[] = {
        {"GroupBox1", "SourceMeter 2401", "TabSheetInstruments"},
        {"GroupBox4", "MultiMeter 2000", "TabSheetInstruments"},
        {"GroupBox6", "Compound", "TabSheetExperimentSetup"},
        {"GroupBox7", "Sample, initial", "TabSheetExperimentSetup"},
        {"GroupBox9", "Cell constants", "TabSheetExperimentSetup"},
        {"GroupBox10", "PID settings", "TabSheetExperimentSetup"},
        {"GroupBox11", "Relative change", "TabSheetExperimentSetup"},
        {"GroupBox13", "Pump limits", "TabSheetExperimentSetup"},
        {"Datapoint", "Datapoint integration time, s", "TabSheetExperimentSetup"},
        {"GroupBox8", "Notes", "TabSheetExperimentSetup"},
        {"GroupBox2", "Program mode", "TabSheetExperimentControl"},
        {"GroupBox12", "Step program", "TabSheetExperimentControl"},
    };
    for (const TGroupCase& c : groups) {
        auto* group = Control<QGroupBox>(c.Name);
        auto* page = Control<QWidget>(c.Page);
        ASSERT_TRUE(group && page);
        EXPECT_EQ(group->title(), QString::fromUtf8(c.Title)) << c.Name;
        EXPECT_TRUE(page->isAncestorOf(group)) << c.Name;
    }
}

struct TNumericCase {
    const char* Name;
    const char* Label;
    double Start;
    std::optional<double> Minimum;
    std::optional<double> Maximum;
    bool Enabled;
    const char* Group;
    std::optional<double> Above = std::nullopt; // a bound the value lies above, not on
};

TEST_F(WindowLayout, GivesEachRealEditItsLabelStartValueLimitsAndEnabledState)
{
    const std::optional<double> none;
    const TNumericCase edits[] = {
        {"RtDoubleEditbs", "Nominal stoichiometric molar content of oxygen", 2.0, none, none, true,
         "GroupBox6", 0.0},
        {"RtDoubleEditM", "Nominal molar mass", 172.11, none, none, true, "GroupBox6", 0.0},
        {"RtDoubleEditb0", "Initial molar content of oxygen", 1.98, none, none, true, "GroupBox6", 0.0},
        {"RtDoubleEditM0", "Initial molar mass", 171.79, none, none, true, "GroupBox6", 0.0},
        {"RtDoubleEditd", "Initial density", 7.22, none, none, true, "GroupBox6", 0.0},
        {"RtDoubleEditmass0", "Mass", 1.0, none, none, true, "GroupBox7", 0.0},
        {"RtDoubleEditVs", "Volume", -1, none, none, false, "GroupBox7"},
        {"RtDoubleEditn0", "Moles of compound", -1, none, none, false, "GroupBox7"},
        {"RtDoubleEditnO0", "Moles of oxygen", -1, none, none, false, "GroupBox7"},
        {"RtDoubleEditmO0", "Mass of oxygen", -1, none, none, false, "GroupBox7"},
        {"RtDoubleEditmM", "Mass of non-oxygen", -1, none, none, false, "GroupBox7"},
        {"RtDoubleEditSensorAx", "Sensor calibration Ax", -1, none, none, true, "GroupBox9"},
        {"RtDoubleEditSensorBx", "Sensor calibration Bx", -23.20793746, none, none, true,
         "GroupBox9"},
        {"RtDoubleEditVHPS", "Gas volume hot part without sample, Vhpws, L", 0.012, none, none,
         true, "GroupBox9", 0.0},
        {"RtDoubleEditVhp", "Gas volume hot part, Vhp, L", -1, none, none, false, "GroupBox9"},
        {"RtDoubleEditVgp", "Gas volume of gradient part, Vgp, L", 0.012, 0.0, none, true,
         "GroupBox9"},
        {"RtDoubleEditTl", "Cold end temperature, Tl, Cº", 30.0, -50.0, 200.0, true, "GroupBox9"},
        {"RtDoubleEditPsO2", "Initial partial pressure of oxygen, PsO2, bar", 0.21, none, 1.0,
         true, "GroupBox9", 0.0},
        {"RtDoubleEditFGpO2", "Flush gas partial pressure of oxygen, FGpO2", 0.21, none, 1.0, true,
         "GroupBox9", 0.0},
        {"RtDoubleEditCTO", "Cell temperature override, ºC", 0, -50.0, 1768.0, true, "GroupBox9"},
        {"RtDoubleEditLeakAlpha", "Leakage constant α, mol/(s·atm^¼)", 0, 0.0, none, true,
         "GroupBox9"},
        {"RtDoubleEditPIDP", "Proportional", 0.002, 0.0, none, true, "GroupBox10"},
        {"RtDoubleEditPIDI", "Integral", 0.001, 0.0, none, true, "GroupBox10"},
        {"RtDoubleEditPIDD", "Derivate", 0, 0.0, none, true, "GroupBox10"},
        {"RtDoubleEditRCDuration", "Duration, s", 100.0, none, none, true, "GroupBox11", 0.0},
        {"RtDoubleEditRCThreshold", "Threshold, %", 0.5, none, none, true, "GroupBox11", 0.0},
        {"RtDoubleEditPumpCurrentLimit", "Current, A", 0.001, 0.0, 0.005, true, "GroupBox13", 0.0},
        {"RtDoubleEditPumpVoltageLimit", "Voltage, V", 0.9, 0.0, 1.1, true, "GroupBox13", 0.0},
        {"RtDoubleEditDataPointLength", "", 10.0, 1.0, none, true, "Datapoint"},
        {"RtDoubleEditPISSP", "", -0.678, -16.0, -0.678, true, "GroupBox2"},
        {"RtDoubleEditEditpO2", "Setpoint", -0.678, -16.0, -0.678, true, "GroupBox12"},
        {"RtDoubleEditPPSmV", "Setpoint", 20, -1000.0, 1000.0, true, "GroupBox12"},
    };
    for (const TNumericCase& c : edits) {
        auto* edit = Control<TRtDoubleEdit>(c.Name);
        auto* group = Control<QGroupBox>(c.Group);
        ASSERT_TRUE(edit && group);
        EXPECT_EQ(LabelOf(edit), QString::fromUtf8(c.Label)) << c.Name;
        if (c.Start != -1)
            EXPECT_DOUBLE_EQ(edit->value(), c.Start) << c.Name; // -1: computed or set at start
        EXPECT_EQ(edit->minimum(), c.Minimum) << c.Name;
        EXPECT_EQ(edit->maximum(), c.Maximum) << c.Name;
        EXPECT_EQ(edit->above(), c.Above) << c.Name;
        EXPECT_EQ(edit->isEnabled(), c.Enabled) << c.Name;
        EXPECT_TRUE(group->isAncestorOf(edit)) << c.Name;
    }
}

TEST_F(WindowLayout, GivesTheWholeNumberEditsTheirLimitsBesideTheirRadioButtons)
{
    ASSERT_NE(Control<TRtIntegerEdit>("RtIntegerEditCurrentmA"), nullptr);
    ASSERT_NE(Control<TRtIntegerEdit>("RtIntegerEditSetVoltage"), nullptr);
    EXPECT_EQ(w.RtIntegerEditCurrentmA->value(), 0);
    EXPECT_EQ(w.RtIntegerEditCurrentmA->minimum(), -5);
    EXPECT_EQ(w.RtIntegerEditCurrentmA->maximum(), 5);
    EXPECT_EQ(w.RtIntegerEditSetVoltage->value(), 0);
    EXPECT_EQ(w.RtIntegerEditSetVoltage->minimum(), -1000);
    EXPECT_EQ(w.RtIntegerEditSetVoltage->maximum(), 1000);
    EXPECT_TRUE(w.GroupBox2->isAncestorOf(w.RtIntegerEditCurrentmA));
    EXPECT_TRUE(w.GroupBox2->isAncestorOf(w.RtIntegerEditSetVoltage));
}

struct TTextCase {
    const char* Name;
    const char* Label;
    const char* Start; // nullptr: filled at start-up
};

TEST_F(WindowLayout, GivesTheTextEditsTheirLabelsAndStartTexts)
{
    const TTextCase edits[] = {{"EditSMUCOMPort", "COM port", nullptr},
                               {"Edit2000COMPort", "COM port", nullptr},
                               {"EditSampleName", "Sample name", "Ceria"},
                               {"EditSampleFormula", "Nominal formula", "CeO2"},
                               {"EditSensorID", "Sensor ID", nullptr}};
    for (const TTextCase& c : edits) {
        auto* edit = Control<QLineEdit>(c.Name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(LabelOf(edit), QString::fromUtf8(c.Label)) << c.Name;
        if (c.Start) EXPECT_EQ(edit->text(), QString::fromUtf8(c.Start)) << c.Name;
        EXPECT_TRUE(edit->isEnabled()) << c.Name;
    }
}

struct TButtonCase {
    const char* Name;
    const char* Caption;
    const char* Page;
};

TEST_F(WindowLayout, CaptionsEveryButtonAndCheckBox)
{
    const TButtonCase buttons[] = {
        {"ButtonSMUTest", "Validate instrument", "TabSheetInstruments"},
        {"Button2000Test", "Validate instrument", "TabSheetInstruments"},
        {"CheckBoxSMUValidated", "Validated", "TabSheetInstruments"},
        {"CheckBox2000Validated", "Validated", "TabSheetInstruments"},
        {"RadioButtonModeOff", "Paused", "TabSheetExperimentControl"},
        {"RadioButtonModePassive", "GS set current, µA:", "TabSheetExperimentControl"},
        {"RadioButtonSetVoltage", "PS set voltage, mV:", "TabSheetExperimentControl"},
        {"RadioButtonPIDSet", "PID, setpoint log(pO2):", "TabSheetExperimentControl"},
        {"RadioButtonPIDStep", "PPID, step program, log(pO2)", "TabSheetExperimentControl"},
        {"RadioButtonPPS", "PPS, step program, mV", "TabSheetExperimentControl"},
        {"ButtonProgramPumpVoltage", "Apply to step program", "TabSheetExperimentControl"},
        {"ButtonProgramDeleteStep", "Delete last step", "TabSheetExperimentControl"},
        {"CheckBoxScroll", "Autoscroll to last row", "TabSheetData"},
        {"CheckBoxConstantsWholeRun", "Apply to the whole run", "TabSheetExperimentSetup"},
        {"ButtonSaveTest", "Manual save", "TabSheetDebug"},
        {"ButtonDeleteData", "Delete first 100 points of data", "TabSheetDebug"},
    };
    for (const TButtonCase& c : buttons) {
        auto* button = Control<QAbstractButton>(c.Name);
        auto* page = Control<QWidget>(c.Page);
        ASSERT_TRUE(button && page);
        EXPECT_EQ(button->text(), QString::fromUtf8(c.Caption)) << c.Name;
        EXPECT_TRUE(page->isAncestorOf(button)) << c.Name;
    }
}

TEST_F(WindowLayout, StartsPausedWithNothingValidatedAndAnEmptyDebugMemo)
{
    EXPECT_TRUE(w.RadioButtonModeOff->isChecked());
    for (QRadioButton* other : {w.RadioButtonModePassive, w.RadioButtonSetVoltage,
                                w.RadioButtonPIDSet, w.RadioButtonPIDStep, w.RadioButtonPPS})
        EXPECT_FALSE(other->isChecked()) << other->objectName().toStdString();
    EXPECT_FALSE(w.CheckBoxSMUValidated->isChecked());
    EXPECT_FALSE(w.CheckBox2000Validated->isChecked());
    EXPECT_FALSE(w.CheckBoxSMUValidated->isEnabled()); // ticked by validation, never by hand
    EXPECT_FALSE(w.CheckBox2000Validated->isEnabled());
    EXPECT_FALSE(w.CheckBoxScroll->isChecked());
    EXPECT_FALSE(w.CheckBoxConstantsWholeRun->isChecked()) << "a change holds from then on";
    EXPECT_TRUE(w.Memo1->toPlainText().isEmpty());
    EXPECT_EQ(w.PageControlMain->currentIndex(), 0);
    EXPECT_EQ(w.State().ProgramState, TProgramState::Uninitialized);
}

// At the size of an ordinary screen the notes keep room for a line of words; at that size
// and at the smallest the window takes, the groups beside them still show their values whole,
// the worked-out ones and the leak constants of an estimate too.
TEST_F(WindowLayout, LeavesTheNotesRoomForALineOfWordsOnAnOrdinaryScreen)
{
    // Leak constants as an estimate leaves them, in full precision.
    w.RtDoubleEditLeakAlpha->setValue(1.00001551927678e-9);
    w.RtDoubleEditLeakSeal->setValue(2.50001551927678e-9);
    w.PageControlMain->setCurrentWidget(w.TabSheetExperimentSetup);
    w.show();
    for (const QSize size : {QSize(1400, 900), w.minimumSizeHint()}) {
        SCOPED_TRACE(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()).toStdString());
        w.resize(size);
        QCoreApplication::processEvents();
        for (const QLineEdit* edit : w.TabSheetExperimentSetup->findChildren<QLineEdit*>()) {
            const int textWidth = edit->fontMetrics().horizontalAdvance(edit->text());
            EXPECT_GE(edit->width(), textWidth + 8) << edit->objectName().toStdString();
        }
    }
    w.resize(1400, 900);
    QCoreApplication::processEvents();
    const QFontMetrics& metrics = w.MemoNotes->fontMetrics();
    EXPECT_GE(w.MemoNotes->viewport()->width(), 14 * metrics.horizontalAdvance(QLatin1Char('n')));
}

TEST_F(WindowLayout, FillsTheMemosWithTheirStartLines)
{
    const QStringList confLog = {
        QStringLiteral("For best performance a dedicated serial port connection to both "
                       "instruments through virtual COM port using RS232 wiring."),
        QString(),
        QStringLiteral("Set up instruments with: Communication: RS-232, no parity, no flow "
                       "control, 8 bits, CR as terminator. 19200 baud for Multimeter, 57600 "
                       "baud "),
        QStringLiteral("for SMU")};
    EXPECT_EQ(w.MemoConfLog->toPlainText().split(QLatin1Char('\n')).mid(0, 4), confLog);
    EXPECT_EQ(w.MemoNotes->toPlainText().split(QLatin1Char('\n')),
              QStringList({QStringLiteral("Example values"), QStringLiteral("Example notes")}));
    EXPECT_EQ(w.MemoNotes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(WindowLayout, StartsTheStepProgramWithTheEightDefaultLines)
{
    const QStringList expected = {
        QStringLiteral("0001   -4          45"),  QStringLiteral("0002   -5          115"),
        QStringLiteral("0003   -6          227"), QStringLiteral("0004   -7          361"),
        QStringLiteral("0005   -8          387"), QStringLiteral("0006   -9          420"),
        QStringLiteral("0007   -10         466"), QStringLiteral("0008   -11         525")};
    ASSERT_EQ(w.ListBoxStepProgram->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(w.ListBoxStepProgram->item(i)->text(), expected[i]);
    QStringList heads;
    for (const QLabel* label : w.GroupBox12->findChildren<QLabel*>())
        heads << label->text();
    for (const char* head : {"Step", "PPID\nlog(pO2)", "or", "PPS\nmV", "log(pO2)", "mV"})
        EXPECT_TRUE(heads.contains(QString::fromLatin1(head))) << head;
}

TEST_F(WindowLayout, PutsTheGraphBesideTheProgramGroupsAndRunsTheQuarterSecondTimer)
{
    EXPECT_NE(w.findChild<QWidget*>(QStringLiteral("RtGraph2D1")), nullptr);
    EXPECT_TRUE(w.TabSheetExperimentControl->isAncestorOf(w.findChild<QWidget*>("RtGraph2D1")));
    EXPECT_TRUE(w.TabSheetData->isAncestorOf(w.findChild<QWidget*>("StringGridData")));
    EXPECT_TRUE(w.TabSheetDebug->isAncestorOf(w.Memo1));
    EXPECT_TRUE(w.TabSheetInstruments->isAncestorOf(w.MemoConfLog));
    EXPECT_TRUE(w.GroupBox8->isAncestorOf(w.MemoNotes));
    EXPECT_TRUE(w.GroupBox12->isAncestorOf(w.ListBoxStepProgram));
    ASSERT_NE(w.Timer1, nullptr);
    EXPECT_EQ(w.Timer1->interval(), 250);
    EXPECT_EQ(w.Timer1->objectName(), QStringLiteral("Timer1"));
}

} // namespace

namespace oxtiva
{
namespace
{

// Lab laptops often have 1366 × 768 pixels, less a taskbar and the window's title: the
// window fits them with every page, an ended alarm's long trace included, and no text of a
// page or of the status bar is cut.
TEST(WindowOnALaptop, FitsA1366By768ScreenWithNothingCut)
{
    TfrmOxtiva w;
    const QSize screen(1366, 768 - 40 - 30);
    w.GlyphStatusAlarmTrace->SetStatus(
        {QStringLiteral("SourceMeter 2401 silent from 2026-12-10 12:03:10 for 4 min 12 s, reads "
                        "again; MultiMeter 2000 silent from 2026-12-10 12:20:45 for 1 min 2 s, "
                        "reads again; SourceMeter 2401 silent from 2026-12-10 13:01:00 for 40 s, "
                        "then no longer read; and 3 earlier"),
         PictureWarning});
    w.GlyphStatusAlarmTrace->show();
    w.ButtonAcknowledgeAlarm->show();
    w.StatusPaneStep->setText(QStringLiteral("Mode: ZeroCurrent"));
    w.StatusPaneRC->setText(QStringLiteral("Relative change (RC) last 100 s: not yet known"));
    w.resize(screen);
    w.show();
    for (int page = 0; page < w.PageControlMain->count(); ++page) {
        w.PageControlMain->setCurrentIndex(page);
        QCoreApplication::processEvents();
        const QString name = w.PageControlMain->tabText(page);
        EXPECT_LE(w.width(), screen.width()) << name.toStdString() << " widens the window";
        EXPECT_LE(w.height(), screen.height()) << name.toStdString() << " heightens the window";
        for (const QLabel* label : w.findChildren<QLabel*>()) {
            if (!label->isVisible() || label->wordWrap() || label->text().isEmpty()) continue;
            EXPECT_GE(label->width(), label->sizeHint().width())
                << name.toStdString() << ": " << label->text().toStdString() << " is cut";
        }
    }
}

} // namespace
} // namespace oxtiva
