#include "line_splitter.h"

namespace oxtiva::sim
{

void TLineSplitter::Feed(const char* data, std::size_t size, std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (!fPending.empty()) lines.push_back(fPending);
            fPending.clear();
            fDiscarding = false;
        } else if (fDiscarding) {
            continue;
        } else if (fPending.size() >= fMaxLine) {
            lines.push_back(fPending);
            fPending.clear();
            fDiscarding = true;
        } else {
            fPending.push_back(c);
        }
    }
}

} // namespace oxtiva::sim
