#include "records/whole_file.h"

#include <QSaveFile>

namespace oxtiva
{

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace oxtiva
