#include "app/main_window.h"
#include "app/window/numeric_edits.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace oxtiva;

namespace
{

void Type(QLineEdit& aEdit, const QString& aText)
{
    aEdit.selectAll();
    QTest::keyClicks(&aEdit, aText);
    QTest::keyClick(&aEdit, Qt::Key_Return);
}

struct TTypedCase {
    const char* Typed;
    double Expected; // the value the edit holds afterwards
    const char* Shown;
    const char* NotTaken; // the edit's mark, empty when the entry is taken
};

class TypedIntoTheSetPointEdit : public ::testing::TestWithParam<TTypedCase>
{
};

// An edit from 0.678 to 16 (a -log(pO2)). A refused entry shows the value in force again,
// marked with why the entry was not taken; the tooltip says what the edit takes.
TEST_P(TypedIntoTheSetPointEdit, KeepsOnlyEntriesWithinTheLimitsAndSaysWhyNot)
{
    QLocale::setDefault(QLocale::c());
    const TTypedCase c = GetParam();
    TRtDoubleEdit edit;
    edit.SetLimits(0.678, 16.0);
    edit.setValue(5);
    QSignalSpy changed(&edit, &TRtDoubleEdit::valueChanged);
    Type(edit, QString::fromLatin1(c.Typed));
    EXPECT_DOUBLE_EQ(edit.value(), c.Expected);
    EXPECT_EQ(edit.text(), QString::fromLatin1(c.Shown));
    EXPECT_EQ(changed.count(), c.Expected == 5 ? 0 : 1);
    EXPECT_EQ(edit.NotTakenReason(), QString::fromUtf8(c.NotTaken));
    const QString range = QStringLiteral("Takes 0.678 to 16");
    EXPECT_EQ(edit.toolTip(),
              *c.NotTaken ? QString::fromUtf8(c.NotTaken) + QLatin1Char('\n') + range : range);
    emit edit.editingFinished(); // leaving the edit again keeps the mark
    EXPECT_EQ(edit.NotTakenReason(), QString::fromUtf8(c.NotTaken));

    Type(edit, "3");
    EXPECT_EQ(edit.value(), 3);
    EXPECT_TRUE(edit.NotTakenReason().isEmpty()) << "a taken value ends the mark";
    EXPECT_EQ(edit.toolTip(), range);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, TypedIntoTheSetPointEdit,
    ::testing::Values(
        TTypedCase{"0.5", 5, "5", "Not taken: '0.5' lies outside 0.678 to 16"},
        TTypedCase{"0.677", 5, "5", "Not taken: '0.677' lies outside 0.678 to 16"},
        TTypedCase{"0.678", 0.678, "0.678", ""}, TTypedCase{"16", 16, "16", ""},
        TTypedCase{"16.01", 5, "5", "Not taken: '16.01' lies outside 0.678 to 16"},
        TTypedCase{"abc", 5, "5", "Not taken: 'abc' is not a number"},
        TTypedCase{"2,5", 5, "5",
                   "Not taken: '2,5' is not a number (this computer writes decimals with '.')"},
        TTypedCase{"", 5, "5", ""}, // nothing typed over the value
        TTypedCase{"7.5x", 5, "5", "Not taken: '7.5x' is not a number"},
        TTypedCase{"1.5E1", 15, "15", ""}, TTypedCase{" 12 ", 12, "12", ""}));

TEST(RtIntegerEdit, SaysWhyAFractionOrAValueBeyondOneLimitIsNotTaken)
{
    TRtIntegerEdit edit;
    edit.SetLimits(0, std::nullopt);
    edit.setValue(4);
    Type(edit, "2.5");
    EXPECT_EQ(edit.value(), 4);
    EXPECT_EQ(edit.NotTakenReason(), "Not taken: '2.5' is not a whole number");
    Type(edit, "-1");
    EXPECT_EQ(edit.NotTakenReason(), "Not taken: '-1' lies below 0");
}

TEST(RtDoubleEdit, HasNoLimitsUntilTheyAreSet)
{
    TRtDoubleEdit edit;
    EXPECT_FALSE(edit.minimum());
    EXPECT_FALSE(edit.maximum());
    Type(edit, QStringLiteral("-1e300"));
    EXPECT_DOUBLE_EQ(edit.value(), -1e300);
}

TEST(RtDoubleEdit, ShowsItsValueInTheGeneralNumberFormat)
{
    TRtDoubleEdit edit;
    edit.setValue(2.0);
    EXPECT_EQ(edit.text(), QStringLiteral("2"));
    edit.setValue(0.00001);
    EXPECT_EQ(edit.text(), QStringLiteral("1E-5"));
    edit.setValue(29729.36789);
    EXPECT_EQ(edit.text(), QStringLiteral("29729.36789"));
}

TEST(RtDoubleEdit, ClampsAValueSetFromCodeToItsLimits)
{
    TRtDoubleEdit edit;
    edit.SetLimits(-16.0, -0.678);
    edit.setValue(3);
    EXPECT_DOUBLE_EQ(edit.value(), -0.678);
    edit.setValue(-20);
    EXPECT_DOUBLE_EQ(edit.value(), -16);
    edit.setValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(edit.value(), -16);
}

TEST(RtDoubleEdit, ClampsItsValueWhenNewLimitsExcludeIt)
{
    TRtDoubleEdit edit;
    edit.setValue(50);
    QSignalSpy changed(&edit, &TRtDoubleEdit::valueChanged);
    edit.setMaximum(10.0);
    EXPECT_DOUBLE_EQ(edit.value(), 10);
    EXPECT_EQ(changed.count(), 1);
    edit.setMaximum(std::nullopt);
    Type(edit, QStringLiteral("50"));
    EXPECT_DOUBLE_EQ(edit.value(), 50);
}

TEST(RtDoubleEdit, ReportsAChangeOnlyWhenTheValueChanges)
{
    TRtDoubleEdit edit;
    QSignalSpy changed(&edit, &TRtDoubleEdit::valueChanged);
    edit.setValue(1.5);
    edit.setValue(1.5);
    Type(edit, QStringLiteral("1.5"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_DOUBLE_EQ(changed.at(0).at(0).toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(edit.property("value").toDouble(), 1.5);
}

TEST(RtDoubleEdit, RefusesAnEntryWhenItLosesFocus)
{
    TRtDoubleEdit edit;
    edit.SetLimits(1.0, std::nullopt);
    edit.setValue(10);
    edit.setText(QStringLiteral("0.2"));
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&edit, &focusOut);
    EXPECT_DOUBLE_EQ(edit.value(), 10);
    EXPECT_EQ(edit.text(), QStringLiteral("10"));
}

struct TIntegerCase {
    const char* Typed;
    int Expected;
};

class TypedIntoTheCurrentEdit : public ::testing::TestWithParam<TIntegerCase>
{
};

// GS set current, µA: from -5 to 5 until the SourceMeter is validated.
TEST_P(TypedIntoTheCurrentEdit, KeepsOnlyWholeNumbersWithinTheLimits)
{
    const TIntegerCase c = GetParam();
    TfrmOxtiva w;
    TRtIntegerEdit& edit = *w.RtIntegerEditCurrentmA;
    edit.setValue(2);
    QSignalSpy changed(&edit, &TRtIntegerEdit::valueChanged);
    Type(edit, QString::fromLatin1(c.Typed));
    EXPECT_EQ(edit.value(), c.Expected);
    EXPECT_EQ(edit.text(), QString::number(c.Expected));
    EXPECT_EQ(changed.count(), c.Expected == 2 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Entries, TypedIntoTheCurrentEdit,
                         ::testing::Values(TIntegerCase{"-5", -5}, TIntegerCase{"5", 5},
                                           TIntegerCase{"6", 2}, TIntegerCase{"-6", 2},
                                           TIntegerCase{"1.5", 2}, TIntegerCase{"x", 2},
                                           TIntegerCase{"99999999999", 2}));

struct TLimitCase {
    const char* Edit;
    const char* Typed;
    double Expected; // the value the edit holds afterwards
};

class TypedIntoAPumpLimit : public ::testing::TestWithParam<TLimitCase>
{
};

// The pump limits are magnitudes above 0 (a limit of 0 pumps nothing): validation bounds the set-current and set-voltage edits
// by minus and plus each, so a negative limit would give them reversed bounds.
TEST_P(TypedIntoAPumpLimit, KeepsOnlyMagnitudesUpToTheInstrumentsRange)
{
    const TLimitCase c = GetParam();
    TfrmOxtiva w;
    auto& edit = *w.findChild<TRtDoubleEdit*>(QString::fromLatin1(c.Edit));
    const double start = edit.value();
    Type(edit, QString::fromLatin1(c.Typed));
    EXPECT_DOUBLE_EQ(edit.value(), std::isnan(c.Expected) ? start : c.Expected)
        << c.Edit << " typed " << c.Typed;
}

constexpr double Refused = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Entries, TypedIntoAPumpLimit,
    ::testing::Values(TLimitCase{"RtDoubleEditPumpCurrentLimit", "-0.001", Refused},
                      TLimitCase{"RtDoubleEditPumpCurrentLimit", "-1E-9", Refused},
                      TLimitCase{"RtDoubleEditPumpCurrentLimit", "0", Refused},
                      TLimitCase{"RtDoubleEditPumpCurrentLimit", "0.005", 0.005},
                      TLimitCase{"RtDoubleEditPumpCurrentLimit", "0.0051", Refused},
                      TLimitCase{"RtDoubleEditPumpVoltageLimit", "-0.9", Refused},
                      TLimitCase{"RtDoubleEditPumpVoltageLimit", "0", Refused},
                      TLimitCase{"RtDoubleEditPumpVoltageLimit", "1.1", 1.1},
                      TLimitCase{"RtDoubleEditPumpVoltageLimit", "1.2", Refused}));

TEST(RtIntegerEdit, WidenedLimitsAcceptLargerEntriesAndNarrowedOnesClamp)
{
    TRtIntegerEdit edit;
    edit.SetLimits(-5, 5);
    Type(edit, QStringLiteral("900"));
    EXPECT_EQ(edit.value(), 0);
    edit.SetLimits(-1000, 1000);
    Type(edit, QStringLiteral("900"));
    EXPECT_EQ(edit.value(), 900);
    edit.SetLimits(-500, 500);
    EXPECT_EQ(edit.value(), 500);
    EXPECT_EQ(edit.text(), QStringLiteral("500"));
}

TEST(ParseTypedDouble, ReadsWholeNumbersOnly)
{
    double value = 7;
    EXPECT_TRUE(ParseTypedDouble(QStringLiteral("-0.678"), value));
    EXPECT_DOUBLE_EQ(value, -0.678);
    value = 7;
    EXPECT_FALSE(ParseTypedDouble(QStringLiteral("1,2,3"), value));
    EXPECT_FALSE(ParseTypedDouble(QStringLiteral("inf"), value));
    EXPECT_FALSE(ParseTypedDouble(QStringLiteral("nan"), value));
    EXPECT_DOUBLE_EQ(value, 7);
}

} // namespace
