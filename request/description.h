// The whole text a person reads about an outcome, as the command-line
// program words it and TolvimoDescribe gives it: the library's lines, the
// reason a refusal has, and what to do about it, built from the
// explanations in request/explanation.h.
#pragma once

#include <string>
#include <vector>

#include "request/outcome.h"

namespace tolvimo {

// The lines, without line feeds: a written file's three-line report, or a
// refusal's line (ShownLine: a control character it quotes escaped) with
// its reason in brackets where one is known, then for a bad note or an
// unknown instrument a line saying what to write instead.
// The arguments are named as the program names them (NOTES, SAMPLE_RATE).
// Throws std::bad_alloc when memory runs out.
std::vector<std::string> DescriptionLines(const Outcome& outcome);

}  // namespace tolvimo
