#pragma once

#include <string>

namespace oxtiva::sim
{

class TSimulator;

// The answer to one control line from stdin ("fault smu junk", "count dmm :READ",
// "state", ...). quit is left to the caller, which must also stop.
std::string AnswerControlLine(const std::string& line, TSimulator& simulator);

} // namespace oxtiva::sim
