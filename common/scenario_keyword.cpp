#include "scenario_keyword.h"

#include "Orbitersdk.h"

#include <cstring>

namespace corvane {

const char *MatchKeyword(const char *line, const char *keyword)
{
    if (!line || !keyword) return nullptr;
    const std::size_t n = std::strlen(keyword);
    if (_strnicmp(line, keyword, n) != 0) return nullptr;
    return line + n;  // _strnicmp equal over n characters: the line holds at least n of them
}

}  // namespace corvane
