// What the validation memo says about the serial ports, with and without any.
#include "app/experiment/instrument_validation.h"
#include "app/main_window.h"
#include "instruments/port_list.h"
#include "support/qstring_printer.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

const QString Hint = QStringLiteral("Type in ports to boxes on the left and click validate to "
                                    "verify the instrument can be communicated with.");

TEST(ValidationMemo, PortListSaysSoWhenThereIsNoPort)
{
    EXPECT_EQ(PortListMemoLines(std::nullopt),
              QStringList({QString(), QStringLiteral("No available COM ports!"), QString(), Hint}));
    // A registry key without values: the heading, then nothing before the hint.
    EXPECT_EQ(PortListMemoLines(QStringList()),
              QStringList({QString(), QStringLiteral("Available COM ports:"), QString(), Hint}));
    EXPECT_EQ(PortListMemoLines(QStringList{"/dev/ttyS0", "/dev/ttyUSB1"}),
              QStringList({QString(), QStringLiteral("Available COM ports:"),
                           QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB1"), QString(),
                           Hint}));
}

TEST(ValidationMemo, WindowListsThePortsThisMachineHasAfterTheOpeningLines)
{
    QTemporaryDir programFolder;
    TfrmOxtiva window(nullptr, programFolder.path());
    const QStringList memo = window.MemoConfLog->toPlainText().split(QLatin1Char('\n'));
    const QStringList portLines = PortListMemoLines(AvailableSerialPorts());
    ASSERT_GT(memo.size(), portLines.size());
    EXPECT_EQ(memo.mid(memo.size() - portLines.size()), portLines);
    EXPECT_EQ(memo[memo.size() - portLines.size() - 1], QStringLiteral("for SMU"));
}

} // namespace
