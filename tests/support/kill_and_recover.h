#pragma once

#include <cstdint>

namespace oxtiva::testing
{

struct TKillPlan {
    int RandomKills = 0; // at a random moment once data points flow
    int SaveKills = 0;   // the moment a save begins
};

// The seed of the kill moments: OXTIVA_KILL_SEED if set, otherwise a fresh one. Printed,
// so a failing run can be repeated.
std::uint32_t KillSeed();

// Runs the real program against the simulated cell, data points flowing, and kills it with
// SIGKILL at each planned moment (in an order the seed shuffles); each start recovers the
// journal the previous kill left, and a last start recovers the last one. Every recovered
// file is checked against the rows the program printed as they entered its grid, against
// the bytes its last save wrote, and against the head every save writes.
void RunKillsAndRecover(const TKillPlan& plan, std::uint32_t seed);

} // namespace oxtiva::testing
