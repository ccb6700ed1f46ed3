#include "records/logging.h"

#include "records/number_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace oxtiva
{

namespace
{

// The log file, written through QFile: its path reaches the system as it is (UTF-16 on
// Windows, where spdlog's own file sinks take an 8-bit path that a folder such as
// C:\Users\Łukasz cannot be spelt in). "Log.csl" grows to maxBytes, then becomes
// "Log.1.csl" (the older ones moving up to "Log.<parts - 1>.csl", the oldest dropped). It
// runs on the logging thread only, so a stalled disk holds up that thread and no other;
// each flush is counted, so that Flush can wait for the one it asked for.
class TLogFileSink : public spdlog::sinks::base_sink<std::mutex>
{
  public:
    TLogFileSink(QString path, qint64 maxBytes, int parts)
        : fPath(std::move(path)), fMaxBytes(maxBytes), fParts(std::max(parts, 1))
    {
    }

    bool Open()
    {
        std::lock_guard lock(mutex_);
        if (!QDir().mkpath(QFileInfo(fPath).absolutePath())) return false;
        fFile.setFileName(fPath);
        return fFile.open(QIODevice::WriteOnly | QIODevice::Append);
    }

    std::uint64_t Flushes() const { return fFlushes.load(); }

    // Until a flush after the count `after` has ended, at most `timeout`.
    void WaitForFlushAfter(std::uint64_t after, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(fFlushedMutex);
        fFlushed.wait_for(lock, timeout, [&] { return fFlushes.load() > after; });
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        if (fFile.size() > 0 && fFile.size() + qint64(formatted.size()) > fMaxBytes) Rotate();
        if (fFile.isOpen()) fFile.write(formatted.data(), qint64(formatted.size()));
    }

    void flush_() override
    {
        if (fFile.isOpen()) fFile.flush();
        {
            std::lock_guard lock(fFlushedMutex);
            ++fFlushes;
        }
        fFlushed.notify_all();
    }

  private:
    QString PartPath(int part) const
    {
        if (part == 0) return fPath;
        const QFileInfo info(fPath);
        const QString suffix = info.suffix();
        const QString stem = suffix.isEmpty() ? info.fileName() : info.completeBaseName();
        return info.dir().filePath(stem + QStringLiteral(".%1").arg(part) +
                                   (suffix.isEmpty() ? QString() : u'.' + suffix));
    }

    void Rotate()
    {
        fFile.close();
        for (int part = fParts - 1; part >= 1; --part) {
            QFile::remove(PartPath(part));
            QFile::rename(PartPath(part - 1), PartPath(part));
        }
        fFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }

    QString fPath;
    qint64 fMaxBytes;
    int fParts;
    QFile fFile;
    std::atomic<std::uint64_t> fFlushes{0};
    std::mutex fFlushedMutex;
    std::condition_variable fFlushed;
};

// One thread writes every log file of the process. Lines wait in its queue, so no thread
// that logs ever waits for the disk: a full queue drops its oldest lines instead. It is
// never destroyed, so the end of the process never waits for a disk that hangs.
std::shared_ptr<spdlog::details::thread_pool> LogThread()
{
    static auto* const pool = new std::shared_ptr<spdlog::details::thread_pool>(
        std::make_shared<spdlog::details::thread_pool>(16384, 1));
    return *pool;
}

// How long Flush and the end of a destination wait for the lines queued before them.
constexpr std::chrono::milliseconds FlushWait{3000};

std::shared_ptr<TLogFileSink> FileSinkOf(const spdlog::logger& logger)
{
    return logger.sinks().empty() ? nullptr
                                  : std::dynamic_pointer_cast<TLogFileSink>(logger.sinks().front());
}

// Waits a while for the lines queued so far to be written and flushed: once the queue is
// empty, each of them is written or being written, and the next flush ends it (the logging
// thread flushes after each line, and after the flush asked for here).
void FlushAndWait(spdlog::logger& logger)
{
    const auto sink = FileSinkOf(logger);
    if (!sink) return;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + FlushWait;
    while (LogThread()->queue_size() > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::uint64_t before = sink->Flushes();
    logger.flush();
    sink->WaitForFlushAfter(before, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::max(deadline - Clock::now(), Clock::duration{})));
}

// Each destination gets its own name and stays out of spdlog's registry, so several
// destinations (a window and a test, or two tests) never collide.
std::string UniqueLoggerName()
{
    static std::atomic<int> counter{0};
    return "oxtiva-log-" + std::to_string(counter.fetch_add(1));
}

} // namespace

TLogDestination::TLogDestination() = default;

TLogDestination::~TLogDestination()
{
    if (auto logger = CurrentLogger()) FlushAndWait(*logger);
}

bool TLogDestination::OpenLogFile(const QString& folder, const QString& fileName, int maxSizeKiB,
                                  int maxParts)
{
    const QString path = QDir(folder).filePath(fileName);
    try {
        auto sink = std::make_shared<TLogFileSink>(
            path, qint64(std::max(maxSizeKiB, 1)) * 1024, maxParts);
        if (!sink->Open()) return false;
        auto logger = std::make_shared<spdlog::async_logger>(
            UniqueLoggerName(), std::move(sink), LogThread(),
            spdlog::async_overflow_policy::overrun_oldest);
        logger->set_pattern("%Y-%m-%d %H:%M:%S.%e\t%t\t%v");
        logger->set_level(spdlog::level::trace);
        // Experiments run for days and a crash must not eat the lines that explain it: each
        // line is flushed as soon as the logging thread has written it.
        logger->flush_on(spdlog::level::trace);
        std::lock_guard lock(fMutex);
        fLogger = std::move(logger);
        fFilePath = path;
        return true;
    } catch (const spdlog::spdlog_ex&) {
        return false;
    }
}

bool TLogDestination::Active() const
{
    return CurrentLogger() != nullptr;
}

QString TLogDestination::FilePath() const
{
    std::lock_guard lock(fMutex);
    return fFilePath;
}

void TLogDestination::Write(const QString& category, const QString& text)
{
    auto logger = CurrentLogger();
    if (!logger) return;
    try {
        logger->info("{}\t{}", category.toStdString(), text.toStdString());
    } catch (const spdlog::spdlog_ex&) {
        // A full disk must not stop the experiment; the line is lost, the program goes on.
    }
}

void TLogDestination::Flush()
{
    if (auto logger = CurrentLogger()) FlushAndWait(*logger);
}

std::shared_ptr<TLogDestination> TLogDestination::Default()
{
    static const auto destination = std::make_shared<TLogDestination>();
    return destination;
}

std::shared_ptr<spdlog::logger> TLogDestination::CurrentLogger() const
{
    std::lock_guard lock(fMutex);
    return fLogger;
}

TLogger::TLogger(QString category, bool enabled)
    : fCategory(std::move(category)), fEnabled(enabled), fDestination(TLogDestination::Default())
{
}

void TLogger::SetDestination(std::shared_ptr<TLogDestination> destination)
{
    fDestination = destination ? std::move(destination) : TLogDestination::Default();
}

std::shared_ptr<TLogDestination> TLogger::Destination() const
{
    return fDestination;
}

void TLogger::Send(const QString& text) const
{
    if (Enabled()) fDestination->Write(fCategory, text);
}

void TLogger::Send(const QString& text, bool value) const
{
    if (Enabled())
        fDestination->Write(fCategory,
                            text + (value ? QStringLiteral("True") : QStringLiteral("False")));
}

void TLogger::SendValue(const QString& prefix, double value) const
{
    if (Enabled()) fDestination->Write(fCategory, prefix + FormatGeneral(value));
}

void TLogger::EnterMethod(const QString& methodName) const
{
    if (Enabled()) fDestination->Write(fCategory, QStringLiteral("-> ") + methodName);
}

void TLogger::ExitMethod(const QString& methodName) const
{
    if (Enabled()) fDestination->Write(fCategory, QStringLiteral("<- ") + methodName);
}

} // namespace oxtiva
