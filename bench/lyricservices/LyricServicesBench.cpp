// The online lyric formats and the four-service lookup.
// Goals: YRC, QRC and KRC each parse at 50 MB/s or more, decryption included (QRC and KRC come
// encrypted); a lookup over four stand-ins that each answer after 200 ms takes 500 ms or less
// from its start to the lyric loaded into the timeline.
#include "../../tests/lyricservices/LyricSeals.h"
#include "../../tests/lyricservices/LyricStandIns.h"

#include "lyrics/codecs/KrcCodec.h"
#include "lyrics/codecs/QqDes.h"
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricLookup.h"
#include "lyrics/formats/KrcFormat.h"
#include "lyrics/formats/QrcFormat.h"
#include "lyrics/formats/YrcFormat.h"
#include "lyrics/services/ServiceLookup.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace lirvo::lyrics;
using namespace lirvo::lyrics::testing;

// A long song's lyric is 5-20 KB; 64 KiB stands for a big one, 4 MiB for a hostile one.
constexpr int64_t kTypicalBytes = 64 << 10;
constexpr int64_t kHugeBytes = 4 << 20;

// About `bytes` of lyric lines of about eight words each, in the three word-timed forms.
enum class Form { Yrc, Qrc, Krc };
std::string MakeLines(Form form, std::size_t bytes) {
    std::string text;
    static const char *const kWords[] = {"晚", "风", "吹", "过 ", "小", "巷", "Night ", "wind"};
    int32_t ms = 0;
    while (text.size() < bytes) {
        const int32_t start = ms;
        text += "[" + std::to_string(start) + ",3200]";
        for (const char *word : kWords) {
            const std::string w = word;
            const std::string at = std::to_string(ms), rel = std::to_string(ms - start);
            if (form == Form::Yrc)
                text += "(" + at + ",400,0)" + w;
            else if (form == Form::Qrc)
                text += w + "(" + at + ",400)";
            else
                text += "<" + rel + ",400,0>" + w;
            ms += 400;
        }
        text += "\n";
    }
    return text;
}

void BM_ParseYrc(benchmark::State &state) {
    const std::string text = MakeLines(Form::Yrc, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(services::ParseYrc(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseYrc)->Arg(kTypicalBytes)->Arg(kHugeBytes)->Unit(benchmark::kMicrosecond);

void BM_DecryptAndParseQrc(benchmark::State &state) {
    const std::string content = MakeLines(Form::Qrc, static_cast<std::size_t>(state.range(0)));
    const std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QrcInfos>\n<LyricInfo LyricCount=\"1\">\n"
                                 "<Lyric_1 LyricType=\"1\" LyricContent=\"" + content + "\"/>\n</LyricInfo>\n</QrcInfos>\n";
    const std::string sealed = QqSeal(document);
    for (auto _ : state) {
        std::optional<std::string> plain = codecs::DecryptQqLyric(sealed);
        std::optional<std::string> lyric = plain ? services::ExtractQrcLyricContent(*plain) : std::nullopt;
        benchmark::DoNotOptimize(services::ParseQrc(lyric.value_or("")));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_DecryptAndParseQrc)->Arg(kTypicalBytes)->Arg(kHugeBytes)->Unit(benchmark::kMicrosecond);

// The two halves of the above, to tell where the time goes.
void BM_DecryptQqOnly(benchmark::State &state) {
    const std::string document = "<Lyric_1 LyricContent=\"" + MakeLines(Form::Qrc, static_cast<std::size_t>(state.range(0))) + "\"/>";
    const std::string sealed = QqSeal(document);
    for (auto _ : state)
        benchmark::DoNotOptimize(codecs::DecryptQqLyric(sealed));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_DecryptQqOnly)->Arg(kTypicalBytes)->Arg(kHugeBytes)->Unit(benchmark::kMicrosecond);

void BM_ParseQrcOnly(benchmark::State &state) {
    const std::string document = "<Lyric_1 LyricContent=\"" + MakeLines(Form::Qrc, static_cast<std::size_t>(state.range(0))) + "\"/>";
    for (auto _ : state) {
        std::optional<std::string> lyric = services::ExtractQrcLyricContent(document);
        benchmark::DoNotOptimize(services::ParseQrc(lyric.value_or("")));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_ParseQrcOnly)->Arg(kTypicalBytes)->Arg(kHugeBytes)->Unit(benchmark::kMicrosecond);

void BM_DecryptAndParseKrc(benchmark::State &state) {
    const std::string text = "[ar:林某]\n[ti:晚风]\n" + MakeLines(Form::Krc, static_cast<std::size_t>(state.range(0)));
    const std::string sealed = KrcSeal(text);
    for (auto _ : state) {
        std::optional<std::string> plain = codecs::DecryptKrc(sealed);
        benchmark::DoNotOptimize(services::ParseKrc(plain.value_or("")));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_DecryptAndParseKrc)->Arg(kTypicalBytes)->Arg(kHugeBytes)->Unit(benchmark::kMicrosecond);

// Every service has the song; each answers every request after 200 ms.
void BM_FourServiceLookup(benchmark::State &state) {
    NeteaseStandIn netease;
    QqStandIn qq;
    KugouStandIn kugou;
    LrclibStandIn lrclib;
    const std::string yrc = "[1000,2000](1000,500,0)晚(1500,500,0)风(2000,1000,0)吹\n";
    netease.Songs = {{101, "晚风", "林某", "夏天", 5000, "[00:01.00]晚风吹\n", "", yrc, "[00:01.00]wind\n", false}};
    qq.Songs = {{202, "000q", "晚风", "林某", "夏天", 5,
                 "<QrcInfos><Lyric_1 LyricType=\"1\" LyricContent=\"[1000,2000]晚(1000,500)风(1500,500)\"/></QrcInfos>",
                 "", "", ""}};
    kugou.Songs = {{"303", "AK303", "晚风", "林某", 5000, "[1000,2000]<0,500,0>晚<500,500,0>风\n"}};
    lrclib.Songs = {{9, "晚风", "林某", "夏天", 5.0, "[00:01.00]晚风吹\n", false}};
    for (StandInServer *server : std::initializer_list<StandInServer *>{&netease, &qq, &kugou, &lrclib})
        server->DelayMs = 200;
    LrcServiceOptions options;
    options.BaseUrl = lrclib.Url();
    options.NeteaseUrl = netease.Url();
    options.QqMusicUrl = qq.Url();
    options.KugouUrl = kugou.Url();
    const TLyricLookupRequest request{"/nowhere/晚风.mp3", TSongQuery{"晚风", "林某", "夏天", 5000}, "", true};
    for (auto _ : state) {
        services::TServiceLookup lookup(options);
        const TLyricLookupResult result = LookupLyric(request, &lookup);
        TLrcClass timeline;
        timeline.LoadText(result.Text);
        if (result.Where != "netease:101")
            state.SkipWithError(("the wrong lyric was chosen: " + result.Where).c_str());
        benchmark::DoNotOptimize(timeline.Handle().Count());
    }
}
BENCHMARK(BM_FourServiceLookup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
