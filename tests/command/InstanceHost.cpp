// A stand-in for the player in the single-instance tests: maps the command block, runs the
// instance test and, as the first instance, opens the main window's message port and carries
// out commands against an in-memory playlist, writing what it sees to $LIRVO_HOST_RECORD.
// Message 4242 ends it.

#include "FakeCommandTarget.h"
#include "platform/MessagePort.h"
#include "shell/command/CommandMessages.h"
#include "shell/command/mapshare.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

FILE *g_record = nullptr;

void Record(const std::string &line) {
    if (g_record == nullptr)
        return;
    std::fprintf(g_record, "%s\n", line.c_str());
    std::fflush(g_record);
}

std::string Hex(const char *data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void RecordBlock(const lirvo::command::CommandBlock &block) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(&block);
    bool headerZero = true;
    for (int i = 1; i < 8; ++i)
        headerZero = headerZero && bytes[i] == 0;
    const std::size_t length = strnlen(block.Text, sizeof block.Text);
    bool tailZero = true;
    for (std::size_t i = length; i < sizeof block.Text; ++i)
        tailZero = tailZero && block.Text[i] == 0;
    Record("block cmd=" + std::to_string(block.Command) + " header0=" + std::to_string(headerZero) +
           " tail0=" + std::to_string(tailZero) + " len=" + std::to_string(length) +
           " text=" + Hex(block.Text, length));
}

} // namespace

int main(int argc, char **argv) {
    using namespace lirvo;
    if (!command::OpenCommandBlock())
        return 0;
    QCoreApplication app(argc, argv);
    const auto args = command::ArgumentsOf(argc, argv);
    command::HandOffResult handOff = command::HandOffResult::Done;
    if (!command::IsFirstInstance(args, &handOff))
        return handOff == command::HandOffResult::Done ? 0 : 1;

    if (const char *path = std::getenv("LIRVO_HOST_RECORD"))
        g_record = std::fopen(path, "a");

    // Stands for a slow start-up between taking the instance lock and listening.
    if (const char *delay = std::getenv("LIRVO_HOST_START_DELAY_MS"))
        usleep(static_cast<useconds_t>(std::atoi(delay)) * 1000u);

    test::FakeCommandTarget target;
    platform::MessagePortServer port;
    const bool listening = port.Listen(command::MainWindowClass, command::MainWindowCaption,
                                       [&](const platform::PortMessage &m) -> std::int32_t {
                                           if (m.message == command::WM_SHARECMD) {
                                               command::TakeCommands([&](command::CommandBlock &block) {
                                                   RecordBlock(block);
                                                   const std::size_t before = target.rows.size();
                                                   command::WMSHARECMD(block, m.lParam, target, "");
                                                   for (std::size_t i = before; i < target.rows.size(); ++i) {
                                                       const auto &row = target.rows[i];
                                                       Record("row " + std::to_string(row.number) +
                                                              " title=" + row.title + " path=" + row.path);
                                                   }
                                               });
                                               return 0;
                                           }
                                           if (m.message == command::WM_CMDPLAY &&
                                               m.wParam == command::CmdPlayShowWindow) {
                                               Record("show window");
                                               return 1;
                                           }
                                           if (m.message == command::WM_CMDPLAY)
                                               return command::WMCMDPLAY(target, m.wParam, m.lParam);
                                           if (m.message == 4242) {
                                               QCoreApplication::quit();
                                               return 1;
                                           }
                                           return -1;
                                       });
    if (!listening) {
        Record("error " + port.Error());
        return 3;
    }
    // As the player does: its own arguments are posted before the stored playlist loads and
    // handled once the event loop runs.
    command::PostOwnArguments(args);
    target.AddStoredRows(3);
    Record("ready " + std::to_string(getpid()));

    const int rc = QCoreApplication::exec();
    port.Close();
    command::ReleaseInstanceMutex();
    command::CloseCommandBlock();
    if (g_record != nullptr)
        std::fclose(g_record);
    return rc;
}
