#pragma once

#include "cell_model.h"
#include "reply_timing.h"

#include <optional>
#include <string>

namespace oxtiva::sim
{

// How the simulator was asked to behave, from its command line.
struct TSimOptions {
    std::string smuLink;
    std::string dmmLink;
    double timeScale = 1.0;
    int latencyMs = 0;
    bool modelWireTime = false;
    unsigned long long seed = 1;
    double noise = 1.0;
    // A further error of each pump current reading, as a share of the current: the charge
    // of a point is then off by as much over the readings it averages.
    double currentNoise = 0;
    // Oxygen leaking in from the flush gas, mol/s per atm of difference; a larger leak
    // makes the pump hold a steady current at a set pO2, as a real cell does.
    double leakMolPerSAtm = TCellParameters{}.leakMolPerSAtm;
    // The oxygen balance's cell: a reducible sample gives off far more oxygen per e-fold
    // of pO2 than the gas holds; a quarter-power leak is the one the program assumes.
    double sampleCapacityMol = TCellParameters{}.sampleCapacityMol;
    double sampleTimeConstantS = TCellParameters{}.sampleTimeConstantS;
    double leakAlpha = TCellParameters{}.leakAlphaMolPerSAtmQuarter;
    double gasVolumeM3 = TCellParameters{}.gasVolumeM3;
    double gradientVolumeM3 = TCellParameters{}.gradientVolumeM3;
    double sampleSlowShare = TCellParameters{}.sampleSlowShare;
    double sampleSlowTimeConstantS = TCellParameters{}.sampleSlowTimeConstantS;
    TDefectSample defectSample = TCellParameters{}.defectSample;
    double furnaceTimeConstantS = TCellParameters{}.furnaceTimeConstantS;
    std::string faultSmu = "none";
    std::string faultDmm = "none";
    bool verbose = false;
    bool help = false;
    // Late and paused replies, and the record of every reply for tests.
    TReplyTiming smuReplyTiming;
    TReplyTiming dmmReplyTiming;
    std::string replyLog;
    bool tagReadings = false;
};

// Parses argv; on a bad or missing option returns nothing and sets error.
std::optional<TSimOptions> ParseOptions(int argc, char** argv, std::string& error);

// The text printed for --help: every option and every control line.
std::string HelpText();

} // namespace oxtiva::sim
