#pragma once
// What `lirvo --help` and `lirvo --version` print. Both are answered before the player looks
// for a running instance, so they start nothing and hand nothing over.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::command {

// The usage text of the lirvo program.
std::string PlayerUsageText();

// "lirvo VERSION".
std::string PlayerVersionText();

// For a first argument of --help (-h) or --version (-v): prints the text to `out` and gives the
// exit code 0; nullopt for any other command line, which the player then carries out.
std::optional<int> AnswerInformationRequest(const std::vector<std::string> &arguments, std::FILE *out);

} // namespace lirvo::command
