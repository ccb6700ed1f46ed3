#include "sim_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace oxtiva::sim
{

namespace
{

bool ToDouble(const std::string& text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool ToUnsigned(const std::string& text, unsigned long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && text[0] != '-' && end && *end == '\0' && errno == 0;
}

bool ApplyReplyTiming(TSimOptions& o, std::string_view name, const std::string& value)
{
    const bool known = name == "--late-smu" || name == "--late-dmm" || name == "--pause-smu" ||
                       name == "--pause-dmm";
    const auto delay = ParseReplyDelay(value);
    if (!known || !delay) return false;
    const bool late = name == "--late-smu" || name == "--late-dmm";
    TReplyTiming& timing = name.ends_with("smu") ? o.smuReplyTiming : o.dmmReplyTiming;
    SetReplyDelay(timing, late, *delay);
    return true;
}

// The oxygen balance's cell: the hot and gradient parts of the gas and a slow part of the
// sample.
constexpr std::string_view BalanceOptions[] = {
    "--gas-volume", "--gradient-volume", "--sample-slow-share", "--sample-slow-time-constant",
    "--furnace-time-constant"};

bool ApplyBalanceOption(TSimOptions& o, std::string_view name, const std::string& value)
{
    double number = 0;
    if (!ToDouble(value, number)) return false;
    if (name == "--gas-volume" && number > 0)
        o.gasVolumeM3 = number / 1000; // given in L
    else if (name == "--gradient-volume" && number >= 0)
        o.gradientVolumeM3 = number / 1000; // given in L
    else if (name == "--sample-slow-share" && number >= 0 && number <= 1)
        o.sampleSlowShare = number;
    else if (name == "--sample-slow-time-constant" && number > 0)
        o.sampleSlowTimeConstantS = number;
    else if (name == "--furnace-time-constant" && number >= 0)
        o.furnaceTimeConstantS = number;
    else
        return false;
    return true;
}

// Applies one option that takes a value; false when the value is unusable.
bool ApplyValue(TSimOptions& o, std::string_view name, const std::string& value)
{
    double number = 0;
    unsigned long long whole = 0;
    if (name == "--smu-link")
        o.smuLink = value;
    else if (name == "--dmm-link")
        o.dmmLink = value;
    else if (name == "--fault-smu")
        o.faultSmu = value;
    else if (name == "--fault-dmm")
        o.faultDmm = value;
    else if (name == "--time-scale") {
        if (!ToDouble(value, number) || number < 0) return false;
        o.timeScale = number;
    } else if (name == "--noise") {
        if (!ToDouble(value, number) || number < 0) return false;
        o.noise = number;
    } else if (name == "--current-noise") {
        if (!ToDouble(value, number) || !(number >= 0)) return false;
        o.currentNoise = number;
    } else if (name == "--leak") {
        if (!ToDouble(value, number) || number < 0) return false;
        o.leakMolPerSAtm = number;
    } else if (name == "--sample-capacity") {
        // 0: an empty cell, as a blank run has it.
        if (!ToDouble(value, number) || !(number >= 0)) return false;
        o.sampleCapacityMol = number;
    } else if (name == "--sample-time-constant") {
        if (!ToDouble(value, number) || !(number > 0)) return false;
        o.sampleTimeConstantS = number;
    } else if (name == "--leak-alpha") {
        if (!ToDouble(value, number) || number < 0) return false;
        o.leakAlpha = number;
    } else if (name == "--latency-ms") {
        if (!ToUnsigned(value, whole) || whole > 600000) return false;
        o.latencyMs = static_cast<int>(whole);
    } else if (name == "--seed") {
        if (!ToUnsigned(value, whole)) return false;
        o.seed = whole;
    } else if (name == "--reply-log")
        o.replyLog = value;
    else if (name == "--defect-sample") {
        const auto sample = ParseDefectSample(value);
        if (!sample) return false;
        o.defectSample = *sample;
    }
    else if (std::find(std::begin(BalanceOptions), std::end(BalanceOptions), name) !=
             std::end(BalanceOptions))
        return ApplyBalanceOption(o, name, value);
    else
        return ApplyReplyTiming(o, name, value);
    return true;
}

bool IsValueOption(std::string_view name)
{
    for (std::string_view known :
         {"--smu-link", "--dmm-link", "--fault-smu", "--fault-dmm", "--time-scale", "--noise",
          "--current-noise",
          "--leak", "--latency-ms", "--seed", "--late-smu", "--late-dmm", "--pause-smu",
          "--pause-dmm", "--reply-log", "--defect-sample"})
        if (name == known) return true;
    for (std::string_view known : BalanceOptions)
        if (name == known) return true;
    return name == "--sample-capacity" || name == "--sample-time-constant" ||
           name == "--leak-alpha";
}

} // namespace

std::optional<TSimOptions> ParseOptions(int argc, char** argv, std::string& error)
{
    TSimOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasInlineValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInlineValue = true;
        }
        if (arg == "--help" || arg == "-h")
            o.help = true;
        else if (arg == "--model-wire-time")
            o.modelWireTime = true;
        else if (arg == "--verbose")
            o.verbose = true;
        else if (arg == "--tag-readings")
            o.tagReadings = true;
        else if (IsValueOption(arg)) {
            if (!hasInlineValue) {
                if (i + 1 >= argc) {
                    error = "option " + arg + " needs a value";
                    return std::nullopt;
                }
                value = argv[++i];
            }
            if (!ApplyValue(o, arg, value)) {
                error = "bad value for " + arg + ": " + value;
                return std::nullopt;
            }
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (!o.help && (o.smuLink.empty() || o.dmmLink.empty())) {
        error = "--smu-link and --dmm-link are required";
        return std::nullopt;
    }
    return o;
}

std::string HelpText()
{
    return R"(oxtiva-cellsim: a simulated oxygen pump cell behind a SourceMeter 2401 and a
MultiMeter 2000 with a scanner card, each on its own pseudo-terminal.

Usage: oxtiva-cellsim --smu-link PATH --dmm-link PATH [options]

Options:
  --smu-link PATH      symlink to create for the SourceMeter's serial line (required)
  --dmm-link PATH      symlink to create for the MultiMeter's serial line (required)
  --time-scale X       model seconds per wall-clock second (default 1; 0 freezes the model)
  --leak X             oxygen leaking in from the flush gas, mol/s per atm (default 1.2e-11)
  --leak-alpha X       a second leak by the quarter-power law, mol/(s atm^(1/4)) times
                       (flush pO2^(1/4) - cell pO2^(1/4)) (default 0)
  --sample-capacity X  O2 the sample gives off per e-fold fall of pO2, mol (default 1e-5;
                       a reducible oxide has far more than the 0.012 L of gas holds; 0 is
                       an empty cell, as in a blank run)
  --sample-time-constant S
                       model seconds in which the sample follows a change of pO2 by
                       1 - 1/e (default 30)
  --gas-volume L       gas of the hot part, in L (default 0.012)
  --gradient-volume L  gas between the hot part and the cold end, in L, with a linear
                       temperature profile (default 0)
  --sample-slow-share X
                       the share (0 to 1) of the sample's capacity that follows the pO2
                       only with the slow time constant below (default 0)
  --sample-slow-time-constant S
                       model seconds of that slow part (default 3600)
  --defect-sample MOL:DH0:DH1:DS0:DS1
                       a sample of MOL mol of compound whose oxygen deficiency delta is in
                       equilibrium when 1/2 R T ln(pO2) = dh_O - T ds_O, dh_O = DH0 + DH1
                       delta (kJ/mol of O), ds_O = DS0 + DS1 delta (J/(mol K)); it follows
                       with the sample time constant (default none)
  --furnace-time-constant S
                       model seconds in which the cell follows a new furnace temperature
                       ("set furnace") by 1 - 1/e (default 600)
  --latency-ms N       delay every reply by N ms (default 0: reply at once)
  --model-wire-time    also delay every reply by the time the command and the reply
                       take on the wire at 10 bits per byte (SMU 57600, DMM 19200 baud)
  --seed N             seed of the reproducible measurement noise (default 1)
  --noise X            scale of the measurement noise (default 1; 0 gives exact readings)
  --current-noise X    a further error of each pump current reading, as a share of the
                       current (default 0), scaled by --noise as the rest
  --fault-smu NAME     start the SourceMeter in fault mode NAME (see below)
  --fault-dmm NAME     start the MultiMeter in fault mode NAME (see below)
  --late-smu MS[:P]    deliver a SourceMeter reply MS ms late, with probability P (0 to 1;
                       default 1: every reply); the replies after it wait for it
  --late-dmm MS[:P]    the same for the MultiMeter
  --pause-smu MS[:P]   let a SourceMeter reply pause MS ms half-way, with probability P
  --pause-dmm MS[:P]   the same for the MultiMeter
  --reply-log PATH     record every reply in PATH, one tab-separated line each: instrument,
                       number of the command line it answers, in-time|late|lost (late: a
                       later command had arrived before it left), what a reading measured
                       (ch3 RES, ch1 VOLT, ch2 VOLT; - otherwise), the command, the reply
  --tag-readings       write the number of the answered command line into the last digits
                       of every reading (two per SMU field, four on the DMM), so that no two
                       readings are alike
  --verbose            report unknown commands on stderr
  --help               this text

Once both links exist the simulator prints "ready". It serves until stdin closes, it
reads "quit", or it gets SIGTERM/SIGINT/SIGHUP; it removes its links on exit.

Instrument lines: commands end in CR (LF is accepted too); replies end in CR. Compound
commands are split at ";". Unknown commands are ignored and counted (state keys
smu_unknown, dmm_unknown). A reply that falls due while no client holds the line open
is dropped, so it cannot reach the next client.

Control lines on stdin, each answered by one line on stdout:
  fault smu|dmm NAME   set a fault mode; answer "ok". NAME is one of:
      none           normal behaviour (also brings a vanished line back)
      no-reply       executes and counts commands, answers no query
      junk           answers every query with non-numeric text
      half           answers with the first half of the reply (rounded down), no CR
      overflow       answers readings with the overflow value "+9.90000000E+37"
                     (SMU: "+9.900000E+37,+9.900000E+37")
      three-fields   SMU only: readings carry a third comma field
      silent         counts commands but neither executes nor answers them
      front-inputs   DMM only: ":SYST:FRSW?" answers "1"
      vanish         removes the link and closes the pseudo-terminal; any other mode
                     brings a new pseudo-terminal and link back
  late smu|dmm MS [P]   replies MS ms late with probability P (default 1); MS 0: on time
  pause smu|dmm MS [P] replies pause MS ms half-way with probability P (default 1)
  count smu|dmm PREFIX how many received command lines (without CR) start with PREFIX
  last smu|dmm         the last received command line (empty line when none)
  history smu|dmm N    the last N received command lines (at most 4096), oldest first,
                       separated by tabs
  state                key=value pairs: time_s temp_c po2_atm flush_po2_atm pump_i_a
                       pump_v_v source(curr|volt) level output oxide_delta, then
                       cold_c vprot_v iprot_a smu_unknown dmm_unknown.
                       oxide_delta is the oxygen the sample has given off (mol).
  oxygen               the oxygen balance's true terms: time_s time_scale charge_c
                       (pumped, positive removing oxygen) leaked_mol (in from the flush
                       gas) gas_mol (in the cell now) oxide_delta (given off by the
                       sample). At time scale X a program timing the pump current on the
                       wall clock sees a cell whose amounts are these divided by X. Then
                       delta (of the --defect-sample), furnace_c and temp_c.
  set temp C           cell temperature, degrees C, at once (the furnace held there)
  set furnace C        the furnace's temperature, degrees C: the cell follows it with
                       the furnace time constant
  set po2 ATM          cell pO2; the oxide sample is put in equilibrium with it too
  set cold C           cold-end (thermistor) temperature, degrees C
  quit                 answer "bye" and exit
Any other line is answered with "error <text>".

Both instruments keep the event status enable register ("*ESE n", "*ESE?").

Readings: SMU ":READ?" gives "+V.VVVVVVE+XX,+I.IIIIIIE+XX" (pump voltage, current);
DMM ":READ?" gives "+D.DDDDDDDDE+XX": channel 3 with function RES the thermistor
resistance, channel 1 with VOLT:DC the type S thermocouple EMF, channel 2 with
VOLT:DC the oxygen sensor voltage; anything else "+9.90000000E+37".
)";
}

} // namespace oxtiva::sim
