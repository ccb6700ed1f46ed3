#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace spdlog { class logger; }

namespace oxtiva {

enum class TLogCat : std::uint8_t { CRITICAL, FORM, COM, SMU, DMM };

// A set of log categories in one byte: bit n stands for the category of ordinal n.
class TLogSet {
public:
    constexpr TLogSet() = default;
    constexpr explicit TLogSet(std::uint8_t bits) : fBits(bits) {}
    constexpr bool Contains(TLogCat c) const { return (fBits >> static_cast<int>(c)) & 1u; }
    constexpr void Include(TLogCat c) { fBits |= static_cast<std::uint8_t>(1u << static_cast<int>(c)); }
    constexpr void Exclude(TLogCat c) { fBits &= static_cast<std::uint8_t>(~(1u << static_cast<int>(c))); }
    constexpr bool Empty() const { return fBits == 0; }
    constexpr std::uint8_t Bits() const { return fBits; }
    friend constexpr bool operator==(TLogSet, TLogSet) = default;

private:
    std::uint8_t fBits = 0;
};

// Where log lines go: a rotating log file written through spdlog. Safe to write to from
// any thread. Until OpenLogFile succeeds it swallows every line.
class TLogDestination {
public:
    TLogDestination();
    ~TLogDestination();
    TLogDestination(const TLogDestination&) = delete;
    TLogDestination& operator=(const TLogDestination&) = delete;

    // maxSizeKiB is the size of one part; at most maxParts parts are kept.
    // Returns false (and stays inactive) when the file cannot be opened.
    bool OpenLogFile(const QString& folder, const QString& fileName = QStringLiteral("Log.csl"),
                     int maxSizeKiB = 1024, int maxParts = 20);
    bool Active() const;
    QString FilePath() const;

    // One line: time stamp with milliseconds, thread, category, text.
    void Write(const QString& category, const QString& text);
    void Flush();

    // The destination of loggers that were never pointed elsewhere; it writes nowhere.
    static std::shared_ptr<TLogDestination> Default();

private:
    std::shared_ptr<spdlog::logger> CurrentLogger() const;

    mutable std::mutex fMutex; // guards fLogger and fFilePath against a late OpenLogFile
    std::shared_ptr<spdlog::logger> fLogger;
    QString fFilePath;
};

// A logger with a fixed category. Switched off, it costs one atomic load per call: the
// overloads that take values format them only when the logger is enabled.
class TLogger {
public:
    explicit TLogger(QString category, bool enabled = false);

    const QString& Category() const { return fCategory; }
    bool Enabled() const { return fEnabled.load(std::memory_order_relaxed); }
    void SetEnabled(bool on) { fEnabled.store(on, std::memory_order_relaxed); }

    // Set before the owning thread starts, or on the thread that uses the logger.
    void SetDestination(std::shared_ptr<TLogDestination> destination);
    std::shared_ptr<TLogDestination> Destination() const;

    void Send(const QString& text) const;
    void Send(const QString& text, bool value) const;       // text + "True"/"False"
    void SendValue(const QString& prefix, double value) const; // prefix + general format
    void EnterMethod(const QString& methodName) const;
    void ExitMethod(const QString& methodName) const;

private:
    QString fCategory;
    std::atomic<bool> fEnabled;
    std::shared_ptr<TLogDestination> fDestination;
};

} // namespace oxtiva
