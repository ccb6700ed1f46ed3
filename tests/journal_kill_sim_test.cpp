// The real program, killed with SIGKILL at random moments and once as a save begins while
// data points flow from the simulated cell, recovers at its next start every row its grid
// held, byte for byte as its saves write them.
#include "support/kill_and_recover.h"

#include <gtest/gtest.h>

namespace oxtiva::testing
{
namespace
{

TEST(JournalKillSimTest, EveryRowTheGridHeldAtTheKillIsRecovered)
{
    RunKillsAndRecover({.RandomKills = 3, .SaveKills = 1}, KillSeed());
}

} // namespace
} // namespace oxtiva::testing
