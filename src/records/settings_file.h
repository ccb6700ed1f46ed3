#pragma once

#include <QString>

namespace oxtiva {

// The small INI file beside the program that remembers the serial ports of the two
// instruments between runs, and nothing else.
class TSettingsFile {
public:
    explicit TSettingsFile(QString path);

    // "<program folder>/<program base name>.ini".
    static QString DefaultPath();

    // An absent file, section or key reads as an empty text.
    QString SmuPort() const;
    QString MultimeterPort() const;

    // Each instrument's section is written only for a validated instrument, so an
    // instrument that is not validated keeps whatever its section held.
    void WriteSmuPort(const QString& port);
    void WriteMultimeterPort(const QString& port);

    const QString& Path() const { return fPath; }

private:
    QString fPath;
};

} // namespace oxtiva
