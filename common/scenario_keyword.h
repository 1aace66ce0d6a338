// scenario_keyword.h -- matching a vessel's own scenario lines by keyword.
#pragma once

namespace corvane {

// When `line` begins with `keyword`, compared without regard to case over the keyword's length,
// returns the text right after the keyword's letters (so "TETHERX 1 0.5" matches TETHER and the
// value text starts at the X); otherwise returns null.
const char *MatchKeyword(const char *line, const char *keyword);

}  // namespace corvane
