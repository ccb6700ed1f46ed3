#pragma once

#include <QString>

namespace oxtiva
{

// The sample name as it may appear in a data file's name: every character that could
// lead out of the day folder or that Windows does not allow in a file name (path
// separators, "..", <>:"|?*, control characters and line breaks, trailing dots and
// blanks) becomes "_", and so does a first "=", "+", "-" or "@" (a formula to a
// spreadsheet, an option to a command-line tool). A name Windows keeps for a device (CON, NUL.txt, COM1, LPT¹ in
// any case) gets "_" after its device part: "nul.txt" becomes "nul_.txt". An operator's typo can then never write outside the data folder
// or make every save of a week-long run fail. An empty name stays empty (the files are
// then "_0000.csv").
//
// A long name is cut, at a whole character, to MaxFileNameCharacters characters, and
// further where the file system's limit of bytes per name would not leave room for "_",
// the counter and the extension after it.
QString SafeFileName(const QString& name);

inline constexpr int MaxFileNameCharacters = 100;

// The size of a file name as the file system counts it against its limit of 255: bytes of
// the encoding names are written in on Linux, UTF-16 units on Windows.
qsizetype FileNameSize(const QString& name);

// Line breaks of every kind and the other control characters: none belongs in a text
// that must stay on one line, be it a file name or a line of a file.
bool IsLineBreakOrControl(QChar c);

// The text with each line break and control character made a blank: a pasted name written
// as it is would move every later line of a file whose sections are found by line.
QString OneLineText(QString text);

} // namespace oxtiva
