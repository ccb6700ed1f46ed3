#include "records/logging.h"

#include "records/number_format.h"

#include <QDir>
#include <QFile>

#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <algorithm>
#include <atomic>

namespace oxtiva
{

namespace
{

// spdlog keeps the live file plus max_files rotated ones.
std::size_t RotatedFiles(int maxParts)
{
    return static_cast<std::size_t>(std::max(maxParts - 1, 0));
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
    if (auto logger = CurrentLogger()) logger->flush();
}

bool TLogDestination::OpenLogFile(const QString& folder, const QString& fileName, int maxSizeKiB,
                                  int maxParts)
{
    const QString path = QDir(folder).filePath(fileName);
    try {
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            QFile::encodeName(path).toStdString(),
            static_cast<std::size_t>(std::max(maxSizeKiB, 1)) * 1024, RotatedFiles(maxParts));
        auto logger = std::make_shared<spdlog::logger>(UniqueLoggerName(), std::move(sink));
        logger->set_pattern("%Y-%m-%d %H:%M:%S.%e\t%t\t%v");
        logger->set_level(spdlog::level::trace);
        // Experiments run for days and a crash must not eat the lines that explain it.
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
    if (auto logger = CurrentLogger()) logger->flush();
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
