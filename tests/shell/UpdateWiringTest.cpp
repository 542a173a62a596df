// The update check started at start-up: its answer opens the online lyric lookup and gives the
// prefix that song lists from other programs are placed under.

#include "ShellTestSupport.h"

#include "shell/command/CommandBlock.h"
#include "update/UpdateState.h"

#include <httplib.h>

#include <cstring>
#include <thread>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

TEST_F(ShellTest, UpdateDescriptionAllowsOnlineLookupAndPrefixesSongLists) {
    httplib::Server server;
    int requests = 0;
    server.Get("/soft/cfg.xml", [&](const httplib::Request &, httplib::Response &response) {
        ++requests;
        response.set_content(
            "<zylvan><ver value=\"0\"/><musicpath value=\"http://127.0.0.1:1/m/\"/></zylvan>", "text/xml");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/soft/cfg.xml";
    WriteFile(dataDir + "Lirvo.xml",
              "<MainConfig><Network><UPDATE URL=\"" + url + "\"/></Network></MainConfig>");

    auto options = Options();
    options.StartUpdateCheck = true;
    TZylMain &m = Create(options);
    EXPECT_TRUE(WaitUntil([] { return lirvo::update::OnlineAllowed(); }, 10000));
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(m.MusicPathPrefix(), "http://127.0.0.1:1/m/");

    // A list to add (code 22): two items "marker, location|title-artist"; the sender's last
    // two characters lose the first of them.
    lirvo::command::CommandBlock block{};
    block.Command = lirvo::command::CmdAddList;
    const char *text = "xa/one.mp3|First-Singer,xtwo.mp3|Second - Band  ";
    std::strcpy(block.Text, text);
    m.WMSHARECMD(block, 1);
    ASSERT_EQ(m.RowCount(), 2);
    EXPECT_EQ(m.Records()[0].Path, "http://127.0.0.1:1/m/a/one.mp3");
    EXPECT_EQ(m.Records()[0].Caption, "First - Singer");
    EXPECT_EQ(m.Records()[1].Songer, "Band");
    EXPECT_EQ(m.CurrentIndex(), 0);
    EXPECT_EQ(State(), lirvo::audio::kStateStopped); // added, not played
    EXPECT_TRUE(m.PlaylistVisible());

    main->FormDestroy();
    server.stop();
    serving.join();
}
