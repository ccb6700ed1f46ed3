#pragma once

#include <QString>

namespace oxtiva
{

// The sample name as it may appear in a data file's name: every character that could
// lead out of the day folder or that Windows does not allow in a file name (path
// separators, "..", <>:"|?*, control characters, trailing dots and blanks) becomes "_".
// An operator's typo can then never write outside the data folder or make every save
// of a week-long run fail. An empty name stays empty (the files are then "_0000.csv").
QString SafeFileName(const QString& name);

} // namespace oxtiva
