// The library through a real sound server: a private PulseAudio with a null sink whose monitor
// is recorded. What is checked is what a listener would hear (levels, gaps) and what the
// desktop's sound settings would show (streams held, their names).

#include "LibraryFixture.h"
#include "PulseFixture.h"

namespace lirvo::audio::testing {
namespace {

using namespace std::chrono_literals;

void CountEnd(Handle, Handle, std::uint32_t, void *user) {
    static_cast<CallCounter *>(user)->Hit();
}

// `channels` copies of one expression through ffmpeg's aevalsrc (layout e.g. "5.1").
bool MakeSignal(const std::string &path, const std::string &expression, int channels, const std::string &layout,
                double seconds, const std::string &extra = "") {
    std::string all = expression;
    for (int i = 1; i < channels; ++i) {
        all += "|" + expression;
    }
    return RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"aevalsrc='" + all + "':s=44100:c=" + layout +
                      ":d=" + std::to_string(seconds) + "\" " + extra + " '" + path + "'");
}

// What was heard, as runs of source frames: each run is a stretch where every recorded frame is
// the one after the frame before it. A silence (the recorder's zeros) of 0.3 s or more, a pause,
// ends a run; a shorter one does not when the sound goes on where it was (a busy sound server
// stalls now and then, and a track may start with a short gap while its first blocks decode).
struct HeardRun {
    int64_t first = 0;
    int64_t last = 0;
    size_t silenceBefore = 0; // recorded frames of silence before this run
    size_t silenceWithin = 0; // and within it (stalls, gaps at the start)
};
std::vector<HeardRun> HeardRuns(const std::vector<float> &heard) {
    constexpr size_t kPauseFrames = 13230;
    std::vector<HeardRun> runs;
    size_t silence = 0;
    for (size_t frame = 0; frame + 1 < heard.size(); frame += 2) {
        const float left = heard[frame];
        const float right = heard[frame + 1];
        if (left == 0.0f && right == 0.0f) {
            ++silence;
            continue;
        }
        const int64_t source = CounterFrame(left, right);
        if (runs.empty() || silence >= kPauseFrames || source != runs.back().last + 1) {
            runs.push_back(HeardRun{source, source, silence});
        } else {
            runs.back().last = source;
            runs.back().silenceWithin += silence;
        }
        silence = 0;
    }
    return runs;
}

double FrameSeconds(int64_t frame) {
    return static_cast<double>(frame) / 44100.0;
}

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ProgramExists("pulseaudio") || !ProgramExists("pactl") || !ProgramExists("parec")) {
            GTEST_SKIP() << "PulseAudio is not installed";
        }
        pulse = std::make_unique<PulseServer>(folder);
        library = CreateAudioLibrary();
        ASSERT_TRUE(library->Init(kDefaultDevice, 44100, 0, 0, nullptr));
    }
    void TearDown() override {
        if (library) {
            library->Free();
        }
        pulse.reset();
    }

    Handle Open(const std::string &path) { return library->StreamCreateFile(false, path.c_str(), 0, 0, 0); }
    // A 30 s tone of 440 Hz made in the test folder and opened (not playing); 0 on failure.
    Handle OpenTone(const std::string &name) {
        const std::string path = folder.File(name);
        return MakeTone(path, 30, 440) ? Open(path) : 0;
    }
    double Seconds(Handle stream) {
        return library->ChannelBytes2Seconds(stream, library->ChannelGetPosition(stream, kPosByte));
    }

    // Plays `first` (and what follows it) to its end while recording; returns the samples.
    std::vector<float> RecordUntilEnd(Handle first, Handle last) {
        const std::string recording = folder.File("recording.raw");
        CallCounter ends;
        EXPECT_NE(library->ChannelSetSync(last, kSyncEnd, 0, &CountEnd, &ends), 0u);
        EXPECT_TRUE(pulse->StartRecording(recording));
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(library->ChannelPlay(first, false)) << library->ErrorGetCode();
        EXPECT_TRUE(ends.WaitFor(1, 20s));
        std::this_thread::sleep_for(400ms); // what is still in the server's buffers
        pulse->StopRecording();
        return ReadFloats(recording);
    }

    // Starts the server and a recording into `recording`, then plays a counter signal of
    // `seconds` (its first blocks decoded first, as the player does) until a second of it has
    // been heard; `ends` counts its end. 0 on failure.
    Handle PlayCounterPastOneSecond(double seconds, const std::string &recording, CallCounter *ends = nullptr) {
        const std::string path = folder.File("counter.wav");
        if (!pulse->Start() || !MakeCounter(path, seconds)) {
            return 0;
        }
        const Handle stream = Open(path);
        if (stream == 0 || (ends != nullptr && library->ChannelSetSync(stream, kSyncEnd, 0, &CountEnd, ends) == 0) ||
            !pulse->StartRecording(recording)) {
            return 0;
        }
        std::this_thread::sleep_for(300ms);
        if (!library->OutputPrepare(stream) || !library->ChannelPlay(stream, false) ||
            !WaitUntil([&] { return Seconds(stream) > 1.0; }, 5s)) {
            return 0;
        }
        return stream;
    }

    TempFolder folder;
    std::unique_ptr<PulseServer> pulse;
    std::unique_ptr<IAudioLibrary> library;
};

TEST_F(PulseOutputTest, SurroundFlacPlaysAtItsOwnLevelWithoutClipping) {
    ASSERT_TRUE(pulse->Start());
    ASSERT_NE(library->PluginLoad((ProgramFolder() + "/b_more.so").c_str(), 0), 0u);
    const std::string path = folder.File("surround.flac");
    ASSERT_TRUE(MakeSignal(path, "0.8*sin(2*PI*440*t)", 6, "5.1", 3.0));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u);
    const std::vector<float> heard = RecordUntilEnd(stream, stream);
    ASSERT_GT(heard.size(), 2u * 44100 * 2);
    float peak = 0;
    size_t clipped = 0;
    size_t loud = 0;
    for (float sample : heard) {
        peak = std::max(peak, std::fabs(sample));
        clipped += std::fabs(sample) >= 0.999f;
        loud += std::fabs(sample) > 0.5f;
    }
    EXPECT_EQ(clipped, 0u);
    EXPECT_NEAR(peak, 0.8f, 0.02f);
    EXPECT_GT(loud, 2u * 44100); // the tone really came through, on both sides
}

TEST_F(PulseOutputTest, TrackSetToFollowStartsWithoutAGap) {
    ASSERT_TRUE(pulse->Start());
    const std::string first = folder.File("first.wav");
    const std::string second = folder.File("second.wav");
    ASSERT_TRUE(MakeSignal(first, "0.5*sin(2*PI*440*t)", 2, "stereo", 1.0));
    ASSERT_TRUE(MakeSignal(second, "0.5*sin(2*PI*660*t)", 2, "stereo", 1.0));
    const Handle a = Open(first);
    const Handle b = Open(second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_TRUE(library->ChannelSetNext(a, b));
    // A silent track plays first, so the sound server's stream is running when the tones come:
    // a stream that starts on an idle null sink loses a few ms to the sink's rewind in what its
    // monitor records (paplay's too), which is not what this measures.
    const std::string quiet = folder.File("quiet.wav");
    ASSERT_TRUE(MakeSignal(quiet, "0", 2, "stereo", 6.0));
    const Handle silence = Open(quiet);
    ASSERT_NE(silence, 0u);
    ASSERT_TRUE(library->ChannelPlay(silence, false)) << library->ErrorGetCode();
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    const std::vector<float> heard = RecordUntilEnd(a, b);
    library->ChannelStop(silence);

    // The longest stretch of silence where one track hands over to the other. A sine at 0.5
    // passes near zero for at most a sample or two at each crossing.
    const size_t frames = heard.size() / 2;
    auto silent = [&](size_t frame) {
        return std::fabs(heard[2 * frame]) < 0.02f && std::fabs(heard[2 * frame + 1]) < 0.02f;
    };
    size_t begin = 0;
    while (begin < frames && silent(begin)) {
        ++begin;
    }
    size_t end = frames;
    while (end > begin && silent(end - 1)) {
        --end;
    }
    // Only around the change from one track to the other (the first lasts one second): a
    // stall of the sound server elsewhere is not what this measures.
    size_t longest = 0;
    size_t longestEnd = 0;
    size_t run = 0;
    const size_t change = begin + 44100;
    for (size_t frame = change - 4410; frame < std::min(end, change + 4410); ++frame) {
        run = silent(frame) ? run + 1 : 0;
        if (run > longest) {
            longest = run;
            longestEnd = frame;
        }
    }
    const double gapMs = 1000.0 * static_cast<double>(longest) / 44100.0;
    std::printf("longest silence near the change: %.2f ms (%zu frames), %.3f s after the start\n", gapMs,
                longest, static_cast<double>(longestEnd - begin) / 44100.0);
    EXPECT_LE(gapMs, 5.0);
    // Both tones, whole: two seconds of sound. Silences of 32 frames or more (never a zero
    // crossing of these tones) are left out, so a stall of a busy machine's sound server, which
    // adds silence but takes no sound away, does not count as sound.
    size_t stalled = 0;
    run = 0;
    for (size_t frame = begin; frame < end; ++frame) {
        if (silent(frame)) {
            ++run;
            continue;
        }
        if (run >= 32)
            stalled += run;
        run = 0;
    }
    if (stalled > 0)
        std::printf("silence elsewhere in the recording: %.2f ms\n", 1000.0 * static_cast<double>(stalled) / 44100.0);
    EXPECT_NEAR(static_cast<double>(end - begin - stalled) / 44100.0, 2.0, 0.03);
}

TEST_F(PulseOutputTest, StreamIsHeldOnlyWhilePlayingAndNamedAfterTheTrack) {
    ASSERT_TRUE(pulse->Start());
    const std::string path = folder.File("named.ogg");
    ASSERT_TRUE(MakeTone(path, 30, 440,
                         "-c:a libvorbis -metadata title=\"夜曲\" -metadata artist=\"Singer\""));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(pulse->SinkInputs(), 0); // opened, not playing: nothing held

    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    const std::string details = pulse->SinkInputDetails();
    EXPECT_NE(details.find("application.name = \"Lirvo\""), std::string::npos) << details;
    EXPECT_NE(details.find("media.name = \"Singer - 夜曲\""), std::string::npos) << details;
    EXPECT_NE(details.find("media.role = \"Music\""), std::string::npos) << details;
    // Played straight through PulseAudio: SDL, loaded only for its own outputs, was not.
    EXPECT_EQ(testing::ReadAllText("/proc/self/maps").find("libSDL2"), std::string::npos);

    ASSERT_TRUE(library->ChannelStop(stream));
    EXPECT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 0; }, 2s)); // let go once stopped

    // A pause keeps the stream for ten seconds (a quick resume is seamless), then lets it go.
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    ASSERT_TRUE(library->ChannelPause(stream));
    const auto pausedAt = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(pulse->SinkInputs(), 1);
    EXPECT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 0; }, 12s));
    EXPECT_GE(std::chrono::steady_clock::now() - pausedAt, 9s);
    const std::uint64_t position = library->ChannelGetPosition(stream, kPosByte);
    ASSERT_TRUE(library->ChannelPlay(stream, false)); // and takes it again on resume
    EXPECT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    EXPECT_GE(library->ChannelGetPosition(stream, kPosByte), position);
}

TEST_F(PulseOutputTest, StreamOpenedAheadOfAPlayWaitsCorkedForIt) {
    // The player's open worker prepares the output before the track plays. A stream that ran
    // meanwhile would queue silence, and the track's first sound would wait behind it.
    ASSERT_TRUE(pulse->Start());
    const Handle stream = OpenTone("prepared.wav");
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(library->OutputPrepare(stream)) << library->ErrorGetCode();
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    EXPECT_NE(pulse->SinkInputDetails().find("Corked: yes"), std::string::npos) << pulse->SinkInputDetails();
    const std::string prepared = pulse->SinkInputList();
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    EXPECT_TRUE(WaitUntil([&] { return pulse->SinkInputDetails().find("Corked: no") != std::string::npos; }, 3s));
    EXPECT_TRUE(WaitUntil([&] { return Seconds(stream) > 0.2; }, 5s));
    EXPECT_EQ(pulse->SinkInputList(), prepared) << "the play should use the stream prepared for it";
}

TEST_F(PulseOutputTest, SlowServerIsWaitedForAndItsStreamKept) {
    // Nothing records the sink, so it starts by taking about a second of sound at once and then
    // asks for nothing for a while; later the server is frozen for 2.5 s. Neither is a lost
    // device: the same stream plays on, with no gap made by a reopen.
    ASSERT_TRUE(pulse->Start());
    const Handle stream = OpenTone("slow.wav");
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(library->ChannelPlay(stream, false)) << library->ErrorGetCode();
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    const std::string first = pulse->SinkInputList();
    auto seconds = [&] { return Seconds(stream); };
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(pulse->SinkInputList(), first) << "the stream was replaced while the sink started";

    pulse->Signal(SIGSTOP);
    std::this_thread::sleep_for(2500ms);
    pulse->Signal(SIGCONT);
    const double resumed = seconds();
    EXPECT_TRUE(WaitUntil([&] { return seconds() > resumed + 1.0; }, 5s)) << resumed << " " << seconds();
    EXPECT_EQ(pulse->SinkInputList(), first) << "the stream was replaced while the server was frozen";
}

TEST_F(PulseOutputTest, PositionKeepsPaceWithTheClockAndNeverGoesBackAcrossAPause) {
    // The device holds more than a block through PulseAudio, so the position is reckoned back
    // to what is heard; a resume must not show the part still in the device a second time.
    ASSERT_TRUE(pulse->Start());
    ASSERT_TRUE(pulse->StartRecording(folder.File("pace.raw")));
    const Handle stream = OpenTone("pace.wav");
    ASSERT_NE(stream, 0u);
    auto seconds = [&] { return Seconds(stream); };
    ASSERT_TRUE(library->ChannelPlay(stream, false)) << library->ErrorGetCode();
    ASSERT_TRUE(WaitUntil([&] { return seconds() > 0.5; }, 5s));
    const double from = seconds();
    const auto start = std::chrono::steady_clock::now();
    double last = from;
    bool backwards = false;
    auto watch = [&](std::chrono::milliseconds span) {
        const auto until = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < until) {
            const double now = seconds();
            backwards = backwards || now < last;
            last = now;
            std::this_thread::sleep_for(5ms);
        }
    };
    watch(2s);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NEAR(last - from, elapsed, 0.15) << "the position should move with the clock";

    ASSERT_TRUE(library->ChannelPause(stream));
    watch(300ms);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    watch(1s);
    EXPECT_FALSE(backwards) << "the position went back at " << last;
    EXPECT_GT(last, from + 2.5);
}

TEST_F(PulseOutputTest, SinkThatGoesAwayWithNoOtherLeftIsWaitedOutAndTheNextSinkIsUsed) {
    // A server left without any sink (a USB card pulled where nothing else plays) ends the
    // stream. The player lives on (SDL's own PulseAudio output crashed here) and plays on as
    // soon as a sink is there again.
    ASSERT_TRUE(pulse->Start());
    const Handle stream = OpenTone("unplugged.wav");
    ASSERT_NE(stream, 0u);
    auto seconds = [&] { return Seconds(stream); };
    ASSERT_TRUE(library->ChannelPlay(stream, false)) << library->ErrorGetCode();
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1 && seconds() > 0.5; }, 5s));

    ASSERT_TRUE(pulse->UnloadSinks());
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(pulse->SinkInputs(), 0);
    const double before = seconds();
    ASSERT_TRUE(pulse->LoadSink("replugged"));
    EXPECT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return seconds() > before + 0.5; }, 6s)) << before << " " << seconds();
    EXPECT_LT(seconds(), before + 8.0); // went on from where it was
}

TEST_F(PulseOutputTest, ServerThatStartsLateIsUsedAndALostServerIsReplaced) {
    // No server yet: the library is ready, the play fails with a reason.
    const Handle stream = OpenTone("long.wav");
    ASSERT_NE(stream, 0u);
    EXPECT_FALSE(library->ChannelPlay(stream, false));
    EXPECT_EQ(library->ErrorGetCode(), kErrorDriver);

    ASSERT_TRUE(pulse->Start());
    ASSERT_TRUE(pulse->StartRecording(folder.File("first.raw"))); // the sink runs while listened to
    ASSERT_TRUE(library->ChannelPlay(stream, false)) << library->ErrorGetCode();
    ASSERT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 3s));
    auto seconds = [&] { return Seconds(stream); };
    EXPECT_TRUE(WaitUntil([&] { return seconds() > 1.0; }, 6s)) << seconds();

    // The server goes away while playing and a new one comes up: playback goes on there from
    // where it was.
    pulse->Stop(SIGKILL);
    const double before = seconds();
    EXPECT_GT(before, 0.5);
    ASSERT_TRUE(pulse->Start());
    ASSERT_TRUE(pulse->StartRecording(folder.File("second.raw")));
    EXPECT_TRUE(WaitUntil([&] { return pulse->SinkInputs() == 1; }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return seconds() > before + 0.5; }, 6s)) << before << " " << seconds();
    EXPECT_LT(seconds(), before + 8.0); // went on, did not start over or jump
}

TEST_F(PulseOutputTest, PauseAndStopAreHeardAtOnceAndAResumePlaysOnFromWhatWasHeard) {
    // The stream holds 200 ms: a pause or a stop must not let that play out, and the resume must
    // neither skip what was dropped nor play twice what was heard.
    const std::string recording = folder.File("pause.raw");
    const Handle stream = PlayCounterPastOneSecond(6.0, recording);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    const double beforePause = Seconds(stream);
    ASSERT_TRUE(library->ChannelPause(stream));
    EXPECT_NEAR(Seconds(stream), beforePause, 0.03) << "the position should stay where the pause was heard";
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(WaitUntil([&] { return Seconds(stream) > 2.5; }, 5s));
    const double beforeStop = Seconds(stream);
    ASSERT_TRUE(library->ChannelStop(stream));
    std::this_thread::sleep_for(600ms);
    pulse->StopRecording();

    const std::vector<HeardRun> runs = HeardRuns(ReadFloats(recording));
    for (const HeardRun &run : runs) {
        std::printf("heard %.4f..%.4f s after %zu silent frames, %zu within\n", FrameSeconds(run.first),
                    FrameSeconds(run.last), run.silenceBefore, run.silenceWithin);
    }
    ASSERT_EQ(runs.size(), 2u) << "one stretch before the pause and one after it";
    EXPECT_LT(FrameSeconds(runs[0].first), 0.01);
    EXPECT_GT(runs[1].silenceBefore, 44100u * 4 / 10);
    // Heard up to where the position stood when paused and when stopped, not 200 ms on.
    EXPECT_NEAR(FrameSeconds(runs[0].last), beforePause, 0.05);
    EXPECT_NEAR(FrameSeconds(runs[1].last), beforeStop, 0.05);
    // The resume goes on from the frame after the last one heard (a few ms heard twice at most,
    // the time between the pause and the server's cork).
    EXPECT_NEAR(FrameSeconds(runs[1].first), FrameSeconds(runs[0].last + 1), 0.01);
}

TEST_F(PulseOutputTest, AnotherTrackPlayedAfterAStopIsHeardAsSoonAsItIsStarted) {
    // A manual change of track: the playing one is stopped, the next one opened, prepared and
    // played. The silence heard between them is the time these calls took and little more:
    // neither a new stream (heard only after what the sink mixed ahead without it) nor silence
    // queued while the emptied stream waited.
    const std::string recording = folder.File("change.raw");
    const Handle first = PlayCounterPastOneSecond(6.0, recording);
    ASSERT_NE(first, 0u) << library->ErrorGetCode();
    const std::string streamBefore = pulse->SinkInputList();
    const std::string secondPath = folder.File("second counter.wav");
    ASSERT_TRUE(MakeCounter(secondPath, 3.0));

    const auto stoppedAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(library->ChannelStop(first));
    const Handle second = Open(secondPath);
    ASSERT_NE(second, 0u);
    ASSERT_TRUE(library->OutputPrepare(second)) << library->ErrorGetCode();
    ASSERT_TRUE(library->ChannelPlay(second, false));
    const double callsMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stoppedAt).count();
    ASSERT_TRUE(WaitUntil([&] { return Seconds(second) > 1.0; }, 5s));
    const std::string details = pulse->SinkInputDetails();
    pulse->StopRecording();

    const std::vector<HeardRun> runs = HeardRuns(ReadFloats(recording));
    ASSERT_GE(runs.size(), 2u);
    const HeardRun &next = runs.back();
    EXPECT_LT(FrameSeconds(next.first), 0.01) << "the second track from its start";
    const double gapMs = 1000.0 * static_cast<double>(next.silenceBefore) / 44100.0;
    std::printf("silence between the tracks: %.1f ms, of which the calls took %.1f ms\n", gapMs, callsMs);
    EXPECT_LE(gapMs, callsMs + 60.0);
    EXPECT_EQ(pulse->SinkInputList(), streamBefore) << "the stream should be kept for the next track";
    EXPECT_NE(details.find("second counter"), std::string::npos) << "and named after it: " << details;
}

TEST_F(PulseOutputTest, EqualizerChangeIsHeardOnceTheStreamsBufferHasPlayedOut) {
    // The channel decodes a third of a second ahead of what the stream holds (200 ms): a change
    // of the equalizer must not wait for both to play out.
    ASSERT_TRUE(pulse->Start());
    const std::string path = folder.File("tone.wav");
    ASSERT_TRUE(MakeTone(path, 4, 1000));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    const Handle band = library->ChannelSetFX(stream, kFxParamEq, 1);
    ASSERT_NE(band, 0u);
    const ParamEqParameters flat{1000, 5, 0};
    const ParamEqParameters boost{1000, 5, 12};
    ASSERT_TRUE(library->FXSetParameters(band, &flat));
    const std::string recording = folder.File("equalizer.raw");
    ASSERT_TRUE(pulse->StartRecording(recording));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(library->OutputPrepare(stream));
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(WaitUntil([&] { return Seconds(stream) > 1.5; }, 5s));
    const double changedAt = Seconds(stream); // what was being heard when the change was made
    ASSERT_TRUE(library->FXSetParameters(band, &boost));
    std::this_thread::sleep_for(1500ms);
    pulse->StopRecording();

    // The tone's place in the recording: from its first sound, frame by frame.
    const std::vector<float> heard = ReadFloats(recording);
    size_t onset = 0;
    while (onset < heard.size() && std::fabs(heard[onset]) < 0.01f) {
        ++onset;
    }
    onset /= 2;
    const auto peakOf = [&](size_t firstFrame) {
        float peak = 0.0f;
        for (size_t i = 2 * firstFrame; i < 2 * (firstFrame + 441) && i < heard.size(); ++i) {
            peak = std::max(peak, std::fabs(heard[i]));
        }
        return peak;
    };
    const float before = peakOf(onset + 22050);
    ASSERT_GT(before, 0.05f) << "the tone is heard";
    size_t boosted = onset + 22050;
    while (2 * (boosted + 441) < heard.size() && peakOf(boosted) < 2 * before) {
        boosted += 441;
    }
    ASSERT_LT(2 * (boosted + 441), heard.size()) << "the boost is heard";
    const double late = FrameSeconds(static_cast<int64_t>(boosted - onset)) - changedAt;
    std::printf("the equalizer change was heard %.0f ms after it was made\n", 1000 * late);
    EXPECT_GT(late, -0.02) << "not before it was made";
    EXPECT_LT(late, 0.35) << "heard after the stream's buffer, not after the channel's decoded ahead too";
}

TEST_F(PulseOutputTest, SeekWhilePlayingIsHeardWithoutWaitingForTheBufferToPlayOut) {
    const std::string recording = folder.File("seek.raw");
    CallCounter ends;
    const Handle stream = PlayCounterPastOneSecond(5.0, recording, &ends);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    const double before = Seconds(stream);
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 4.0), kPosByte));
    ASSERT_TRUE(ends.WaitFor(1, 20s));
    std::this_thread::sleep_for(400ms);
    pulse->StopRecording();

    const std::vector<HeardRun> runs = HeardRuns(ReadFloats(recording));
    ASSERT_EQ(runs.size(), 2u);
    const double late = FrameSeconds(runs[0].last) - before;
    std::printf("the old place was heard for %.1f ms after the seek; %zu silent frames in the new\n", 1000 * late,
                runs[1].silenceWithin);
    // The first block at the new place is written over what the stream held as soon as it is
    // decoded; played out, what the stream held would last 200 ms.
    EXPECT_LT(late, 0.06);
    EXPECT_EQ(runs[1].first, 4 * 44100); // the new place from its first frame, to the end
    // Written whole: not its first chunk padded with silence until the next refill (which would
    // be a gap of 50 ms or more).
    EXPECT_LT(runs[1].silenceWithin, 2205u);
    EXPECT_EQ(runs[1].last, 5 * 44100 - 1);
}

} // namespace
} // namespace lirvo::audio::testing
