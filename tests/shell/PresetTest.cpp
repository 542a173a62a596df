// The preset file and what choosing a preset does to the playing channel.

#include "ShellTestSupport.h"

#include "shell/controller/PresetFile.h"

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

namespace {

std::string Preset(int id, const std::string &name, int q1, const std::string &tag = "eq") {
    std::string xml = "<" + tag + " id=\"" + std::to_string(id) + "\" name=\"" + name + "\" q1=\"" +
                      std::to_string(q1) + "\"";
    for (int band = 2; band <= 10; ++band)
        xml += " q" + std::to_string(band) + "=\"" + std::to_string(band == 10 ? -id : 0) + "\"";
    return xml + "/>";
}

class PresetTest : public ShellTest {
protected:
    std::vector<float> ChannelGains() {
        std::vector<float> gains;
        for (auto fx : library.StreamRecord(Engine().CurrentChannel()).effects)
            gains.push_back(library.Effect(fx).gain);
        return gains;
    }
    void PlayOne() {
        const auto song = AddSong("p.mp3", "P", "");
        WritePlaylist({song});
    }
};

} // namespace

TEST(PresetFile, EveryTagNamedEqCountsAsTheReaderYieldsIt) {
    const std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><effect>" + Preset(0, "平", 0) +
                            Preset(1, "Low", 6, "EQ") + Preset(2, "Mid", 1, "Eq") +
                            "<eq id=\"3\" Name=\"ignored\" ID=\"9\"></eq>" + "<other name=\"x\"/></effect>";
    // The separate end tag of the fourth preset adds a row without a name.
    EXPECT_EQ(ReadPresetNamesFromText(doc), (std::vector<std::string>{"平", "Low", "Mid", "", ""}));
    // The end tag has no id, which is not an integer: looking up any preset fails on it.
    EXPECT_THROW(FindPresetGainsInText(doc, 1), PresetValueError);
    const std::string clean = "<effect>" + Preset(0, "a", 0) + Preset(1, "Low", 6, "EQ") + "</effect>";
    auto low = FindPresetGainsInText(clean, 1);
    ASSERT_TRUE(low);
    EXPECT_EQ(*low, (PresetGains{6, 0, 0, 0, 0, 0, 0, 0, 0, -1}));
    EXPECT_FALSE(FindPresetGainsInText(clean, 7));
    // Text right after a preset is one more copy of it.
    EXPECT_EQ(ReadPresetNamesFromText("<r>" + Preset(0, "a", 0) + "junk</r>"),
              (std::vector<std::string>{"a", "a"}));
    // The last preset with an id wins.
    EXPECT_EQ((*FindPresetGainsInText("<r>" + Preset(0, "a", 1) + Preset(0, "b", 2) + "</r>", 0))[0], 2);
    EXPECT_TRUE(ReadPresetNames("/nonexistent/effect.dat").empty());
}

TEST(PresetFile, NonIntegerValuesStopTheSearch) {
    const std::string badIdFirst = "<r><eq id=\"x\" name=\"bad\"/>" + Preset(1, "ok", 3) + "</r>";
    EXPECT_THROW(FindPresetGainsInText(badIdFirst, 1), PresetValueError);
    const std::string badIdAfter = "<r>" + Preset(1, "ok", 3) + "<eq id=\"x\"/></r>";
    EXPECT_THROW(FindPresetGainsInText(badIdAfter, 1), PresetValueError); // the scan runs to the end
    const std::string badGain = "<r><eq id=\"0\" q1=\"1\" q2=\"loud\"/></r>";
    EXPECT_THROW(FindPresetGainsInText(badGain, 0), PresetValueError);
}

TEST(PresetFile, ShippedPresetsStartFlatAndNumberTheirIds) {
    const std::string file = SourceDir() + "/resources/effect.dat";
    auto names = ReadPresetNames(file);
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(FindPresetGains(file, 0), PresetGains{});
    for (int id = 0; id < static_cast<int>(names.size()); ++id) {
        EXPECT_FALSE(names[static_cast<std::size_t>(id)].empty());
        EXPECT_TRUE(FindPresetGains(file, id)) << id;
    }
}

TEST_F(PresetTest, ChoosingARowAppliesThatPresetToThePlayingChannel) {
    WriteFile(appDir + "effect.dat",
              "<r>" + Preset(0, "Flat", 0) + Preset(1, "One", 3) + Preset(2, "Bass", 6) + "</r>");
    PlayOne();
    TZylMain &m = Create();
    EXPECT_EQ(m.PresetNamesUtf8(), (std::vector<std::string>{"Flat", "One", "Bass"}));
    m.lstDefaultMouseMove(0);
    m.plst_listItemDblClick();
    ASSERT_TRUE(WaitPlaying(0));
    EXPECT_EQ(ChannelGains(), std::vector<float>(10, 0.0f));

    m.setPresetIndex(2);
    EXPECT_EQ(m.EqPresetId(), 2);
    EXPECT_EQ(ChannelGains(), (std::vector<float>{6, 0, 0, 0, 0, 0, 0, 0, 0, -2}));
    m.SaveSettings();
    EXPECT_NE(ReadFile(dataDir + "Lirvo.xml").find("<EQ ID=\"2\"/>"), std::string::npos);

    // The file is read again at every track start: a change shows at the next resume.
    WriteFile(appDir + "effect.dat",
              "<r>" + Preset(0, "Flat", 0) + Preset(1, "One", 3) + Preset(2, "Bass", -4) + "</r>");
    m.btn_playClick();
    m.btn_playClick();
    EXPECT_FLOAT_EQ(ChannelGains()[0], -4.0f);

    // A broken preset file does not stop a track from starting.
    WriteFile(appDir + "effect.dat", "<r><eq id=\"oops\"/>" + Preset(2, "Bass", 5) + "</r>");
    m.btn_nextClick();
    ASSERT_TRUE(WaitPlaying(0));
    EXPECT_EQ(m.TitleTextUtf8(), "P");
    EXPECT_FLOAT_EQ(ChannelGains()[0], -4.0f); // the stored gains stay
}

TEST_F(PresetTest, SavedPresetIsAppliedAtStartOrLeftUnselectedWhenGone) {
    WriteFile(dataDir + "Lirvo.xml", "<MainConfig><Window><EQ ID=\"1\"/></Window></MainConfig>");
    WriteFile(appDir + "effect.dat", "<r>" + Preset(0, "Flat", 0) + Preset(1, "One", 3) + "</r>");
    PlayOne();
    TZylMain &m = Create();
    EXPECT_EQ(m.PresetIndex(), 1);
    EXPECT_EQ(Engine().CurrentEqGains()[0], 3);
    m.lstDefaultMouseMove(0);
    m.plst_listItemDblClick();
    ASSERT_TRUE(WaitPlaying(0));
    EXPECT_FLOAT_EQ(ChannelGains()[0], 3.0f);
    main.reset();

    WriteFile(dataDir + "Lirvo.xml", "<MainConfig><Window><EQ ID=\"5\"/></Window></MainConfig>");
    TZylMain &again = Create();
    EXPECT_EQ(again.PresetIndex(), -1);
    EXPECT_EQ(again.EqPresetId(), -1);
    EXPECT_EQ(again.RowCount(), 1);
}
