// oxtiva-cellsim: the oxygen pump cell and its two instruments on pseudo-terminals, for
// the program's integration tests and for trying the program without a bench.

#include "control_channel.h"
#include "line_splitter.h"
#include "sim_options.h"
#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace
{

using oxtiva::sim::TSimClock;

volatile std::sig_atomic_t gStopSignal = 0;

void OnStopSignal(int)
{
    gStopSignal = 1;
}

// The stop signals stay blocked except inside ppoll, so one can never slip in between
// the check of the flag and the wait.
sigset_t InstallSignalHandlers()
{
    struct sigaction action {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&blocked, signal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&previous, signal);
    return previous;
}

void Answer(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// How long the loop may sleep: until the next reply falls due, and briefly while a line
// has no client, since such a line cannot be polled.
int PollTimeoutMs(oxtiva::sim::TSimulator& sim, bool anyUnpolled)
{
    auto limit = TSimClock::now() + std::chrono::milliseconds(anyUnpolled ? 2 : 1000);
    for (auto* link : {&sim.Smu(), &sim.Dmm()})
        if (auto due = link->NextDue()) limit = std::min(limit, *due);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(limit - TSimClock::now());
    return static_cast<int>(std::max<long long>(0, wait.count()));
}

void ReceiveCommands(oxtiva::sim::TSimulator& sim)
{
    const auto now = TSimClock::now();
    for (auto* link : {&sim.Smu(), &sim.Dmm()})
        link->Receive(now, [&sim] { sim.AdvanceModel(); });
}

// Reads the control lines that have arrived; false once stdin is closed or quit came.
// Commands already on the lines are taken first, so that a test which sent a command
// and then asks about it sees its effect.
bool ServeControl(oxtiva::sim::TSimulator& sim, oxtiva::sim::TLineSplitter& splitter)
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    std::vector<std::string> lines;
    splitter.Feed(buffer, static_cast<std::size_t>(n), lines);
    for (const std::string& line : lines) {
        if (line == "quit") {
            Answer("bye");
            return false;
        }
        ReceiveCommands(sim);
        Answer(oxtiva::sim::AnswerControlLine(line, sim));
    }
    return true;
}

int Serve(oxtiva::sim::TSimulator& sim, const sigset_t& waitMask)
{
    oxtiva::sim::TLineSplitter control(1 << 16);
    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    while (!gStopSignal) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        bool anyUnpolled = false;
        for (auto* link : {&sim.Smu(), &sim.Dmm()}) {
            if (link->WorthPolling())
                fds.push_back({link->Fd(), POLLIN, 0});
            else
                anyUnpolled = anyUnpolled || link->IsOpen();
        }
        const int timeoutMs = PollTimeoutMs(sim, anyUnpolled);
        timespec timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
        if (::ppoll(fds.data(), fds.size(), &timeout, &waitMask) < 0 && errno != EINTR) return 1;
        if (gStopSignal) break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            if (!ServeControl(sim, control)) break;
        ReceiveCommands(sim);
        for (auto* link : {&sim.Smu(), &sim.Dmm()})
            link->SendDueReplies(TSimClock::now());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    auto options = oxtiva::sim::ParseOptions(argc, argv, error);
    if (!options) {
        std::cerr << "oxtiva-cellsim: " << error << "\n(--help lists the options)" << std::endl;
        return 2;
    }
    if (options->help) {
        std::cout << oxtiva::sim::HelpText();
        return 0;
    }
    const sigset_t waitMask = InstallSignalHandlers();
    oxtiva::sim::TSimulator sim(*options);
    if (!sim.Open(error)) {
        std::cerr << "oxtiva-cellsim: " << error << std::endl;
        sim.Close();
        return 1;
    }
    Answer("ready");
    const int result = Serve(sim, waitMask);
    sim.Close();
    return result;
}
