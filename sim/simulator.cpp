#include "simulator.h"

#include <cstdio>

namespace oxtiva::sim
{

namespace
{

TCellParameters CellParameters(const TSimOptions& options)
{
    TCellParameters parameters;
    parameters.leakMolPerSAtm = options.leakMolPerSAtm;
    parameters.sampleCapacityMol = options.sampleCapacityMol;
    parameters.sampleTimeConstantS = options.sampleTimeConstantS;
    parameters.leakAlphaMolPerSAtmQuarter = options.leakAlpha;
    parameters.gasVolumeM3 = options.gasVolumeM3;
    parameters.gradientVolumeM3 = options.gradientVolumeM3;
    parameters.sampleSlowShare = options.sampleSlowShare;
    parameters.sampleSlowTimeConstantS = options.sampleSlowTimeConstantS;
    parameters.defectSample = options.defectSample;
    parameters.furnaceTimeConstantS = options.furnaceTimeConstantS;
    return parameters;
}

} // namespace

TSimulator::TSimulator(const TSimOptions& options)
    : fOptions(options), fCell(CellParameters(options)), fNoise(options.seed, options.noise), fSmu(fCell, fNoise, options.currentNoise),
      fDmm(fCell, fNoise),
      fSmuLink(options.smuLink, fSmu, true, {options.latencyMs, options.modelWireTime},
               options.seed * 2 + 1),
      fDmmLink(options.dmmLink, fDmm, false, {options.latencyMs, options.modelWireTime},
               options.seed * 2 + 2),
      fLastAdvance(TSimClock::now())
{
    fSmuLink.Verbose = options.verbose;
    fDmmLink.Verbose = options.verbose;
    fSmuLink.SetReplyTiming(options.smuReplyTiming);
    fDmmLink.SetReplyTiming(options.dmmReplyTiming);
}

bool TSimulator::Open(std::string& error)
{
    if (!fOptions.replyLog.empty() && !fReplyLog.Open(fOptions.replyLog, error)) return false;
    for (TInstrumentLink* link : {&fSmuLink, &fDmmLink})
        link->SetReplyLog(fReplyLog.IsOpen() ? &fReplyLog : nullptr, fOptions.tagReadings);
    for (auto [link, name] :
         {std::pair{&fSmuLink, &fOptions.faultSmu}, std::pair{&fDmmLink, &fOptions.faultDmm}}) {
        auto fault = FaultFromName(*name);
        if (!fault) {
            error = "unknown fault " + *name;
            return false;
        }
        if (!link->Open(error) || !link->SetFault(*fault, error)) return false;
    }
    return true;
}

void TSimulator::Close()
{
    fSmuLink.Close();
    fDmmLink.Close();
}

void TSimulator::AdvanceModel()
{
    const auto now = TSimClock::now();
    const double wallSeconds = std::chrono::duration<double>(now - fLastAdvance).count();
    fLastAdvance = now;
    fCell.Advance(wallSeconds * fOptions.timeScale, fSmu.Drive());
}

TInstrumentLink* TSimulator::Link(const std::string& name)
{
    if (name == "smu") return &fSmuLink;
    if (name == "dmm") return &fDmmLink;
    return nullptr;
}

std::string TSimulator::StateLine()
{
    AdvanceModel();
    const TPumpDrive& drive = fSmu.Drive();
    const TPumpElectrical pump = fCell.Pump(drive);
    char text[1024];
    std::snprintf(text, sizeof text,
                  "time_s=%.10g temp_c=%.10g po2_atm=%.10g flush_po2_atm=%.10g "
                  "pump_i_a=%.10g pump_v_v=%.10g source=%s level=%.10g output=%d "
                  "oxide_delta=%.10g cold_c=%.10g vprot_v=%.10g iprot_a=%.10g "
                  "smu_unknown=%lld dmm_unknown=%lld",
                  fCell.TimeS(), fCell.TempC(), fCell.PO2(), fCell.FlushPO2(), pump.current,
                  pump.voltage, drive.voltageSource ? "volt" : "curr",
                  drive.voltageSource ? drive.voltageLevel : drive.currentLevel,
                  drive.output ? 1 : 0, fCell.OxideDelta(), fCell.ColdC(), drive.voltageLimit,
                  drive.currentLimit, fSmuLink.UnknownCommands(), fDmmLink.UnknownCommands());
    return text;
}

std::string TSimulator::OxygenLine()
{
    AdvanceModel();
    char text[512];
    std::snprintf(text, sizeof text,
                  "time_s=%.17g time_scale=%.17g charge_c=%.17g leaked_mol=%.17g gas_mol=%.17g "
                  "oxide_delta=%.17g delta=%.17g furnace_c=%.17g temp_c=%.17g",
                  fCell.TimeS(), fOptions.timeScale, fCell.PumpedChargeC(), fCell.LeakedMol(),
                  fCell.GasMol(), fCell.OxideDelta(), fCell.DefectDelta(), fCell.FurnaceC(),
                  fCell.TempC());
    return text;
}

} // namespace oxtiva::sim
