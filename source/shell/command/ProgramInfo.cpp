#include "shell/command/ProgramInfo.h"

namespace lirvo::command {

std::string PlayerUsageText() {
    return "usage: lirvo [FILE...]\n"
           "       lirvo /l FILE...\n"
           "       lirvo --help | --version\n"
           "\n"
           "Plays audio files and network streams with synchronized desktop lyrics.\n"
           "A FILE may be a local audio file, an http(s) address or a local playlist\n"
           "(.m3u, .m3u8, .pls). When Lirvo runs already, the files are handed to it: the\n"
           "first is added and played, the others are added.\n"
           "\n"
           "  /l           only add the files to the playlist, play none of them\n"
           "  -h, --help     print this text and exit\n"
           "  -v, --version  print the version and exit\n"
           "\n"
           "Other programs control a running player with lirvo-send(1).\n";
}

std::string PlayerVersionText() {
    return std::string("lirvo ") + LIRVO_VERSION_TEXT + "\n";
}

std::optional<int> AnswerInformationRequest(const std::vector<std::string> &arguments, std::FILE *out) {
    if (arguments.empty())
        return std::nullopt;
    const std::string &first = arguments.front();
    std::string text;
    if (first == "--help" || first == "-h")
        text = PlayerUsageText();
    else if (first == "--version" || first == "-v")
        text = PlayerVersionText();
    else
        return std::nullopt;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    return 0;
}

} // namespace lirvo::command
