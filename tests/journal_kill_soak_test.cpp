// Many more SIGKILLs of the real program than the normal suite affords: twenty at random
// moments and ten as a save begins, each start recovering what the last kill left.
#include "support/kill_and_recover.h"

#include <gtest/gtest.h>

namespace oxtiva::testing
{
namespace
{

TEST(JournalKillSoakTest, ThirtyKillsLoseNoRowTheGridHeld)
{
    RunKillsAndRecover({.RandomKills = 20, .SaveKills = 10}, KillSeed());
}

} // namespace
} // namespace oxtiva::testing
