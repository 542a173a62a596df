#pragma once
// The audio library as the engine sees it: library life, add-on decoders, opening of files and
// network streams, transport, time and byte conversions, the end notification, per-thread error
// codes, the parametric equalizer effect, sample data and tag reading.
//
// The engine holds a reference to one IAudioLibrary, so tests can hand it a scripted fake and
// the program the real implementation (FFmpeg decoding, SDL2 output, libcurl streams, TagLib).
//
// Conventions shared by every call:
// - Handles (add-ons, streams, syncs, effects) are non-zero integers; 0 means failure or "none".
// - Byte counts and positions are 64-bit and count decoded output bytes (44100 Hz, stereo, 32-bit
//   float samples unless the implementation documents otherwise). kErrorValue (all ones) is the
//   failure result of every call returning a byte count.
// - A call that fails sets the calling thread's error code (ErrorGetCode); a call that succeeds
//   sets it to kErrorOk. Calls on handle 0 or on a freed handle fail with kErrorHandle.
// - Every call may be made from any thread.
// - Procedures handed to the library (download, end sync) run on threads of the library, never on
//   the caller's thread and never inside the output device's callback; they must not throw.

#include <cstdint>

namespace lirvo::audio {

using Handle = std::uint32_t; // 0 = none / failure

// Version word: major in bits 24..31, minor in bits 16..23 of the high half; low half free
// (build number). The engine accepts a library whose high 16 bits equal kInterfaceVersionHigh.
inline constexpr std::uint32_t kInterfaceVersionHigh = 0x0204;
inline constexpr std::uint32_t kInterfaceVersion = kInterfaceVersionHigh << 16;

// Result of every call returning a 64-bit byte count when it fails or the value is unknown.
inline constexpr std::uint64_t kErrorValue = ~std::uint64_t{0};

// Device number meaning "the system's default output device".
inline constexpr int kDefaultDevice = -1;

// Options for SetConfig.
inline constexpr std::uint32_t kConfigNetTimeout = 11;  // value: milliseconds to wait for a server
inline constexpr std::uint32_t kConfigNetPrebuf = 15;   // value: percent of the buffer to fill before a
                                                        // network stream starts (0 = start at once)
inline constexpr std::uint32_t kConfigNetPlaylist = 21; // value: 1 = a .m3u/.pls location is followed to
                                                        // its first entry, 0 = opened as it is
inline constexpr std::uint32_t kConfigNetReadTimeout = 37; // value: milliseconds a network stream may
                                                           // receive nothing before its download ends
                                                           // as failed (0 = no limit; default 15000)

// Position modes (ChannelGetLength, ChannelGetPosition, ChannelSetPosition).
inline constexpr std::uint32_t kPosByte = 0;

// File position modes (StreamGetFilePosition).
inline constexpr std::uint32_t kFilePosCurrent = 0;  // bytes of the file read by the decoder so far
inline constexpr std::uint32_t kFilePosDownload = 1; // bytes of a network file downloaded so far
inline constexpr std::uint32_t kFilePosEnd = 2;      // total size of the file; kErrorValue if unknown

// Channel attributes (ChannelSetAttribute).
inline constexpr std::uint32_t kAttribVolume = 2; // 0.0 (silent) .. 1.0 (full)

// Sync types (ChannelSetSync).
inline constexpr std::uint32_t kSyncEnd = 2; // the channel reached its end

// Effect types (ChannelSetFX).
inline constexpr std::uint32_t kFxParamEq = 7; // one peaking band, parameters ParamEqParameters

// Error codes returned by ErrorGetCode.
inline constexpr int kErrorOk = 0;            // the call succeeded
inline constexpr int kErrorMemory = 1;        // out of memory
inline constexpr int kErrorFileOpen = 2;      // the file could not be opened or read
inline constexpr int kErrorDriver = 3;        // no usable output device
inline constexpr int kErrorHandle = 5;        // invalid, zero or freed handle
inline constexpr int kErrorFormat = 6;        // the data is not in a format any decoder accepts
inline constexpr int kErrorPosition = 7;      // position outside the stream or not reachable
inline constexpr int kErrorInit = 8;          // Init has not been called successfully
inline constexpr int kErrorStart = 9;         // the output could not be started
inline constexpr int kErrorAlready = 14;      // already initialised / already loaded
inline constexpr int kErrorIllegalType = 19;  // unknown option, mode, attribute, sync or effect type
inline constexpr int kErrorIllegalParam = 20; // an argument is out of range or missing
inline constexpr int kErrorNoNetwork = 32;    // the server could not be reached or did not answer in time
inline constexpr int kErrorHttp = 33;         // the server answered with an error status
inline constexpr int kErrorTimeout = 40;      // the connection time-out passed
inline constexpr int kErrorNotAvailable = 37; // the requested value is not available (yet)
inline constexpr int kErrorVersion = 43;      // an add-on was built for another interface version
inline constexpr int kErrorUnknown = -1;      // any other failure

// One format an add-on decodes.
struct PluginFormat {
    std::uint32_t ctype;    // the add-on's own format number
    const char *name;       // description, e.g. "FLAC"
    const char *extensions; // file patterns joined by ";", e.g. "*.flac;*.fla"
};

// Information an add-on publishes; valid until the add-on is freed.
struct PluginInfo {
    std::uint32_t version;       // the add-on's own version word
    std::uint32_t formatCount;   // number of records in `formats`
    const PluginFormat *formats; // formatCount records
};

// Parameters of one parametric-equalizer effect.
struct ParamEqParameters {
    float center;    // centre frequency, Hz
    float bandwidth; // bandwidth, semitones
    float gain;      // gain, dB (the effect limits it to -15 .. +15)
};

// Receives the blocks of a network download on the library's download thread, in download order:
// one call per block with buffer != nullptr, then exactly one final call with buffer == nullptr
// and length 0 when the download ended (complete, failed or cut short by the server).
// After StreamFree of the stream returns, no further call is made.
using DownloadProc = void (*)(const void *buffer, std::uint32_t length, void *user);

// Called by the library on a notification thread of its own when a sync fires.
// For kSyncEnd: once per channel when playback reaches its end. After StreamFree of the channel
// returns, no further call is made.
using SyncProc = void (*)(Handle sync, Handle channel, std::uint32_t data, void *user);

class IAudioLibrary {
public:
    virtual ~IAudioLibrary() = default;

    // ---- library life ----
    // Version word (see kInterfaceVersion).
    virtual std::uint32_t GetVersion() = 0;
    // Makes the library ready for output on `device` (kDefaultDevice; other numbers are taken
    // as the default device too) at `frequency` Hz. `window` and `clsid` are accepted for
    // interface stability and may be 0/nullptr. The device itself is opened only while a channel
    // plays (see OutputPrepare), so Init succeeds also while no sound server runs yet.
    virtual bool Init(int device, std::uint32_t frequency, std::uint32_t flags, std::uintptr_t window,
                      const void *clsid) = 0;
    // Sets one of the kConfig* options. False for an unknown option.
    virtual bool SetConfig(std::uint32_t option, std::uint32_t value) = 0;
    // Allows output again after Stop.
    virtual bool Start() = 0;
    // Holds all output (the device is paused and then let go); channels keep their positions.
    virtual bool Stop() = 0;
    // Frees every stream, effect, sync and add-on and closes the device. No procedure is called
    // after it returns.
    virtual bool Free() = 0;

    // ---- add-on decoders ----
    // Loads the add-on library `file` (a path; a bare name is looked up by the system's loader).
    // Returns its handle, 0 when the file is not a valid add-on.
    virtual Handle PluginLoad(const char *file, std::uint32_t flags) = 0;
    // The add-on's published record, nullptr for an unknown handle.
    virtual const PluginInfo *PluginGetInfo(Handle plugin) = 0;
    // Unloads one add-on. Handle 0 is refused (returns false); Free unloads all add-ons anyway.
    virtual bool PluginFree(Handle plugin) = 0;

    // ---- opening ----
    // Opens a local file (`memory` false: `file` is a NUL-terminated path; true: `file` points to
    // `length` bytes of file data that must stay valid while the stream exists). `offset` and
    // `length` (0 = to the end) select the part of the file to decode. Returns the stream, 0 when
    // the text is not a playable local file (network locations included).
    virtual Handle StreamCreateFile(bool memory, const void *file, std::uint64_t offset, std::uint64_t length,
                                    std::uint32_t flags) = 0;
    // Opens a network location (http/https; a playlist location, known by its name or by the
    // answer's content type, is followed when kConfigNetPlaylist is 1). Blocks the calling thread
    // until the server answered and the decoder found its format, or the kConfigNetTimeout
    // time-out passed. The download then continues on a library thread, handing every block to
    // `proc` (may be nullptr) with `user`. Returns the stream, 0 on failure.
    // An HLS list (.m3u8 with #EXT-X- tags) plays through FFmpeg's HLS demuxer: there is no single
    // file, so `proc` gets no call and the size is unknown; one that cannot be played fails with
    // kErrorFormat.
    virtual Handle StreamCreateURL(const char *url, std::uint32_t offset, std::uint32_t flags,
                                   DownloadProc proc, void *user) = 0;
    // Stops and frees a stream with its effects and syncs, and ends its download at once. When it
    // returns, no download or sync procedure of the stream runs any more. False for 0 or a freed handle.
    virtual bool StreamFree(Handle stream) = 0;
    // A file position of the stream (kFilePos*). For kFilePosEnd: the total size of the file in
    // bytes (for a network stream its Content-Length), kErrorValue when unknown.
    virtual std::uint64_t StreamGetFilePosition(Handle stream, std::uint32_t mode) = 0;

    // ---- transport ----
    // Starts or resumes playback; `restart` true plays from the beginning. Opens the output
    // device if it is not open (see OutputPrepare); fails with kErrorDriver, leaving the channel
    // stopped where it was, when no device can be opened.
    virtual bool ChannelPlay(Handle channel, bool restart) = 0;
    virtual bool ChannelPause(Handle channel) = 0;
    // Stops playback; the position is kept and ChannelPlay continues from it.
    virtual bool ChannelStop(Handle channel) = 0;
    // Sets an attribute (kAttribVolume: 0.0 .. 1.0, applied at once).
    virtual bool ChannelSetAttribute(Handle channel, std::uint32_t attribute, float value) = 0;

    // ---- time ----
    // Length of the channel in bytes (kPosByte); kErrorValue when unknown or on error.
    virtual std::uint64_t ChannelGetLength(Handle channel, std::uint32_t mode) = 0;
    // Current playback position in bytes (kPosByte); kErrorValue on error.
    virtual std::uint64_t ChannelGetPosition(Handle channel, std::uint32_t mode) = 0;
    // Moves the playback position (bytes, kPosByte).
    virtual bool ChannelSetPosition(Handle channel, std::uint64_t position, std::uint32_t mode) = 0;
    // Byte count to seconds; negative (-1.0) on error.
    virtual double ChannelBytes2Seconds(Handle channel, std::uint64_t bytes) = 0;
    // Seconds to a byte count (rounded down to a whole sample frame); kErrorValue on error.
    virtual std::uint64_t ChannelSeconds2Bytes(Handle channel, double seconds) = 0;

    // ---- notification ----
    // Installs a sync (kSyncEnd, `param` 0). Returns the sync handle, 0 on failure.
    virtual Handle ChannelSetSync(Handle channel, std::uint32_t type, std::uint64_t param, SyncProc proc,
                                  void *user) = 0;
    // Error code (kError*) of the calling thread's most recent library call.
    virtual int ErrorGetCode() = 0;

    // ---- effects ----
    // Adds one effect of `type` (kFxParamEq) with `priority` to the channel; effects of the same
    // priority run in the order added. A new kFxParamEq effect starts flat (gain 0).
    // Returns the effect handle, 0 on failure.
    virtual Handle ChannelSetFX(Handle channel, std::uint32_t type, int priority) = 0;
    // Sets the effect's parameters (gain clamped to -15 .. +15 dB).
    virtual bool FXSetParameters(Handle fx, const ParamEqParameters *parameters) = 0;
    // Reads the effect's parameters back as set (after clamping); false leaves `parameters` as it was.
    virtual bool FXGetParameters(Handle fx, ParamEqParameters *parameters) = 0;

    // ---- data ----
    // Copies up to `length` bytes of the samples most recently sent to the output device for this
    // channel (32-bit float, interleaved stereo) into `buffer`. Returns the bytes written,
    // 0xFFFFFFFF on error.
    virtual std::uint32_t ChannelGetData(Handle channel, void *buffer, std::uint32_t length) = 0;

    // ---- output device and gapless hand-over ----
    // Opens the output device now, naming the sound server's stream after `channel`'s track; it
    // would otherwise be opened by ChannelPlay; it stays paused until the play. Also decodes the
    // channel's first blocks (waiting up to 100 ms for them), so its play starts with whole
    // blocks. Blocks while the device opens, so callers run it off the GUI thread. The device is
    // let go again when nothing has played for a while (0.5 s after a stop, 10 s after a pause)
    // and reopened on the new default device when it is lost while playing. False with kErrorDriver when no device can be opened; every later call
    // tries again, so a sound server that starts late is used.
    virtual bool OutputPrepare(Handle channel) {
        (void)channel;
        return true;
    }
    // Whether the output device is open now, so that a play starts without waiting for a sound
    // server. Never blocks. A library that cannot tell answers true.
    virtual bool OutputIsOpen() { return true; }
    // When `channel` reaches its end, `next` (a stopped stream, decoded ahead from now on)
    // starts playing in the same output block, so there is no gap. The end sync of `channel`
    // fires as usual. `next` 0 cancels. False for an unknown handle.
    virtual bool ChannelSetNext(Handle channel, Handle next) {
        (void)channel;
        (void)next;
        return false;
    }

    // ---- tags ----
    // Tag text of a stream for a format placeholder ("%TITL", "%ARTI", "%ALBM"), as UTF-8.
    // Never nullptr: "" when the tag is absent or the stream is invalid. The text stays valid until
    // the calling thread's next TagsRead call.
    virtual const char *TagsRead(Handle stream, const char *format) = 0;
};

} // namespace lirvo::audio
